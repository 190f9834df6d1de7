// The Add Field dialog: its start state, the length rule and the button.
#include "schema/add_field_dialog.h"

#include "schema/type_vocabulary.h"
#include "ui/error_display.h"
#include "ui_add_field_dialog.h"

namespace kevra::schema {

AddFieldDialog::AddFieldDialog(ui::DatabaseSession& session, QString table, QWidget* parent)
    : QDialog(parent), form_(std::make_unique<Ui::AddFieldDialog>()), session_(session), table_(std::move(table)) {
  form_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(226, 103);
  form_->typeBox->addItems(offeredTypeNames());
  form_->typeBox->setCurrentIndex(-1);
  form_->nameBox->clear();
  form_->lengthBox->clear();
  form_->nullableCheck->setChecked(false);
  // Only a TEXT field takes a length; until a type is chosen nothing typed
  // there would be used.
  form_->lengthBox->setEnabled(false);
  // `activated` fires for a choice by the user only.
  connect(form_->typeBox, &QComboBox::activated, this, &AddFieldDialog::typeChosen);
  connect(form_->addButton, &QPushButton::clicked, this, [this] { ui::runCommand(this, [this] { addClicked(); }); });
}

AddFieldDialog::~AddFieldDialog() = default;

NewField AddFieldDialog::field() const {
  return {form_->nameBox->text(), form_->typeBox->currentText(), form_->lengthBox->text(),
          form_->nullableCheck->isChecked()};
}

void AddFieldDialog::typeChosen() {
  if (form_->typeBox->currentText() == kTextType) {
    if (form_->lengthBox->text().isEmpty()) form_->lengthBox->setText(kDefaultTextLength);
    form_->lengthBox->setEnabled(true);
  } else {
    form_->lengthBox->clear();
    form_->lengthBox->setEnabled(false);
  }
}

void AddFieldDialog::addClicked() {
  addField(session_, table_, field());
  accept();
}

}  // namespace kevra::schema
