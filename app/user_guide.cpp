// The user guide window.
#include "app/user_guide.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace kevra::app {

UserGuide::UserGuide(QWidget* parent) : QDialog(parent), text_(new QTextBrowser(this)) {
  setObjectName(QStringLiteral("userGuide"));
  setWindowTitle(tr("Kevra User Guide"));
  text_->setObjectName(QStringLiteral("guideText"));
  text_->setOpenExternalLinks(false);
  text_->setSource(QUrl(QStringLiteral("qrc:/kevra/user_guide.html")));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(buttons);
  resize(640, 560);
}

QStringList UserGuide::sectionTitles() const {
  QStringList titles;
  for (QTextBlock block = text_->document()->begin(); block.isValid(); block = block.next())
    if (block.blockFormat().headingLevel() == 2) titles << block.text();
  return titles;
}

}  // namespace kevra::app
