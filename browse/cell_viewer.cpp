// The cell viewer's layout.
#include "browse/cell_viewer.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace kevra::browse {

CellViewer::CellViewer(const QString& field, const QString& text, bool readOnly, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("cellViewer"));
  setWindowTitle(QStringLiteral("Zoom - %1").arg(field));
  auto* layout = new QVBoxLayout(this);
  editor_ = new QPlainTextEdit(this);
  editor_->setObjectName(QStringLiteral("cellViewerText"));
  editor_->setPlainText(text);
  editor_->setReadOnly(readOnly);
  layout->addWidget(editor_);
  const auto kinds = readOnly ? QDialogButtonBox::Close : QDialogButtonBox::Ok | QDialogButtonBox::Cancel;
  auto* buttons = new QDialogButtonBox(kinds, this);
  buttons->setObjectName(QStringLiteral("cellViewerButtons"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(560, 380);
}

QString CellViewer::text() const { return editor_->toPlainText(); }

bool CellViewer::readOnly() const { return editor_->isReadOnly(); }

}  // namespace kevra::browse
