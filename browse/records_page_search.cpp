// The records page's find bar, filter box, header sorting and record
// commands.
#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

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
  // Delete acts in the grid only: in a cell editor or elsewhere it keeps its
  // usual meaning.
  deleteAction_ = command(QStringLiteral("&Delete Record"), "deleteRecordAction", QKeySequence::Delete,
                          [this] { editing_->deleteRecord(); });
  deleteAction_->setShortcutContext(Qt::WidgetShortcut);
  form_->recordsGrid->addAction(deleteAction_);
  commands_ << deleteAction_;
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
    const bool allowed = action == deleteAction_ ? dataset_.CanModify() : tableRows || findCommand;
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
    throw;
  }
  model_->setEnabled(true);
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

void RecordsPage::setFilter(const QString& condition) {
  RecordsQuery filtered = query_;
  filtered.filter = condition.trimmed();
  try {
    openView(filtered);
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
