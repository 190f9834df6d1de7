// Create index: a CREATE INDEX statement on the selected table, built from
// the Create Index dialog's entries.
#pragma once
#include <QString>
#include <QStringList>

namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

struct NewIndex {
  QString name;        // used as typed, bare in the statement
  QStringList fields;  // in the order of the dialog's field list
  bool unique = false;
};

// "create " [" UNIQUE "] "index " name " on [" table "](" [field],... ")".
QString createIndexStatement(const QString& table, const NewIndex& index);

// Runs the statement on the session's statement recordset.
void createIndex(ui::DatabaseSession& session, const QString& table, const NewIndex& index);

}  // namespace kevra::schema
