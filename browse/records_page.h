// RecordsPage: the "Records" page: the rows of the selected table in the
// records grid, changed through the records navigator below it. The page owns
// the records dataset, which reaches the file through a connection of its own
// (not the session's shared one), and the records model that shows it.
#pragma once
#include <QWidget>
#include <memory>
#include <string>

#include "browse/records_dataset.h"
#include "browse/records_query.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;

namespace Ui {
class RecordsPage;
}

namespace kevra::db {
class Columns;
}

namespace kevra::browse {

class RecordsEditing;
class RecordsModel;

class RecordsPage : public QWidget {
  Q_OBJECT
 public:
  explicit RecordsPage(QWidget* parent = nullptr);
  ~RecordsPage() override;

  // Opens the rows of `table` in the file `connectionString` names. The grid
  // is detached while the dataset reopens and stays detached (showing
  // nothing) when the open throws.
  void showRecords(const std::string& connectionString, const QString& table);
  // Opens the rows a saved select query's statement gives, read-only; they
  // are not sorted or filtered from the grid (find still works).
  void showQueryRecords(const std::string& connectionString, const std::string& statement);
  // Shows the fields of the table on the page as `columns` say (their Format
  // property, hyperlinks); opening other rows forgets it.
  void showFieldDisplays(const kevra::db::Columns& columns);
  // Closes the dataset; its table is kept for reloadRecords().
  void closeRecords();
  // Opens the dataset again on the same table, as after a structure change.
  // The file can still be busy for a moment then, so a failing open is tried
  // again a few times before its error is thrown.
  void reloadRecords();

  // The row being edited posted before the rows go away; false (the refusal
  // shown, the edit kept) when the engine refused it.
  bool postPendingEdit();
  // The row being edited dropped unwritten.
  void discardPendingEdit();
  bool editPending() const;

  void setGridVisible(bool visible);
  // Sizes each column to what its header and the first screen of values
  // need, between kMinColumnWidth and kMaxColumnWidth. Done once per table
  // shown; the user can resize them afterwards.
  void fitColumnWidths();
  static constexpr int kMinColumnWidth = 40;
  static constexpr int kMaxColumnWidth = 320;

  // Where the grid stands, for the status bar: "Row 1,234 of 1,000,000" in
  // the desktop's number format ("of 40,960+" while a sorted or filtered
  // view is still being counted, "New record of ..." on a pending new row);
  // empty with no rows shown.
  QString positionText() const;

  // The record commands, for the window's menu, in menu order; a null entry
  // stands for a separator. Find (Ctrl+F), Find Next (F3), Find Previous
  // (Shift+F3), Filter by Selection, Remove Filter, Copy and Paste (Ctrl+C,
  // Ctrl+V in the grid), Zoom (Shift+F2), Save Field to File and Load Field
  // from File (OLE and binary fields), Clear Field (Delete or
  // Backspace in the grid: NULL), Set Field to Empty Text (text fields),
  // Delete Record (Ctrl+Minus in the grid; asks
  // first, as the navigator's Delete does).
  QList<QAction*> commands() const;
  void setCommandsEnabled(bool enabled);

  // Sorting and filtering: the dataset runs its statement again with the
  // new ORDER BY or WHERE, after the row being edited is posted (nothing
  // changes when that is refused). A condition the engine refuses leaves the
  // view as it was and throws its message.
  void sortBy(int column);
  void setFilter(const QString& condition);
  void filterBySelection();
  void removeFilter();
  const RecordsQuery& query() const { return query_; }

  // Find: shows the find bar; next and previous search from the current row
  // through the dataset (never the whole table in memory) and make the
  // matching row current. False (the find bar says so) when nothing matches.
  void showFindBar();
  bool findNext(bool forward = true);

  const RecordsDataset& dataset() const { return dataset_; }
  RecordsModel* model() const { return model_; }

 signals:
  // The current row, the row count or the edit state changed.
  void positionChanged();

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void fitRowHeight();
  void buildSearchBars();
  void buildCommands();
  // Runs the dataset's statement for `query`; the old view stays on failure.
  void openView(const RecordsQuery& query);
  void showSortIndicator();

  std::unique_ptr<Ui::RecordsPage> form_;
  RecordsDataset dataset_;
  RecordsModel* model_ = nullptr;
  RecordsEditing* editing_ = nullptr;
  RecordsQuery query_;
  QWidget* findBar_ = nullptr;
  QLineEdit* findBox_ = nullptr;
  QCheckBox* allColumnsCheck_ = nullptr;
  QLabel* findStatus_ = nullptr;
  QLineEdit* filterBox_ = nullptr;
  QList<QAction*> commands_;
  QAction* deleteAction_ = nullptr;
  QAction* clearFieldAction_ = nullptr;
  QAction* emptyTextAction_ = nullptr;
  QAction* copyAction_ = nullptr;
  QAction* pasteAction_ = nullptr;
  QAction* zoomAction_ = nullptr;
  QAction* saveToFileAction_ = nullptr;
  QAction* loadFromFileAction_ = nullptr;
};

}  // namespace kevra::browse
