// Add table: a new table with one Yes/No field named like the table, stored
// through the catalog.
#pragma once
#include <QString>

namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

// Creates the table `name` with its one field (type code 11, defined size 15).
void addTable(ui::DatabaseSession& session, const QString& name);

}  // namespace kevra::schema
