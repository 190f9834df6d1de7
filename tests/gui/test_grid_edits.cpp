// Row editing in the records grid through the navigator, on private copies of
// the samples: insert, edit, cancel and delete reach the file (seen after the
// file is opened again) or leave it byte for byte as it was; engine refusals
// reach the error display with the edit kept; cells get editors by type.
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "browse/records_dataset.h"
#include "browse/records_model.h"
#include "ui/database_session.h"
#include "window_probe.h"

using kevra::browse::RecordsModel;

class GridEditsTest : public QObject {
  Q_OBJECT
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<QTemporaryDir> scratch;

  // A writable copy of a sample in this test's scratch folder.
  QString copyOf(const char* sample) {
    const QString path = scratch->filePath(QString::fromLatin1(sample));
    if (!QFile::copy(samplePath(sample), path)) qFatal("cannot copy %s", sample);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
  }
  static QByteArray bytesOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
  }
  void newWindow() {
    window = std::make_unique<MainWindow>();
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  // A fresh window on `path` showing `table`: what a user sees after opening
  // the file again.
  void show(const QString& path, const char* table) {
    window.reset();
    newWindow();
    const qsizetype shown = (*dialogs)->messages.size();
    openWith(*window, **dialogs, path);
    QVERIFY(clickTable(*window, QString::fromLatin1(table)));
    QVERIFY2((*dialogs)->messages.size() == shown, "opening showed an error");
  }

  RecordsModel* model() const { return window->recordsPage()->model(); }
  QTableView* grid() const { return control<QTableView>(*window, "recordsGrid"); }
  QToolButton* button(const char* name) const { return control<QToolButton>(*window, name); }
  QModelIndex cell(int row, int column) const { return model()->index(row, column); }
  QStringList column(int field) {
    while (model()->canFetchMore()) model()->fetchMore();
    QStringList texts;
    for (int row = 0; row < model()->rowCount(); ++row) texts << cell(row, field).data().toString();
    return texts;
  }
  // Which of Insert, Delete, Post, Cancel can be clicked, as "IDPC" with "-"
  // for a disabled one.
  QString buttons() const {
    QString state;
    const char* names[] = {"insertButton", "deleteButton", "postButton", "cancelButton"};
    for (int i = 0; i < 4; ++i) state += button(names[i])->isEnabled() ? QChar("IDPC"[i]) : QChar('-');
    return state;
  }
  QStringList errors() const {
    QStringList texts;
    for (const auto& m : (*dialogs)->messages)
      if (m.icon == QMessageBox::Critical) texts << m.text;
    return texts;
  }

 private slots:
  void init() {
    scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(scratch->isValid());
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    newWindow();
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
    scratch.reset();
  }

  void navigatorFollowsTheEditState() {
    QCOMPARE(buttons(), QStringLiteral("----"));
    show(copyOf("overflowtestv2000.mdb"), "Table1");
    QCOMPARE(buttons(), QStringLiteral("ID--"));
    grid()->setCurrentIndex(cell(2, 1));
    QVERIFY(model()->setData(cell(2, 1), QStringLiteral("x")));
    QCOMPARE(buttons(), QStringLiteral("IDPC"));
    QCOMPARE(model()->headerData(2, Qt::Vertical).toString(), QStringLiteral("3 \u270E"));
    // Another row takes no change while this one is pending.
    QVERIFY(!model()->setData(cell(4, 1), QStringLiteral("y")));
    button("cancelButton")->click();
    QCOMPARE(buttons(), QStringLiteral("ID--"));
    QCOMPARE(model()->headerData(2, Qt::Vertical).toString(), QStringLiteral("3"));
    button("insertButton")->click();
    QCOMPARE(buttons(), QStringLiteral("IDPC"));
    QCOMPARE(model()->headerData(2, Qt::Vertical).toString(), QStringLiteral("*"));
    QCOMPARE(model()->headerData(3, Qt::Vertical).toString(), QStringLiteral("3"));  // numbers stay
    button("cancelButton")->click();
    // Closing the file leaves nothing to click.
    action(*window, "closeAction")->trigger();
    QCOMPARE(buttons(), QStringLiteral("----"));
  }

  void insertedRowIsStoredWhenPosted() {
    const QString path = copyOf("overflowtestv2000.mdb");
    show(path, "Table1");
    QCOMPARE(model()->rowCount(), 7);
    grid()->setCurrentIndex(cell(3, 0));
    button("insertButton")->click();
    // The new row comes before the current one and is current itself.
    QCOMPARE(model()->rowCount(), 8);
    QCOMPARE(grid()->currentIndex().row(), 3);
    QCOMPARE(cell(3, 0).data().toString(), QString());
    QCOMPARE(cell(4, 0).data().toString(), QStringLiteral("row4col1"));
    QVERIFY(model()->setData(cell(3, 0), QStringLiteral("neu \u00e9\u03b1")));
    QVERIFY(model()->setData(cell(3, 8), QStringLiteral("last")));
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());
    QCOMPARE(buttons(), QStringLiteral("ID--"));
    QCOMPARE(model()->rowCount(), 8);
    const int stored = column(0).indexOf(QStringLiteral("neu \u00e9\u03b1"));
    QVERIFY(stored >= 0);
    QCOMPARE(grid()->currentIndex().row(), stored);  // the stored row stays current

    show(path, "Table1");
    QCOMPARE(model()->rowCount(), 8);
    const int row = column(0).indexOf(QStringLiteral("neu \u00e9\u03b1"));
    QVERIFY(row >= 0);
    QCOMPARE(cell(row, 8).data().toString(), QStringLiteral("last"));
    QCOMPARE(cell(row, 1).data().toString(), QString());
    QVERIFY(column(0).contains(QStringLiteral("row4col1")));
  }

  void editedCellIsStoredWhenPosted() {
    const QString path = copyOf("overflowtestv2000.mdb");
    show(path, "Table1");
    const QStringList before = column(0);
    grid()->setCurrentIndex(cell(1, 2));
    QVERIFY(model()->setData(cell(1, 2), QStringLiteral("changed")));
    QVERIFY(model()->setData(cell(1, 0), QString()));  // emptied: stored as NULL
    QCOMPARE(cell(1, 2).data().toString(), QStringLiteral("changed"));
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());
    QCOMPARE(grid()->currentIndex(), cell(1, 2));
    QCOMPARE(cell(1, 2).data().toString(), QStringLiteral("changed"));

    show(path, "Table1");
    QStringList expected = before;
    expected[1] = QString();
    QCOMPARE(column(0), expected);
    QCOMPARE(cell(1, 2).data().toString(), QStringLiteral("changed"));
    QCOMPARE(model()->rowCount(), 7);
  }

  void textTypedIntoAnOpenEditorIsPosted() {
    const QString path = copyOf("overflowtestv2000.mdb");
    show(path, "Table1");
    grid()->setFocus();
    grid()->setCurrentIndex(cell(6, 2));
    grid()->edit(cell(6, 2));
    auto* editor = qobject_cast<QLineEdit*>(grid()->indexWidget(cell(6, 2)));
    QVERIFY(editor);
    QCOMPARE(buttons(), QStringLiteral("ID--"));  // an editor alone changes nothing
    QTest::keyClicks(editor, QStringLiteral("tyed"));
    editor->setCursorPosition(2);
    QTest::keyClick(editor, Qt::Key_P);  // the cursor stays where the user put it
    QCOMPARE(editor->text(), QStringLiteral("typed"));
    QCOMPARE(buttons(), QStringLiteral("IDPC"));  // the first keystroke starts the edit
    QCOMPARE(model()->editRow(), 6);
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());
    QVERIFY(!grid()->indexWidget(cell(6, 2)));
    QCOMPARE(cell(6, 2).data().toString(), QStringLiteral("typed"));

    // Cancel drops what the open editor holds.
    grid()->edit(cell(6, 3));
    editor = qobject_cast<QLineEdit*>(grid()->indexWidget(cell(6, 3)));
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("dropped"));
    QCOMPARE(cell(6, 3).data().toString(), QStringLiteral("dropped"));
    button("cancelButton")->click();
    QVERIFY(!grid()->indexWidget(cell(6, 3)));
    QCOMPARE(cell(6, 3).data().toString(), QString());

    // Escape in the editor takes the cell back; Escape in the grid then
    // cancels the row.
    grid()->setCurrentIndex(cell(5, 1));
    grid()->edit(cell(5, 1));
    editor = qobject_cast<QLineEdit*>(grid()->indexWidget(cell(5, 1)));
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("oops"));
    QCOMPARE(cell(5, 1).data().toString(), QStringLiteral("oops"));
    QTest::keyClick(editor, Qt::Key_Escape);
    QCOMPARE(cell(5, 1).data().toString(), QStringLiteral("row6col2"));
    QVERIFY(model()->editing());
    QTRY_VERIFY(grid()->hasFocus());
    QTest::keyClick(grid(), Qt::Key_Escape);
    QVERIFY(!model()->editing());

    show(path, "Table1");
    QCOMPARE(cell(6, 2).data().toString(), QStringLiteral("typed"));
    QCOMPARE(cell(6, 3).data().toString(), QString());
    QCOMPARE(cell(5, 1).data().toString(), QStringLiteral("row6col2"));
  }

  void cancelLeavesTheFileUntouched() {
    const QString path = copyOf("overflowtestv2000.mdb");
    const QByteArray original = bytesOf(path);
    show(path, "Table1");
    grid()->setCurrentIndex(cell(0, 0));
    QVERIFY(model()->setData(cell(0, 0), QStringLiteral("not kept")));
    button("cancelButton")->click();
    QCOMPARE(cell(0, 0).data().toString(), QStringLiteral("row1col1"));
    button("insertButton")->click();
    QVERIFY(model()->setData(grid()->currentIndex(), QStringLiteral("not kept either")));
    button("cancelButton")->click();
    QCOMPARE(model()->rowCount(), 7);
    QVERIFY(!column(0).contains(QStringLiteral("not kept either")));
    QCOMPARE(errors(), QStringList());
    window.reset();
    QVERIFY(bytesOf(path) == original);
  }

  void deleteAsksFirst() {
    const QString path = copyOf("overflowtestv2000.mdb");
    show(path, "Table1");
    grid()->setCurrentIndex(cell(1, 0));
    (*dialogs)->messageAnswer = QMessageBox::Cancel;
    button("deleteButton")->click();
    QCOMPARE((*dialogs)->messages.size(), 1);
    const kevra::ui::MessageRequest question = (*dialogs)->messages.first();
    QCOMPARE(question.text, QStringLiteral("Delete record?"));
    QCOMPARE(question.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(model()->rowCount(), 7);
    QCOMPARE(cell(1, 0).data().toString(), QStringLiteral("row2col1"));

    (*dialogs)->messageAnswer = QMessageBox::Ok;
    button("deleteButton")->click();
    QCOMPARE((*dialogs)->messages.size(), 2);
    QCOMPARE(errors(), QStringList());
    QCOMPARE(model()->rowCount(), 6);
    QVERIFY(!column(0).contains(QStringLiteral("row2col1")));
    QCOMPARE(grid()->currentIndex().row(), 1);  // the next row takes its place

    show(path, "Table1");
    QCOMPARE(model()->rowCount(), 6);
    QVERIFY(!column(0).contains(QStringLiteral("row2col1")));
    QVERIFY(column(0).contains(QStringLiteral("row4col1")));
  }

  void refusedPostKeepsTheEdit() {
    const QString path = copyOf("overflowtestv2000.mdb");
    const QByteArray original = bytesOf(path);
    show(path, "Table1");
    const QString tooLong(51, QChar('w'));
    grid()->setCurrentIndex(cell(0, 3));
    QVERIFY(model()->setData(cell(0, 3), tooLong));
    button("postButton")->click();
    QCOMPARE(errors().size(), 1);
    QVERIFY2(errors().first().contains(QStringLiteral("'data5'")) &&
                 errors().first().contains(QStringLiteral("longer than its size of 50")),
             qPrintable(errors().first()));
    QCOMPARE((*dialogs)->messages.first().title, QStringLiteral("Kevra"));
    // Still in edit mode with the text as typed, to be corrected ...
    QCOMPARE(buttons(), QStringLiteral("IDPC"));
    QCOMPARE(model()->editRow(), 0);
    QCOMPARE(cell(0, 3).data().toString(), tooLong);
    // ... and leaving the row does not get past it either.
    grid()->setCurrentIndex(cell(4, 3));
    QTRY_COMPARE(errors().size(), 2);
    QCOMPARE(grid()->currentIndex().row(), 0);
    QVERIFY(model()->editing());
    // A new row that is refused stays as well.
    button("cancelButton")->click();
    button("insertButton")->click();
    QVERIFY(model()->setData(grid()->currentIndex(), tooLong));
    button("postButton")->click();
    QCOMPARE(errors().size(), 3);
    QVERIFY(model()->inserting());
    QCOMPARE(model()->rowCount(), 8);
    button("cancelButton")->click();
    window.reset();
    QVERIFY(bytesOf(path) == original);

    show(path, "Table1");
    grid()->setCurrentIndex(cell(0, 3));
    QVERIFY(model()->setData(cell(0, 3), tooLong));
    QVERIFY(model()->setData(cell(0, 3), QString(50, QChar('w'))));  // corrected
    button("postButton")->click();
    QCOMPARE(errors().size(), 3);
    QCOMPARE(cell(0, 3).data().toString(), QString(50, QChar('w')));
  }

  void keysAndNumbersAreLeftToTheEngine() {
    const QString path = copyOf("testv2000.mdb");
    show(path, "Table3");  // a: autonumber, primary key; b: text
    QCOMPARE(model()->rowCount(), 0);
    QCOMPARE(buttons(), QStringLiteral("I---"));  // nothing to delete
    button("insertButton")->click();
    button("insertButton")->click();  // the untouched new row makes way, nothing stored
    QCOMPARE(model()->rowCount(), 1);
    QVERIFY(model()->setData(cell(0, 1), QStringLiteral("first")));
    button("postButton")->click();
    button("insertButton")->click();
    QVERIFY(model()->setData(grid()->currentIndex().siblingAtColumn(1), QStringLiteral("second")));
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());
    QCOMPARE(model()->rowCount(), 2);
    QCOMPARE(buttons(), QStringLiteral("ID--"));
    // Numbered by the engine, one after the other.
    QStringList numbers = column(0);
    QCOMPARE(numbers.size(), 2);
    QCOMPARE(numbers[1].toInt(), numbers[0].toInt() + 1);

    show(path, "Table1");  // A is the primary key; E is a Long
    const QByteArray original = bytesOf(path);
    grid()->setCurrentIndex(cell(1, 0));
    QVERIFY(model()->setData(cell(1, 0), cell(0, 0).data().toString()));
    button("postButton")->click();
    QCOMPARE(errors().size(), 1);
    QVERIFY2(errors().first().contains(QStringLiteral("PrimaryKey")), qPrintable(errors().first()));
    QVERIFY(model()->editing());
    QVERIFY(model()->setData(cell(1, 0), QStringLiteral("b")));
    QVERIFY(model()->setData(cell(1, 4), QStringLiteral("3000000000")));  // beyond a Long
    button("postButton")->click();
    QCOMPARE(errors().size(), 2);
    QVERIFY2(errors().last().contains(QStringLiteral("'E'")), qPrintable(errors().last()));
    QVERIFY(model()->setData(cell(1, 4), QStringLiteral("-17")));
    button("postButton")->click();
    QCOMPARE(errors().size(), 2);
    QVERIFY(!model()->editing());
    QCOMPARE(cell(1, 4).data().toString(), QStringLiteral("-17"));
    QCOMPARE(cell(1, 0).data().toString(), QStringLiteral("b"));
    QVERIFY(bytesOf(path) != original);
  }

  void leavingTheRowPostsIt() {
    const QString path = copyOf("overflowtestv2000.mdb");
    show(path, "Table1");
    grid()->setCurrentIndex(cell(5, 1));
    QVERIFY(model()->setData(cell(5, 1), QStringLiteral("moved away")));
    grid()->setCurrentIndex(cell(2, 4));
    QTRY_VERIFY(!model()->editing());
    QCOMPARE(errors(), QStringList());
    QCOMPARE(grid()->currentIndex(), cell(2, 4));
    QCOMPARE(cell(5, 1).data().toString(), QStringLiteral("moved away"));

    // A new row is stored when left, and the row moved to stays current.
    grid()->setCurrentIndex(cell(0, 0));
    button("insertButton")->click();
    QVERIFY(model()->setData(cell(0, 0), QStringLiteral("left behind")));
    grid()->setCurrentIndex(cell(4, 0));  // shows "row4col1", row 3 of the file
    QTRY_VERIFY(!model()->editing());
    QCOMPARE(grid()->currentIndex().data().toString(), QStringLiteral("row4col1"));

    // A new row nothing was typed into is dropped when left.
    button("insertButton")->click();
    QCOMPARE(model()->rowCount(), 9);
    grid()->setCurrentIndex(cell(0, 0));
    QTRY_VERIFY(!model()->editing());
    QCOMPARE(model()->rowCount(), 8);

    show(path, "Table1");
    QCOMPARE(model()->rowCount(), 8);
    QVERIFY(column(0).contains(QStringLiteral("left behind")));
    QCOMPARE(cell(5, 1).data().toString(), QStringLiteral("moved away"));
  }

  void editorsFitTheFieldType() {
    show(copyOf("test2v2000.mdb"), "MSP_PROJECTS");
    const auto field = [this](const char* name) {
      for (int c = 0; c < model()->columnCount(); ++c)
        if (model()->headerData(c, Qt::Horizontal).toString() == QLatin1String(name)) return c;
      qFatal("no field %s", name);
      return -1;
    };
    QStyleOptionViewItem option;
    QAbstractItemDelegate* delegate = grid()->itemDelegate();
    const auto editorFor = [&](const char* name) {
      return delegate->createEditor(grid()->viewport(), option, cell(0, field(name)));
    };

    // Yes/No: a check box in the cell and as the editor, no text.
    const QModelIndex yesNo = cell(0, field("PROJ_OPT_CALC_ACT_COSTS"));
    QCOMPARE(yesNo.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(yesNo.data().toString(), QString());
    QVERIFY(yesNo.flags() & Qt::ItemIsUserCheckable);
    std::unique_ptr<QWidget> box(editorFor("PROJ_OPT_CALC_ACT_COSTS"));
    QVERIFY(qobject_cast<QCheckBox*>(box.get()));
    delegate->setEditorData(box.get(), yesNo);
    QVERIFY(qobject_cast<QCheckBox*>(box.get())->isChecked());

    // Date: a date and time editor starting at the stored value.
    std::unique_ptr<QWidget> date(editorFor("PROJ_INFO_CURRENT_DATE"));
    auto* dateEdit = qobject_cast<QDateTimeEdit*>(date.get());
    QVERIFY(dateEdit);
    delegate->setEditorData(dateEdit, cell(0, field("PROJ_INFO_CURRENT_DATE")));
    QCOMPARE(dateEdit->dateTime(), QDateTime(QDate(2006, 2, 3), QTime(8, 0)));

    // Memo: multi-line text, given more room than the cell.
    const QModelIndex memo = cell(0, field("PROJ_PROP_AUTHOR"));
    std::unique_ptr<QWidget> text(editorFor("PROJ_PROP_AUTHOR"));
    auto* textEdit = qobject_cast<QPlainTextEdit*>(text.get());
    QVERIFY(textEdit);
    delegate->setEditorData(textEdit, memo);
    QCOMPARE(textEdit->toPlainText(), memo.data().toString());
    option.rect = grid()->visualRect(memo);
    delegate->updateEditorGeometry(textEdit, option, memo);
    QVERIFY(textEdit->height() > 3 * option.rect.height());

    // Text: a line editor.
    std::unique_ptr<QWidget> line(editorFor("PROJ_NAME"));
    QVERIFY(qobject_cast<QLineEdit*>(line.get()));

    // OLE: its size, and no editing in the cell.
    const QModelIndex ole = cell(0, field("RESERVED_BINARY_DATA"));
    QCOMPARE(ole.data().toString(), QStringLiteral("(OLE object, 22970 bytes)"));
    QVERIFY(!(ole.flags() & Qt::ItemIsEditable));
    QVERIFY(!model()->setData(ole, QStringLiteral("x")));
    QVERIFY(!model()->editing());
  }

  void yesNoAndDateEditsAreStored() {
    const QString path = copyOf("test2v2000.mdb");
    show(path, "MSP_PROJECTS");
    const auto field = [this](const char* name) {
      for (int c = 0; c < model()->columnCount(); ++c)
        if (model()->headerData(c, Qt::Horizontal).toString() == QLatin1String(name)) return c;
      return -1;
    };
    const int yesNo = field("PROJ_OPT_CALC_ACT_COSTS");
    const int date = field("PROJ_INFO_CURRENT_DATE");
    grid()->setCurrentIndex(cell(0, yesNo));
    QVERIFY(model()->setData(cell(0, yesNo), Qt::Unchecked, Qt::CheckStateRole));
    // The date goes through its editor, as a user's change does.
    QAbstractItemDelegate* delegate = grid()->itemDelegate();
    std::unique_ptr<QWidget> editor(delegate->createEditor(grid()->viewport(), {}, cell(0, date)));
    qobject_cast<QDateTimeEdit*>(editor.get())->setDateTime(QDateTime(QDate(2024, 1, 31), QTime(13, 45)));
    delegate->setModelData(editor.get(), model(), cell(0, date));
    editor.reset();
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());

    show(path, "MSP_PROJECTS");
    QCOMPARE(cell(0, yesNo).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(cell(0, date).data(Qt::EditRole).toDateTime(), QDateTime(QDate(2024, 1, 31), QTime(13, 45)));
    QCOMPARE(cell(0, field("RESERVED_BINARY_DATA")).data().toString(), QStringLiteral("(OLE object, 22970 bytes)"));
  }

  void memoTextIsStoredWhenPosted() {
    const QString path = copyOf("fixednumerictestv2000.mdb");
    show(path, "test");
    QString memo;
    for (int line = 0; line < 400; ++line) memo += QStringLiteral("Zeile %1 \u00fc\u4e2d\n").arg(line);
    const QModelIndex first = cell(0, 0);
    grid()->setCurrentIndex(first);
    QAbstractItemDelegate* delegate = grid()->itemDelegate();
    std::unique_ptr<QWidget> editor(delegate->createEditor(grid()->viewport(), {}, first));
    qobject_cast<QPlainTextEdit*>(editor.get())->setPlainText(memo);
    delegate->setModelData(editor.get(), model(), first);
    editor.reset();
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());

    show(path, "test");
    QCOMPARE(cell(0, 0).data().toString(), memo);
    QCOMPARE(cell(0, 1).data().toString(), QStringLiteral("1"));
  }

  void readOnlyFileCannotBeChanged() {
    const QString path = copyOf("overflowtestv2000.mdb");
    kevra::browse::RecordsDataset dataset;
    dataset.setConnectionString(kevra::ui::kJetConnectionPrefix + path.toStdString() + ";Mode=Read");
    dataset.setCommandText("select * from [Table1]");
    dataset.Open();
    RecordsModel readOnly;
    readOnly.setDataSet(&dataset);
    QCOMPARE(readOnly.rowCount(), 7);
    QVERIFY(!dataset.CanModify());
    QVERIFY(!readOnly.canModify());
    QVERIFY(!(readOnly.index(0, 0).flags() & Qt::ItemIsEditable));
    QVERIFY(!readOnly.setData(readOnly.index(0, 0), QStringLiteral("x")));
    QVERIFY_THROWS_EXCEPTION(std::exception, readOnly.startInsert(0));
    QVERIFY_THROWS_EXCEPTION(std::exception, readOnly.deleteRecord(0));
    readOnly.setDataSet(nullptr);
    dataset.Close();

    // Rows that are not whole rows of one table cannot be changed either.
    dataset.setConnectionString(kevra::ui::kJetConnectionPrefix + path.toStdString());
    dataset.setCommandText("select data1 from [Table1]");
    dataset.Open();
    RecordsModel projection;
    projection.setDataSet(&dataset);
    QCOMPARE(projection.rowCount(), 7);
    QVERIFY(!projection.canModify());
    projection.setDataSet(nullptr);
  }
};

QTEST_MAIN(GridEditsTest)
#include "test_grid_edits.moc"
