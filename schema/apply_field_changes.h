// Apply Changes: writes the field editors of the structure page back to the
// chosen field. What changed is found by comparing the editors with the
// session's field snapshot, taken when the field was chosen:
//  - a new name and a new default value are written through the catalog at
//    once (and recorded in the snapshot);
//  - anything else (type, length, nullability, related field) restates the
//    whole column in one ALTER COLUMN statement. When the field had a
//    relation, its foreign keys are dropped first; a refused statement puts
//    them back, so bad input leaves the relations as they were.
#pragma once
#include <QString>
#include <functional>

namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

// The editors as the user left them. The field they belong to is the one
// the session's field snapshot was taken of.
struct FieldEdits {
  QString name;           // field name box
  QString type;           // field type box: a display type name, or empty
  QString length;         // field length box
  bool nullable = false;  // nullable check
  QString defaultValue;   // default value box
  QString relatedField;   // related field list: empty or Table->Column
};

// Called as soon as the field has been renamed, before anything else can fail.
using FieldRenamed = std::function<void(const QString& from, const QString& to)>;

// Applies `edits` to the field of `table`, the session's selected table.
// Returns true when the column was restated, false when only the name and
// the default value changed (or nothing did). Engine refusals are thrown;
// what was done before them stays done.
bool applyFieldChanges(ui::DatabaseSession& session, const QString& table, const FieldEdits& edits,
                       const FieldRenamed& renamed);

}  // namespace kevra::schema
