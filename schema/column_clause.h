// The part of a column definition that follows the bracketed field name in
// the add-column and alter-column statements: the SQL type word, a length
// for TEXT, and the null clause.
#pragma once
#include <QString>

namespace kevra::schema {

// The type word of `typeName` (a display type name), "(" length ")" when the
// type is TEXT and `length` is not empty, then " NULL " or " NOT NULL ".
// The length goes in as typed: the engine judges it.
QString columnTypeClause(const QString& typeName, const QString& length, bool nullable);

// `names` each in square brackets, joined by "," with no blank.
QString bracketedList(const QStringList& names);

}  // namespace kevra::schema
