// The Tables dialog of an import from an Access database or an Excel
// workbook: the source's tables in a check list and "Import Selected", which
// copies the checked tables into the open database on the import connection,
// all of them in one transaction. When the copy succeeded the dialog closes
// (accepted), after telling of any table or field it had to rename; a
// refused import is shown, copies nothing, and leaves the dialog open with
// its check marks.
#pragma once
#include <QDialog>
#include <QStringList>
#include <memory>

namespace Ui {
class ImportTablesDialog;
}
namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::convert {

class ImportTablesDialog : public QDialog {
  Q_OBJECT
 public:
  ImportTablesDialog(ui::DatabaseSession& session, const QStringList& tables, QWidget* parent = nullptr);
  ~ImportTablesDialog() override;

  QStringList checkedTables() const;

 private:
  void importSelected();

  std::unique_ptr<Ui::ImportTablesDialog> form_;
  ui::DatabaseSession& session_;
};

}  // namespace kevra::convert
