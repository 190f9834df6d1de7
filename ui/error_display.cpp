// The error display: message text rule and the box itself.
#include "ui/error_display.h"

#include <new>

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
  if (dynamic_cast<const std::bad_alloc*>(&error))
    request.text = QStringLiteral(
        "There was not enough memory to finish this command, so it was stopped. A change it was making was not "
        "made; closing other programs or working on fewer rows at a time may help.");
  else
    request.text = errorDisplayText(QString::fromUtf8(error.what()));
  request.buttons = QMessageBox::Ok;
  request.defaultButton = QMessageBox::Ok;
  dialogs().message(parent, request);
}

}  // namespace kevra::ui
