// Delete field: after the user confirms, the chosen field and its data are
// removed from the selected table through the catalog, together with the
// indexes that use it (the engine keeps a field an index uses), which the
// question names.
#pragma once
#include <QString>
#include <QStringList>

class QWidget;

namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

// Deletes `field` (the field list's text) from the session's selected table.
// Returns false, asking nothing, when no field is chosen, and false when the
// user does not answer Yes; engine refusals are thrown. `droppedIndexes`,
// when given, receives the names of the indexes that went with the field.
bool deleteField(QWidget* parent, ui::DatabaseSession& session, const QString& field,
                 QStringList* droppedIndexes = nullptr);

// The indexes of the session's selected table that use `field`, by name,
// leaving out those of relationships (a relationship keeps its field; the
// engine says so when asked to delete it).
QStringList indexesUsingField(ui::DatabaseSession& session, const QString& field);

}  // namespace kevra::schema
