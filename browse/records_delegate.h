// RecordsDelegate: the cell editors of the records grid, by field type: a
// check box for Yes/No, a date and time editor for dates, a multi-line editor
// (taller than the cell) for Memo, a line editor for everything else. The
// model decides which cells can be edited at all (OLE cells cannot).
#pragma once
#include <QPersistentModelIndex>
#include <QPointer>
#include <QStyledItemDelegate>

namespace kevra::browse {

class RecordsDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  // Lines of text a Memo editor shows at least.
  static constexpr int kMemoLines = 6;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override;

  // Text shown in a cell that holds NULL, greyed, so it reads apart from
  // empty text.
  static constexpr const char* kNullText = "(null)";

  // Escape in an editor puts the cell back to the value it had when the
  // editor opened, then closes the editor.
  bool eventFilter(QObject* watched, QEvent* event) override;

  // The editor made last and the cell it edits, for a view to end it; the
  // view tells whether it is still open (QAbstractItemView::indexWidget).
  QWidget* lastEditor() const { return lastEditor_; }
  QModelIndex lastEditorIndex() const { return lastEditorIndex_; }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  QWidget* makeEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const;
  mutable QPointer<QWidget> lastEditor_;
  mutable QPersistentModelIndex lastEditorIndex_;
  mutable QVariant valueBeforeEdit_;
  // The user changed the last editor's value since it opened; an editor
  // opened and left unchanged writes nothing (a new row keeps its default).
  mutable bool lastEditorChanged_ = false;
};

}  // namespace kevra::browse
