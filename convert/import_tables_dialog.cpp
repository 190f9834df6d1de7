// The Tables dialog and its one button.
#include "convert/import_tables_dialog.h"

#include "convert/conversion_progress.h"
#include "convert/import_warnings.h"
#include "database/table_import.h"
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
  const QStringList checked = checkedTables();
  std::vector<db::TableToImport> chosen;
  for (const QString& table : checked) chosen.push_back({table.toStdString(), table.toStdString()});
  if (!chosen.empty()) {
    ConversionProgress progress(this, checked.size() == 1 ? checked.front() : QStringLiteral("%1 tables").arg(checked.size()));
    const db::ImportOutcome outcome =
        db::importTables(*session_.importConnection(), chosen, session_.path().toStdString(), progress.callback());
    showImportWarnings(this, outcome);
  }
  accept();
}

}  // namespace kevra::convert
