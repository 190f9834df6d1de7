// Rename table: the stored table takes a new name through the catalog.
#pragma once
#include <QString>

namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

// Renames the table at `tableIndex` of the catalog's Tables (entries of every
// type counted) to `newName`.
void renameTable(ui::DatabaseSession& session, int tableIndex, const QString& newName);

}  // namespace kevra::schema
