// MainWindow: the program's one window. It builds the menus and maps each
// command to its slot, owns the open-database session and the status bar,
// and switches between the table tree's pages. The pages do their own work;
// commands that span them (open, close, show a table, refresh after a
// structure change) are coordinated here. Every command runs through the
// application's error display.
#pragma once
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QString>
#include <memory>

#include "ui/database_session.h"
#include "ui/file_dialog.h"

class QAction;
class QLabel;
class QMenu;

namespace Ui {
class MainWindow;
}
namespace kevra::browse {
class QueryPage;
class RecordsPage;
class StartPage;
class StructurePage;
}  // namespace kevra::browse
namespace kevra::schema {
struct FieldEdits;
}

namespace kevra::app {

class UserGuide;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // File menu. openDatabase() asks for a file and opens it with
  // openDatabaseFile(), which the command line uses too.
  void openDatabase();
  void openDatabaseFile(const QString& path);
  // File > Open with Code Page: a file chosen as Open does, its text read in
  // a code page the user picks (for an Access 97 file whose header names
  // another); the choice is kept for the file and used whenever it opens.
  void openDatabaseWithCodePage();
  void closeDatabase();
  void exitProgram();
  // File > Create: a new, empty database file at a path the user chooses
  // (".mdb" added to a name without an extension), then opened.
  void createDatabase();
  void compactDatabase();
  // File > Upsize: the open database into a PostgreSQL server or a SQLite
  // file, through the Upsize dialog; the row being edited is posted first.
  void upsizeDatabase();

  // After a structure change: the shared connection reopened and the catalog
  // bound anew; then either the table on screen is reloaded (keepTable) or
  // the table list is rebuilt and the pages hidden.
  void refreshCatalog(bool keepTable);
  // The table tree filled again from the catalog, no table selected.
  void refreshTableList();

  // The table tree's click: shows the selected table's rows and structure,
  // or the selected saved query (showQuery).
  void showTable();
  // A saved query: its SQL on the SQL page and, for a select or union
  // query, its rows read-only on the records page. Action queries are shown,
  // never run.
  void showQuery(const db::Query& query);
  // A linked table's rows, read from the file its link leads to (the path
  // it stores, or a file of that name beside the open database), editable
  // as that file allows; no structure page. When the file cannot be found
  // the pages are hidden and the error display names the path the link
  // stores; Tables > Relink is offered then as always for a link.
  void showLinkedTable(const QString& table);
  // Tables > Relink (also on the tree's context menu): asks for a database
  // file, points the selected link at it and shows its rows.
  void relinkTable();

  // Tables menu. Each rebuilds the table list after its change; Rename and
  // Drop act on the selected table and are disabled while there is none.
  void addTable();
  void renameTable();
  void dropTable();

  // The structure page's commands, on the selected table. Each refreshes the
  // catalog and reloads the rows after its change, and patches the lists it
  // changed.
  void applyFieldChanges(const schema::FieldEdits& edits);
  void addField();
  void deleteField(const QString& field);
  void selectPrimaryKey(const QStringList& wantedFields);
  void createIndex();
  void deleteIndex(const QString& index);

  // Convert menu. Import copies tables from a foreign file and rebuilds the
  // table list; Export writes the selected table to a foreign file.
  void importTables();
  void exportTable();
  // Convert > Save Attachments: the files of the table's attachment columns into a folder.
  void saveAttachments();

  // Help menu. Contents (F1) shows the user guide beside the window.
  void showDocumentation();
  void showGuide();
  void showAbout();

  const ui::DatabaseSession& session() const { return session_; }
  browse::RecordsPage* recordsPage() const;
  browse::StructurePage* structurePage() const;
  browse::QueryPage* queryPage() const;
  QString statusText() const;
  // The status bar's row panel: "Row 1,234 of 1,000,000" for the grid.
  QString rowStatusText() const;
  // The status bar's read-only panel: why the open file cannot be changed
  // (for example "Access 2007 and later (.accdb) files open read-only for
  // now."); empty while the file is writable or none is open.
  QString readOnlyStatusText() const;

 protected:
  // Closing the window ends the program; an unposted edit is posted first.
  void closeEvent(QCloseEvent* event) override;

 private:
  QPointer<UserGuide> guide_;
  void connectCommands();
  // Standard keys on the File commands, Tables > Refresh List (F5) and the
  // Records menu with the grid's find, filter and delete commands.
  void addKeysAndRecordCommands();
  // The start page shown while no file is open, and File > Recent Files.
  void addStartPageAndRecentFiles();
  // Tables > Relink and the table tree's context menu.
  void addLinkCommands();
  void showRecentFiles();
  // Enables `command` when `available` and its work exists.
  void setCommandAvailable(QAction* command, bool available);
  void setDatabaseCommands(bool open);
  void setStatusText(const QString& text);
  // The title names the open file ("orders.mdb — Kevra"); "Kevra" when none.
  void setOpenFileTitle(const QString& path);
  void setTableCommands(bool tableSelected);
  // The open file can be changed: commands that write are offered only then.
  bool fileWritable() const;
  // The read-only panel shows why the open file cannot be changed.
  void showReadOnlyReason();
  // Which of the Records, Structure and SQL pages a shown object has.
  void showPages(bool records, bool structure, bool sql);
  QString selectedTable() const;
  // The row being edited in the grid posted before its rows go away. When
  // the engine refuses it, the refusal is shown and the user asked whether
  // to drop the changes; false keeps everything as it was.
  bool leaveRecordsForClosing();

  std::unique_ptr<Ui::MainWindow> form_;
  ui::DatabaseSession session_;
  ui::FileDialog openDialog_;
  ui::FileDialog saveDialog_;
  ui::FileDialog importDialog_;
  QLabel* statusPanel_ = nullptr;
  QLabel* rowPanel_ = nullptr;
  QLabel* readOnlyPanel_ = nullptr;
  QString shownTable_;  // the table whose rows the grid shows
  QSet<QAction*> implemented_;
  QAction* refreshListAction_ = nullptr;
  QAction* relinkTableAction_ = nullptr;
  QMenu* recordsMenu_ = nullptr;
  QMenu* recentMenu_ = nullptr;
  QAction* openWithCodePageAction_ = nullptr;
  browse::StartPage* startPage_ = nullptr;
};

}  // namespace kevra::app
