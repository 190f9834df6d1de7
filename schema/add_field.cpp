// The add-column statement and its run.
#include "schema/add_field.h"

#include "schema/column_clause.h"
#include "ui/database_session.h"

namespace kevra::schema {

QString addFieldStatement(const QString& table, const NewField& field) {
  // The table name is bracketed like the field's, so names with blanks work.
  return QStringLiteral("alter table [") + table + QStringLiteral("] add column [") + field.name +
         QStringLiteral("] ") + columnTypeClause(field.type, field.length, field.nullable);
}

void addField(ui::DatabaseSession& session, const QString& table, const NewField& field) {
  session.runStatement(addFieldStatement(table, field).toStdString());
}

}  // namespace kevra::schema
