// The import command: file dialog, import connection, the file's one table
// copied or the Tables dialog.
#include "convert/import_tables.h"

#include "convert/conversion_progress.h"
#include "convert/import_tables_dialog.h"
#include "convert/import_warnings.h"
#include "database/catalog.h"
#include "database/conversion_statements.h"
#include "database/table_import.h"
#include "ui/database_session.h"
#include "ui/file_dialog.h"

namespace kevra::convert {

const char* const kImportFilter =
    "Access Database (*.mdb)|*.mdb|Paradox Table (*.db)|*.db|Excel Spreadsheet (*.xls)|*.xls|HTML File "
    "(*.htm,*.html)|*.htm;*.html|Text File (*.txt,*.csv)|*.txt;*.csv|dBase Table (*.dbf)|*.dbf";

bool importTables(QWidget* parent, ui::DatabaseSession& session, ui::FileDialog& fileDialog) {
  fileDialog.setFileName({});
  fileDialog.run(parent);
  if (fileDialog.fileName().isEmpty()) return false;  // cancelled: the last import connection stays
  const std::string file = fileDialog.fileName().toStdString();
  session.importConnection() = std::make_unique<db::Connection>();  // the previous one is released
  const auto source = db::importSourceFor(file);
  if (!source) return false;
  db::Connection& connection = *session.importConnection();
  connection.Open(source->connectionString, source->user, "", 0);
  if (!source->choosesTables) {
    ConversionProgress progress(parent, QString::fromStdString(source->baseName));
    const db::ImportOutcome outcome = db::importTables(connection, {{source->sourceTable, source->baseName}},
                                                       session.path().toStdString(), progress.callback());
    showImportWarnings(parent, outcome);
    return true;
  }
  db::Catalog catalog;
  catalog.ActiveConnection(connection);
  QStringList tables;
  const db::Tables& all = catalog.Tables();
  for (int i = 0; i < all.Count(); ++i)
    if (all.Item(i).Type() == "TABLE") tables << QString::fromStdString(all.Item(i).Name());
  ImportTablesDialog dialog(session, tables, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace kevra::convert
