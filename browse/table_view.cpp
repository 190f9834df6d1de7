// TreeView1Click: a click in the table tree selects the table, loads its rows
// into the grid and builds the structure page's lists from the catalog.
#include <QCoreApplication>
#include <QEvent>
#include <QListWidget>

#include "app/form1.h"
#include "browse/records_model.h"
#include "ui_form1.h"

namespace {

void appendCheckItem(QListWidget* list, const QString& text) {
  auto* item = new QListWidgetItem(text, list);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  item->setCheckState(Qt::Unchecked);
}

}  // namespace

void Form1::TreeView1Click() {
  // 1. Nothing selected, nothing to do.
  QTreeWidgetItem* node = ui->TreeView1->currentItem();
  if (!node || !node->isSelected()) return;
  const QString tableName = node->text(0);
  const std::string name = tableName.toStdString();

  // 2. The table's position in the catalog, entries of every type counted.
  {
    const kevra::db::Tables& tables = context_.catalog->Tables();
    const int count = tables.Count();
    if (count > 0) {
      int position = 0;
      while (position < count && tables.Item(position).Name() != name) ++position;
      context_.selectedTableIndex = position;
    }
  }

  // 3-7. Reopen the records dataset on the table, the grid detached meanwhile.
  DataSource1->setEnabled(false);
  ADOTable1.Close();
  ADOTable1.setCommandText("select * from [" + name + "]");
  ADOTable1.Open();
  DataSource1->setEnabled(true);

  // 8-10. Show the rows, enable the table commands, name the table.
  ui->PageControl1->show();
  ui->DBGrid1->show();
  ui->PageControl1->setCurrentWidget(ui->TabSheet1);
  ui->RenameTable1->setEnabled(true);
  ui->abloSil1->setEnabled(true);
  setStatusText(OpenDialog1.FileName() + QStringLiteral(" -> ") + tableName);

  // 11-12. Field list and key field list.
  ui->Pklistbox->clear();
  ui->ComboBox1->clear();
  const kevra::db::Table& table = selectedTable();
  const kevra::db::Columns& columns = table.Columns();
  for (int position = 0; position < columns.Count(); ++position) {
    const QString field = QString::fromStdString(columns.Item(position).Name());
    ui->ComboBox1->addItem(field);
    appendCheckItem(ui->Pklistbox, field);
  }
  ui->ComboBox1->setCurrentIndex(-1);

  // 13. Index field list: the same texts, nothing checked.
  ui->RxCheckListBox1->clear();
  for (int row = 0; row < ui->Pklistbox->count(); ++row) appendCheckItem(ui->RxCheckListBox1, ui->Pklistbox->item(row)->text());

  // 14. Index list.
  ui->ComboBox3->clear();
  const kevra::db::Indexes& indexes = table.Indexes();
  for (int position = 0; position < indexes.Count(); ++position)
    ui->ComboBox3->addItem(QString::fromStdString(indexes.Item(position).Name()));
  ui->ComboBox3->setCurrentIndex(-1);

  // 15. Related field list: every column of every unique index of every user
  // table, as Table->Column, in catalog order, duplicates kept.
  ui->ComboBox4->clear();
  ui->ComboBox4->addItem(QString());
  {
    const kevra::db::Tables& tables = context_.catalog->Tables();
    for (int t = 0; t < tables.Count(); ++t) {
      const kevra::db::Table& other = tables.Item(t);
      if (other.Type() != "TABLE") continue;
      const kevra::db::Indexes& otherIndexes = other.Indexes();
      for (int i = 0; i < otherIndexes.Count(); ++i) {
        const kevra::db::Index& index = otherIndexes.Item(i);
        if (!index.Unique()) continue;
        for (int c = 0; c < index.Columns().Count(); ++c)
          ui->ComboBox4->addItem(QString::fromStdString(other.Name() + "->" + index.Columns().Item(c).Name()));
      }
    }
  }
  ui->ComboBox4->setCurrentIndex(0);

  // 16. Field and index details wait for a choice.
  hideFieldDetails();
  hideIndexDetails();
  ui->DBNavigator1->show();

  // 17. Check the primary key's fields.
  for (int i = 0; i < indexes.Count(); ++i) {
    const kevra::db::Index& index = indexes.Item(i);
    if (!index.PrimaryKey()) continue;
    for (int row = 0; row < ui->Pklistbox->count(); ++row) {
      QListWidgetItem* item = ui->Pklistbox->item(row);
      for (int c = 0; c < index.Columns().Count(); ++c)
        if (QString::fromStdString(index.Columns().Item(c).Name()) == item->text()) item->setCheckState(Qt::Checked);
    }
  }

  // 18. Share the grid's width among its columns, once.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  const int gridColumns = DataSource1->columnCount();
  if (gridColumns > 0) {
    const int width = ui->DBGrid1->width() / gridColumns;
    for (int column = 0; column < gridColumns; ++column) ui->DBGrid1->setColumnWidth(column, width);
  }

  // 19.
  ui->Exportto1->setEnabled(true);
}
