// The About box and its two links, opened through the desktop's handlers.
#include "app/about_box.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include "ui_about_box.h"

AboutBox::AboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::AboutBox>()) {
  ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(225, 182);
  connect(ui->OKButton, &QPushButton::clicked, this, &AboutBox::OKButtonClick);
  ui->Label1->installEventFilter(this);
  ui->Label2->installEventFilter(this);
}

AboutBox::~AboutBox() = default;

void AboutBox::OKButtonClick() { accept(); }

QString AboutBox::mailTarget() const { return QStringLiteral("mailto:") + ui->Label1->text(); }

QString AboutBox::webTarget() const { return ui->Label2->text(); }

// Link results are not examined: no handler registered means nothing happens.
void AboutBox::Label1Click() { QDesktopServices::openUrl(QUrl(mailTarget())); }

void AboutBox::Label2Click() { QDesktopServices::openUrl(QUrl(webTarget())); }

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == ui->Label1) Label1Click();
    if (watched == ui->Label2) Label2Click();
  }
  return QDialog::eventFilter(watched, event);
}
