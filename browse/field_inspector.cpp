// Showing a field from the catalog, and the length rule of the type box.
#include "browse/field_inspector.h"

#include <variant>

#include "database/ado_types.h"
#include "schema/type_vocabulary.h"
#include "ui/database_session.h"
#include "ui_structure_page.h"

namespace kevra::browse {

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

int exactly(const QComboBox* box, const QString& text) {
  return box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

}  // namespace

void FieldInspector::showField() {
  using namespace kevra::schema;
  const std::string name = form_.fieldList->currentText().toStdString();

  // A name that matches no column fails on the read just after the walk.
  const db::Columns& columns = session_.selectedTable().Columns();
  int position = 0;
  while (position < columns.Count() && columns.Item(position).Name() != name) ++position;
  const db::Column& column = columns.Item(position);

  form_.fieldNameBox->setText(QString::fromStdString(column.Name()));

  // NUMBER, and the types that are read but not offered, are in the list
  // only for a field that already has them. A complex column (.accdb) is
  // known by what it holds, not by the memo code of its shown text.
  QString type = typeName(column.Type());
  if (const db::Property* complex = column.Properties().find("Complex Type"))
    type = db::propertyText(complex->Value) == "Attachment" ? kAttachmentType : kMultipleValuesType;
  form_.fieldTypeBox->clear();
  form_.fieldTypeBox->addItems(offeredTypeNames());
  if (exactly(form_.fieldTypeBox, type) < 0 && type != QStringLiteral("UNKNOWN")) form_.fieldTypeBox->addItem(type);
  form_.fieldTypeBox->setCurrentIndex(exactly(form_.fieldTypeBox, type));

  // An autonumber is known by its property, not by its type code.
  if (const db::Property* autoincrement = column.Properties().find("autoincrement"))
    if (isTrue(autoincrement->Value)) form_.fieldTypeBox->setCurrentIndex(exactly(form_.fieldTypeBox, kAutonumberType));

  // The length goes by the column's type, so an autonumber gets none.
  if (type == kTextType) {
    form_.fieldLengthBox->setEnabled(true);
    form_.fieldLengthBox->setText(QString::number(column.DefinedSize()));
  } else {
    form_.fieldLengthBox->clear();
    form_.fieldLengthBox->setEnabled(false);
  }

  form_.nullableCheck->setChecked((column.Attributes() & db::adColNullable) != 0);
  const db::Property* defaultValue = column.Properties().find("default");
  form_.defaultValueBox->setText(defaultValue ? QString::fromStdString(db::propertyText(defaultValue->Value)) : QString());

  // The related field: of the keys whose first column is this field, the
  // last decides. A primary or unique key relates to nothing ("->" alone),
  // which matches no entry.
  form_.relatedFieldList->setCurrentIndex(form_.relatedFieldList->findText(QString(), Qt::MatchExactly));
  const db::Keys& keys = session_.selectedTable().Keys();
  for (int k = 0; k < keys.Count(); ++k) {
    const db::Key& key = keys.Item(k);
    if (key.Columns().Count() == 0) continue;
    const db::Column& first = key.Columns().Item(0);
    if (first.Name() != name) continue;
    const QString related = QString::fromStdString(key.RelatedTable() + "->" + first.RelatedColumn());
    form_.relatedFieldList->setCurrentIndex(exactly(form_.relatedFieldList, related));
  }

  setDetailsVisible(true);

  // Written last, from the controls as they now are: a failing read above
  // leaves the snapshot of the field shown before.
  session_.setFieldSnapshot({form_.fieldNameBox->text().toStdString(), form_.fieldTypeBox->currentText().toStdString(),
                             form_.fieldLengthBox->text().toStdString(), form_.nullableCheck->isChecked() ? "-1" : "0",
                             form_.defaultValueBox->text().toStdString(),
                             form_.relatedFieldList->currentText().toStdString()});
}

void FieldInspector::typeChosen() {
  if (form_.fieldTypeBox->currentText() == schema::kTextType) {
    if (form_.fieldLengthBox->text().isEmpty()) form_.fieldLengthBox->setText(schema::kDefaultTextLength);
    form_.fieldLengthBox->setEnabled(true);
  } else {
    form_.fieldLengthBox->clear();
    form_.fieldLengthBox->setEnabled(false);
  }
}

void FieldInspector::lengthBoxClicked() {
  if (form_.fieldTypeBox->currentText() != schema::kTextType) {
    form_.fieldLengthBox->setEnabled(false);
    form_.fieldLengthBox->clear();
  } else {
    form_.fieldLengthBox->setEnabled(true);
  }
}

void FieldInspector::hideDetails() { setDetailsVisible(false); }

void FieldInspector::setDetailsVisible(bool visible) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           form_.fieldNameLabel, form_.fieldTypeLabel, form_.fieldLengthLabel, form_.nullableLabel,
           form_.defaultValueLabel, form_.relatedFieldLabel, form_.fieldNameBox, form_.defaultValueBox,
           form_.fieldTypeBox, form_.fieldLengthBox, form_.nullableCheck, form_.applyChangesButton,
           form_.relatedFieldList})
    w->setVisible(visible);
}

}  // namespace kevra::browse
