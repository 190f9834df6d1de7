// The field inspector: choosing a field shows its name, type, length,
// nullability, default and related field, and records them in the field
// snapshot; the type box keeps the length box in step.
#include "app/form1.h"
#include "database/ado_types.h"
#include "schema/type_vocabulary.h"
#include "ui_form1.h"

namespace {

// A property value read as a boolean: anything but 0, false or NULL is true.
bool isTrue(const kevra::Value& value) {
  return std::visit(
      [](const auto& v) -> bool {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, bool>) return v;
        else if constexpr (std::is_arithmetic_v<T>) return v != 0;
        else if constexpr (std::is_same_v<T, std::string>) return !v.empty() && v != "0" && v != "False";
        else return false;
      },
      value);
}

}  // namespace

void Form1::ComboBox1Change() {
  using namespace kevra::schema;
  const QString chosen = ui->ComboBox1->currentText();
  const std::string name = chosen.toStdString();

  // 1. Find the column; a name that matches none fails on the read below.
  const kevra::db::Columns& columns = selectedTable().Columns();
  int position = 0;
  while (position < columns.Count() && columns.Item(position).Name() != name) ++position;
  const kevra::db::Column& column = columns.Item(position);

  // 2.
  ui->Edit1->setText(QString::fromStdString(column.Name()));

  // 3-4. Type list, NUMBER only for a NUMBER field; select the type by text.
  const QString typeName = GetDataTypeEnumDesc(column.Type());
  ui->ComboBox2->clear();
  ui->ComboBox2->addItems(offeredTypeNames());
  if (typeName == kNumberType) ui->ComboBox2->addItem(kNumberType);
  ui->ComboBox2->setCurrentIndex(ui->ComboBox2->findText(typeName, Qt::MatchExactly | Qt::MatchCaseSensitive));

  // 5. An autonumber is known by its property, not by its type code.
  if (const kevra::db::Property* autoincrement = column.Properties().find("autoincrement"))
    if (isTrue(autoincrement->Value))
      ui->ComboBox2->setCurrentIndex(ui->ComboBox2->findText(kAutonumberType, Qt::MatchExactly | Qt::MatchCaseSensitive));

  // 6. Length, by the column's type: TEXT only.
  if (typeName == kTextType) {
    ui->Edit2->setEnabled(true);
    ui->Edit2->setText(QString::number(column.DefinedSize()));
  } else {
    ui->Edit2->clear();
    ui->Edit2->setEnabled(false);
  }

  // 7-8.
  ui->CheckBox1->setChecked((column.Attributes() & kevra::db::adColNullable) != 0);
  const kevra::db::Property* defaultValue = column.Properties().find("default");
  ui->Edit3->setText(defaultValue ? QString::fromStdString(kevra::db::propertyText(defaultValue->Value)) : QString());

  // 9. Related field: the last key whose first column is this field decides.
  ui->ComboBox4->setCurrentIndex(ui->ComboBox4->findText(QString(), Qt::MatchExactly));
  const kevra::db::Keys& keys = selectedTable().Keys();
  for (int k = 0; k < keys.Count(); ++k) {
    const kevra::db::Key& key = keys.Item(k);
    if (key.Columns().Count() == 0) continue;
    const kevra::db::Column& first = key.Columns().Item(0);
    if (first.Name() != name) continue;
    const QString related = QString::fromStdString(key.RelatedTable() + "->" + first.RelatedColumn());
    ui->ComboBox4->setCurrentIndex(ui->ComboBox4->findText(related, Qt::MatchExactly | Qt::MatchCaseSensitive));
  }

  // 10.
  for (QWidget* w : std::initializer_list<QWidget*>{ui->Label1, ui->Label2, ui->Label3, ui->Label4, ui->Label7,
                                                   ui->Label8, ui->Edit1, ui->Edit3, ui->ComboBox2, ui->Edit2,
                                                   ui->CheckBox1, ui->Button4, ui->ComboBox4})
    w->show();

  // 11. The snapshot, from the controls as they now are.
  context_.fieldSnapshot = {ui->Edit1->text().toStdString(),
                            ui->ComboBox2->currentText().toStdString(),
                            ui->Edit2->text().toStdString(),
                            ui->CheckBox1->isChecked() ? "-1" : "0",
                            ui->Edit3->text().toStdString(),
                            ui->ComboBox4->currentText().toStdString()};
}

void Form1::ComboBox2Change() {
  if (ui->ComboBox2->currentText() == kevra::schema::kTextType) {
    if (ui->Edit2->text().isEmpty()) ui->Edit2->setText(kevra::schema::kDefaultTextLength);
    ui->Edit2->setEnabled(true);
  } else {
    ui->Edit2->clear();
    ui->Edit2->setEnabled(false);
  }
}

void Form1::Edit2Click() {
  if (ui->ComboBox2->currentText() != kevra::schema::kTextType) {
    ui->Edit2->setEnabled(false);
    ui->Edit2->clear();
  } else {
    ui->Edit2->setEnabled(true);
  }
}
