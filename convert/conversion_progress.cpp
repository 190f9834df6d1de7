// A busy-style progress box fed with row counts.
#include "convert/conversion_progress.h"

#include <QCoreApplication>
#include <QLocale>
#include <QProgressDialog>

namespace kevra::convert {

ConversionProgress::ConversionProgress(QWidget* parent, const QString& table)
    : table_(table), dialog_(std::make_unique<QProgressDialog>(parent)) {
  dialog_->setWindowTitle(QStringLiteral("Copying"));
  dialog_->setLabelText(QStringLiteral("Copying ") + table + QStringLiteral("..."));
  dialog_->setCancelButton(nullptr);
  dialog_->setRange(0, 0);  // the total is not known beforehand
  dialog_->setWindowModality(Qt::WindowModal);
  dialog_->setMinimumDuration(500);
  dialog_->setValue(0);
}

ConversionProgress::~ConversionProgress() = default;

std::function<void(long)> ConversionProgress::callback() {
  return [this](long rows) {
    dialog_->setLabelText(QStringLiteral("Copying ") + table_ + QStringLiteral(": ") +
                          QLocale().toString(qlonglong(rows)) + QStringLiteral(" rows"));
    dialog_->setValue(0);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
}

}  // namespace kevra::convert
