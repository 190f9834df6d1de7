// The create-index statement and its run.
#include "schema/create_index.h"

#include "schema/column_clause.h"
#include "ui/database_session.h"

namespace kevra::schema {

QString createIndexStatement(const QString& table, const NewIndex& index) {
  QString sql = QStringLiteral("create ");
  if (index.unique) sql += QStringLiteral(" UNIQUE ");
  sql += QStringLiteral("index ") + index.name + QStringLiteral(" on [") + table + QStringLiteral("]");
  sql += QStringLiteral("(") + bracketedList(index.fields) + QStringLiteral(")");
  return sql;
}

void createIndex(ui::DatabaseSession& session, const QString& table, const NewIndex& index) {
  session.runStatement(createIndexStatement(table, index).toStdString());
}

}  // namespace kevra::schema
