// Making a new table through the catalog.
#include "schema/add_table.h"

#include "database/ado_types.h"
#include "ui/database_session.h"

namespace kevra::schema {

void addTable(ui::DatabaseSession& session, const QString& name) {
  const std::string text = name.toStdString();
  db::Table table;
  table.Name(text);
  table.Columns().Append(text, db::adBoolean, 15);
  session.catalog().Tables().Append(table);
}

}  // namespace kevra::schema
