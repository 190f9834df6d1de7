// Showing an index's fields and uniqueness from the catalog.
#include "browse/index_inspector.h"

#include "ui/database_session.h"
#include "ui_structure_page.h"

namespace kevra::browse {

std::array<QWidget*, 4> IndexInspector::details() const {
  return {form_.indexFieldsLabel, form_.indexFieldList, form_.uniqueLabel, form_.uniqueCheck};
}

void IndexInspector::showIndex() {
  const std::string name = form_.indexList->currentText().toStdString();
  const db::Indexes& indexes = session_.selectedTable().Indexes();
  int position = 0;
  while (position < indexes.Count() && indexes.Item(position).Name() != name) ++position;

  for (int row = 0; row < form_.indexFieldList->count(); ++row)
    form_.indexFieldList->item(row)->setCheckState(Qt::Unchecked);

  const db::Index& index = indexes.Item(position);
  const db::Columns& columns = index.Columns();
  for (int c = 0; c < columns.Count(); ++c) {
    const QString field = QString::fromStdString(columns.Item(c).Name());
    for (int row = 0; row < form_.indexFieldList->count(); ++row) {
      QListWidgetItem* item = form_.indexFieldList->item(row);
      if (item->text() == field) item->setCheckState(Qt::Checked);
    }
  }
  form_.uniqueCheck->setChecked(index.Unique());
  for (QWidget* w : details()) w->show();
}

void IndexInspector::hideDetails() {
  for (QWidget* w : details()) w->hide();
}

}  // namespace kevra::browse
