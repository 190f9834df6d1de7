// Delete field: after the user confirms, the chosen field and its data are
// removed from the selected table through the catalog.
#pragma once
#include <QString>

class QWidget;

namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

// Deletes `field` (the field list's text) from the session's selected table.
// Returns false, asking nothing, when no field is chosen, and false when the
// user does not answer Yes; engine refusals are thrown.
bool deleteField(QWidget* parent, ui::DatabaseSession& session, const QString& field);

}  // namespace kevra::schema
