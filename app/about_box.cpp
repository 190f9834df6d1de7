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
  // The addresses come from the build (KEVRA_HOMEPAGE_URL,
  // KEVRA_CONTACT_EMAIL); a build without them shows no link at all rather
  // than one that leads nowhere.
  form_->webLink->setText(QStringLiteral(KEVRA_HOMEPAGE_URL));
  form_->mailLink->setText(QStringLiteral(KEVRA_CONTACT_EMAIL));
  form_->webLink->setVisible(!form_->webLink->text().isEmpty());
  form_->mailLink->setVisible(!form_->mailLink->text().isEmpty());
  form_->mailLink->installEventFilter(this);
  form_->webLink->installEventFilter(this);
}

AboutBox::~AboutBox() = default;

QString AboutBox::mailTarget() const {
  return form_->mailLink->text().isEmpty() ? QString() : QStringLiteral("mailto:") + form_->mailLink->text();
}

QString AboutBox::webTarget() const { return form_->webLink->text(); }

// Link results are not examined: no handler registered means nothing happens.
void AboutBox::openMailLink() {
  if (!mailTarget().isEmpty()) QDesktopServices::openUrl(QUrl(mailTarget()));
}

void AboutBox::openWebLink() {
  if (!webTarget().isEmpty()) QDesktopServices::openUrl(QUrl(webTarget()));
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == form_->mailLink) openMailLink();
    if (watched == form_->webLink) openWebLink();
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kevra::app
