// The Table Name dialog: its two modes and its button.
#include "schema/table_name_dialog.h"

#include "schema/add_table.h"
#include "schema/rename_table.h"
#include "ui/error_display.h"
#include "ui/message_boxes.h"
#include "ui_table_name_dialog.h"

namespace kevra::schema {

namespace {
const QString kRename = QStringLiteral("Rename");
const QString kAddNew = QStringLiteral("Add New");
}  // namespace

TableNameDialog::TableNameDialog(ui::DatabaseSession& session, QWidget* parent)
    : QDialog(parent), form_(std::make_unique<Ui::TableNameDialog>()), session_(session) {
  setUp(kAddNew);
  form_->nameBox->clear();
}

TableNameDialog::TableNameDialog(ui::DatabaseSession& session, const QString& name, int tableIndex, QWidget* parent)
    : QDialog(parent), form_(std::make_unique<Ui::TableNameDialog>()), session_(session), tableIndex_(tableIndex) {
  setUp(kRename);
  form_->nameBox->setText(name);
}

TableNameDialog::~TableNameDialog() = default;

void TableNameDialog::setUp(const QString& buttonCaption) {
  form_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(285, 49);
  form_->okButton->setText(buttonCaption);
  connect(form_->okButton, &QPushButton::clicked, this, [this] { ui::runCommand(this, [this] { buttonClicked(); }); });
}

QString TableNameDialog::tableName() const { return form_->nameBox->text(); }

void TableNameDialog::buttonClicked() {
  const QString name = tableName();
  if (name.isEmpty()) {
    emit refreshRequested();
    return;
  }
  if (form_->okButton->text() == kRename) {
    renameTable(session_, tableIndex_, name);
    ui::showInformation(this, QStringLiteral("Table has been renamed successfully."));
  } else {
    addTable(session_, name);
  }
  accept();
}

}  // namespace kevra::schema
