// The records navigator: the bar under the grid with the row commands Insert,
// Delete, Post and Cancel. The buttons start disabled; the main window wires
// them to the records model and enables them when they apply.
#pragma once
#include <QWidget>

class QToolButton;

namespace kevra::browse {

class RecordsNavigator : public QWidget {
  Q_OBJECT
 public:
  explicit RecordsNavigator(QWidget* parent = nullptr);

  QToolButton* insertButton() const { return insert_; }
  QToolButton* deleteButton() const { return delete_; }
  QToolButton* postButton() const { return post_; }
  QToolButton* cancelButton() const { return cancel_; }

 private:
  QToolButton* insert_;
  QToolButton* delete_;
  QToolButton* post_;
  QToolButton* cancel_;
};

}  // namespace kevra::browse
