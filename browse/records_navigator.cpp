// Builds the navigator's four buttons.
#include "browse/records_navigator.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace kevra::browse {

namespace {
QToolButton* makeButton(QWidget* parent, const char* name, const QString& glyph, const QString& hint) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(glyph);
  button->setToolTip(hint);
  button->setFixedSize(23, 23);
  button->setAutoRaise(true);
  button->setEnabled(false);
  return button;
}
}  // namespace

RecordsNavigator::RecordsNavigator(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->setSpacing(0);
  insert_ = makeButton(this, "insertButton", QStringLiteral("+"), tr("Insert record"));
  delete_ = makeButton(this, "deleteButton", QStringLiteral("\u2212"), tr("Delete record"));
  post_ = makeButton(this, "postButton", QStringLiteral("\u2713"), tr("Post edit"));
  cancel_ = makeButton(this, "cancelButton", QStringLiteral("\u2715"), tr("Cancel edit"));
  for (QToolButton* button : {insert_, delete_, post_, cancel_}) layout->addWidget(button);
  layout->addStretch(1);
}

}  // namespace kevra::browse
