// The Create Index dialog: filling it and its button.
#include "schema/create_index_dialog.h"

#include "ui/database_session.h"
#include "ui/error_display.h"
#include "ui_create_index_dialog.h"

namespace kevra::schema {

CreateIndexDialog::CreateIndexDialog(ui::DatabaseSession& session, QString table, QWidget* parent)
    : QDialog(parent), form_(std::make_unique<Ui::CreateIndexDialog>()), session_(session), table_(std::move(table)) {
  form_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(225, 214);
  form_->fieldList->clear();
  const db::Columns& columns = session_.selectedTable().Columns();
  for (int position = 0; position < columns.Count(); ++position) {
    auto* item = new QListWidgetItem(QString::fromStdString(columns.Item(position).Name()), form_->fieldList);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  form_->nameBox->setText(QStringLiteral("INDEX_NAME"));
  form_->uniqueCheck->setChecked(false);
  connect(form_->createButton, &QPushButton::clicked, this,
          [this] { ui::runCommand(this, [this] { createClicked(); }); });
}

CreateIndexDialog::~CreateIndexDialog() = default;

NewIndex CreateIndexDialog::index() const {
  NewIndex index{form_->nameBox->text(), {}, form_->uniqueCheck->isChecked()};
  for (int row = 0; row < form_->fieldList->count(); ++row)
    if (form_->fieldList->item(row)->checkState() == Qt::Checked) index.fields << form_->fieldList->item(row)->text();
  return index;
}

void CreateIndexDialog::createClicked() {
  createIndex(session_, table_, index());
  accept();
}

}  // namespace kevra::schema
