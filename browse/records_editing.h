// RecordsEditing: the row commands of the records grid. The navigator's
// Insert, Delete, Post and Cancel, Escape in the grid, and posting the row
// being edited when the grid moves to another row; the navigator's buttons
// follow the edit state. The pending values live in the records model; every
// write is one engine transaction, and a refusal goes to the error display
// with the edit kept.
#pragma once
#include <QObject>
#include <QPersistentModelIndex>

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

  // Before the grid's rows go away (another table shown, the file closed,
  // the program ended): the open cell editor is kept and the row being
  // edited posted, as moving to another row does. True when nothing is left
  // pending; a refusal goes to the error display and the edit stays.
  bool postBeforeLeaving();
  // Drops the row being edited, cell editor included, without writing it.
  void discardEdit();

 private:
  void updateNavigator();
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
