// ConversionProgress: the progress box an import or export shows while a
// large table is copied. It appears only when the copy lasts more than half a
// second, counts the rows copied so far, and closes with the object.
#pragma once
#include <QString>
#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

namespace kevra::convert {

class ConversionProgress {
 public:
  ConversionProgress(QWidget* parent, const QString& table);
  ~ConversionProgress();
  // For Recordset::setProgress.
  std::function<void(long)> callback();

 private:
  QString table_;
  std::unique_ptr<QProgressDialog> dialog_;
};

}  // namespace kevra::convert
