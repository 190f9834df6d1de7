// Filling the table tree from the catalog.
#include "browse/table_tree.h"

#include <QIcon>
#include <algorithm>

#include "database/catalog.h"
#include "ui_table_tree.h"

namespace kevra::browse {

namespace {
// What a node stands for, in its Qt::UserRole data: nothing for a table.
constexpr int kQueriesNode = 1;
constexpr int kQueryNode = 2;
constexpr int kNodeRole = Qt::UserRole;
constexpr int kQueryIndexRole = Qt::UserRole + 1;
}  // namespace

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
  // Queries named "~..." are the hidden ones behind forms and reports.
  queries_.clear();
  for (db::Query& query : catalog.Queries())
    if (query.Name().rfind('~', 0) != 0) queries_.push_back(std::move(query));
  if (!queries_.empty()) {
    auto* queries = new QTreeWidgetItem(QStringList{QStringLiteral("Queries")});
    queries->setData(0, kNodeRole, kQueriesNode);
    queries->setFlags(Qt::ItemIsEnabled);  // a heading, not something to show
    QFont bold = queries->font(0);
    bold.setBold(true);
    queries->setFont(0, bold);
    addTopLevelItem(queries);
    for (size_t i = 0; i < queries_.size(); ++i) {
      auto* node = new QTreeWidgetItem(QStringList{QString::fromStdString(queries_[i].Name())});
      node->setData(0, kNodeRole, kQueryNode);
      node->setData(0, kQueryIndexRole, int(i));
      node->setToolTip(0, QString::fromStdString(queries_[i].Kind()) + QStringLiteral(" query"));
      queries->addChild(node);
    }
    queries->setExpanded(true);
  }
  setCurrentItem(nullptr);
  clearSelection();
}

QString TableTree::selectedTable() const {
  const QTreeWidgetItem* node = currentItem();
  if (!node || !node->isSelected() || node->data(0, kNodeRole).isValid()) return {};
  return node->text(0);
}

std::optional<db::Query> TableTree::selectedQuery() const {
  const QTreeWidgetItem* node = currentItem();
  if (!node || !node->isSelected() || node->data(0, kNodeRole).toInt() != kQueryNode) return std::nullopt;
  const int index = node->data(0, kQueryIndexRole).toInt();
  if (index < 0 || index >= int(queries_.size())) return std::nullopt;
  return queries_[size_t(index)];
}

QTreeWidgetItem* TableTree::queriesNode() const {
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (topLevelItem(i)->data(0, kNodeRole).toInt() == kQueriesNode) return topLevelItem(i);
  return nullptr;
}

void TableTree::selectTable(const QString& name) {
  auto found = findItems(name, Qt::MatchExactly);
  found.erase(std::remove_if(found.begin(), found.end(),
                             [](const QTreeWidgetItem* node) { return node->data(0, kNodeRole).isValid(); }),
              found.end());
  if (found.isEmpty() || name.isEmpty()) {
    setCurrentItem(nullptr);
    clearSelection();
    return;
  }
  setCurrentItem(found.first());
}

}  // namespace kevra::browse
