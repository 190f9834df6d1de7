// The index inspector: choosing an index checks its fields in the index field
// list and shows whether it is unique. Display only; nothing is written.
#include "app/form1.h"
#include "ui_form1.h"

void Form1::ComboBox3Change() {
  const std::string name = ui->ComboBox3->currentText().toStdString();
  const kevra::db::Indexes& indexes = selectedTable().Indexes();
  int position = 0;
  while (position < indexes.Count() && indexes.Item(position).Name() != name) ++position;

  for (int row = 0; row < ui->RxCheckListBox1->count(); ++row)
    ui->RxCheckListBox1->item(row)->setCheckState(Qt::Unchecked);

  const kevra::db::Index& index = indexes.Item(position);  // fails for a vanished index
  const kevra::db::Columns& columns = index.Columns();
  for (int c = 0; c < columns.Count(); ++c) {
    const QString field = QString::fromStdString(columns.Item(c).Name());
    for (int row = 0; row < ui->RxCheckListBox1->count(); ++row) {
      QListWidgetItem* item = ui->RxCheckListBox1->item(row);
      if (item->text() == field) item->setCheckState(Qt::Checked);
    }
  }
  ui->CheckBox2->setChecked(index.Unique());
  for (QWidget* w : std::initializer_list<QWidget*>{ui->Label5, ui->RxCheckListBox1, ui->Label6, ui->CheckBox2})
    w->show();
}
