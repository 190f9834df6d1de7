// The main window: its construction, command map, command states, status
// panel, and the commands that span the tree and the pages.
#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QUrl>

#include "app/about_box.h"
#include "app/user_guide.h"
#include "browse/query_page.h"
#include "browse/records_page.h"
#include "browse/start_page.h"
#include "database/ado_types.h"
#include "database/attachments.h"
#include "database/database_password.h"
#include "database/jet_engine.h"
#include "browse/structure_page.h"
#include "browse/table_tree.h"
#include "convert/export_table.h"
#include "convert/import_tables.h"
#include "convert/upsize_dialog.h"
#include "schema/add_field_dialog.h"
#include "schema/apply_field_changes.h"
#include "schema/create_index_dialog.h"
#include "schema/delete_field.h"
#include "schema/delete_index.h"
#include "schema/drop_table.h"
#include "schema/primary_key.h"
#include "schema/table_name_dialog.h"
#include "ui/dialog_seam.h"
#include "ui/error_display.h"
#include "ui/file_code_pages.h"
#include "ui/message_boxes.h"
#include "ui/recent_files.h"
#include "ui_main_window.h"

static void initKevraResources() { Q_INIT_RESOURCE(kevra); }

namespace kevra::app {

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent),
      form_(std::make_unique<Ui::MainWindow>()),
      openDialog_(ui::FileDialogKind::Open,
                  QStringLiteral("Access databases (*.mdb *.accdb)|*.mdb;*.accdb|All Files (*.*)|*.*"),
                  QStringLiteral("c:\\")),
      saveDialog_(ui::FileDialogKind::Save, QStringLiteral("Microsoft Access Database (*.mdb)|*.mdb")),
      importDialog_(ui::FileDialogKind::Open, QString::fromLatin1(convert::kImportFilter)) {
  initKevraResources();
  form_->setupUi(this);

  statusPanel_ = new QLabel(form_->statusBar);
  statusPanel_->setObjectName(QStringLiteral("statusPanel"));
  form_->statusBar->addWidget(statusPanel_, 1);
  setStatusText(QStringLiteral("Closed"));
  rowPanel_ = new QLabel(form_->statusBar);
  rowPanel_->setObjectName(QStringLiteral("rowPanel"));
  rowPanel_->setMinimumWidth(rowPanel_->fontMetrics().horizontalAdvance(QStringLiteral("Row 1,000,000 of 1,000,000+ (filtered)")));
  rowPanel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  readOnlyPanel_ = new QLabel(form_->statusBar);
  readOnlyPanel_->setObjectName(QStringLiteral("readOnlyPanel"));
  readOnlyPanel_->hide();
  form_->statusBar->addPermanentWidget(readOnlyPanel_);
  form_->statusBar->addPermanentWidget(rowPanel_);
  connect(form_->recordsPage, &browse::RecordsPage::positionChanged, this,
          [this] { rowPanel_->setText(form_->pages->isVisible() ? form_->recordsPage->positionText() : QString()); });

  form_->splitter->setStretchFactor(0, 0);
  form_->splitter->setStretchFactor(1, 1);
  form_->splitter->setSizes({145, width() - 147});

  form_->structurePage->setSession(session_);

  // Commands whose work is written. The others are disabled whatever state
  // the window is in, until their work lands and they join this list.
  implemented_ = {form_->openAction,      form_->closeAction,         form_->createAction, form_->compactAction,
                  form_->upsizeAction,
                  form_->exitAction,      form_->addTableAction,      form_->renameTableAction,
                  form_->dropTableAction, form_->importAction,        form_->exportAction,
                  form_->saveAttachmentsAction, form_->contentsAction, form_->documentationAction, form_->aboutAction};
  for (QAction* command : {form_->openAction, form_->closeAction, form_->createAction, form_->compactAction,
                           form_->exitAction, form_->addTableAction, form_->renameTableAction, form_->dropTableAction,
                           form_->importAction, form_->exportAction, form_->contentsAction, form_->documentationAction,
                           form_->aboutAction})
    setCommandAvailable(command, command->isEnabled());  // as designed, if written

  connectCommands();
  addKeysAndRecordCommands();
  addStartPageAndRecentFiles();
  addLinkCommands();
}

void MainWindow::addStartPageAndRecentFiles() {
  startPage_ = new browse::StartPage(form_->pageArea);
  startPage_->setObjectName(QStringLiteral("startPage"));
  form_->pageAreaLayout->addWidget(startPage_);
  const auto command = [this](void (MainWindow::*handler)()) {
    return [this, handler] { ui::runCommand(this, [this, handler] { (this->*handler)(); }); };
  };
  connect(startPage_, &browse::StartPage::openRequested, this, command(&MainWindow::openDatabase));
  connect(startPage_, &browse::StartPage::createRequested, this, command(&MainWindow::createDatabase));
  const auto openRecent = [this](const QString& path) {
    ui::runCommand(this, [this, &path] { openDatabaseFile(path); });
  };
  connect(startPage_, &browse::StartPage::recentFileChosen, this, openRecent);

  openWithCodePageAction_ = new QAction(QStringLiteral("Open with Code &Page..."), this);
  openWithCodePageAction_->setObjectName(QStringLiteral("openWithCodePageAction"));
  form_->fileMenu->insertAction(form_->closeAction, openWithCodePageAction_);
  connect(openWithCodePageAction_, &QAction::triggered, this, command(&MainWindow::openDatabaseWithCodePage));

  recentMenu_ = new QMenu(QStringLiteral("Recent &Files"), this);
  recentMenu_->setObjectName(QStringLiteral("recentMenu"));
  form_->fileMenu->insertMenu(form_->closeAction, recentMenu_);
  connect(recentMenu_, &QMenu::triggered, this,
          [openRecent](QAction* chosen) { openRecent(chosen->data().toString()); });
  showRecentFiles();
}

void MainWindow::showRecentFiles() {
  const QStringList files = ui::RecentFiles().files();
  recentMenu_->clear();
  for (int i = 0; i < files.size(); ++i) {
    QAction* entry = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(files[i]).fileName()));
    entry->setData(files[i]);
    entry->setToolTip(files[i]);
  }
  recentMenu_->menuAction()->setEnabled(!files.isEmpty() && !form_->closeAction->isEnabled());
  startPage_->setRecentFiles(files);
}

void MainWindow::addKeysAndRecordCommands() {
  form_->openAction->setShortcut(QKeySequence::Open);
  form_->closeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
  form_->exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  refreshListAction_ = new QAction(QStringLiteral("Re&fresh List"), this);
  refreshListAction_->setObjectName(QStringLiteral("refreshListAction"));
  refreshListAction_->setShortcut(QKeySequence(Qt::Key_F5));
  form_->tablesMenu->addSeparator();
  form_->tablesMenu->addAction(refreshListAction_);
  // The tree is read again; the table on screen stays as it is.
  connect(refreshListAction_, &QAction::triggered, this, [this] {
    ui::runCommand(this, [this] {
      session_.rereadCatalog();
      refreshTableList();
      form_->tableTree->selectTable(shownTable_);
    });
  });

  recordsMenu_ = new QMenu(QStringLiteral("&Records"), this);
  recordsMenu_->setObjectName(QStringLiteral("recordsMenu"));
  for (QAction* command : form_->recordsPage->commands()) {
    if (command)
      recordsMenu_->addAction(command);
    else
      recordsMenu_->addSeparator();
  }
  form_->menuBar->insertMenu(form_->helpMenu->menuAction(), recordsMenu_);
  recordsMenu_->setEnabled(false);
}

MainWindow::~MainWindow() {
  // The pages outlive the form's pointers while the base class deletes
  // them; what they signal then must not reach this window.
  form_->recordsPage->disconnect(this);
}

browse::RecordsPage* MainWindow::recordsPage() const { return form_->recordsPage; }

browse::StructurePage* MainWindow::structurePage() const { return form_->structurePage; }

browse::QueryPage* MainWindow::queryPage() const { return form_->queryPage; }

void MainWindow::connectCommands() {
  const auto command = [this](void (MainWindow::*handler)()) {
    return [this, handler] { ui::runCommand(this, [this, handler] { (this->*handler)(); }); };
  };
  connect(form_->openAction, &QAction::triggered, this, command(&MainWindow::openDatabase));
  connect(form_->closeAction, &QAction::triggered, this, command(&MainWindow::closeDatabase));
  connect(form_->exitAction, &QAction::triggered, this, command(&MainWindow::exitProgram));
  connect(form_->documentationAction, &QAction::triggered, this, command(&MainWindow::showDocumentation));
  connect(form_->contentsAction, &QAction::triggered, this, command(&MainWindow::showGuide));
  connect(form_->aboutAction, &QAction::triggered, this, command(&MainWindow::showAbout));
  connect(form_->createAction, &QAction::triggered, this, command(&MainWindow::createDatabase));
  connect(form_->compactAction, &QAction::triggered, this, command(&MainWindow::compactDatabase));
  connect(form_->upsizeAction, &QAction::triggered, this, command(&MainWindow::upsizeDatabase));
  connect(form_->tableTree, &QTreeWidget::itemClicked, this, command(&MainWindow::showTable));
  connect(form_->addTableAction, &QAction::triggered, this, command(&MainWindow::addTable));
  connect(form_->renameTableAction, &QAction::triggered, this, command(&MainWindow::renameTable));
  connect(form_->dropTableAction, &QAction::triggered, this, command(&MainWindow::dropTable));
  connect(form_->importAction, &QAction::triggered, this, command(&MainWindow::importTables));
  connect(form_->exportAction, &QAction::triggered, this, command(&MainWindow::exportTable));
  connect(form_->saveAttachmentsAction, &QAction::triggered, this, command(&MainWindow::saveAttachments));

  // Going to the structure page posts the row being edited first, as its
  // commands reload the rows; a refusal keeps the user on the records page.
  connect(form_->pages, &QTabWidget::currentChanged, this, [this](int index) {
    if (form_->pages->widget(index) != form_->structurePage || !form_->recordsPage->editPending()) return;
    if (!form_->recordsPage->postPendingEdit()) form_->pages->setCurrentWidget(form_->recordsPage);
  });

  browse::StructurePage* page = form_->structurePage;
  connect(page, &browse::StructurePage::applyChangesRequested, this,
          [this](const schema::FieldEdits& edits) { ui::runCommand(this, [&] { applyFieldChanges(edits); }); });
  connect(page, &browse::StructurePage::addFieldRequested, this, command(&MainWindow::addField));
  connect(page, &browse::StructurePage::deleteFieldRequested, this,
          [this](const QString& field) { ui::runCommand(this, [&] { deleteField(field); }); });
  connect(page, &browse::StructurePage::selectKeyRequested, this,
          [this](const QStringList& fields) { ui::runCommand(this, [&] { selectPrimaryKey(fields); }); });
  connect(page, &browse::StructurePage::addIndexRequested, this, command(&MainWindow::createIndex));
  connect(page, &browse::StructurePage::deleteIndexRequested, this,
          [this](const QString& index) { ui::runCommand(this, [&] { deleteIndex(index); }); });
}

void MainWindow::setCommandAvailable(QAction* command, bool available) {
  command->setEnabled(available && implemented_.contains(command));
}

void MainWindow::setDatabaseCommands(bool open) {
  setCommandAvailable(form_->openAction, !open);
  if (openWithCodePageAction_) openWithCodePageAction_->setEnabled(!open);
  setCommandAvailable(form_->closeAction, open);
  setCommandAvailable(form_->createAction, !open);
  setCommandAvailable(form_->compactAction, !open);
  setCommandAvailable(form_->upsizeAction, open);
  form_->tablesMenu->setEnabled(open);
  form_->convertMenu->setEnabled(open);
  if (recordsMenu_) recordsMenu_->setEnabled(open);
  if (startPage_) {
    startPage_->setVisible(!open);
    showRecentFiles();
  }
  // A file that cannot be changed gets no command that would change it
  // (with none open, their menus are off instead).
  setCommandAvailable(form_->addTableAction, !open || fileWritable());
  setCommandAvailable(form_->importAction, !open || fileWritable());
  // Table commands wait for a table click; Close leaves them as they were.
  if (open) setTableCommands(false);
}

bool MainWindow::fileWritable() const {
  return session_.connection().State() != db::adStateClosed && !session_.connection().readOnly();
}

void MainWindow::showReadOnlyReason() {
  QString reason;
  if (session_.connection().State() != db::adStateClosed && session_.connection().readOnly()) {
    reason = QString::fromStdString(session_.connection().readOnlyReason());
    if (reason.isEmpty()) reason = QStringLiteral("Read-only: the file cannot be written.");
  }
  readOnlyPanel_->setText(reason);
  readOnlyPanel_->setVisible(!reason.isEmpty());
}

QString MainWindow::readOnlyStatusText() const { return readOnlyPanel_->text(); }

void MainWindow::setTableCommands(bool tableSelected) {
  // A link's commands are its own: the table itself lives in another file.
  const bool link = tableSelected && form_->tableTree->selectedIsLink();
  const bool local = tableSelected && !link;
  setCommandAvailable(form_->renameTableAction, local && fileWritable());
  setCommandAvailable(form_->dropTableAction, local && fileWritable());
  setCommandAvailable(form_->exportAction, local);
  setCommandAvailable(form_->saveAttachmentsAction,
                      local && db::HasAttachments(session_.connection(), selectedTable().toStdString()));
  if (relinkTableAction_) relinkTableAction_->setEnabled(link && fileWritable());
}

QString MainWindow::selectedTable() const { return form_->tableTree->selectedTable(); }

QString MainWindow::statusText() const { return statusPanel_->text(); }

QString MainWindow::rowStatusText() const { return rowPanel_->text(); }

void MainWindow::setOpenFileTitle(const QString& path) {
  setWindowTitle(path.isEmpty() ? ui::kApplicationTitle
                                : QFileInfo(path).fileName() + QStringLiteral(" \u2014 ") + ui::kApplicationTitle);
}

void MainWindow::setStatusText(const QString& text) { statusPanel_->setText(text); }

void MainWindow::openDatabase() {
  openDialog_.setFileName({});
  openDialog_.run(this);
  if (openDialog_.fileName().isEmpty()) return;  // cancelled: nothing changes
  openDatabaseFile(openDialog_.fileName());
}

void MainWindow::openDatabaseWithCodePage() {
  openDialog_.setFileName({});
  openDialog_.run(this);
  if (openDialog_.fileName().isEmpty()) return;
  const QString path = openDialog_.fileName();
  ui::FileCodePages codePages;
  QStringList names;
  int current = 0;
  for (const auto& [number, name] : ui::FileCodePages::choices()) {
    if (number == (codePages.codePageOf(path) ? codePages.codePageOf(path) : 1252)) current = int(names.size());
    names << name;
  }
  const std::optional<QString> chosen =
      ui::dialogs().choose(this, QStringLiteral("Open with Code Page"),
                           QStringLiteral("Read the text of '%1' in the code page:").arg(QFileInfo(path).fileName()),
                           names, current);
  if (!chosen) return;
  for (const auto& [number, name] : ui::FileCodePages::choices())
    if (name == *chosen) codePages.remember(path, number);
  openDatabaseFile(path);
}

void MainWindow::openDatabaseFile(const QString& path) {
  // A protected file asks for its password first, again after a wrong one;
  // Cancel leaves nothing open.
  QString password;
  if (db::databaseHasPassword(path.toStdString())) {
    QString problem;
    for (;;) {
      const std::optional<QString> typed = ui::dialogs().password(this, QFileInfo(path).fileName(), problem);
      if (!typed) return;
      if (db::databasePasswordMatches(path.toStdString(), typed->toStdString())) {
        password = *typed;
        break;
      }
      problem = QStringLiteral("That password is not correct (passwords are case-sensitive). Try again.");
    }
  }
  const int codePage = ui::FileCodePages().codePageOf(path);
  try {
    session_.open(path, password, false, codePage);
  } catch (const std::exception& error) {
    // A file another program holds for changes can still be read.
    const QString refusal = QString::fromUtf8(error.what());
    if (!refusal.contains(QStringLiteral(" is in use: "))) throw;
    ui::MessageRequest question;
    question.icon = QMessageBox::Warning;
    question.title = ui::kApplicationTitle;
    question.text = refusal + QStringLiteral("\n\nOpen it read-only? Its rows can then be read, not changed.");
    question.buttons = QMessageBox::Open | QMessageBox::Cancel;
    question.defaultButton = QMessageBox::Open;
    question.buttonTexts[QMessageBox::Open] = QStringLiteral("Open Read-Only");
    if (ui::dialogs().message(this, question) != QMessageBox::Open) return;
    session_.open(path, password, true, codePage);
  }
  try {
    refreshTableList();
  } catch (...) {
    // The menus still show the closed state, so the connection must be
    // closed too; otherwise the next Open would be refused.
    form_->tableTree->clear();
    session_.close();
    throw;
  }
  ui::RecentFiles().add(path);
  setDatabaseCommands(true);
  showReadOnlyReason();
  setStatusText(path);
  setOpenFileTitle(path);
}

bool MainWindow::leaveRecordsForClosing() {
  if (form_->recordsPage->postPendingEdit()) return true;
  ui::MessageRequest question;
  question.icon = QMessageBox::Question;
  question.title = ui::kApplicationTitle;
  question.text = QStringLiteral("Discard the changes to this record?");
  question.buttons = QMessageBox::Yes | QMessageBox::No;
  question.defaultButton = QMessageBox::No;
  if (ui::dialogs().message(this, question) != QMessageBox::Yes) return false;
  form_->recordsPage->discardPendingEdit();
  return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!leaveRecordsForClosing()) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void MainWindow::closeDatabase() {
  if (!leaveRecordsForClosing()) return;
  shownTable_.clear();
  form_->tableTree->clear();
  session_.close();
  form_->pages->hide();
  form_->recordsPage->setGridVisible(false);
  setDatabaseCommands(false);
  setStatusText(QStringLiteral("Closed"));
  setOpenFileTitle({});
  form_->recordsPage->closeRecords();
  form_->recordsPage->setCommandsEnabled(false);
  form_->queryPage->clear();
  rowPanel_->clear();
  showReadOnlyReason();
}

void MainWindow::createDatabase() {
  saveDialog_.setFileName({});
  saveDialog_.run(this);
  if (saveDialog_.fileName().isEmpty()) return;  // cancelled: nothing changes
  // A name without an extension gets the one of the format made (an Access
  // 2000 file, .mdb); an existing file is refused.
  QString path = saveDialog_.fileName();
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".mdb");
  session_.create(path);
  ui::showInformation(this, QStringLiteral("New Database Has Been Created: ") + path);
  openDatabaseFile(path);
}

void MainWindow::compactDatabase() {
  openDialog_.setFileName({});
  openDialog_.run(this);
  if (openDialog_.fileName().isEmpty()) return;
  saveDialog_.setFileName({});
  saveDialog_.run(this);
  if (saveDialog_.fileName().isEmpty()) return;
  // An engine object of its own for this one compaction, released when the
  // command ends, also when it fails. A large file shows its progress.
  auto engine = std::make_unique<db::JetEngine>();
  QProgressDialog progress(QStringLiteral("Compacting ") + QFileInfo(openDialog_.fileName()).fileName() +
                               QStringLiteral("..."),
                           QString(), 0, 1000, this);
  progress.setWindowTitle(QStringLiteral("Compact"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  engine->progress = [&progress](uint64_t done, uint64_t total) {
    progress.setValue(total ? int(done * 1000 / total) : 1000);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  engine->CompactDatabase(ui::kJetConnectionPrefix + openDialog_.fileName().toStdString(),
                          ui::kJetConnectionPrefix + saveDialog_.fileName().toStdString());
  progress.reset();
  engine.reset();
  ui::showInformation(this, QStringLiteral("Database has been succesfully compacted."));
}

void MainWindow::upsizeDatabase() {
  // The upsize reads the file through a connection of its own: what is
  // typed must be in the file first.
  if (!form_->recordsPage->postPendingEdit()) return;
  convert::upsizeDatabase(this, session_);
}

void MainWindow::exitProgram() {
  if (close()) QCoreApplication::quit();
}

void MainWindow::refreshCatalog(bool keepTable) {
  // The records dataset has a connection of its own to the file; it is
  // closed while the shared connection reopens and opened only afterwards.
  form_->recordsPage->closeRecords();
  session_.reopen();
  if (keepTable) {
    form_->recordsPage->reloadRecords();
  } else {
    refreshTableList();
    form_->pages->hide();
    shownTable_.clear();
    rowPanel_->clear();
    // No table is on show: the status names the file alone, never a table
    // that was renamed or dropped.
    setStatusText(session_.path());
    form_->recordsPage->setCommandsEnabled(false);
    // No table is selected now: the commands on one wait for the next click.
    setTableCommands(false);
  }
}

void MainWindow::refreshTableList() { form_->tableTree->fill(session_.catalog()); }

void MainWindow::showPages(bool records, bool structure, bool sql) {
  form_->pages->setTabVisible(form_->pages->indexOf(form_->recordsPage), records);
  form_->pages->setTabVisible(form_->pages->indexOf(form_->structurePage), structure);
  form_->pages->setTabVisible(form_->pages->indexOf(form_->queryPage), sql);
}

void MainWindow::showQuery(const db::Query& query) {
  // As for a table: the edit of the table shown is posted before it goes.
  if (!form_->recordsPage->postPendingEdit()) {
    form_->tableTree->selectTable(shownTable_);
    return;
  }
  shownTable_.clear();
  setTableCommands(false);
  form_->recordsPage->closeRecords();
  form_->recordsPage->setCommandsEnabled(false);
  rowPanel_->clear();
  form_->queryPage->showQuery(query, query.OpensRows());
  form_->pages->show();
  showPages(false, false, true);
  form_->pages->setCurrentWidget(form_->queryPage);
  setStatusText(session_.path() + QStringLiteral(" -> ") + QString::fromStdString(query.Name()));
  if (!query.OpensRows()) return;
  // A statement the engine refuses leaves the SQL page on show with the
  // refusal in the error display.
  form_->recordsPage->showQueryRecords(session_.connectionString(), query.RowsText());
  showPages(true, false, true);
  form_->recordsPage->setGridVisible(true);
  form_->pages->setCurrentWidget(form_->recordsPage);
  form_->recordsPage->fitColumnWidths();
  rowPanel_->setText(form_->recordsPage->positionText());
  form_->recordsPage->setCommandsEnabled(true);
}

void MainWindow::showTable() {
  if (const std::optional<db::Query> query = form_->tableTree->selectedQuery()) {
    showQuery(*query);
    return;
  }
  const QString table = form_->tableTree->selectedTable();
  if (table.isNull()) return;  // a click beside the nodes
  // The edit of the table shown is posted before it goes; when that is
  // refused the user stays with it, the edit still pending.
  if (!form_->recordsPage->postPendingEdit()) {
    form_->tableTree->selectTable(shownTable_);
    return;
  }
  session_.selectTable(table.toStdString());
  if (form_->tableTree->selectedIsLink()) {
    showLinkedTable(table);
    return;
  }
  // When the rows cannot be opened, nothing below changes.
  form_->recordsPage->showRecords(session_.connectionString(), table);
  form_->recordsPage->showFieldDisplays(session_.selectedTable().Columns());
  shownTable_ = table;

  form_->pages->show();
  showPages(true, true, false);
  form_->recordsPage->setGridVisible(true);
  form_->pages->setCurrentWidget(form_->recordsPage);
  setTableCommands(true);
  setStatusText(session_.path() + QStringLiteral(" -> ") + table);

  form_->structurePage->showTable();
  form_->recordsPage->fitColumnWidths();
  rowPanel_->setText(form_->recordsPage->positionText());
  form_->recordsPage->setCommandsEnabled(true);
}

void MainWindow::addTable() {
  if (!leaveRecordsForClosing()) return;  // the rows are read again afterwards
  schema::TableNameDialog dialog(session_, this);
  connect(&dialog, &schema::TableNameDialog::refreshRequested, this,
          [this] { ui::runCommand(this, [this] { refreshCatalog(false); }); });
  if (dialog.exec() == QDialog::Accepted) refreshCatalog(false);
}

void MainWindow::renameTable() {
  if (!leaveRecordsForClosing()) return;  // the rows are read again afterwards
  const QString table = selectedTable();
  if (table.isNull()) return;
  schema::TableNameDialog dialog(session_, table, session_.selectedTableIndex(), this);
  connect(&dialog, &schema::TableNameDialog::refreshRequested, this,
          [this] { ui::runCommand(this, [this] { refreshCatalog(false); }); });
  if (dialog.exec() == QDialog::Accepted) refreshCatalog(false);
}

void MainWindow::dropTable() {
  if (!leaveRecordsForClosing()) return;  // the rows are read again afterwards
  const QString table = selectedTable();
  if (table.isNull()) return;
  if (schema::dropTable(this, session_, table)) refreshCatalog(false);
}

void MainWindow::applyFieldChanges(const schema::FieldEdits& edits) {
  const QString table = selectedTable();
  const auto renamed = [this, &table](const QString& from, const QString& to) {
    form_->structurePage->renameField(table, from, to);
  };
  if (schema::applyFieldChanges(session_, table, edits, renamed)) refreshCatalog(true);
}

void MainWindow::addField() {
  schema::AddFieldDialog dialog(session_, selectedTable(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  refreshCatalog(true);
  form_->structurePage->appendField(dialog.field().name);
}

void MainWindow::deleteField(const QString& field) {
  QStringList droppedIndexes;
  if (!schema::deleteField(this, session_, field, &droppedIndexes)) return;
  refreshCatalog(true);
  if (droppedIndexes.isEmpty())
    form_->structurePage->removeChosenField(field);
  else
    form_->structurePage->showTable();  // the index list changed too
}

void MainWindow::selectPrimaryKey(const QStringList& wantedFields) {
  schema::selectPrimaryKey(session_, selectedTable(), wantedFields);
  refreshCatalog(true);
}

void MainWindow::createIndex() {
  schema::CreateIndexDialog dialog(session_, selectedTable(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  refreshCatalog(true);
  form_->structurePage->appendIndex(dialog.index().name);
}

void MainWindow::deleteIndex(const QString& index) {
  if (!schema::deleteIndex(this, session_, index)) return;
  refreshCatalog(true);
  form_->structurePage->removeChosenIndex();
}

void MainWindow::importTables() {
  if (convert::importTables(this, session_, importDialog_)) refreshCatalog(false);
}

void MainWindow::exportTable() { convert::exportTable(this, session_, selectedTable()); }

void MainWindow::saveAttachments() {
  const QString table = selectedTable();
  if (table.isEmpty()) return;
  ui::FileRequest request;
  request.kind = ui::FileDialogKind::Folder;
  const QString folder = ui::dialogs().fileName(this, request);
  if (folder.isEmpty()) return;
  const size_t saved = db::SaveAttachments(session_.connection(), table.toStdString(), folder.toStdString());
  ui::showInformation(this, QStringLiteral("%1 attached file%2 of table '%3' saved under '%4'.")
                                .arg(saved)
                                .arg(saved == 1 ? QString() : QStringLiteral("s"))
                                .arg(table, folder));
}

void MainWindow::showDocumentation() {
  // The result is not examined: a missing page or viewer shows nothing.
  QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::current().filePath(QStringLiteral("kevra.htm"))));
}

void MainWindow::showGuide() {
  // Beside the window, not modal: the guide stays open while the user works.
  if (!guide_) {
    guide_ = new UserGuide(this);
    guide_->setAttribute(Qt::WA_DeleteOnClose);
  }
  guide_->show();
  guide_->raise();
  guide_->activateWindow();
}

void MainWindow::showAbout() {
  AboutBox box(this);  // a fresh box every time, gone when its modal run ends
  box.exec();
}

}  // namespace kevra::app
