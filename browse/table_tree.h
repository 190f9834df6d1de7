// TableTree: the user tables of the open database, one root node each, and
// below them a "Queries" node holding the saved queries. Nodes are read-only;
// a click on one is the main window's cue to show the table or the query.
#pragma once
#include <QTreeWidget>
#include <memory>
#include <optional>
#include <vector>

#include "database/catalog.h"

namespace Ui {
class TableTree;
}

namespace kevra::browse {

class TableTree : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TableTree(QWidget* parent = nullptr);
  ~TableTree() override;

  // One node per "TABLE" entry of the catalog, each put in front of the
  // others, so the last entry is on top; then one node per linked table
  // ("LINK", or "PASS-THROUGH" for an ODBC source) in catalog order, marked
  // with the link icon and shown as "name -> file" (the file name of the
  // path the link stores; its whole path and remote name in the tooltip);
  // then, when the file keeps saved
  // queries, a "Queries" node with one child per query in catalog order
  // (the hidden "~" ones left out).
  // Nothing is selected afterwards.
  void fill(const db::Catalog& catalog);
  // The name of the table on the selected table or link node; a null string
  // when no such node is selected.
  QString selectedTable() const;
  // The selected node is a linked table's.
  bool selectedIsLink() const;
  // The node of the table or link named `name`; null when there is none.
  QTreeWidgetItem* tableNode(const QString& name) const;
  // The query on the selected query node; none when no query node is selected.
  std::optional<db::Query> selectedQuery() const;
  // The node holding the saved queries; null when the file keeps none.
  QTreeWidgetItem* queriesNode() const;
  // Selects the node named `name` (none when there is no such node), as a
  // click would but without the click's signal.
  void selectTable(const QString& name);

 private:
  std::unique_ptr<Ui::TableTree> form_;
  std::vector<db::Query> queries_;
};

}  // namespace kevra::browse
