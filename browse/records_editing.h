// RecordsEditing: the row commands of the records grid. The navigator's
// Insert, Delete, Post and Cancel, Escape in the grid, and posting the row
// being edited when the grid moves to another row; the navigator's buttons
// follow the edit state. The pending values live in the records model; every
// write is one engine transaction, and a refusal goes to the error display
// with the edit kept.
#pragma once
#include <QObject>
#include <QPersistentModelIndex>
#include <optional>

class QTableView;

namespace kevra::browse {

class RecordsModel;
class RecordsNavigator;

class RecordsEditing : public QObject {
  Q_OBJECT
 public:
  // Works on `grid` showing `model`, with `navigator` under it; `page` is the
  // parent of the boxes it shows and of this object.
  RecordsEditing(QTableView* grid, RecordsNavigator* navigator, RecordsModel* model, QWidget* page);

  void insertRecord();
  void deleteRecord();
  void postRecord();
  void cancelRecord();
  // Empties the current field (NULL; No for a Yes/No field) in the row's
  // pending values, as typing would.
  void clearField();
  // Stores empty text (not NULL) in the current text or memo field.
  void setEmptyText();
  // Copy puts the selected cells on the clipboard as text, a tab between
  // fields and a line per row. Paste takes such text from the current cell
  // on: one value goes into the cell (pending, as typed); several rows are
  // written over the rows from the current one down, each row posted as one
  // change, rows past the last one added as new records. A refusal stops
  // the paste at that row with its edit kept. Several rows are pasted only
  // into rows in stored order, unfiltered, where a write moves no row.
  void copyCells();
  void pasteCells();
  // Shift+F2: the current cell's whole text in the cell viewer; what is
  // changed there becomes the cell's pending value. Read-only where the
  // rows cannot be changed.
  void zoomCell();
  // An OLE or binary cell's bytes written to a file the user chooses, or
  // taken from one as the cell's pending value.
  void saveCellToFile();
  void loadCellFromFile();

  // Before the grid's rows go away (another table shown, the file closed,
  // the program ended): the open cell editor is kept and the row being
  // edited posted, as moving to another row does. True when nothing is left
  // pending; a refusal goes to the error display and the edit stays.
  bool postBeforeLeaving();
  // Drops the row being edited, cell editor included, without writing it.
  void discardEdit();

 private:
  void updateNavigator();
  // A cell's text without its field's format (what copy and zoom use).
  QString plainText(const QModelIndex& cell) const;
  // Posts the pending row, first telling what a key change would do to
  // related rows through cascading relationships and asking; nullopt when
  // the user declined (the edit stays), else the row it now has.
  std::optional<int> post();
  // Ends the grid's open cell editor, keeping its text or not.
  void finishCellEdit(bool keep);
  void showRecord(int row, int column);
  // The grid moved away from the row being edited, to `target`.
  void leaveEditedRow(const QPersistentModelIndex& target);

  QWidget* page_;
  QTableView* grid_;
  RecordsNavigator* navigator_;
  RecordsModel* model_;
};

}  // namespace kevra::browse
