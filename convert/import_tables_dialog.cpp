// The Tables dialog and its one button.
#include "convert/import_tables_dialog.h"

#include "convert/conversion_progress.h"
#include "database/conversion_statements.h"
#include "database/recordset.h"
#include "ui/database_session.h"
#include "ui/error_display.h"
#include "ui_import_tables_dialog.h"

namespace kevra::convert {

ImportTablesDialog::ImportTablesDialog(ui::DatabaseSession& session, const QStringList& tables, QWidget* parent)
    : QDialog(parent), form_(std::make_unique<Ui::ImportTablesDialog>()), session_(session) {
  form_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(250, 181);
  for (const QString& t : tables) {
    auto* item = new QListWidgetItem(t, form_->tableList);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  connect(form_->importButton, &QPushButton::clicked, this,
          [this] { ui::runCommand(this, [this] { importSelected(); }); });
}

ImportTablesDialog::~ImportTablesDialog() = default;

QStringList ImportTablesDialog::checkedTables() const {
  QStringList out;
  for (int row = 0; row < form_->tableList->count(); ++row)
    if (form_->tableList->item(row)->checkState() == Qt::Checked) out << form_->tableList->item(row)->text();
  return out;
}

void ImportTablesDialog::importSelected() {
  db::Recordset conversion;
  const std::string target = session_.path().toStdString();
  for (const QString& table : checkedTables()) {
    const std::string name = table.toStdString();
    ConversionProgress progress(this, table);
    conversion.setProgress(progress.callback());
    conversion.Open(db::importStatement(name, name, target), *session_.importConnection(), 0, 3, 0);
  }
  accept();
}

}  // namespace kevra::convert
