// Drop table: after the user confirms, the table and all its rows are
// removed through the catalog.
#pragma once
#include <QString>

class QWidget;

namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

// Drops the table named `table`. Returns false when the user does not answer
// Yes; engine refusals are thrown.
bool dropTable(QWidget* parent, ui::DatabaseSession& session, const QString& table);

}  // namespace kevra::schema
