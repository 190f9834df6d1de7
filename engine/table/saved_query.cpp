// Reading MSysQueries rows into saved queries and writing them as Jet SQL.
#include "engine/table/saved_query.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "engine/table/database.h"
#include "engine/table/implied_from.h"
#include "engine/table/table_cursor.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

// The attribute of each MSysQueries row: which part of the query it holds.
enum Attribute : int {
  kStart = 0,
  kType = 1,
  kParameter = 2,
  kOptions = 3,
  kRemoteDatabase = 4,
  kSource = 5,
  kColumn = 6,
  kJoin = 7,
  kWhere = 8,
  kGroupBy = 9,
  kHaving = 10,
  kOrderBy = 11,
  kEnd = 255,
};

struct QueryRow {
  Binary order;
  int attribute = 0;
  std::string name1, name2, expression;
  int flag = 0;
};

// Texts as stored, without the NUL some statements (data-definition and
// pass-through memos) end with.
std::string text(const Value& v) {
  auto s = std::get_if<std::string>(&v);
  if (!s) return {};
  std::string out = *s;
  while (!out.empty() && out.back() == '\0') out.pop_back();
  return out;
}

int integer(const Value& v) {
  if (auto n = std::get_if<int16_t>(&v)) return uint16_t(*n);  // flags use all 16 bits
  if (auto n = std::get_if<int32_t>(&v)) return *n;
  if (auto n = std::get_if<uint8_t>(&v)) return *n;
  return 0;
}

// The kind the type row's flag names (1 select ... 9 union).
bool kindOfTypeFlag(int flag, SavedQueryKind& kind) {
  static const SavedQueryKind kinds[] = {SavedQueryKind::Select,         SavedQueryKind::MakeTable,
                                         SavedQueryKind::Append,         SavedQueryKind::Update,
                                         SavedQueryKind::Delete,         SavedQueryKind::Crosstab,
                                         SavedQueryKind::DataDefinition, SavedQueryKind::PassThrough,
                                         SavedQueryKind::Union};
  if (flag < 1 || flag > 9) return false;
  kind = kinds[flag - 1];
  return true;
}

// The kind the catalog's object flags name (0 select, 16 crosstab ... 128 union).
SavedQueryKind kindOfObjectFlags(uint32_t kindBits) {
  switch (kindBits) {
    case 16: return SavedQueryKind::Crosstab;
    case 32: return SavedQueryKind::Delete;
    case 48: return SavedQueryKind::Update;
    case 64: return SavedQueryKind::Append;
    case 80: return SavedQueryKind::MakeTable;
    case 96: return SavedQueryKind::DataDefinition;
    case 112: return SavedQueryKind::PassThrough;
    case 128: return SavedQueryKind::Union;
    default: return SavedQueryKind::Select;
  }
}

SavedQuery assemble(const CatalogObject& object, const std::vector<QueryRow>& rows) {
  SavedQuery q;
  q.name = object.name;
  q.objectId = object.id;
  q.kind = kindOfObjectFlags(object.queryKind());
  for (const auto& r : rows) {
    switch (r.attribute) {
      case kType: {
        SavedQueryKind kind;
        if (kindOfTypeFlag(r.flag, kind)) q.kind = kind;  // the rows know better than the flags
        if (q.kind == SavedQueryKind::PassThrough) {
          q.targetConnect = r.name1;
        } else {
          q.target = r.name1;
          q.targetDatabase = r.name2;
        }
        q.text = r.expression;
        break;
      }
      case kParameter: q.parameters.push_back({r.name1, r.flag}); break;
      case kOptions:
        q.options = r.flag;
        q.top = r.name1;
        break;
      case kRemoteDatabase:
        q.sourceDatabase = r.name1;
        q.sourceConnect = r.expression;
        break;
      case kSource:
        if (r.name1.empty() && !r.expression.empty())
          q.sources.push_back({{}, r.name2, {}, r.expression});  // a union part
        else
          q.sources.push_back({r.name1, r.name2, r.expression, {}});
        break;
      case kColumn: q.columns.push_back({r.expression, r.name1, r.name2, r.flag}); break;
      case kJoin: q.joins.push_back({r.name1, r.name2, r.expression, r.flag}); break;
      case kWhere: q.where.push_back(r.expression); break;
      case kGroupBy: q.groupBy.push_back({r.expression, {}, {}, r.flag}); break;
      case kHaving: q.having.push_back(r.expression); break;
      case kOrderBy: q.orderBy.push_back({r.expression, r.name1 == "D" || r.name1 == "d"}); break;
      default: break;  // start and end markers
    }
  }
  return q;
}

bool sameName(const std::string& a, const std::string& b) { return namesEqualCaseInsensitive(a, b); }

std::string joined(const std::vector<std::string>& items, const char* separator) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) out += (i ? separator : "") + items[i];
  return out;
}

SqlPartWriter jetWriter() { return {[](const std::string& e) { return e; }, jetName}; }

std::string columnSql(const SavedQuery::Column& c, const SqlPartWriter& w) {
  return w.expression(c.expression) + (c.alias.empty() ? "" : " AS " + w.name(c.alias));
}

bool crosstabPart(const SavedQuery& q, const SavedQuery::Column& c) {
  return q.kind == SavedQueryKind::Crosstab && !(c.flag & SavedQuery::kRowHeading);
}

std::vector<std::string> outputColumns(const SavedQuery& q, const SqlPartWriter& w) {
  std::vector<std::string> out;
  for (const auto& c : q.columns)
    if (!crosstabPart(q, c)) out.push_back(columnSql(c, w));
  if (q.options & SavedQuery::kAllColumns) out.push_back("*");
  return out;
}

// WHERE, GROUP BY, HAVING and ORDER BY, each after `lineBreak` ("\n", or a
// blank for one line).
std::string tailClauses(const SavedQuery& q, const SqlPartWriter& w, const char* lineBreak) {
  std::string sql;
  std::vector<std::string> where, groupBy, having, orderBy;
  for (const auto& e : q.where) where.push_back(w.expression(e));
  for (const auto& g : q.groupBy)
    if (!crosstabPart(q, g) || g.flag == 0) groupBy.push_back(w.expression(g.expression));
  for (const auto& e : q.having) having.push_back(w.expression(e));
  for (const auto& o : q.orderBy) orderBy.push_back(w.expression(o.expression) + (o.descending ? " DESC" : ""));
  if (!where.empty()) sql += lineBreak + std::string("WHERE ") + joined(where, " AND ");
  if (!groupBy.empty()) sql += lineBreak + std::string("GROUP BY ") + joined(groupBy, ", ");
  if (!having.empty()) sql += lineBreak + std::string("HAVING ") + joined(having, " AND ");
  if (!orderBy.empty()) sql += lineBreak + std::string("ORDER BY ") + joined(orderBy, ", ");
  return sql;
}

std::string sourcesIn(const SavedQuery& q) {
  if (q.sourceDatabase.empty() && q.sourceConnect.empty()) return {};
  std::string out = " IN '" + q.sourceDatabase + "'";
  if (!q.sourceConnect.empty()) out += " [" + q.sourceConnect + "]";
  return out;
}

const char* parameterType(int type) {
  switch (type) {
    case 0: return "Value";
    case 1: return "Bit";
    case 2: return "Byte";
    case 3: return "Short";
    case 4: return "Long";
    case 5: return "Currency";
    case 6: return "IEEESingle";
    case 7: return "IEEEDouble";
    case 8: return "DateTime";
    case 9: return "Binary";
    case 10: return "Text";
    case 11: return "LongBinary";
    case 12: return "Memo";
    case 15: return "Guid";
    case 16: return "Decimal";
    default: return "Value";
  }
}

// "SELECT [DISTINCT|DISTINCTROW] [TOP n [PERCENT]] "
std::string selectWord(const SavedQuery& q) {
  std::string out = "SELECT ";
  if (q.options & SavedQuery::kDistinct)
    out += "DISTINCT ";
  else if (q.options & SavedQuery::kDistinctRow)
    out += "DISTINCTROW ";
  if ((q.options & SavedQuery::kTop) && !q.top.empty())
    out += "TOP " + q.top + ((q.options & SavedQuery::kPercent) ? " PERCENT " : " ");
  return out;
}

std::string intoClause(const SavedQuery& q) {
  std::string out = " INTO " + jetName(q.target);
  if (!q.targetDatabase.empty()) out += " IN '" + q.targetDatabase + "'";
  return out;
}

std::string unionSql(const SavedQuery& q, bool impliedFrom = false) {
  std::vector<std::string> parts;
  for (const auto& s : q.sources)
    if (!s.text.empty()) {
      std::string part;
      for (size_t i = 0; i < s.text.size(); ++i)
        if (!(s.text[i] == '\r' && i + 1 < s.text.size() && s.text[i + 1] == '\n')) part.push_back(s.text[i]);
      while (!part.empty() && std::isspace(static_cast<unsigned char>(part.back()))) part.pop_back();
      size_t start = 0;
      while (start < part.size() && std::isspace(static_cast<unsigned char>(part[start]))) ++start;
      parts.push_back(impliedFrom ? withImpliedFrom(part.substr(start)) : part.substr(start));
    }
  std::string sql = joined(parts, (q.options & SavedQuery::kUnionDistinct) ? "\nUNION\n" : "\nUNION ALL\n");
  std::vector<std::string> orderBy;
  for (const auto& o : q.orderBy) orderBy.push_back(o.expression + (o.descending ? " DESC" : ""));
  if (!orderBy.empty()) sql += "\nORDER BY " + joined(orderBy, ", ");
  return sql;
}

std::string statementOf(const SavedQuery& q) {
  const SqlPartWriter w = jetWriter();
  switch (q.kind) {
    case SavedQueryKind::DataDefinition:
    case SavedQueryKind::PassThrough: return q.text;
    case SavedQueryKind::Union: return unionSql(q);
    case SavedQueryKind::Select:
      return selectWord(q) + joined(outputColumns(q, w), ", ") + "\nFROM " + fromClause(q, w) + sourcesIn(q) +
             tailClauses(q, w, "\n");
    case SavedQueryKind::MakeTable:
      return selectWord(q) + joined(outputColumns(q, w), ", ") + intoClause(q) + "\nFROM " + fromClause(q, w) +
             sourcesIn(q) + tailClauses(q, w, "\n");
    case SavedQueryKind::Crosstab: {
      std::string transform, pivot;
      for (const auto& c : q.columns) {
        if (c.flag & SavedQuery::kRowHeading) continue;
        if (c.flag & SavedQuery::kPivotColumn)
          pivot = c.expression;
        else
          transform = columnSql(c, w);
      }
      return "TRANSFORM " + transform + "\n" + selectWord(q) + joined(outputColumns(q, w), ", ") + "\nFROM " +
             fromClause(q, w) + sourcesIn(q) + tailClauses(q, w, "\n") + "\nPIVOT " + pivot;
    }
    case SavedQueryKind::Append: {
      std::vector<std::string> targets, values;
      bool valuesList = false;
      for (const auto& c : q.columns) {
        if (!c.target.empty()) targets.push_back(jetName(c.target));
        values.push_back(columnSql(c, w));
        valuesList = valuesList || (c.flag & SavedQuery::kAppendValues);
      }
      std::string sql = "INSERT INTO " + jetName(q.target);
      if (!q.targetDatabase.empty()) sql += " IN '" + q.targetDatabase + "'";
      if (!targets.empty() && targets.size() == values.size()) sql += " (" + joined(targets, ", ") + ")";
      if (valuesList) return sql + "\nVALUES (" + joined(values, ", ") + ")";
      return sql + "\n" + selectWord(q) + joined(values, ", ") + "\nFROM " + fromClause(q, w) + sourcesIn(q) +
             tailClauses(q, w, "\n");
    }
    case SavedQueryKind::Update: {
      std::vector<std::string> sets;
      for (const auto& c : q.columns) sets.push_back(c.target + " = " + c.expression);
      return "UPDATE " + fromClause(q, w) + sourcesIn(q) + " SET " + joined(sets, ", ") + tailClauses(q, w, "\n");
    }
    case SavedQueryKind::Delete: {
      std::string sql = "DELETE ";
      if (q.options & SavedQuery::kDistinctRow) sql += "DISTINCTROW ";
      std::vector<std::string> columns = outputColumns(q, w);
      sql += columns.empty() ? std::string("*") : joined(columns, ", ");
      return sql + "\nFROM " + fromClause(q, w) + sourcesIn(q) + tailClauses(q, w, "\n");
    }
  }
  return {};
}

}  // namespace

const char* savedQueryKindName(SavedQueryKind kind) {
  switch (kind) {
    case SavedQueryKind::Select: return "Select";
    case SavedQueryKind::MakeTable: return "Make Table";
    case SavedQueryKind::Append: return "Append";
    case SavedQueryKind::Update: return "Update";
    case SavedQueryKind::Delete: return "Delete";
    case SavedQueryKind::Crosstab: return "Crosstab";
    case SavedQueryKind::DataDefinition: return "Data Definition";
    case SavedQueryKind::PassThrough: return "Pass-Through";
    case SavedQueryKind::Union: return "Union";
  }
  return "";
}

bool SavedQuery::returnsRows() const {
  return kind == SavedQueryKind::Select || kind == SavedQueryKind::Union || kind == SavedQueryKind::Crosstab;
}

std::string jetName(const std::string& name) {
  bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0]));
  for (char c : name)
    plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
  return plain ? name : "[" + name + "]";
}

std::vector<SavedQuery> readSavedQueries(const Database& db) {
  std::vector<SavedQuery> out;
  bool any = false;
  for (const auto& o : db.objects()) any = any || o.isQuery();
  if (!any) return out;
  auto table = db.table("MSysQueries");
  std::map<std::string, size_t> at;
  for (size_t i = 0; i < table->columns.size(); ++i) {
    std::string name = table->columns[i].name;
    for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
    at[name] = i;
  }
  for (const char* need : {"OBJECTID", "ATTRIBUTE", "NAME1", "NAME2", "EXPRESSION", "FLAG"})
    if (!at.count(need)) throw EngineError("MSysQueries has no column " + std::string(need) + ".");
  std::map<int32_t, std::vector<QueryRow>> rows;
  auto cursor = db.openCursor(table);
  std::vector<Value> row;
  while (cursor->next(row)) {
    QueryRow r;
    if (at.count("ORDER"))
      if (auto b = std::get_if<Binary>(&row[at["ORDER"]])) r.order = *b;
    r.attribute = integer(row[at["ATTRIBUTE"]]);
    r.name1 = text(row[at["NAME1"]]);
    r.name2 = text(row[at["NAME2"]]);
    r.expression = text(row[at["EXPRESSION"]]);
    r.flag = integer(row[at["FLAG"]]);
    rows[integer(row[at["OBJECTID"]])].push_back(std::move(r));
  }
  // Rows of one part keep the order Jet gave them; the Order column, where
  // it is filled, puts them in that order whatever their storage order.
  for (auto& [id, list] : rows)
    std::stable_sort(list.begin(), list.end(), [](const QueryRow& a, const QueryRow& b) { return a.order < b.order; });
  for (const auto& o : db.objects())
    if (o.isQuery()) out.push_back(assemble(o, rows[o.id]));
  return out;
}

std::string fromClause(const SavedQuery& q, const SqlPartWriter& w) {
  auto sourceSql = [&](const SavedQuery::Source& s) {
    return w.name(s.name) + (s.alias.empty() ? "" : " AS " + w.name(s.alias));
  };
  auto sourceNamed = [&](const std::string& n) {
    for (const auto& s : q.sources)
      if (sameName(s.alias.empty() ? s.name : s.alias, n)) return sourceSql(s);
    return w.name(n);
  };
  // Two conditions between the same pair of sources are one join.
  std::vector<SavedQuery::Join> joins;
  for (const auto& j : q.joins) {
    bool merged = false;
    for (auto& m : joins)
      if (sameName(m.left, j.left) && sameName(m.right, j.right) && m.type == j.type) {
        m.condition = "(" + m.condition + ") AND (" + j.condition + ")";
        merged = true;
      }
    if (!merged) joins.push_back(j);
  }
  std::vector<std::string> inChain;
  auto has = [&](const std::string& n) {
    for (const auto& c : inChain)
      if (sameName(c, n)) return true;
    return false;
  };
  std::string chain;
  std::vector<const SavedQuery::Join*> pending;
  for (const auto& j : joins) pending.push_back(&j);
  while (!pending.empty()) {
    bool progressed = false;
    for (size_t i = 0; i < pending.size(); ++i) {
      const SavedQuery::Join& j = *pending[i];
      const char* word = j.type == 2 ? " LEFT JOIN " : j.type == 3 ? " RIGHT JOIN " : " INNER JOIN ";
      if (chain.empty()) {
        chain = sourceNamed(j.left) + word + sourceNamed(j.right) + " ON " + w.expression(j.condition);
        inChain = {j.left, j.right};
      } else if (has(j.left) && !has(j.right)) {
        chain = "(" + chain + ")" + word + sourceNamed(j.right) + " ON " + w.expression(j.condition);
        inChain.push_back(j.right);
      } else if (has(j.right) && !has(j.left)) {
        const char* flipped = j.type == 2 ? " RIGHT JOIN " : j.type == 3 ? " LEFT JOIN " : " INNER JOIN ";
        chain = "(" + chain + ")" + flipped + sourceNamed(j.left) + " ON " + w.expression(j.condition);
        inChain.push_back(j.left);
      } else {
        continue;
      }
      pending.erase(pending.begin() + long(i));
      progressed = true;
      break;
    }
    if (!progressed) throw EngineError("joins that do not form one chain");
  }
  std::vector<std::string> items;
  for (const auto& s : q.sources)
    if (s.text.empty() && !has(s.alias.empty() ? s.name : s.alias)) items.push_back(sourceSql(s));
  if (!chain.empty()) items.push_back(chain);
  return joined(items, ", ");
}

std::string selectStatement(const SavedQuery& q, const SqlPartWriter& w) {
  std::string sql = (q.options & SavedQuery::kDistinct) ? "SELECT DISTINCT " : "SELECT ";
  return sql + joined(outputColumns(q, w), ", ") + " FROM " + fromClause(q, w) + tailClauses(q, w, " ");
}

std::string savedQuerySql(const SavedQuery& q) {
  std::string parameters;
  if (!q.parameters.empty() && q.kind != SavedQueryKind::DataDefinition && q.kind != SavedQueryKind::PassThrough) {
    std::vector<std::string> list;
    for (const auto& p : q.parameters) list.push_back(jetName(p.name) + " " + parameterType(p.type));
    parameters = "PARAMETERS " + joined(list, ", ") + ";\n";
  }
  std::string sql;
  try {
    sql = parameters + statementOf(q);
  } catch (const EngineError& e) {
    throw EngineError("Query '" + q.name + "' has " + e.what() + ".");
  }
  if (q.kind == SavedQueryKind::DataDefinition || q.kind == SavedQueryKind::PassThrough) return sql;
  if (q.options & SavedQuery::kOwnerAccess) sql += "\nWITH OWNERACCESS OPTION";
  return sql + ";";
}

std::string savedQueryRowsSql(const SavedQuery& q) {
  if (q.kind != SavedQueryKind::Union || !q.parameters.empty()) return savedQuerySql(q);
  std::string sql = unionSql(q, true);
  if (q.options & SavedQuery::kOwnerAccess) sql += "\nWITH OWNERACCESS OPTION";
  return sql + ";";
}

}  // namespace kevra
