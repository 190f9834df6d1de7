// Delete index: after the user confirms, the chosen index is removed from
// the selected table through the catalog. The primary key's index may be
// chosen too; the table then has no primary key.
#pragma once
#include <QString>

class QWidget;

namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

// Deletes the index `index` (the index list's text) of the session's selected
// table. Returns false, asking nothing, when no index is chosen, and false
// when the user does not answer Yes; engine refusals are thrown.
bool deleteIndex(QWidget* parent, ui::DatabaseSession& session, const QString& index);

}  // namespace kevra::schema
