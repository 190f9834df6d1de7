// Filling the table tree from the catalog.
#include "browse/table_tree.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
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
// A link's node: the table's name (its text adds the file).
constexpr int kLinkNameRole = Qt::UserRole + 2;

// The table icon with a small arrow in its lower left corner, as shortcuts
// are marked.
QIcon linkIcon(const QIcon& tableIcon) {
  QPixmap pixmap = tableIcon.pixmap(16, 16);
  if (pixmap.isNull()) {
    pixmap = QPixmap(16, 16);
    pixmap.fill(Qt::transparent);
  }
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF badge(0, 7, 9, 9);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::white);
  painter.drawRect(badge.adjusted(0.5, 0.5, -0.5, -0.5));
  painter.setPen(QPen(QColor(0, 0, 160), 1.5));
  painter.drawLine(QPointF(2.5, 13.5), QPointF(6.5, 9.5));
  painter.drawLine(QPointF(3.5, 9.5), QPointF(6.5, 9.5));
  painter.drawLine(QPointF(6.5, 9.5), QPointF(6.5, 12.5));
  painter.end();
  return QIcon(pixmap);
}

// "C:\db\x.mdb" -> "x.mdb", whichever separator the path uses.
QString fileNameOf(const QString& path) {
  const int cut = std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
  return path.mid(cut + 1);
}

QString propertyOf(const db::Table& table, const char* name) {
  const db::Property* property = table.Properties().find(name);
  return property ? QString::fromStdString(db::propertyText(property->Value)) : QString();
}

QString tableNameOf(const QTreeWidgetItem* node) {
  const QVariant link = node->data(0, kLinkNameRole);
  return link.isValid() ? link.toString() : node->text(0);
}
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
  const QIcon linkedIcon = linkIcon(tableIcon);
  for (int position = 0; position < count; ++position) {
    const db::Table& table = tables.Item(position);
    const bool odbc = table.Type() == "PASS-THROUGH";
    if (table.Type() != "LINK" && !odbc) continue;
    const QString name = QString::fromStdString(table.Name());
    const QString path = odbc ? propertyOf(table, "Jet OLEDB:Link Provider String")
                              : propertyOf(table, "Jet OLEDB:Link Datasource");
    const QString remote = propertyOf(table, "Jet OLEDB:Remote Table Name");
    const QString shown = odbc ? QStringLiteral("ODBC") : fileNameOf(path);
    auto* node = new QTreeWidgetItem(QStringList{name + QStringLiteral(" \u2192 ") + shown});
    node->setData(0, kLinkNameRole, name);
    node->setIcon(0, linkedIcon);
    node->setToolTip(0, odbc ? QStringLiteral("Linked to the ODBC source %1").arg(path)
                             : QStringLiteral("Linked to the table '%1' of %2").arg(remote, path));
    addTopLevelItem(node);
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
  return tableNameOf(node);
}

bool TableTree::selectedIsLink() const {
  const QTreeWidgetItem* node = currentItem();
  return node && node->isSelected() && node->data(0, kLinkNameRole).isValid();
}

QTreeWidgetItem* TableTree::tableNode(const QString& name) const {
  if (name.isEmpty()) return nullptr;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* node = topLevelItem(i);
    if (!node->data(0, kNodeRole).isValid() && tableNameOf(node) == name) return node;
  }
  return nullptr;
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
  QTreeWidgetItem* node = tableNode(name);
  if (!node) {
    setCurrentItem(nullptr);
    clearSelection();
    return;
  }
  setCurrentItem(node);
}

}  // namespace kevra::browse
