// Row editing from the records grid and navigator: Insert, Delete, Post and
// Cancel, posting the pending row when the grid moves to another row, and the
// navigator's button states. The pending values live in the records model;
// every write is one engine transaction, and a refusal goes to the error
// display with the edit kept.
#include <QHeaderView>
#include <algorithm>
#include <QItemSelectionModel>
#include <QShortcut>
#include <QToolButton>

#include "app/dialog_seam.h"
#include "app/error_display.h"
#include "app/form1.h"
#include "browse/records_delegate.h"
#include "browse/records_model.h"
#include "browse/records_navigator.h"
#include "ui_form1.h"

void Form1::connectRecordEditing() {
  auto* grid = ui->DBGrid1;
  grid->setItemDelegate(new kevra::browse::RecordsDelegate(grid));
  grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                        QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);

  const auto command = [this](void (Form1::*handler)()) {
    return [this, handler] { kevra::ui::runCommand(this, [this, handler] { (this->*handler)(); }); };
  };
  auto* navigator = ui->DBNavigator1;
  connect(navigator->insertButton(), &QToolButton::clicked, this, command(&Form1::DBNavigator1Insert));
  connect(navigator->deleteButton(), &QToolButton::clicked, this, command(&Form1::DBNavigator1Delete));
  connect(navigator->postButton(), &QToolButton::clicked, this, command(&Form1::DBNavigator1Post));
  connect(navigator->cancelButton(), &QToolButton::clicked, this, command(&Form1::DBNavigator1Cancel));

  // Escape in the grid (with no cell editor open) cancels the row's edit; in
  // an open editor it first takes the cell back to its value.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), grid, nullptr, nullptr, Qt::WidgetShortcut);
  connect(escape, &QShortcut::activated, this, [this] {
    if (DataSource1->editing()) kevra::ui::runCommand(this, [this] { DBNavigator1Cancel(); });
  });

  connect(DataSource1, &kevra::browse::RecordsModel::editStateChanged, this, &Form1::updateNavigator);
  connect(DataSource1, &QAbstractItemModel::modelReset, this, &Form1::updateNavigator);
  connect(DataSource1, &QAbstractItemModel::rowsInserted, this, &Form1::updateNavigator);
  connect(DataSource1, &QAbstractItemModel::rowsRemoved, this, &Form1::updateNavigator);
  // Leaving the pending row posts it, once the move itself is over: posting
  // reads the rows again, which must not happen inside the selection change.
  connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex& previous) {
            if (!DataSource1->editing() || !previous.isValid() || previous.row() != DataSource1->editRow() ||
                current.row() == DataSource1->editRow())
              return;
            QMetaObject::invokeMethod(
                this, [this, target = QPersistentModelIndex(current)] { DBGrid1RowLeft(target); },
                Qt::QueuedConnection);
          });
  updateNavigator();
}

void Form1::updateNavigator() {
  const bool modifiable = DataSource1->canModify();
  const bool editing = DataSource1->editing();
  auto* navigator = ui->DBNavigator1;
  navigator->insertButton()->setEnabled(modifiable);
  navigator->deleteButton()->setEnabled(modifiable && DataSource1->rowCount() > 0);
  navigator->postButton()->setEnabled(editing);
  navigator->cancelButton()->setEnabled(editing);
}

void Form1::finishCellEdit(bool keep) {
  QTableView* grid = ui->DBGrid1;
  auto* delegate = qobject_cast<kevra::browse::RecordsDelegate*>(grid->itemDelegate());
  QWidget* editor = delegate ? delegate->lastEditor() : nullptr;
  const QModelIndex cell = delegate ? delegate->lastEditorIndex() : QModelIndex();
  if (!editor || !cell.isValid() || grid->indexWidget(cell) != editor) return;  // none open
  if (keep) emit delegate->commitData(editor);
  emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void Form1::showRecord(int row, int column) {
  if (row < 0 || row >= DataSource1->rowCount()) return;
  const QModelIndex cell = DataSource1->index(row, std::clamp(column, 0, std::max(0, DataSource1->columnCount() - 1)));
  ui->DBGrid1->setCurrentIndex(cell);
  ui->DBGrid1->scrollTo(cell);
}

void Form1::DBNavigator1Insert() {
  finishCellEdit(true);
  const QModelIndex current = ui->DBGrid1->currentIndex();
  // A new row nothing was typed into makes way for this one; any other
  // pending row is posted first.
  if (DataSource1->inserting() && !DataSource1->modified()) {
    const int row = DataSource1->editRow();
    DataSource1->cancelEdit();
    showRecord(std::min(row, DataSource1->rowCount() - 1), current.column());
  } else if (DataSource1->editing()) {
    showRecord(DataSource1->post(), current.column());
  }
  const QModelIndex at = ui->DBGrid1->currentIndex();
  const int row = DataSource1->startInsert(at.isValid() ? at.row() : 0);
  showRecord(row, at.isValid() ? at.column() : 0);
}

void Form1::DBNavigator1Delete() {
  finishCellEdit(true);
  const QModelIndex current = ui->DBGrid1->currentIndex();
  // With no current cell the first row is the current record, as after opening.
  const int row = current.isValid() ? current.row() : DataSource1->editing() ? DataSource1->editRow() : 0;
  if (row >= DataSource1->rowCount()) return;
  kevra::ui::MessageRequest question;
  question.icon = QMessageBox::Question;
  question.title = kevra::ui::kApplicationTitle;
  question.text = QStringLiteral("Delete record?");
  question.buttons = QMessageBox::Ok | QMessageBox::Cancel;
  question.defaultButton = QMessageBox::Ok;
  if (kevra::ui::dialogs().message(this, question) != QMessageBox::Ok) return;
  showRecord(DataSource1->deleteRecord(row), current.column());
}

void Form1::DBNavigator1Post() {
  finishCellEdit(true);
  const int column = ui->DBGrid1->currentIndex().column();
  showRecord(DataSource1->post(), column);
}

void Form1::DBNavigator1Cancel() {
  finishCellEdit(false);
  const QModelIndex current = ui->DBGrid1->currentIndex();
  const int row = DataSource1->editRow();
  DataSource1->cancelEdit();
  if (row >= 0) showRecord(std::min(row, DataSource1->rowCount() - 1), current.column());
}

void Form1::DBGrid1RowLeft(const QPersistentModelIndex& target) {
  if (!DataSource1->editing() || !target.isValid() || target.row() == DataSource1->editRow()) return;
  const int editRow = DataSource1->editRow();
  const int column = target.column();
  // A new row nothing was typed into is dropped, not stored.
  if (DataSource1->inserting() && !DataSource1->modified()) {
    const long position = DataSource1->positionOf(target.row());
    DataSource1->cancelEdit();
    showRecord(DataSource1->rowOf(position), column);
    return;
  }
  const bool inserting = DataSource1->inserting();
  long position = DataSource1->positionOf(target.row());
  bool posted = false;
  int postedAt = -1;
  kevra::ui::runCommand(this, [&] {
    postedAt = DataSource1->post();
    posted = true;
  });
  if (!posted) {
    showRecord(editRow, column);  // back to the edit, to correct or cancel it
    return;
  }
  if (inserting && postedAt <= position) ++position;
  showRecord(int(position), column);
}
