// Filling the table tree from the catalog.
#include "browse/table_tree.h"

#include <QIcon>

#include "database/catalog.h"
#include "ui_table_tree.h"

namespace kevra::browse {

TableTree::TableTree(QWidget* parent) : QTreeWidget(parent), form_(std::make_unique<Ui::TableTree>()) {
  form_->setupUi(this);
}

TableTree::~TableTree() = default;

void TableTree::fill(const db::Catalog& catalog) {
  clear();
  const QIcon tableIcon(QStringLiteral(":/kevra/table.png"));
  const db::Tables& tables = catalog.Tables();
  const int count = tables.Count();
  for (int position = 0; position < count; ++position) {
    const db::Table& table = tables.Item(position);
    if (table.Type() != "TABLE") continue;  // system tables, links, queries
    auto* node = new QTreeWidgetItem(QStringList{QString::fromStdString(table.Name())});
    node->setIcon(0, tableIcon);
    insertTopLevelItem(0, node);
  }
  setCurrentItem(nullptr);
  clearSelection();
}

QString TableTree::selectedTable() const {
  const QTreeWidgetItem* node = currentItem();
  return node && node->isSelected() ? node->text(0) : QString();
}

}  // namespace kevra::browse

namespace kevra::browse {

void TableTree::selectTable(const QString& name) {
  const auto found = findItems(name, Qt::MatchExactly);
  if (found.isEmpty() || name.isEmpty()) {
    setCurrentItem(nullptr);
    clearSelection();
    return;
  }
  setCurrentItem(found.first());
}

}  // namespace kevra::browse
