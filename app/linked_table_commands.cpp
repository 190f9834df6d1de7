// The main window's commands on linked tables: showing a link's rows from the
// file it leads to, and pointing it at another file.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>

#include "app/main_window.h"
#include "browse/records_page.h"
#include "browse/table_tree.h"
#include "database/properties.h"
#include "ui/error_display.h"
#include "ui/file_dialog.h"
#include "ui_main_window.h"

namespace kevra::app {

void MainWindow::addLinkCommands() {
  relinkTableAction_ = new QAction(QStringLiteral("Re&link..."), this);
  relinkTableAction_->setObjectName(QStringLiteral("relinkTableAction"));
  relinkTableAction_->setStatusTip(QStringLiteral("Point the selected linked table at another database file"));
  relinkTableAction_->setEnabled(false);
  // After Drop, before the list's own commands.
  const QList<QAction*> entries = form_->tablesMenu->actions();
  const qsizetype drop = entries.indexOf(form_->dropTableAction);
  form_->tablesMenu->insertAction(drop >= 0 && drop + 1 < entries.size() ? entries[drop + 1] : nullptr,
                                  relinkTableAction_);
  connect(relinkTableAction_, &QAction::triggered, this,
          [this] { ui::runCommand(this, [this] { relinkTable(); }); });
  // The tree's context menu offers what applies to the node under the mouse.
  form_->tableTree->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(form_->tableTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
    QTreeWidgetItem* node = form_->tableTree->itemAt(point);
    if (!node) return;
    QTreeWidgetItem* before = form_->tableTree->currentItem();
    form_->tableTree->setCurrentItem(node);
    if (!form_->tableTree->selectedIsLink()) {
      form_->tableTree->setCurrentItem(before);  // other nodes have no menu
      return;
    }
    setTableCommands(true);
    QMenu menu(this);
    menu.addAction(relinkTableAction_);
    menu.exec(form_->tableTree->viewport()->mapToGlobal(point));
  });
}

void MainWindow::showLinkedTable(const QString& table) {
  const db::Table& link = session_.selectedTable();
  std::string target;
  try {
    target = link.LinkTarget();
  } catch (...) {
    // Nothing of another table stays on show under the link's name.
    form_->recordsPage->closeRecords();
    form_->recordsPage->setCommandsEnabled(false);
    form_->pages->hide();
    shownTable_ = table;
    rowPanel_->clear();
    setTableCommands(true);
    setStatusText(session_.path() + QStringLiteral(" -> ") + table + QStringLiteral(" (link: file not found)"));
    throw;
  }
  const db::Property* remote = link.Properties().find("Jet OLEDB:Remote Table Name");
  const QString remoteName = QString::fromStdString(remote ? db::propertyText(remote->Value) : link.Name());
  form_->recordsPage->showRecords(ui::kJetConnectionPrefix + target, remoteName);
  shownTable_ = table;

  form_->pages->show();
  showPages(true, false, false);
  form_->recordsPage->setGridVisible(true);
  form_->pages->setCurrentWidget(form_->recordsPage);
  setTableCommands(true);
  setStatusText(session_.path() + QStringLiteral(" -> ") + table + QStringLiteral(" (linked: ") +
                QString::fromStdString(target) + QStringLiteral(")"));
  form_->recordsPage->fitColumnWidths();
  rowPanel_->setText(form_->recordsPage->positionText());
  form_->recordsPage->setCommandsEnabled(true);
}

void MainWindow::relinkTable() {
  const QString table = selectedTable();
  if (table.isNull() || !form_->tableTree->selectedIsLink()) return;
  if (!leaveRecordsForClosing()) return;
  ui::FileDialog dialog(ui::FileDialogKind::Open,
                        QStringLiteral("Access databases (*.mdb *.accdb)|*.mdb;*.accdb|All Files (*.*)|*.*"));
  if (!dialog.run(this)) return;  // cancelled: the link stays as it was
  session_.selectTable(table.toStdString());
  session_.selectedTable().SetProperty("Jet OLEDB:Link Datasource", dialog.fileName().toStdString());
  session_.rereadCatalog();
  refreshTableList();
  form_->tableTree->selectTable(table);
  session_.selectTable(table.toStdString());
  showLinkedTable(table);
}

}  // namespace kevra::app
