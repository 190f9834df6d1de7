// Building the type and null part of a column definition.
#include "schema/column_clause.h"

#include <QStringList>

#include "schema/type_vocabulary.h"

namespace kevra::schema {

QString columnTypeClause(const QString& typeName, const QString& length, bool nullable) {
  QString clause = sqlTypeFor(typeName);
  if (typeName == kTextType && !length.isEmpty()) clause += QStringLiteral("(") + length + QStringLiteral(")");
  clause += nullable ? QStringLiteral(" NULL ") : QStringLiteral(" NOT NULL ");
  return clause;
}

QString bracketedList(const QStringList& names) {
  QStringList bracketed;
  for (const QString& name : names) bracketed << QStringLiteral("[") + name + QStringLiteral("]");
  return bracketed.join(QLatin1Char(','));
}

}  // namespace kevra::schema
