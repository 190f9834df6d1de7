// Convert > Import: the user picks a file; its kind (by extension) decides
// the import connection. A dBase, Paradox, HTML or text file is one table,
// copied at once under the file's base name; an Access database or Excel
// workbook shows the Tables dialog to pick from. Files of any other kind end
// the command without a word.
#pragma once

class QWidget;

namespace kevra::ui {
class DatabaseSession;
class FileDialog;
}  // namespace kevra::ui

namespace kevra::convert {

// The filter of the import file dialog.
extern const char* const kImportFilter;

// Returns true when tables were copied and the table list should be rebuilt.
bool importTables(QWidget* parent, ui::DatabaseSession& session, ui::FileDialog& fileDialog);

}  // namespace kevra::convert
