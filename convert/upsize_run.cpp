// The worker thread, the progress box and the cooperative cancel of an upsize.
#include "convert/upsize_run.h"

#include <QEventLoop>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>

namespace kevra::convert {

namespace {

// What the worker reports and the window reads, under one lock.
struct SharedProgress {
  std::mutex lock;
  std::string table;
  uint64_t tableRows = 0;
  uint64_t earlierRows = 0;  // rows of the tables finished before
  std::atomic<bool> cancelled{false};

  bool report(const std::string& name, uint64_t rows) {
    std::lock_guard guard(lock);
    if (name != table) {
      earlierRows += tableRows;
      table = name;
      tableRows = 0;
    }
    tableRows = rows;
    return !cancelled;
  }
};

constexpr int kBarSteps = 1000;

}  // namespace

QString upsizeProgressText(const QString& table, uint64_t rows) {
  return QStringLiteral("%1: %2 rows").arg(table, QLocale().toString(qulonglong(rows)));
}

db::UpsizeOutcome runUpsize(QWidget* parent, const std::string& sourceConnectionString,
                            const db::UpsizeSettings& settings, uint64_t totalRows) {
  SharedProgress shared;
  db::UpsizeOutcome outcome;
  std::exception_ptr failure;

  QProgressDialog box(QStringLiteral("Preparing the target..."), QStringLiteral("Cancel"), 0, kBarSteps, parent);
  box.setObjectName(QStringLiteral("upsizeProgress"));
  box.setWindowTitle(QStringLiteral("Upsize"));
  box.setWindowModality(Qt::WindowModal);
  box.setAutoClose(false);
  box.setAutoReset(false);
  box.setMinimumDuration(0);
  box.setMinimumWidth(360);
  QObject::connect(&box, &QProgressDialog::canceled, &box, [&] {
    shared.cancelled = true;
    // The box stays up until the worker has stopped and the target is clean.
    box.setLabelText(QStringLiteral("Cancelling: leaving the target as it was..."));
    if (auto* button = box.findChild<QPushButton*>()) button->setEnabled(false);
    box.show();
  });

  QThread* worker = QThread::create([&] {
    try {
      outcome = db::upsizeDatabase(sourceConnectionString, settings,
                                   [&](const std::string& table, uint64_t rows) { return shared.report(table, rows); });
    } catch (...) {
      failure = std::current_exception();
    }
  });
  QEventLoop loop;
  QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
  QTimer refresh;
  refresh.setInterval(100);
  QObject::connect(&refresh, &QTimer::timeout, &box, [&] {
    if (shared.cancelled) return;
    std::string table;
    uint64_t tableRows = 0, done = 0;
    {
      // Copied out first: setValue on a modal box runs the event loop.
      std::lock_guard guard(shared.lock);
      table = shared.table;
      tableRows = shared.tableRows;
      done = shared.earlierRows + shared.tableRows;
    }
    if (table.empty()) return;
    box.setLabelText(upsizeProgressText(QString::fromStdString(table), tableRows));
    box.setValue(totalRows ? int(std::min<uint64_t>(done, totalRows) * kBarSteps / totalRows) : 0);
  });
  box.show();
  worker->start();
  refresh.start();
  loop.exec();
  worker->wait();
  delete worker;
  refresh.stop();
  box.hide();
  if (failure) std::rethrow_exception(failure);
  return outcome;
}

}  // namespace kevra::convert
