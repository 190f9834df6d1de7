// The error display: message text rule and the box itself.
#include "ui/error_display.h"

#include "ui/dialog_seam.h"

namespace kevra::ui {

QString errorDisplayText(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar('.')) return message + QChar('.');
  return message;
}

void showError(QWidget* parent, const std::exception& error) {
  MessageRequest request;
  request.icon = QMessageBox::Critical;
  request.title = kApplicationTitle;
  request.text = errorDisplayText(QString::fromUtf8(error.what()));
  request.buttons = QMessageBox::Ok;
  request.defaultButton = QMessageBox::Ok;
  dialogs().message(parent, request);
}

}  // namespace kevra::ui
