// Form1: the main window. One class; its handlers carry the component and
// event names and are defined in the folder of the job they do:
//   app/         start, command map, menu states, Exit, Help
//   database/    form1_*.cpp: context, open, close, table list, refresh
//   browse/      table view, field inspector, index inspector, row editing
// Handlers throw on failure; the command map runs every one of them through
// the application's error display.
#pragma once
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QString>
#include <memory>

#include "app/file_dialog.h"
#include "browse/records_dataset.h"
#include "database/form1_database_context.h"

class QLabel;

namespace Ui {
class Form1;
}
namespace kevra::browse {
class RecordsModel;
}

class Form1 : public QMainWindow {
  Q_OBJECT
 public:
  explicit Form1(QWidget* parent = nullptr);
  ~Form1() override;

  // Database life (database/form1_*.cpp).
  void FormCreate();
  void VTacClick();
  void vtkapatClick();
  void k1Click();
  void RefreshCat(bool keepTable);
  void refreshtab();
  // Opens `path` as File > Open does after its dialog (command line).
  void openDatabase(const QString& path);

  // Browsing (browse/).
  void TreeView1Click();
  void ComboBox1Change();
  void ComboBox2Change();
  void Edit2Click();
  void ComboBox3Change();

  // Row editing from the navigator (browse/records_editing.cpp).
  void DBNavigator1Insert();
  void DBNavigator1Delete();
  void DBNavigator1Post();
  void DBNavigator1Cancel();

  // Help (app/).
  void AboutKevra1Click();
  void Readme1Click();

  // Read access for the commands of other folders and for tests.
  const kevra::db::DatabaseContext& context() const { return context_; }
  const kevra::browse::RecordsDataset& recordsDataset() const { return ADOTable1; }
  kevra::browse::RecordsModel* dataSource() const { return DataSource1; }
  QString statusText() const;
  const kevra::ui::FileDialog& openDialog() const { return OpenDialog1; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void connectCommands();
  void connectRecordEditing();
  void updateNavigator();
  // Ends the grid's open cell editor, keeping its text or not.
  void finishCellEdit(bool keep);
  void showRecord(int row, int column);
  // The grid moved away from the row being edited, to `target`.
  void DBGrid1RowLeft(const QPersistentModelIndex& target);
  void fillTableList();
  void setDatabaseMenus(bool open);
  void setStatusText(const QString& text);
  void hideFieldDetails();
  void hideIndexDetails();
  const kevra::db::Table& selectedTable() const;

  std::unique_ptr<Ui::Form1> ui;
  kevra::db::DatabaseContext context_;
  kevra::browse::RecordsDataset ADOTable1;
  kevra::browse::RecordsModel* DataSource1 = nullptr;
  kevra::ui::FileDialog OpenDialog1;
  kevra::ui::FileDialog SaveDialog1;
  kevra::ui::FileDialog OpenDialog2;
  QLabel* statusPanel_ = nullptr;
};
