// The table tree: one root node per user table ("TABLE" entries of the
// catalog), each put in front of the others, so the last catalog entry is on
// top. Nothing is selected afterwards.
#include <QIcon>

#include "app/form1.h"
#include "ui_form1.h"

void Form1::fillTableList() {
  ui->TreeView1->clear();
  const QIcon tableIcon(QStringLiteral(":/kevra/table.png"));
  const kevra::db::Tables& tables = context_.catalog->Tables();
  const int count = tables.Count();
  for (int position = 0; position < count; ++position) {
    const kevra::db::Table& table = tables.Item(position);
    if (table.Type() != "TABLE") continue;
    auto* node = new QTreeWidgetItem(QStringList{QString::fromStdString(table.Name())});
    node->setIcon(0, tableIcon);
    ui->TreeView1->insertTopLevelItem(0, node);
  }
  ui->TreeView1->setCurrentItem(nullptr);
  ui->TreeView1->clearSelection();
}
