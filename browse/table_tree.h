// TableTree: the user tables of the open database, one root node each. Nodes
// are read-only; a click on one is the main window's cue to show the table.
#pragma once
#include <QTreeWidget>
#include <memory>

namespace Ui {
class TableTree;
}
namespace kevra::db {
class Catalog;
}

namespace kevra::browse {

class TableTree : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TableTree(QWidget* parent = nullptr);
  ~TableTree() override;

  // One node per "TABLE" entry of the catalog, each put in front of the
  // others, so the last entry is on top. Nothing is selected afterwards.
  void fill(const db::Catalog& catalog);
  // The name on the selected node; a null string when no node is selected.
  QString selectedTable() const;
  // Selects the node named `name` (none when there is no such node), as a
  // click would but without the click's signal.
  void selectTable(const QString& name);

 private:
  std::unique_ptr<Ui::TableTree> form_;
};

}  // namespace kevra::browse
