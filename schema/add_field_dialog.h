// The Add Field dialog: name, type, length and nullability of a new field of
// the selected table. "Add Field" runs the statement; on success the dialog
// closes (accepted), on a refusal the error is shown and the dialog stays
// open with its entries, to be corrected or closed.
#pragma once
#include <QDialog>
#include <memory>

#include "schema/add_field.h"

namespace Ui {
class AddFieldDialog;
}
namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

class AddFieldDialog : public QDialog {
  Q_OBJECT
 public:
  AddFieldDialog(ui::DatabaseSession& session, QString table, QWidget* parent = nullptr);
  ~AddFieldDialog() override;

  // The entries as they stand.
  NewField field() const;

 private:
  void typeChosen();
  void addClicked();

  std::unique_ptr<Ui::AddFieldDialog> form_;
  ui::DatabaseSession& session_;
  QString table_;
};

}  // namespace kevra::schema
