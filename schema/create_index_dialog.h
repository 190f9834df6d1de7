// The Create Index dialog: the new index's name, its fields (checked in a
// list of the table's fields, taken from the catalog when the dialog opens)
// and whether it is unique. "Create" runs the statement; on success the
// dialog closes (accepted), on a refusal the error is shown and the dialog
// stays open with its entries.
#pragma once
#include <QDialog>
#include <memory>

#include "schema/create_index.h"

namespace Ui {
class CreateIndexDialog;
}
namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

class CreateIndexDialog : public QDialog {
  Q_OBJECT
 public:
  // Lists the fields of the session's selected table, named `table`.
  CreateIndexDialog(ui::DatabaseSession& session, QString table, QWidget* parent = nullptr);
  ~CreateIndexDialog() override;

  // The entries as they stand.
  NewIndex index() const;

 private:
  void createClicked();

  std::unique_ptr<Ui::CreateIndexDialog> form_;
  ui::DatabaseSession& session_;
  QString table_;
};

}  // namespace kevra::schema
