// The structure page: building its lists for a table, and routing the
// choices made on it to the inspectors.
#include "browse/structure_page.h"

#include <QEvent>
#include <QListWidget>

#include "browse/field_inspector.h"
#include "browse/index_inspector.h"
#include "ui/database_session.h"
#include "ui/error_display.h"
#include "ui_structure_page.h"

namespace kevra::browse {

namespace {

// A list item with a check mark; only the user's own marks may be changed.
void appendCheckItem(QListWidget* list, const QString& text, bool userCheckable) {
  auto* item = new QListWidgetItem(text, list);
  item->setFlags(userCheckable ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                               : Qt::ItemIsEnabled);
  item->setCheckState(Qt::Unchecked);
}

void renameItems(QListWidget* list, const QString& from, const QString& to) {
  for (int row = 0; row < list->count(); ++row)
    if (list->item(row)->text() == from) list->item(row)->setText(to);
}

}  // namespace

StructurePage::StructurePage(QWidget* parent) : QWidget(parent), form_(std::make_unique<Ui::StructurePage>()) {
  form_->setupUi(this);
  // The unique check shows the chosen index; no command reads it back, so
  // it takes no clicks or keys (see eventFilter).
  form_->uniqueCheck->setFocusPolicy(Qt::NoFocus);
  form_->uniqueCheck->installEventFilter(this);
  connectCommands();
}

StructurePage::~StructurePage() = default;

void StructurePage::setSession(ui::DatabaseSession& session) {
  session_ = &session;
  fields_ = std::make_unique<FieldInspector>(*form_, session);
  indexes_ = std::make_unique<IndexInspector>(*form_, session);
  const auto command = [this](void (StructurePage::*handler)()) {
    return [this, handler] { ui::runCommand(this, [this, handler] { (this->*handler)(); }); };
  };
  // `activated` fires for a choice by the user only, never for one made here.
  connect(form_->fieldList, &QComboBox::activated, this, command(&StructurePage::showField));
  connect(form_->fieldTypeBox, &QComboBox::activated, this, command(&StructurePage::fieldTypeChosen));
  connect(form_->indexList, &QComboBox::activated, this, command(&StructurePage::showIndex));
  form_->fieldLengthBox->installEventFilter(this);
}

bool StructurePage::eventFilter(QObject* watched, QEvent* event) {
  // The unique check is for display: clicks and keys stop here.
  if (watched == form_->uniqueCheck &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
       event->type() == QEvent::MouseButtonDblClick || event->type() == QEvent::KeyPress))
    return true;
  // A disabled box takes no clicks.
  if (watched == form_->fieldLengthBox && event->type() == QEvent::MouseButtonPress &&
      form_->fieldLengthBox->isEnabled())
    ui::runCommand(this, [this] { lengthBoxClicked(); });
  return QWidget::eventFilter(watched, event);
}

void StructurePage::connectCommands() {
  connect(form_->applyChangesButton, &QPushButton::clicked, this, [this] { emit applyChangesRequested(fieldEdits()); });
  connect(form_->addFieldButton, &QPushButton::clicked, this, &StructurePage::addFieldRequested);
  connect(form_->deleteFieldButton, &QPushButton::clicked, this,
          [this] { emit deleteFieldRequested(form_->fieldList->currentText()); });
  connect(form_->selectKeyButton, &QPushButton::clicked, this, [this] { emit selectKeyRequested(checkedKeyFields()); });
  connect(form_->addIndexButton, &QPushButton::clicked, this, &StructurePage::addIndexRequested);
  connect(form_->deleteIndexButton, &QPushButton::clicked, this,
          [this] { emit deleteIndexRequested(form_->indexList->currentText()); });
}

schema::FieldEdits StructurePage::fieldEdits() const {
  return {form_->fieldNameBox->text(),    form_->fieldTypeBox->currentText(),
          form_->fieldLengthBox->text(),  form_->nullableCheck->isChecked(),
          form_->defaultValueBox->text(), form_->relatedFieldList->currentText()};
}

QStringList StructurePage::checkedKeyFields() const {
  QStringList fields;
  for (int row = 0; row < form_->keyFieldList->count(); ++row)
    if (form_->keyFieldList->item(row)->checkState() == Qt::Checked) fields << form_->keyFieldList->item(row)->text();
  return fields;
}

void StructurePage::renameField(const QString& table, const QString& from, const QString& to) {
  for (int i = 0; i < form_->fieldList->count(); ++i)
    if (form_->fieldList->itemText(i) == from) form_->fieldList->setItemText(i, to);
  renameItems(form_->keyFieldList, from, to);
  renameItems(form_->indexFieldList, from, to);
  const QString oldEntry = table + QStringLiteral("->") + from;
  for (int i = 0; i < form_->relatedFieldList->count(); ++i)
    if (form_->relatedFieldList->itemText(i) == oldEntry)
      form_->relatedFieldList->setItemText(i, table + QStringLiteral("->") + to);
}

void StructurePage::appendField(const QString& name) {
  form_->fieldList->addItem(name);
  form_->fieldList->setCurrentIndex(-1);
  appendCheckItem(form_->keyFieldList, name, true);
  // With Apply Changes hidden, a default value typed would go nowhere: the
  // whole field editor goes.
  fields_->hideDetails();
}

void StructurePage::removeChosenField(const QString& name) {
  for (int row = 0; row < form_->keyFieldList->count(); ++row)
    if (form_->keyFieldList->item(row)->text().compare(name, Qt::CaseInsensitive) == 0) {
      delete form_->keyFieldList->takeItem(row);
      break;
    }
  form_->fieldList->removeItem(form_->fieldList->currentIndex());
  form_->fieldList->setCurrentIndex(-1);
  fields_->hideDetails();
}

void StructurePage::appendIndex(const QString& name) {
  form_->indexList->addItem(name);
  form_->indexList->setCurrentIndex(-1);
  indexes_->hideDetails();
}

void StructurePage::removeChosenIndex() {
  form_->indexList->removeItem(form_->indexList->currentIndex());
  form_->indexList->setCurrentIndex(-1);
  indexes_->hideDetails();
}

void StructurePage::showField() { fields_->showField(); }
void StructurePage::fieldTypeChosen() { fields_->typeChosen(); }
void StructurePage::lengthBoxClicked() { fields_->lengthBoxClicked(); }
void StructurePage::showIndex() { indexes_->showIndex(); }

void StructurePage::showTable() {
  form_->keyFieldList->clear();
  form_->fieldList->clear();
  const db::Table& table = session_->selectedTable();
  const db::Columns& columns = table.Columns();
  for (int position = 0; position < columns.Count(); ++position) {
    const QString field = QString::fromStdString(columns.Item(position).Name());
    form_->fieldList->addItem(field);
    appendCheckItem(form_->keyFieldList, field, true);
  }
  form_->fieldList->setCurrentIndex(-1);

  form_->indexFieldList->clear();
  for (int row = 0; row < form_->keyFieldList->count(); ++row)
    appendCheckItem(form_->indexFieldList, form_->keyFieldList->item(row)->text(), false);

  form_->indexList->clear();
  const db::Indexes& indexes = table.Indexes();
  for (int position = 0; position < indexes.Count(); ++position)
    form_->indexList->addItem(QString::fromStdString(indexes.Item(position).Name()));
  form_->indexList->setCurrentIndex(-1);

  fillRelatedFieldList();
  fields_->hideDetails();
  indexes_->hideDetails();
  checkPrimaryKeyFields();
}

void StructurePage::fillRelatedFieldList() {
  // Every column of every unique index of every user table, as Table->Column,
  // in catalog order with duplicates kept, after an empty entry for none.
  form_->relatedFieldList->clear();
  form_->relatedFieldList->addItem(QString());
  const db::Tables& tables = session_->catalog().Tables();
  for (int t = 0; t < tables.Count(); ++t) {
    const db::Table& table = tables.Item(t);
    if (table.Type() != "TABLE") continue;
    const db::Indexes& indexes = table.Indexes();
    for (int i = 0; i < indexes.Count(); ++i) {
      const db::Index& index = indexes.Item(i);
      if (!index.Unique()) continue;
      for (int c = 0; c < index.Columns().Count(); ++c)
        form_->relatedFieldList->addItem(QString::fromStdString(table.Name() + "->" + index.Columns().Item(c).Name()));
    }
  }
  form_->relatedFieldList->setCurrentIndex(0);
}

void StructurePage::checkPrimaryKeyFields() {
  const db::Indexes& indexes = session_->selectedTable().Indexes();
  for (int i = 0; i < indexes.Count(); ++i) {
    const db::Index& index = indexes.Item(i);
    if (!index.PrimaryKey()) continue;
    for (int row = 0; row < form_->keyFieldList->count(); ++row) {
      QListWidgetItem* item = form_->keyFieldList->item(row);
      for (int c = 0; c < index.Columns().Count(); ++c)
        if (QString::fromStdString(index.Columns().Item(c).Name()) == item->text()) item->setCheckState(Qt::Checked);
    }
  }
}

}  // namespace kevra::browse
