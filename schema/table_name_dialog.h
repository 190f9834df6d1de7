// The Table Name dialog, in one of two modes: Add New (an empty name box; the
// button makes the table) or Rename (the name box holds the table's name; the
// button renames the table, which was chosen when the dialog opened, and says
// so). On success the dialog closes (accepted); on a refusal the error is
// shown and the dialog stays open with its entry. A press with an empty name
// box changes nothing in the database and leaves the dialog open, but asks
// for the table list to be rebuilt all the same (refreshRequested).
#pragma once
#include <QDialog>
#include <memory>

namespace Ui {
class TableNameDialog;
}
namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

class TableNameDialog : public QDialog {
  Q_OBJECT
 public:
  // Add New mode.
  TableNameDialog(ui::DatabaseSession& session, QWidget* parent = nullptr);
  // Rename mode, for the table `name` at `tableIndex` of the catalog's Tables.
  TableNameDialog(ui::DatabaseSession& session, const QString& name, int tableIndex, QWidget* parent = nullptr);
  ~TableNameDialog() override;

  QString tableName() const;

 signals:
  void refreshRequested();

 private:
  void setUp(const QString& buttonCaption);
  void buttonClicked();

  std::unique_ptr<Ui::TableNameDialog> form_;
  ui::DatabaseSession& session_;
  int tableIndex_ = -1;  // Rename mode only
};

}  // namespace kevra::schema
