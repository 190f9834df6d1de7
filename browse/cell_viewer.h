// CellViewer: the whole value of one cell in a box of its own (Shift+F2 in
// the grid), for text too long for the cell: a memo shown and edited in
// full, or shown read-only where the rows cannot be changed.
#pragma once
#include <QDialog>

class QPlainTextEdit;

namespace kevra::browse {

class CellViewer : public QDialog {
  Q_OBJECT
 public:
  CellViewer(const QString& field, const QString& text, bool readOnly, QWidget* parent = nullptr);
  QString text() const;
  bool readOnly() const;

 private:
  QPlainTextEdit* editor_;
};

}  // namespace kevra::browse
