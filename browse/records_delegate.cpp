// Cell editors of the records grid.
#include "browse/records_delegate.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>

#include "browse/records_model.h"
#include "browse/records_values.h"
#include "database/ado_types.h"

namespace kevra::browse {

namespace {
int fieldTypeOf(const QModelIndex& index) { return index.data(RecordsModel::FieldTypeRole).toInt(); }
}  // namespace

QWidget* RecordsDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
  QWidget* editor = makeEditor(parent, option, index);
  lastEditor_ = editor;
  lastEditorIndex_ = index;
  valueBeforeEdit_ = index.data(Qt::EditRole);
  lastEditorChanged_ = false;
  return editor;
}

void RecordsDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  // A hyperlink reads as a link: Ctrl+click opens it.
  if (!index.data(RecordsModel::HyperlinkRole).toString().isEmpty()) {
    option->font.setUnderline(true);
    option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Link));
  }
  // NULL shows greyed, unless the field's format names a text for it.
  if (!index.data(RecordsModel::IsNullRole).toBool() || !option->text.isEmpty()) return;
  option->features |= QStyleOptionViewItem::HasDisplay;
  option->text = QString::fromLatin1(kNullText);
  option->font.setItalic(true);
  const QColor grey = option->palette.color(QPalette::Disabled, QPalette::Text);
  option->palette.setColor(QPalette::Text, grey);
  option->palette.setColor(QPalette::HighlightedText,
                           option->palette.color(QPalette::Active, QPalette::HighlightedText).darker(115));
}

bool RecordsDelegate::eventFilter(QObject* watched, QEvent* event) {
  auto* editor = qobject_cast<QWidget*>(watched);
  if (editor && editor == lastEditor_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && lastEditorIndex_.isValid()) {
    auto* model = const_cast<QAbstractItemModel*>(lastEditorIndex_.model());
    if (lastEditorIndex_.data(Qt::EditRole) != valueBeforeEdit_) model->setData(lastEditorIndex_, valueBeforeEdit_);
  }
  return QStyledItemDelegate::eventFilter(watched, event);
}

QWidget* RecordsDelegate::makeEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
  // Every change in an editor reaches the model at once, so the row enters
  // edit mode with the first keystroke, as Post and Cancel expect.
  const auto commitOnChange = [this](QWidget* editor) {
    return [this, editor] {
      if (editor == lastEditor_) lastEditorChanged_ = true;
      emit const_cast<RecordsDelegate*>(this)->commitData(editor);
    };
  };
  switch (fieldTypeOf(index)) {
    case kevra::db::adBoolean: {
      auto* box = new QCheckBox(parent);
      box->setAutoFillBackground(true);
      connect(box, &QCheckBox::toggled, box, commitOnChange(box));
      return box;
    }
    case kevra::db::adDate: {
      auto* edit = new QDateTimeEdit(parent);
      edit->setDisplayFormat(gridDateTimeFormat(QLocale(), true));  // as the cells read
      edit->setCalendarPopup(true);
      connect(edit, &QDateTimeEdit::dateTimeChanged, edit, commitOnChange(edit));
      return edit;
    }
    case kevra::db::adLongVarWChar: {
      auto* edit = new QPlainTextEdit(parent);
      edit->setTabChangesFocus(true);  // Tab leaves the cell; Enter starts a new line
      connect(edit, &QPlainTextEdit::textChanged, edit, commitOnChange(edit));
      return edit;
    }
    default: {
      QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
      if (auto* line = qobject_cast<QLineEdit*>(editor))
        connect(line, &QLineEdit::textEdited, line, commitOnChange(line));
      return editor;
    }
  }
}

void RecordsDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  // Also runs when the model takes the editor's own change back; an editor
  // that already shows the value is left alone, cursor and all.
  const QVariant value = index.data(Qt::EditRole);
  const QSignalBlocker quiet(editor);
  if (auto* box = qobject_cast<QCheckBox*>(editor)) {
    box->setChecked(value.toBool());
  } else if (auto* edit = qobject_cast<QDateTimeEdit*>(editor)) {
    // An empty date starts from today at midnight.
    const QDateTime when = value.isValid() ? value.toDateTime() : QDateTime(QDate::currentDate(), QTime(0, 0));
    if (edit->dateTime() != when) edit->setDateTime(when);
  } else if (auto* text = qobject_cast<QPlainTextEdit*>(editor)) {
    if (text->toPlainText() != value.toString()) text->setPlainText(value.toString());
  } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
    if (line->text() != value.toString()) line->setText(value.toString());
  } else {
    QStyledItemDelegate::setEditorData(editor, index);
  }
}

void RecordsDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
  if (editor == lastEditor_ && !lastEditorChanged_) return;  // opened and left as it was
  if (auto* box = qobject_cast<QCheckBox*>(editor)) {
    model->setData(index, box->isChecked(), Qt::EditRole);
  } else if (auto* edit = qobject_cast<QDateTimeEdit*>(editor)) {
    model->setData(index, edit->dateTime(), Qt::EditRole);
  } else if (auto* text = qobject_cast<QPlainTextEdit*>(editor)) {
    model->setData(index, text->toPlainText(), Qt::EditRole);
  } else {
    QStyledItemDelegate::setModelData(editor, model, index);
  }
}

void RecordsDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const {
  const bool memo = qobject_cast<QPlainTextEdit*>(editor) != nullptr;
  if (!memo && !qobject_cast<QDateTimeEdit*>(editor)) {
    QStyledItemDelegate::updateEditorGeometry(editor, option, index);
    return;
  }
  // Memo text gets room, several lines and at least 240 pixels wide; a date
  // editor is never narrower than its whole text. Both stay inside the grid
  // (moved up or left when the cell is near an edge).
  QRect area = option.rect;
  if (memo) {
    area.setHeight(std::max(area.height(), editor->fontMetrics().lineSpacing() * kMemoLines + 8));
    area.setWidth(std::max(area.width(), 240));
  } else {
    area.setWidth(std::max(area.width(), editor->sizeHint().width()));
  }
  if (const QWidget* parent = editor->parentWidget()) {
    const QRect bounds = parent->rect();
    if (area.bottom() > bounds.bottom()) area.moveBottom(bounds.bottom());
    if (area.right() > bounds.right()) area.moveRight(bounds.right());
    if (area.top() < bounds.top()) area.moveTop(bounds.top());
    if (area.left() < bounds.left()) area.moveLeft(bounds.left());
  }
  editor->setGeometry(area);
}

}  // namespace kevra::browse
