// Renaming a table through the catalog.
#include "schema/rename_table.h"

#include "ui/database_session.h"

namespace kevra::schema {

void renameTable(ui::DatabaseSession& session, int tableIndex, const QString& newName) {
  session.catalog().Tables().Item(tableIndex).Name(newName.toStdString());
}

}  // namespace kevra::schema
