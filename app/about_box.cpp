// The About box and its two links, opened through the desktop's handlers.
#include "app/about_box.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include "ui_about_box.h"

namespace kevra::app {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent), form_(std::make_unique<Ui::AboutBox>()) {
  form_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(225, 182);
  connect(form_->okButton, &QPushButton::clicked, this, &QDialog::accept);
  form_->mailLink->installEventFilter(this);
  form_->webLink->installEventFilter(this);
}

AboutBox::~AboutBox() = default;

QString AboutBox::mailTarget() const { return QStringLiteral("mailto:") + form_->mailLink->text(); }

QString AboutBox::webTarget() const { return form_->webLink->text(); }

// Link results are not examined: no handler registered means nothing happens.
void AboutBox::openMailLink() { QDesktopServices::openUrl(QUrl(mailTarget())); }

void AboutBox::openWebLink() { QDesktopServices::openUrl(QUrl(webTarget())); }

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == form_->mailLink) openMailLink();
    if (watched == form_->webLink) openWebLink();
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kevra::app
