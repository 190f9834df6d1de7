// The records page's find bar, filter box, header sorting and record
// commands.
#include <QAction>
#include <QCheckBox>
#include <QHash>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <stdexcept>

#include "browse/records_editing.h"
#include "browse/records_find.h"
#include "browse/records_model.h"
#include "browse/records_page.h"
#include "ui/error_display.h"
#include "ui_records_page.h"

namespace kevra::browse {

void RecordsPage::buildSearchBars() {
  auto* layout = qobject_cast<QVBoxLayout*>(this->layout());

  // The filter box above the grid: a condition in SQL, applied with Enter;
  // an empty box shows every row.
  auto* filterBar = new QWidget(this);
  filterBar->setObjectName(QStringLiteral("filterBar"));
  auto* filterLayout = new QHBoxLayout(filterBar);
  filterLayout->setContentsMargins(4, 2, 4, 2);
  filterLayout->addWidget(new QLabel(QStringLiteral("Filter:"), filterBar));
  filterBox_ = new QLineEdit(filterBar);
  filterBox_->setObjectName(QStringLiteral("filterBox"));
  filterBox_->setPlaceholderText(QStringLiteral("a condition, for example [City] = 'Paris'; Enter applies it"));
  filterBox_->setClearButtonEnabled(true);
  filterLayout->addWidget(filterBox_);
  connect(filterBox_, &QLineEdit::returnPressed, this,
          [this] { ui::runCommand(this, [this] { setFilter(filterBox_->text()); }); });
  // Emptying the box (its clear button, or the text deleted) removes the filter.
  connect(filterBox_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (text.trimmed().isEmpty() && query_.filtered()) ui::runCommand(this, [this] { removeFilter(); });
  });
  layout->insertWidget(0, filterBar);

  // The find bar under the grid, shown by Find.
  findBar_ = new QWidget(this);
  findBar_->setObjectName(QStringLiteral("findBar"));
  auto* findLayout = new QHBoxLayout(findBar_);
  findLayout->setContentsMargins(4, 2, 4, 2);
  findLayout->addWidget(new QLabel(QStringLiteral("Find:"), findBar_));
  findBox_ = new QLineEdit(findBar_);
  findBox_->setObjectName(QStringLiteral("findBox"));
  findLayout->addWidget(findBox_, 1);
  allColumnsCheck_ = new QCheckBox(QStringLiteral("All fields"), findBar_);
  allColumnsCheck_->setObjectName(QStringLiteral("allColumnsCheck"));
  findLayout->addWidget(allColumnsCheck_);
  const auto button = [this, findLayout](const QString& text, const char* name, bool forward) {
    auto* b = new QToolButton(findBar_);
    b->setText(text);
    b->setObjectName(QString::fromLatin1(name));
    connect(b, &QToolButton::clicked, this, [this, forward] { ui::runCommand(this, [&] { findNext(forward); }); });
    findLayout->addWidget(b);
  };
  button(QStringLiteral("Previous"), "findPreviousButton", false);
  button(QStringLiteral("Next"), "findNextButton", true);
  findStatus_ = new QLabel(findBar_);
  findStatus_->setObjectName(QStringLiteral("findStatus"));
  findLayout->addWidget(findStatus_);
  auto* hide = new QToolButton(findBar_);
  hide->setText(QStringLiteral("\u2715"));
  hide->setToolTip(QStringLiteral("Close the find bar"));
  connect(hide, &QToolButton::clicked, findBar_, &QWidget::hide);
  findLayout->addWidget(hide);
  connect(findBox_, &QLineEdit::returnPressed, this, [this] { ui::runCommand(this, [this] { findNext(true); }); });
  findBar_->hide();
  layout->insertWidget(layout->indexOf(form_->recordsNavigator), findBar_);

  // A header click sorts by its field: ascending, descending, storage order.
  QHeaderView* header = form_->recordsGrid->horizontalHeader();
  header->setSectionsClickable(true);
  connect(header, &QHeaderView::sectionClicked, this,
          [this](int column) { ui::runCommand(this, [this, column] { sortBy(column); }); });
}

void RecordsPage::buildCommands() {
  const auto command = [this](const QString& text, const char* name, const QKeySequence& keys, auto handler) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    connect(action, &QAction::triggered, this, [this, handler] { ui::runCommand(this, [this, handler] { handler(); }); });
    return action;
  };
  commands_ << command(QStringLiteral("&Find..."), "findAction", QKeySequence::Find, [this] { showFindBar(); })
            << command(QStringLiteral("Find &Next"), "findNextAction", QKeySequence::FindNext, [this] { findNext(true); })
            << command(QStringLiteral("Find &Previous"), "findPreviousAction", QKeySequence::FindPrevious,
                       [this] { findNext(false); })
            << nullptr
            << command(QStringLiteral("Filter by &Selection"), "filterBySelectionAction", {}, [this] { filterBySelection(); })
            << command(QStringLiteral("&Remove Filter"), "removeFilterAction", {}, [this] { removeFilter(); })
            << nullptr;
  // Both act in the grid only: in a cell editor or elsewhere Delete,
  // Backspace and Ctrl+Minus keep their usual meaning. Delete and Backspace
  // empty the current field (a date's too, which its editor cannot); the
  // record goes only by Ctrl+Minus or the menu.
  clearFieldAction_ = command(QStringLiteral("&Clear Field (Null)"), "clearFieldAction", QKeySequence::Delete,
                              [this] { editing_->clearField(); });
  clearFieldAction_->setShortcuts({QKeySequence(Qt::Key_Delete), QKeySequence(Qt::Key_Backspace)});
  clearFieldAction_->setShortcutContext(Qt::WidgetShortcut);
  form_->recordsGrid->addAction(clearFieldAction_);
  // A text field can hold empty text apart from NULL; an editor emptied
  // stores NULL, this stores the empty text.
  emptyTextAction_ = command(QStringLiteral("Set Field to &Empty Text"), "emptyTextAction",
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete), [this] { editing_->setEmptyText(); });
  emptyTextAction_->setShortcutContext(Qt::WidgetShortcut);
  form_->recordsGrid->addAction(emptyTextAction_);
  deleteAction_ = command(QStringLiteral("&Delete Record"), "deleteRecordAction",
                          QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { editing_->deleteRecord(); });
  deleteAction_->setShortcutContext(Qt::WidgetShortcut);
  form_->recordsGrid->addAction(deleteAction_);
  copyAction_ =
      command(QStringLiteral("&Copy"), "copyCellsAction", QKeySequence::Copy, [this] { editing_->copyCells(); });
  copyAction_->setShortcutContext(Qt::WidgetShortcut);
  form_->recordsGrid->addAction(copyAction_);
  pasteAction_ = command(QStringLiteral("&Paste"), "pasteCellsAction", QKeySequence::Paste,
                         [this] { editing_->pasteCells(); });
  pasteAction_->setShortcutContext(Qt::WidgetShortcut);
  form_->recordsGrid->addAction(pasteAction_);
  zoomAction_ = command(QStringLiteral("&Zoom..."), "zoomAction", QKeySequence(Qt::SHIFT | Qt::Key_F2),
                        [this] { editing_->zoomCell(); });
  zoomAction_->setShortcutContext(Qt::WidgetShortcut);
  form_->recordsGrid->addAction(zoomAction_);
  saveToFileAction_ = command(QStringLiteral("Save Field to &File..."), "saveFieldToFileAction", {},
                              [this] { editing_->saveCellToFile(); });
  loadFromFileAction_ = command(QStringLiteral("&Load Field from File..."), "loadFieldFromFileAction", {},
                                [this] { editing_->loadCellFromFile(); });
  commands_ << copyAction_ << pasteAction_ << zoomAction_ << saveToFileAction_ << loadFromFileAction_ << nullptr
            << clearFieldAction_ << emptyTextAction_ << deleteAction_;
  setCommandsEnabled(false);
}

QList<QAction*> RecordsPage::commands() const { return commands_; }

void RecordsPage::setCommandsEnabled(bool enabled) {
  // A query's rows are found in but not filtered; rows are deleted only
  // where they can be changed.
  const bool tableRows = !query_.table.isEmpty();
  for (QAction* action : commands_) {
    if (!action) continue;
    const bool findCommand = action->objectName().startsWith(QLatin1String("find"));
    const bool changesRows = action == deleteAction_ || action == clearFieldAction_ || action == emptyTextAction_ ||
                             action == pasteAction_ || action == loadFromFileAction_;
    const bool readsRows = action == copyAction_ || action == zoomAction_ || action == saveToFileAction_;
    const bool allowed = changesRows ? dataset_.CanModify() : tableRows || findCommand || readsRows;
    action->setEnabled(enabled && allowed);
  }
}

void RecordsPage::showSortIndicator() {
  QHeaderView* header = form_->recordsGrid->horizontalHeader();
  const int column = model_->fieldNames().indexOf(query_.sortField);
  header->setSortIndicatorShown(query_.order != RecordsQuery::Order::Storage && column >= 0);
  if (column >= 0)
    header->setSortIndicator(column, query_.order == RecordsQuery::Order::Descending ? Qt::DescendingOrder
                                                                                     : Qt::AscendingOrder);
}

void RecordsPage::openView(const RecordsQuery& query) {
  // A query's rows keep the order and selection its statement gives.
  if (!dataset_.Active() || query_.table.isEmpty() || !postPendingEdit()) return;
  const QModelIndex current = form_->recordsGrid->currentIndex();
  const RecordsQuery previous = query_;
  // The same fields come back: each keeps the width it had (the user's
  // resizing included), which the columns' removal would lose.
  QHash<QString, int> widths;
  for (int column = 0; column < model_->columnCount(); ++column)
    widths.insert(model_->fieldNames().value(column), form_->recordsGrid->columnWidth(column));
  const auto keepWidths = [this, &widths] {
    for (int column = 0; column < model_->columnCount(); ++column)
      if (const auto width = widths.constFind(model_->fieldNames().value(column)); width != widths.constEnd())
        form_->recordsGrid->setColumnWidth(column, *width);
  };
  model_->setEnabled(false);
  dataset_.Close();
  dataset_.setCommandText(query.commandText());
  try {
    dataset_.Open();
    query_ = query;
  } catch (...) {
    dataset_.setCommandText(previous.commandText());
    dataset_.Open();
    model_->setEnabled(true);
    keepWidths();
    throw;
  }
  model_->setEnabled(true);
  keepWidths();
  showSortIndicator();
  if (model_->rowCount() > 0)
    form_->recordsGrid->setCurrentIndex(model_->index(0, std::max(0, current.column())));
  emit positionChanged();
}

void RecordsPage::sortBy(int column) {
  if (column < 0 || column >= model_->columnCount()) return;
  RecordsQuery sorted = query_;
  sorted.cycleSort(model_->headerData(column, Qt::Horizontal).toString());
  openView(sorted);
  showSortIndicator();
}

namespace {
// A syntax error points into the statement the grid runs; the user wrote
// only the condition, so the position is told within it.
QString pointIntoFilter(const QString& message, const RecordsQuery& query) {
  static const QRegularExpression atPosition(QStringLiteral("^Syntax error in SQL statement at position (\\d+)(.*)$"),
                                             QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch match = atPosition.match(message);
  if (!match.hasMatch()) return message;
  RecordsQuery bare = query;
  bare.filter = QStringLiteral("x");
  bare.order = RecordsQuery::Order::Storage;
  const QString statement = QString::fromStdString(bare.commandText());
  const qsizetype before = statement.size() - 1;  // characters ahead of the condition
  const qsizetype position = match.captured(1).toLongLong() - before;
  if (position < 1) return message;
  return QStringLiteral("Syntax error in the filter at position %1%2").arg(position).arg(match.captured(2));
}
}  // namespace

void RecordsPage::setFilter(const QString& condition) {
  RecordsQuery filtered = query_;
  filtered.filter = condition.trimmed();
  try {
    openView(filtered);
  } catch (const std::exception& error) {
    filterBox_->setText(query_.filter);
    const QString message = QString::fromUtf8(error.what());
    const QString told = pointIntoFilter(message, filtered);
    if (told == message) throw;
    throw std::runtime_error(told.toStdString());
  } catch (...) {
    filterBox_->setText(query_.filter);
    throw;
  }
  filterBox_->setText(query_.filter);
}

void RecordsPage::filterBySelection() {
  const QModelIndex current = form_->recordsGrid->currentIndex();
  const kevra::Value* value = current.isValid() ? model_->storedValue(current.row(), current.column()) : nullptr;
  if (!value) return;
  const QString condition = equalsCondition(model_->headerData(current.column(), Qt::Horizontal).toString(), *value);
  // Narrows what is shown already.
  setFilter(query_.filtered() ? QStringLiteral("(%1) and %2").arg(query_.filter, condition) : condition);
}

void RecordsPage::removeFilter() { setFilter({}); }

void RecordsPage::showFindBar() {
  findBar_->show();
  findBox_->setFocus();
  findBox_->selectAll();
}

bool RecordsPage::findNext(bool forward) {
  if (!dataset_.Active()) return false;
  if (findBox_->text().isEmpty()) {
    showFindBar();
    return false;
  }
  QTableView* grid = form_->recordsGrid;
  const QModelIndex current = grid->currentIndex();
  FindRequest request;
  request.text = findBox_->text();
  request.column = allColumnsCheck_->isChecked() ? -1 : std::max(0, current.column());
  request.forward = forward;
  const long from = current.isValid() ? std::max(0L, model_->positionOf(current.row())) : (forward ? -1 : 0);
  const long total = model_->rowCountFinal() ? model_->storedRowCount() : -1;
  const long found = findRow(dataset_.rows(), from, total, request);
  if (found < 0) {
    findStatus_->setText(QStringLiteral("Not found"));
    return false;
  }
  findStatus_->clear();
  // Rows not read yet (a filtered or sorted view) are reached first.
  while (model_->rowOf(found) >= model_->rowCount() && model_->canFetchMore()) model_->fetchMore();
  const int row = model_->rowOf(found);
  const QModelIndex target = model_->index(row, current.isValid() ? current.column() : 0);
  grid->setCurrentIndex(target);
  grid->scrollTo(target, QAbstractItemView::PositionAtCenter);
  return true;
}

}  // namespace kevra::browse
