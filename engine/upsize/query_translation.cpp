// From MSysQueries rows and Jet expression text to target SQL.
#include "engine/upsize/query_translation.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "engine/expr/date_literal.h"
#include "engine/format/value_text.h"
#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

std::string upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

enum class Tok { Name, Bracketed, String, Date, Number, Op, End };

struct Token {
  Tok kind;
  std::string text;
};

std::vector<Token> tokenize(const std::string& s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '[') {
      size_t e = s.find(']', i);
      if (e == std::string::npos) throw EngineError("an unclosed [");
      out.push_back({Tok::Bracketed, s.substr(i + 1, e - i - 1)});
      i = e + 1;
    } else if (c == '"' || c == '\'') {
      std::string v;
      size_t k = i + 1;
      for (;; ++k) {
        if (k >= s.size()) throw EngineError("an unclosed string");
        if (s[k] == c) {
          if (k + 1 < s.size() && s[k + 1] == c) {
            v.push_back(c);
            ++k;
            continue;
          }
          break;
        }
        v.push_back(s[k]);
      }
      out.push_back({Tok::String, v});
      i = k + 1;
    } else if (c == '#') {
      size_t e = s.find('#', i + 1);
      if (e == std::string::npos) throw EngineError("an unclosed #date#");
      out.push_back({Tok::Date, s.substr(i + 1, e - i - 1)});
      i = e + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      size_t k = i;
      while (k < s.size() && (std::isalnum(static_cast<unsigned char>(s[k])) || s[k] == '.')) ++k;
      out.push_back({Tok::Number, s.substr(i, k - i)});
      i = k;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80) {
      size_t k = i;
      while (k < s.size() && (std::isalnum(static_cast<unsigned char>(s[k])) || s[k] == '_' ||
                              static_cast<unsigned char>(s[k]) >= 0x80))
        ++k;
      out.push_back({Tok::Name, s.substr(i, k - i)});
      i = k;
    } else {
      std::string op(1, c);
      if (i + 1 < s.size() && ((c == '<' && (s[i + 1] == '>' || s[i + 1] == '=')) || (c == '>' && s[i + 1] == '=')))
        op.push_back(s[i + 1]);
      out.push_back({Tok::Op, op});
      i += op.size();
    }
  }
  out.push_back({Tok::End, ""});
  return out;
}

class Translator {
 public:
  Translator(const std::string& text, TargetDialect dialect) : toks_(tokenize(text)), pg_(dialect == TargetDialect::PostgreSQL) {}

  std::string all() {
    std::string out = sequence(false);
    if (peek().kind != Tok::End) throw EngineError("an unexpected '" + peek().text + "'");
    return out;
  }

 private:
  const Token& peek() const { return toks_[pos_]; }
  Token take() { return toks_[pos_++]; }

  // Tokens up to the end, a closing parenthesis or (inside arguments) a comma.
  std::string sequence(bool inArguments) {
    std::string out;
    bool afterLike = false;
    while (true) {
      const Token& t = peek();
      if (t.kind == Tok::End) break;
      if (t.kind == Tok::Op && (t.text == ")" || (inArguments && t.text == ","))) break;
      std::string piece = term(afterLike);
      afterLike = upper(piece) == "LIKE" || upper(piece) == "ILIKE";
      if (!out.empty()) out.push_back(' ');
      out += piece;
    }
    return out;
  }

  std::string literal(const std::string& v) {
    std::string out = "'";
    for (char c : v) {
      if (c == '\'') out.push_back('\'');
      out.push_back(c);
    }
    return out + "'";
  }

  std::string likePattern(const std::string& jet) {
    std::string out;
    for (char c : jet) {
      if (c == '*')
        out.push_back('%');
      else if (c == '?')
        out.push_back('_');
      else if (c == '#' || c == '[')
        throw EngineError("a LIKE pattern with # or [ ]");
      else if (c == '%' || c == '_' || c == '\\') {
        if (!pg_) throw EngineError("a LIKE pattern holding % or _");
        out.push_back('\\');
        out.push_back(c);
      } else
        out.push_back(c);
    }
    return literal(out);
  }

  std::vector<std::string> arguments() {
    std::vector<std::string> args;
    take();  // (
    if (peek().kind == Tok::Op && peek().text == ")") {
      take();
      return args;
    }
    for (;;) {
      args.push_back(sequence(true));
      Token t = take();
      if (t.kind == Tok::Op && t.text == ")") break;
      if (!(t.kind == Tok::Op && t.text == ",")) throw EngineError("an unclosed function call");
    }
    return args;
  }

  std::string function(const std::string& name) {
    std::string f = upper(name);
    auto args = arguments();
    auto need = [&](size_t n) {
      if (args.size() != n) throw EngineError(name + " with " + std::to_string(args.size()) + " arguments");
    };
    auto join = [&] {
      std::string out;
      for (size_t i = 0; i < args.size(); ++i) out += (i ? ", " : "") + args[i];
      return out;
    };
    if (f == "IIF") {
      need(3);
      return "(CASE WHEN " + args[0] + " THEN " + args[1] + " ELSE " + args[2] + " END)";
    }
    if (f == "NZ") {
      need(2);
      return "COALESCE(" + join() + ")";
    }
    if (f == "LEN") {
      need(1);
      return "length(" + args[0] + ")";
    }
    if (f == "MID") {
      if (args.size() != 2 && args.size() != 3) need(3);
      return "substr(" + join() + ")";
    }
    if (f == "LEFT") {
      need(2);
      return "substr(" + args[0] + ", 1, " + args[1] + ")";
    }
    if (f == "RIGHT") {
      need(2);
      return pg_ ? "right(" + join() + ")" : "substr(" + args[0] + ", -(" + args[1] + "))";
    }
    if (f == "UCASE") return need(1), "upper(" + args[0] + ")";
    if (f == "LCASE") return need(1), "lower(" + args[0] + ")";
    if (f == "TRIM" || f == "LTRIM" || f == "RTRIM") return need(1), upper(f) == "TRIM" ? "trim(" + args[0] + ")" : lowerName(f) + "(" + args[0] + ")";
    if (f == "ABS") return need(1), "abs(" + args[0] + ")";
    if (f == "NOW") return need(0), std::string("CURRENT_TIMESTAMP");
    if (f == "DATE") return need(0), std::string(pg_ ? "CURRENT_DATE" : "date('now')");
    if (f == "COUNT" || f == "SUM" || f == "AVG" || f == "MIN" || f == "MAX")
      return f + "(" + (args.size() == 1 && args[0] == "*" ? std::string("*") : join()) + ")";
    throw EngineError("the function " + name + "()");
  }

  static std::string lowerName(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }

  std::string term(bool afterLike) {
    Token t = take();
    switch (t.kind) {
      case Tok::String:
        return afterLike ? likePattern(t.text) : literal(t.text);
      case Tok::Date: {
        auto d = expr::parseDateLiteral(t.text);
        if (!d) throw EngineError("the date #" + t.text + "#");
        std::string iso = dateTimeToIso(*d);
        iso[10] = ' ';
        return pg_ ? "TIMESTAMP " + literal(iso.substr(0, 19)) : literal(iso.substr(0, 19));
      }
      case Tok::Number:
        return t.text;
      case Tok::Bracketed:
        return quoteIdentifier(t.text);
      case Tok::Name: {
        std::string u = upper(t.text);
        static const char* keywords[] = {"AND", "OR", "NOT", "IS", "NULL", "BETWEEN", "IN"};
        for (const char* k : keywords)
          if (u == k) return u;
        if (peek().kind == Tok::Op && peek().text == "(") return function(t.text);
        if (u == "LIKE") return pg_ ? "ILIKE" : "LIKE";  // Jet's LIKE ignores case
        if (u == "TRUE" || u == "YES") return pg_ ? "TRUE" : "1";
        if (u == "FALSE" || u == "NO") return pg_ ? "FALSE" : "0";
        if (u == "MOD") return "%";
        if (u == "XOR" || u == "EQV" || u == "IMP" || u == "SELECT") throw EngineError("the word " + t.text);
        return quoteIdentifier(t.text);
      }
      case Tok::Op: {
        if (t.text == "&") return "||";
        if (t.text == "(") {
          std::string inner = sequence(false);
          Token close = take();
          if (close.text != ")") throw EngineError("an unclosed (");
          return "(" + inner + ")";
        }
        if (t.text == "." || t.text == "=" || t.text == "<>" || t.text == "<" || t.text == ">" || t.text == "<=" ||
            t.text == ">=" || t.text == "+" || t.text == "-" || t.text == "*" || t.text == "/" || t.text == ",")
          return t.text;
        throw EngineError("the operator " + t.text);
      }
      case Tok::End:
        break;
    }
    throw EngineError("an unexpected end");
  }

  std::vector<Token> toks_;
  size_t pos_ = 0;
  bool pg_;
};

// "a . b" from the translator back to "a"."b".
std::string tidy(std::string s) {
  for (size_t p; (p = s.find(" . ")) != std::string::npos;) s.replace(p, 3, ".");
  return s;
}

struct QueryRow {
  Binary order;
  int attribute = 0;
  std::string name1, name2, expression;
  int flag = 0;
};

std::string text(const Value& v) {
  if (auto s = std::get_if<std::string>(&v)) return *s;
  return {};
}

int integer(const Value& v) {
  if (auto n = std::get_if<int16_t>(&v)) return *n;
  if (auto n = std::get_if<int32_t>(&v)) return *n;
  if (auto n = std::get_if<uint8_t>(&v)) return *n;
  return 0;
}

std::string buildSelect(const std::vector<QueryRow>& rows, TargetDialect dialect, std::vector<std::string>& sources) {
  auto x = [&](const std::string& e) { return tidy(translateExpression(e, dialect)); };
  std::vector<std::string> outputs, tables, where, groupBy, having, orderBy;
  std::vector<QueryRow> joins;
  bool distinct = false;
  for (const auto& r : rows) {
    switch (r.attribute) {
      case 0: case 255: case 1: break;
      case 2: throw EngineError("parameters");
      case 3:
        if (r.flag & ~0x3) throw EngineError("query options " + std::to_string(r.flag));
        if (r.flag & 0x1) outputs.push_back("*");
        if (r.flag & 0x2) distinct = true;
        break;
      case 4: throw EngineError("a source in another database");
      case 5:
        sources.push_back(r.name1);
        tables.push_back(quoteIdentifier(r.name1) + (r.name2.empty() ? "" : " AS " + quoteIdentifier(r.name2)));
        break;
      case 6:
        outputs.push_back(x(r.expression) + (r.name1.empty() ? "" : " AS " + quoteIdentifier(r.name1)));
        break;
      case 7: {
        // Two conditions between the same pair of sources are one join.
        bool merged = false;
        for (auto& j : joins)
          if (upper(j.name1) == upper(r.name1) && upper(j.name2) == upper(r.name2) && j.flag == r.flag) {
            j.expression = "(" + j.expression + ") AND (" + r.expression + ")";
            merged = true;
          }
        if (!merged) joins.push_back(r);
        break;
      }
      case 8: where.push_back(x(r.expression)); break;
      case 9: groupBy.push_back(x(r.expression)); break;
      case 10: having.push_back(x(r.expression)); break;
      case 11: orderBy.push_back(x(r.expression) + (r.name1 == "D" ? " DESC" : "")); break;
      default: throw EngineError("a query part the upsize does not know (" + std::to_string(r.attribute) + ")");
    }
  }
  if (outputs.empty() || tables.empty()) throw EngineError("no output columns or no source");
  // Sources named in joins are written in the join chain, the rest before it.
  std::string from;
  if (!joins.empty()) {
    std::vector<std::string> inChain;
    auto has = [&](const std::string& n) {
      for (auto& c : inChain)
        if (upper(c) == upper(n)) return true;
      return false;
    };
    auto sourceSql = [&](const std::string& n) {
      for (const auto& r : rows)
        if (r.attribute == 5 && (upper(r.name2.empty() ? r.name1 : r.name2) == upper(n)))
          return quoteIdentifier(r.name1) + (r.name2.empty() ? "" : " AS " + quoteIdentifier(r.name2));
      return quoteIdentifier(n);
    };
    std::string chain;
    std::vector<const QueryRow*> pending;
    for (const auto& j : joins) pending.push_back(&j);
    while (!pending.empty()) {
      bool progressed = false;
      for (size_t i = 0; i < pending.size(); ++i) {
        const QueryRow& j = *pending[i];
        int type = j.flag;
        const char* word = type == 2 ? " LEFT JOIN " : type == 3 ? " RIGHT JOIN " : " INNER JOIN ";
        if (chain.empty()) {
          chain = sourceSql(j.name1) + word + sourceSql(j.name2) + " ON " + x(j.expression);
          inChain = {j.name1, j.name2};
        } else if (has(j.name1) && !has(j.name2)) {
          chain = "(" + chain + ")" + word + sourceSql(j.name2) + " ON " + x(j.expression);
          inChain.push_back(j.name2);
        } else if (has(j.name2) && !has(j.name1)) {
          const char* flipped = type == 2 ? " RIGHT JOIN " : type == 3 ? " LEFT JOIN " : " INNER JOIN ";
          chain = "(" + chain + ")" + flipped + sourceSql(j.name1) + " ON " + x(j.expression);
          inChain.push_back(j.name1);
        } else {
          continue;
        }
        pending.erase(pending.begin() + long(i));
        progressed = true;
        break;
      }
      if (!progressed) throw EngineError("joins that do not form one chain");
    }
    for (const auto& r : rows)
      if (r.attribute == 5 && !has(r.name2.empty() ? r.name1 : r.name2)) from += sourceSql(r.name2.empty() ? r.name1 : r.name2) + ", ";
    from += chain;
  } else {
    for (size_t i = 0; i < tables.size(); ++i) from += (i ? ", " : "") + tables[i];
  }
  auto list = [](const std::vector<std::string>& v, const char* sep) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) out += (i ? sep : "") + v[i];
    return out;
  };
  std::string sql = std::string("SELECT ") + (distinct ? "DISTINCT " : "") + list(outputs, ", ") + " FROM " + from;
  if (!where.empty()) sql += " WHERE " + list(where, " AND ");
  if (!groupBy.empty()) sql += " GROUP BY " + list(groupBy, ", ");
  if (!having.empty()) sql += " HAVING " + list(having, " AND ");
  if (!orderBy.empty()) sql += " ORDER BY " + list(orderBy, ", ");
  return sql;
}

}  // namespace

std::string translateExpression(const std::string& jet, TargetDialect dialect) {
  return Translator(jet, dialect).all();
}

std::vector<TranslatedQuery> translateSavedQueries(const Database& db, TargetDialect dialect) {
  std::vector<TranslatedQuery> out;
  std::map<int32_t, std::vector<QueryRow>> rows;
  bool any = false;
  for (const auto& o : db.objects()) any = any || o.isQuery();
  if (!any) return out;
  auto table = db.table("MSysQueries");
  auto cursor = db.openCursor(table);
  std::map<std::string, size_t> at;
  for (size_t i = 0; i < table->columns.size(); ++i) at[upper(table->columns[i].name)] = i;
  for (const char* need : {"OBJECTID", "ATTRIBUTE", "NAME1", "NAME2", "EXPRESSION", "FLAG"})
    if (!at.count(need)) throw EngineError("MSysQueries has no column " + std::string(need) + ".");
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
  for (auto& [id, list] : rows)
    std::stable_sort(list.begin(), list.end(), [](const QueryRow& a, const QueryRow& b) { return a.order < b.order; });
  for (const auto& o : db.objects()) {
    if (!o.isQuery()) continue;
    TranslatedQuery q;
    q.name = o.name;
    if (o.queryKind() != 0) {
      q.reason = "not a select query";
    } else {
      try {
        q.selectSql = buildSelect(rows[o.id], dialect, q.sources);
      } catch (const EngineError& e) {
        q.reason = std::string("its SQL holds ") + e.what() + ", which does not translate";
      }
    }
    out.push_back(std::move(q));
  }
  return out;
}

}  // namespace kevra
