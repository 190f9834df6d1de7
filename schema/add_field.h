// Add Field: one new column on the selected table, made by an add-column
// statement built from the Add Field dialog's entries.
#pragma once
#include <QString>

namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

struct NewField {
  QString name;
  QString type;  // a display type name, or empty when none was chosen
  QString length;
  bool nullable = false;
};

// "alter table [T] add column [F] " followed by the type and null clause.
// The entries go in as typed; the engine judges them.
QString addFieldStatement(const QString& table, const NewField& field);

// Runs the statement on the session's statement recordset.
void addField(ui::DatabaseSession& session, const QString& table, const NewField& field);

}  // namespace kevra::schema
