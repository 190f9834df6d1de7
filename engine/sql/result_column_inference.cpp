// Static type rules for output columns.
#include "engine/sql/result_column_inference.h"

#include "engine/expr/text_collation.h"

namespace kevra::sql {
namespace {

ResultColumn ofType(ColumnType type, uint16_t length = 0) {
  ResultColumn c;
  c.type = type;
  c.length = length;
  return c;
}

uint16_t fixedLength(ColumnType t) {
  switch (t) {
    case ColumnType::Boolean: return 1;
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: return 4;
    case ColumnType::Single: return 4;
    case ColumnType::Currency:
    case ColumnType::Double:
    case ColumnType::DateTime: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Decimal: return 17;
    case ColumnType::BigInt: return 8;
    case ColumnType::ExtendedDateTime: return 42;
    default: return 0;
  }
}

ResultColumn literalColumn(const Value& v) {
  struct Visitor {
    ColumnType operator()(std::monostate) const { return ColumnType::Text; }
    ColumnType operator()(bool) const { return ColumnType::Boolean; }
    ColumnType operator()(uint8_t) const { return ColumnType::Byte; }
    ColumnType operator()(int16_t) const { return ColumnType::Integer; }
    ColumnType operator()(int32_t) const { return ColumnType::Long; }
    ColumnType operator()(Currency) const { return ColumnType::Currency; }
    ColumnType operator()(float) const { return ColumnType::Single; }
    ColumnType operator()(double) const { return ColumnType::Double; }
    ColumnType operator()(DateTime) const { return ColumnType::DateTime; }
    ColumnType operator()(const std::string&) const { return ColumnType::Text; }
    ColumnType operator()(const Binary&) const { return ColumnType::Binary; }
    ColumnType operator()(Guid) const { return ColumnType::Guid; }
    ColumnType operator()(const Decimal&) const { return ColumnType::Decimal; }
    ColumnType operator()(int64_t) const { return ColumnType::BigInt; }
    ColumnType operator()(const ExtendedDateTime&) const { return ColumnType::ExtendedDateTime; }
  };
  const ColumnType t = std::visit(Visitor{}, v);
  ResultColumn c = ofType(t, t == ColumnType::Text ? 510 : fixedLength(t));
  if (auto* d = std::get_if<Decimal>(&v)) c.precision = 28, c.scale = d->scale;
  return c;
}

bool isTextual(ColumnType t) { return t == ColumnType::Text || t == ColumnType::Memo; }

// Rank of numeric types when two meet in arithmetic.
int numericRank(ColumnType t) {
  switch (t) {
    case ColumnType::Boolean:
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long: return 0;
    case ColumnType::Currency: return 1;
    case ColumnType::Decimal: return 2;
    default: return 3;
  }
}

ResultColumn arithmeticColumn(const std::string& op, const ResultColumn& a, const ResultColumn& b) {
  if (op == "/" && (a.type == ColumnType::Decimal || b.type == ColumnType::Decimal) &&
      numericRank(a.type) <= 2 && numericRank(b.type) <= 2) {
    ResultColumn c = ofType(ColumnType::Decimal, fixedLength(ColumnType::Decimal));
    c.precision = 28, c.scale = 10;
    return c;
  }
  if (op == "/" || op == "^") return ofType(ColumnType::Double, 8);
  if (op == "\\" || op == "MOD") return ofType(ColumnType::Long, 4);
  if (op == "+" && isTextual(a.type) && isTextual(b.type)) return ofType(ColumnType::Text, 510);
  const bool da = a.type == ColumnType::DateTime, db = b.type == ColumnType::DateTime;
  if (da || db) {
    if (op == "+" && !(da && db)) return ofType(ColumnType::DateTime, 8);
    if (op == "-" && da && !db) return ofType(ColumnType::DateTime, 8);
    return ofType(ColumnType::Double, 8);
  }
  const int rank = std::max(numericRank(a.type), numericRank(b.type));
  static const ColumnType byRank[] = {ColumnType::Long, ColumnType::Currency, ColumnType::Decimal, ColumnType::Double};
  ResultColumn c = ofType(byRank[rank], fixedLength(byRank[rank]));
  if (c.type == ColumnType::Decimal) {
    // Currency counts with its four fraction digits.
    const int sa = a.type == ColumnType::Currency ? 4 : a.scale, sb = b.type == ColumnType::Currency ? 4 : b.scale;
    c.precision = 28, c.scale = uint8_t(std::min(28, op == "*" ? sa + sb : std::max(sa, sb)));
  }
  return c;
}

}  // namespace

ResultColumn inferResultColumn(const Expr& e, const TableDef& table) {
  switch (e.kind) {
    case ExprKind::Literal:
      return literalColumn(e.literal);
    case ExprKind::Column: {
      const ColumnDef& def = table.columns.at(size_t(e.columnIndex));
      ResultColumn c;
      c.type = def.type;
      c.length = def.length;
      c.precision = def.precision;
      c.scale = def.scale;
      return c;
    }
    case ExprKind::Unary:
      if (e.op == "NOT") return ofType(ColumnType::Boolean, 1);
      return inferResultColumn(*e.operands[0], table);
    case ExprKind::Binary:
      if (e.op == "AND" || e.op == "OR" || e.op == "=" || e.op == "<>" || e.op == "<" || e.op == "<=" ||
          e.op == ">" || e.op == ">=")
        return ofType(ColumnType::Boolean, 1);
      if (e.op == "&") return ofType(ColumnType::Text, 510);
      return arithmeticColumn(e.op, inferResultColumn(*e.operands[0], table),
                              inferResultColumn(*e.operands[1], table));
    case ExprKind::Like:
    case ExprKind::IsNull:
    case ExprKind::In:
    case ExprKind::Between:
      return ofType(ColumnType::Boolean, 1);
    case ExprKind::Subquery:
      break;
    case ExprKind::Function: {
      auto is = [&](const char* n) { return compareTextIgnoringCase(e.name, n) == 0; };
      for (const char* n : {"Len", "Count", "Year", "Month", "Day", "Hour", "Minute", "Second", "Weekday", "Sgn",
                            "CLng", "InStr"})
        if (is(n)) return ofType(ColumnType::Long, 4);
      for (const char* n : {"Now", "Date", "Time", "DateSerial", "DateValue", "CDate"})
        if (is(n)) return ofType(ColumnType::DateTime, 8);
      for (const char* n : {"CDbl", "Val", "Round"})
        if (is(n)) return ofType(ColumnType::Double, 8);
      if (is("CInt")) return ofType(ColumnType::Integer, 2);
      if (is("CByte")) return ofType(ColumnType::Byte, 1);
      if (is("CSng")) return ofType(ColumnType::Single, 4);
      if (is("CCur")) return ofType(ColumnType::Currency, 8);
      if (is("CDec")) {
        ResultColumn c = ofType(ColumnType::Decimal, fixedLength(ColumnType::Decimal));
        c.precision = 28, c.scale = 10;
        return c;
      }
      if (is("CBool")) return ofType(ColumnType::Boolean, 1);
      if (is("CStr")) return ofType(ColumnType::Memo, 0);
      if (is("IIf") && e.operands.size() == 3) return inferResultColumn(*e.operands[1], table);
      if ((is("Int") || is("Fix")) && !e.operands.empty()) return inferResultColumn(*e.operands[0], table);
      if (is("Avg")) {
        // The mean of Currency is Currency, of Decimal a Decimal; of anything else a Double.
        if (!e.operands.empty()) {
          ResultColumn c = inferResultColumn(*e.operands[0], table);
          if (c.type == ColumnType::Currency) return c;
          if (c.type == ColumnType::Decimal) return c.precision = 28, c.scale = std::max<uint8_t>(c.scale, 10), c;
        }
        return ofType(ColumnType::Double, 8);
      }
      if (is("Sum") && !e.operands.empty()) {
        ResultColumn c = inferResultColumn(*e.operands[0], table);
        if (numericRank(c.type) == 0) c = ofType(ColumnType::Long, 4);
        return c;
      }
      if ((is("Min") || is("Max") || is("First") || is("Last")) && !e.operands.empty())
        return inferResultColumn(*e.operands[0], table);
      if (is("IsNull")) return ofType(ColumnType::Boolean, 1);
      if ((is("Nz") || is("Abs")) && !e.operands.empty()) return inferResultColumn(*e.operands[0], table);
      return ofType(ColumnType::Text, 510);
    }
  }
  return ofType(ColumnType::Text, 510);
}

}  // namespace kevra::sql
