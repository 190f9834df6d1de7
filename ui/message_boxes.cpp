// Confirmation and information boxes through the dialog seam.
#include "ui/message_boxes.h"

#include "ui/dialog_seam.h"

namespace kevra::ui {

QString lossQuestion(const QString& loss) {
  return loss + QStringLiteral("\r\n\r\nYou will not be able to undo this.\r\n\r\nAre you sure ? ");
}

bool confirmLoss(QWidget* parent, const QString& loss) {
  MessageRequest request;
  request.icon = QMessageBox::Question;
  request.title = QStringLiteral("Confirm");
  request.text = lossQuestion(loss);
  request.buttons = QMessageBox::Yes | QMessageBox::No;
  request.defaultButton = QMessageBox::Yes;
  return dialogs().message(parent, request) == QMessageBox::Yes;
}

void showInformation(QWidget* parent, const QString& text) {
  MessageRequest request;
  request.icon = QMessageBox::Information;
  request.title = QStringLiteral("Information");
  request.text = text;
  request.buttons = QMessageBox::Ok;
  request.defaultButton = QMessageBox::Ok;
  dialogs().message(parent, request);
}

}  // namespace kevra::ui
