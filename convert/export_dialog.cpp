// The Export Database dialog and its button.
#include "convert/export_dialog.h"

#include <QDir>
#include <QFileSystemModel>

#include "convert/conversion_progress.h"
#include "database/conversion_statements.h"
#include "database/recordset.h"
#include "ui/database_session.h"
#include "ui/error_display.h"
#include "ui/message_boxes.h"
#include "ui_export_dialog.h"

namespace kevra::convert {

ExportDialog::ExportDialog(ui::DatabaseSession& session, QString table, QWidget* parent)
    : QDialog(parent), form_(std::make_unique<Ui::ExportDialog>()), session_(session), table_(std::move(table)) {
  form_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(177, 272);
  folders_ = new QFileSystemModel(this);
  folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  folders_->setRootPath(QStringLiteral("/"));
  form_->directoryList->setModel(folders_);
  for (int column = 1; column < folders_->columnCount(); ++column) form_->directoryList->hideColumn(column);
  setDirectory(QDir::currentPath());
  form_->formatBox->setCurrentIndex(0);
  connect(form_->exportButton, &QPushButton::clicked, this,
          [this] { ui::runCommand(this, [this] { exportClicked(); }); });
}

ExportDialog::~ExportDialog() = default;

QString ExportDialog::directory() const {
  QModelIndex current = form_->directoryList->currentIndex();
  QString path = current.isValid() ? folders_->filePath(current) : QDir::currentPath();
  while (path.size() > 1 && path.endsWith('/')) path.chop(1);
  return path;
}

void ExportDialog::setDirectory(const QString& path) {
  QModelIndex index = folders_->index(QDir(path).absolutePath());
  form_->directoryList->setCurrentIndex(index);
  form_->directoryList->scrollTo(index);
  form_->directoryList->expand(index);
}

QString ExportDialog::format() const { return form_->formatBox->currentText(); }

void ExportDialog::exportClicked() {
  db::Recordset conversion;
  const auto statement = db::exportStatement(format().toStdString(), table_.toStdString(), directory().toStdString());
  if (statement) {
    ConversionProgress progress(this, table_);
    conversion.setProgress(progress.callback());
    conversion.Open(*statement, session_.connection(), 0, 3, 0);
  }
  if (!conversion.warnings().empty()) {
    QString text;
    for (const std::string& w : conversion.warnings()) text += QString::fromStdString(w) + QStringLiteral("\n");
    ui::showInformation(this, text.trimmed());
  }
  accept();
}

}  // namespace kevra::convert
