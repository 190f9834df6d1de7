// The records page: opening, closing and reloading the records dataset, and
// the grid's look.
#include "browse/records_page.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QLocale>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "browse/field_display.h"
#include "browse/hyperlink_clicks.h"
#include "browse/records_editing.h"
#include "browse/records_model.h"
#include "ui/error_display.h"
#include "ui_records_page.h"

namespace kevra::browse {

RecordsPage::RecordsPage(QWidget* parent) : QWidget(parent), form_(std::make_unique<Ui::RecordsPage>()) {
  form_->setupUi(this);
  model_ = new RecordsModel(this);
  model_->setObjectName(QStringLiteral("recordsModel"));
  model_->setDataSet(&dataset_);
  form_->recordsGrid->setModel(model_);
  fitRowHeight();
  connect(model_, &RecordsModel::fetchFailed, this,
          [this](const QString& message) { ui::showError(this, std::runtime_error(message.toStdString())); });
  editing_ = new RecordsEditing(form_->recordsGrid, form_->recordsNavigator, model_, this);
  new HyperlinkClicks(form_->recordsGrid);

  const auto moved = [this] { emit positionChanged(); };
  connect(form_->recordsGrid->selectionModel(), &QItemSelectionModel::currentChanged, this, moved);
  connect(model_, &QAbstractItemModel::modelReset, this, moved);
  connect(model_, &QAbstractItemModel::rowsInserted, this, moved);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, moved);
  connect(model_, &RecordsModel::editStateChanged, this, moved);
  connect(model_, &RecordsModel::countChanged, this, moved);
  buildSearchBars();
  buildCommands();
}

QString RecordsPage::positionText() const {
  if (!dataset_.Active() || model_->columnCount() == 0) return {};
  const QLocale locale;
  QString count = locale.toString(qlonglong(model_->storedRowCount()));
  if (!model_->rowCountFinal()) count += QLatin1Char('+');
  const QModelIndex current = form_->recordsGrid->currentIndex();
  if (current.isValid() && model_->inserting() && current.row() == model_->editRow())
    return QStringLiteral("New record of %1").arg(count);
  if (model_->storedRowCount() == 0)
    return query_.filtered() ? QStringLiteral("No records (filtered)") : QStringLiteral("No records");
  const long position = current.isValid() ? model_->positionOf(current.row()) : 0;
  const QString filtered = query_.filtered() ? QStringLiteral(" (filtered)") : QString();
  return QStringLiteral("Row %1 of %2").arg(locale.toString(qlonglong(std::max(0L, position) + 1)), count) + filtered;
}

RecordsPage::~RecordsPage() {
  model_->setDataSet(nullptr);  // the model outlives the dataset member
}

void RecordsPage::showRecords(const std::string& connectionString, const QString& table) {
  model_->setEnabled(false);
  model_->setFieldDisplays({});
  dataset_.Close();
  dataset_.setConnectionString(connectionString);
  // A table starts in storage order, unfiltered.
  query_ = RecordsQuery{table, {}, {}, RecordsQuery::Order::Storage};
  dataset_.setReadOnly(false);
  if (auto* filterBar = findChild<QWidget*>(QStringLiteral("filterBar"))) filterBar->show();
  dataset_.setCommandText(query_.commandText());
  if (filterBox_) filterBox_->clear();
  showSortIndicator();
  dataset_.Open();
  model_->setEnabled(true);
}

void RecordsPage::showQueryRecords(const std::string& connectionString, const std::string& statement) {
  model_->setEnabled(false);
  model_->setFieldDisplays({});
  dataset_.Close();
  dataset_.setConnectionString(connectionString);
  query_ = RecordsQuery{};  // no table: the view is the query's own
  dataset_.setReadOnly(true);
  dataset_.setCommandText(statement);
  if (auto* filterBar = findChild<QWidget*>(QStringLiteral("filterBar"))) filterBar->hide();
  if (filterBox_) filterBox_->clear();
  showSortIndicator();
  dataset_.Open();
  model_->setEnabled(true);
}

void RecordsPage::showFieldDisplays(const kevra::db::Columns& columns) {
  model_->setFieldDisplays(fieldDisplaysOf(columns));
}

void RecordsPage::closeRecords() { dataset_.Close(); }

bool RecordsPage::postPendingEdit() { return editing_->postBeforeLeaving(); }

void RecordsPage::discardPendingEdit() { editing_->discardEdit(); }

bool RecordsPage::editPending() const { return model_->editing(); }

void RecordsPage::changeEvent(QEvent* event) {
  // The page takes the window's font only once it is placed in the window.
  if (event->type() == QEvent::FontChange) fitRowHeight();
  QWidget::changeEvent(event);
}

void RecordsPage::fitRowHeight() {
  form_->recordsGrid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 5);
}

void RecordsPage::reloadRecords() {
  constexpr int kAttempts = 3;
  constexpr auto kPause = std::chrono::milliseconds(100);
  for (int attempt = 1;; ++attempt) {
    try {
      dataset_.Open();
      return;
    } catch (const std::exception&) {
      if (attempt >= kAttempts) throw;
      std::this_thread::sleep_for(kPause);
    }
  }
}

void RecordsPage::setGridVisible(bool visible) { form_->recordsGrid->setVisible(visible); }

void RecordsPage::fitColumnWidths() {
  // The first screen is known once the pending layout has run.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  QTableView* grid = form_->recordsGrid;
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid->horizontalHeader()->setResizeContentsPrecision(0);  // the rows on screen only
  for (int column = 0; column < model_->columnCount(); ++column) {
    grid->resizeColumnToContents(column);
    constexpr int kBreathingRoom = 8;
    grid->setColumnWidth(column,
                         std::clamp(grid->columnWidth(column) + kBreathingRoom, kMinColumnWidth, kMaxColumnWidth));
  }
}

}  // namespace kevra::browse
