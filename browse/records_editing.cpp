// The row commands of the records grid and the navigator's button states.
#include "browse/records_editing.h"

#include <QItemSelectionModel>
#include <QShortcut>
#include <QTableView>
#include <QToolButton>
#include <algorithm>

#include "browse/records_delegate.h"
#include "browse/records_model.h"
#include "browse/records_navigator.h"
#include "ui/dialog_seam.h"
#include "ui/error_display.h"

namespace kevra::browse {

RecordsEditing::RecordsEditing(QTableView* grid, RecordsNavigator* navigator, RecordsModel* model, QWidget* page)
    : QObject(page), page_(page), grid_(grid), navigator_(navigator), model_(model) {
  grid_->setItemDelegate(new RecordsDelegate(grid_));
  grid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);

  const auto command = [this](void (RecordsEditing::*handler)()) {
    return [this, handler] { ui::runCommand(page_, [this, handler] { (this->*handler)(); }); };
  };
  connect(navigator_->insertButton(), &QToolButton::clicked, this, command(&RecordsEditing::insertRecord));
  connect(navigator_->deleteButton(), &QToolButton::clicked, this, command(&RecordsEditing::deleteRecord));
  connect(navigator_->postButton(), &QToolButton::clicked, this, command(&RecordsEditing::postRecord));
  connect(navigator_->cancelButton(), &QToolButton::clicked, this, command(&RecordsEditing::cancelRecord));

  // Escape in the grid (with no cell editor open) cancels the row's edit; in
  // an open editor it first takes the cell back to its value.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), grid_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(escape, &QShortcut::activated, this, [this] {
    if (model_->editing()) ui::runCommand(page_, [this] { cancelRecord(); });
  });

  connect(model_, &RecordsModel::editStateChanged, this, &RecordsEditing::updateNavigator);
  connect(model_, &QAbstractItemModel::modelReset, this, &RecordsEditing::updateNavigator);
  connect(model_, &QAbstractItemModel::rowsInserted, this, &RecordsEditing::updateNavigator);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, &RecordsEditing::updateNavigator);
  // Leaving the pending row posts it, once the move itself is over: posting
  // changes the rows, which must not happen inside the selection change.
  connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex& previous) {
            if (!model_->editing() || !previous.isValid() || previous.row() != model_->editRow() ||
                current.row() == model_->editRow())
              return;
            QMetaObject::invokeMethod(
                this, [this, target = QPersistentModelIndex(current)] { leaveEditedRow(target); },
                Qt::QueuedConnection);
          });
  updateNavigator();
}

void RecordsEditing::updateNavigator() {
  const bool modifiable = model_->canModify();
  const bool editing = model_->editing();
  navigator_->insertButton()->setEnabled(modifiable);
  navigator_->deleteButton()->setEnabled(modifiable && model_->rowCount() > 0);
  navigator_->postButton()->setEnabled(editing);
  navigator_->cancelButton()->setEnabled(editing);
}

void RecordsEditing::finishCellEdit(bool keep) {
  auto* delegate = qobject_cast<RecordsDelegate*>(grid_->itemDelegate());
  QWidget* editor = delegate ? delegate->lastEditor() : nullptr;
  const QModelIndex cell = delegate ? delegate->lastEditorIndex() : QModelIndex();
  if (!editor || !cell.isValid() || grid_->indexWidget(cell) != editor) return;  // none open
  if (keep) emit delegate->commitData(editor);
  emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void RecordsEditing::showRecord(int row, int column) {
  if (row < 0 || row >= model_->rowCount()) return;
  const QModelIndex cell = model_->index(row, std::clamp(column, 0, std::max(0, model_->columnCount() - 1)));
  grid_->setCurrentIndex(cell);
  grid_->scrollTo(cell);
}

void RecordsEditing::insertRecord() {
  finishCellEdit(true);
  const QModelIndex current = grid_->currentIndex();
  // A new row nothing was typed into makes way for this one; any other
  // pending row is posted first.
  if (model_->inserting() && !model_->modified()) {
    const int row = model_->editRow();
    model_->cancelEdit();
    showRecord(std::min(row, model_->rowCount() - 1), current.column());
  } else if (model_->editing()) {
    showRecord(model_->post(), current.column());
  }
  const QModelIndex at = grid_->currentIndex();
  const int row = model_->startInsert(at.isValid() ? at.row() : 0);
  showRecord(row, at.isValid() ? at.column() : 0);
}

void RecordsEditing::deleteRecord() {
  finishCellEdit(true);
  const QModelIndex current = grid_->currentIndex();
  // With no current cell the first row is the current record, as after opening.
  const int row = current.isValid() ? current.row() : model_->editing() ? model_->editRow() : 0;
  if (row >= model_->rowCount()) return;
  ui::MessageRequest question;
  question.icon = QMessageBox::Question;
  question.title = ui::kApplicationTitle;
  question.text = QStringLiteral("Delete record?");
  question.buttons = QMessageBox::Ok | QMessageBox::Cancel;
  question.defaultButton = QMessageBox::Ok;
  if (ui::dialogs().message(page_, question) != QMessageBox::Ok) return;
  showRecord(model_->deleteRecord(row), current.column());
}

void RecordsEditing::postRecord() {
  finishCellEdit(true);
  const int column = grid_->currentIndex().column();
  showRecord(model_->post(), column);
}

void RecordsEditing::cancelRecord() {
  finishCellEdit(false);
  const QModelIndex current = grid_->currentIndex();
  const int row = model_->editRow();
  model_->cancelEdit();
  if (row >= 0) showRecord(std::min(row, model_->rowCount() - 1), current.column());
}

bool RecordsEditing::postBeforeLeaving() {
  finishCellEdit(true);
  if (!model_->editing()) return true;
  // A new row nothing was typed into goes without a word, as when its row is left.
  if (model_->inserting() && !model_->modified()) {
    model_->cancelEdit();
    return true;
  }
  const int column = grid_->currentIndex().column();
  bool posted = false;
  ui::runCommand(page_, [&] {
    showRecord(model_->post(), column);
    posted = true;
  });
  if (!posted) showRecord(model_->editRow(), column);
  return posted;
}

void RecordsEditing::discardEdit() {
  finishCellEdit(false);
  model_->cancelEdit();
}

void RecordsEditing::leaveEditedRow(const QPersistentModelIndex& target) {
  if (!model_->editing() || !target.isValid() || target.row() == model_->editRow()) return;
  const int editRow = model_->editRow();
  const int column = target.column();
  // A new row nothing was typed into is dropped, not stored.
  if (model_->inserting() && !model_->modified()) {
    const long position = model_->positionOf(target.row());
    model_->cancelEdit();
    showRecord(model_->rowOf(position), column);
    return;
  }
  const bool inserting = model_->inserting();
  long position = model_->positionOf(target.row());
  bool posted = false;
  int postedAt = -1;
  ui::runCommand(page_, [&] {
    postedAt = model_->post();
    posted = true;
  });
  if (!posted) {
    showRecord(editRow, column);  // back to the edit, to correct or cancel it
    return;
  }
  // A new row stored before the target moved it down one.
  if (inserting && postedAt <= position) ++position;
  showRecord(int(position), column);
}

}  // namespace kevra::browse
