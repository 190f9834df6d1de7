// The row commands of the records grid and the navigator's button states.
#include "browse/records_editing.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QShortcut>
#include <QTableView>
#include <QToolButton>
#include <algorithm>
#include <stdexcept>

#include "browse/cascade_warning.h"
#include "browse/cell_viewer.h"
#include "browse/records_delegate.h"
#include "browse/records_model.h"
#include "browse/records_navigator.h"
#include "browse/records_values.h"
#include "database/ado_types.h"
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
    const std::optional<int> posted = post();
    if (!posted) return;
    showRecord(*posted, current.column());
  }
  // The new row is the last one, and the grid moves to it.
  const QModelIndex at = grid_->currentIndex();
  const int row = model_->startInsert();
  showRecord(row, at.isValid() ? at.column() : 0);
}

void RecordsEditing::deleteRecord() {
  finishCellEdit(true);
  const QModelIndex current = grid_->currentIndex();
  // With no current cell the first row is the current record, as after opening.
  const int row = current.isValid() ? current.row() : model_->editing() ? model_->editRow() : 0;
  if (row >= model_->rowCount()) return;
  ui::MessageRequest question;
  question.title = ui::kApplicationTitle;
  // A record whose delete cascades says where, and how many rows it takes.
  const QString cascade = cascadeWarning(model_->cascadeOfDelete(row), true);
  question.icon = cascade.isEmpty() ? QMessageBox::Question : QMessageBox::Warning;
  question.text = cascade.isEmpty() ? QStringLiteral("Delete record?") : cascade + QStringLiteral("\n\nDelete record?");
  question.buttons = QMessageBox::Ok | QMessageBox::Cancel;
  question.defaultButton = QMessageBox::Ok;
  if (ui::dialogs().message(page_, question) != QMessageBox::Ok) return;
  showRecord(model_->deleteRecord(row), current.column());
}

std::optional<int> RecordsEditing::post() {
  const QString cascade = cascadeWarning(model_->cascadeOfPost(), false);
  if (!cascade.isEmpty()) {
    ui::MessageRequest question;
    question.icon = QMessageBox::Warning;
    question.title = ui::kApplicationTitle;
    question.text = cascade + QStringLiteral("\n\nSave the record?");
    question.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    question.defaultButton = QMessageBox::Ok;
    if (ui::dialogs().message(page_, question) != QMessageBox::Ok) return std::nullopt;
  }
  return model_->post();
}

void RecordsEditing::postRecord() {
  finishCellEdit(true);
  const int column = grid_->currentIndex().column();
  if (const std::optional<int> row = post()) showRecord(*row, column);
}

void RecordsEditing::cancelRecord() {
  finishCellEdit(false);
  const QModelIndex current = grid_->currentIndex();
  const int row = model_->editRow();
  model_->cancelEdit();
  if (row >= 0) showRecord(std::min(row, model_->rowCount() - 1), current.column());
}

void RecordsEditing::clearField() {
  const QModelIndex current = grid_->currentIndex();
  if (!current.isValid() || !(model_->flags(current) & Qt::ItemIsEditable)) return;
  const kevra::Value* value = model_->storedValue(current.row(), current.column());
  if (value && kevra::isNull(*value)) return;  // empty already
  model_->setValue(current, kevra::Value{});
}

void RecordsEditing::setEmptyText() {
  const QModelIndex current = grid_->currentIndex();
  if (!current.isValid() || !(model_->flags(current) & Qt::ItemIsEditable)) return;
  const int type = current.data(RecordsModel::FieldTypeRole).toInt();
  if (type != kevra::db::adVarWChar && type != kevra::db::adWChar && type != kevra::db::adLongVarWChar) return;
  model_->setValue(current, std::string());
}

void RecordsEditing::copyCells() {
  QModelIndexList cells = grid_->selectionModel()->selectedIndexes();
  if (cells.isEmpty() && grid_->currentIndex().isValid()) cells << grid_->currentIndex();
  if (cells.isEmpty()) return;
  int top = cells.first().row(), bottom = top, left = cells.first().column(), right = left;
  for (const QModelIndex& cell : cells) {
    top = std::min(top, cell.row());
    bottom = std::max(bottom, cell.row());
    left = std::min(left, cell.column());
    right = std::max(right, cell.column());
  }
  QStringList lines;
  for (int row = top; row <= bottom; ++row) {
    QStringList fields;
    for (int column = left; column <= right; ++column) {
      const QModelIndex cell = model_->index(row, column);
      if (cell.data(RecordsModel::FieldTypeRole).toInt() == kevra::db::adBoolean)
        fields << (cell.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStringLiteral("Yes") : QStringLiteral("No"));
      else
        fields << plainText(cell);
    }
    lines << fields.join(QLatin1Char('\t'));
  }
  QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

QString RecordsEditing::plainText(const QModelIndex& cell) const {
  // The value as the cell shows it without the field's format, so what is
  // copied or zoomed reads back as the same value.
  const kevra::Value* value = model_->storedValue(cell.row(), cell.column());
  if (!value) return cell.data(Qt::DisplayRole).toString();
  return displayText(*value, cell.data(RecordsModel::FieldTypeRole).toInt());
}

void RecordsEditing::pasteCells() {
  finishCellEdit(true);
  const QModelIndex start = grid_->currentIndex();
  QString text = QGuiApplication::clipboard()->text();
  if (!start.isValid() || text.isEmpty() || !model_->canModify()) return;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  QList<QStringList> rows;
  for (const QString& line : text.split(QLatin1Char('\n'))) rows << line.split(QLatin1Char('\t'));
  if (rows.size() == 1 && rows.first().size() == 1) {
    model_->setData(start, rows.first().first(), Qt::EditRole);  // into the cell, as typed
    return;
  }
  if (rows.size() > 1 && !model_->followsChangesInPlace())
    throw std::runtime_error("Several rows can be pasted only into the table's rows in stored order: remove the "
                             "sort and the filter first.");
  // A row being edited elsewhere is posted first.
  if (model_->editing() && model_->editRow() != start.row()) {
    if (model_->inserting() && !model_->modified()) {
      model_->cancelEdit();
    } else if (const std::optional<int> row = post(); !row) {
      return;
    }
  }
  int target = start.row();
  for (const QStringList& fields : rows) {
    // Past the stored rows the values go into a new record.
    if (target >= model_->rowCount() || (model_->inserting() && target == model_->editRow())) {
      if (!model_->inserting()) model_->startInsert();
      target = model_->editRow();
    }
    for (int k = 0; k < fields.size(); ++k) {
      const QModelIndex cell = model_->index(target, start.column() + k);
      if (cell.isValid() && (model_->flags(cell) & Qt::ItemIsEditable)) model_->setData(cell, fields[k], Qt::EditRole);
    }
    showRecord(target, start.column());
    if (!model_->editing()) {
      ++target;
      continue;
    }
    const bool inserting = model_->inserting();
    const std::optional<int> posted = post();
    if (!posted) return;
    showRecord(*posted, start.column());
    // A new record takes its stored place, and the next goes into a new one too.
    target = inserting ? model_->rowCount() : target + 1;
  }
}

void RecordsEditing::zoomCell() {
  finishCellEdit(true);
  const QModelIndex current = grid_->currentIndex();
  if (!current.isValid()) return;
  const int type = current.data(RecordsModel::FieldTypeRole).toInt();
  if (type == kevra::db::adBoolean || type == kevra::db::adLongVarBinary || type == kevra::db::adVarBinary ||
      type == kevra::db::adBinary)
    return;  // nothing to read as text; binary cells are saved to a file
  const QVariant value = current.data(Qt::EditRole);
  const QString text = value.typeId() == QMetaType::QDateTime ? plainText(current) : value.toString();
  const bool readOnly = !(model_->flags(current) & Qt::ItemIsEditable);
  CellViewer viewer(model_->headerData(current.column(), Qt::Horizontal).toString(), text, readOnly, page_);
  if (viewer.exec() != QDialog::Accepted || readOnly || viewer.text() == text) return;
  model_->setData(current, viewer.text(), Qt::EditRole);
}

void RecordsEditing::saveCellToFile() {
  const QModelIndex current = grid_->currentIndex();
  if (!current.isValid()) return;
  const kevra::Value* value = model_->storedValue(current.row(), current.column());
  const auto* bytes = value ? std::get_if<kevra::Binary>(value) : nullptr;
  if (!bytes) throw std::runtime_error("The current field holds no binary data to save.");
  ui::FileRequest request;
  request.kind = ui::FileDialogKind::Save;
  request.filter = QStringLiteral("All Files (*.*)|*.*");
  const QString path = ui::dialogs().fileName(page_, request);
  if (path.isEmpty()) return;
  if (QFile::exists(path))
    throw std::runtime_error("'" + path.toStdString() + "' exists already; it was not replaced.");
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(reinterpret_cast<const char*>(bytes->data()), qint64(bytes->size())) != qint64(bytes->size()) ||
      !file.flush()) {
    const std::string problem = file.errorString().toStdString();
    file.close();
    QFile::remove(path);
    throw std::runtime_error("Could not write '" + path.toStdString() + "': " + problem + ".");
  }
}

void RecordsEditing::loadCellFromFile() {
  finishCellEdit(true);
  const QModelIndex current = grid_->currentIndex();
  if (!current.isValid() || !model_->canModify()) return;
  const int type = current.data(RecordsModel::FieldTypeRole).toInt();
  if (type != kevra::db::adLongVarBinary && type != kevra::db::adVarBinary && type != kevra::db::adBinary)
    throw std::runtime_error("Only an OLE object or binary field takes a file.");
  ui::FileRequest request;
  request.kind = ui::FileDialogKind::Open;
  request.filter = QStringLiteral("All Files (*.*)|*.*");
  const QString path = ui::dialogs().fileName(page_, request);
  if (path.isEmpty()) return;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw std::runtime_error("Could not read '" + path.toStdString() + "': " + file.errorString().toStdString() + ".");
  const QByteArray data = file.readAll();
  model_->setValue(current, kevra::Binary(data.begin(), data.end()));
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
    if (const std::optional<int> row = post()) {
      showRecord(*row, column);
      posted = true;
    }
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
    if (const std::optional<int> row = post()) {
      postedAt = *row;
      posted = true;
    }
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
