// Row editing in the records grid through the navigator, on private copies of
// the samples: insert, edit, cancel and delete reach the file (seen after the
// file is opened again) or leave it byte for byte as it was; engine refusals
// reach the error display with the edit kept; cells get editors by type.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QDateTimeEdit>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTimer>
#include <QtTest>

#include "browse/cell_viewer.h"
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
  // The window as it looks now, for a person to check.
  void grab(const char* name) const {
    window->grab().save(QDir::temp().filePath(QStringLiteral("kevra-%1.png").arg(QLatin1String(name))));
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
    QCOMPARE(model()->headerData(7, Qt::Vertical).toString(), QStringLiteral("*"));
    QCOMPARE(model()->headerData(2, Qt::Vertical).toString(), QStringLiteral("3"));  // numbers stay
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
    // The new row comes after the last one and is current itself.
    QCOMPARE(model()->rowCount(), 8);
    QCOMPARE(grid()->currentIndex().row(), 7);
    QCOMPARE(cell(7, 0).data().toString(), QString());
    QCOMPARE(cell(3, 0).data().toString(), QStringLiteral("row4col1"));
    QVERIFY(model()->setData(cell(7, 0), QStringLiteral("neu \u00e9\u03b1")));
    QVERIFY(model()->setData(cell(7, 8), QStringLiteral("last")));
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

  void newRowShowsItsDefaultsAndKeepsThemWhenTabbedThrough() {
    const QString path = copyOf("accesslike.mdb");
    show(path, "t_like2");  // ID, Campo1 (default "campo1"), Campo2 (required), Campo3
    const int rows = model()->rowCount();
    grid()->setFocus();
    button("insertButton")->click();
    const int added = grid()->currentIndex().row();
    QCOMPARE(added, rows);
    QCOMPARE(cell(added, 1).data().toString(), QStringLiteral("campo1"));  // shown from the start
    QCOMPARE(cell(added, 2).data().toString(), QString());
    QVERIFY(!model()->modified());
    // An editor opened on the default and left with Tab writes nothing.
    grid()->setCurrentIndex(cell(added, 1));
    grid()->edit(cell(added, 1));
    auto* editor = qobject_cast<QLineEdit*>(grid()->indexWidget(cell(added, 1)));
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("campo1"));
    QTest::keyClick(editor, Qt::Key_Tab);
    QTRY_VERIFY(qobject_cast<QLineEdit*>(grid()->indexWidget(cell(added, 2))));
    QVERIFY(!model()->modified());
    QTest::keyClicks(qobject_cast<QLineEdit*>(grid()->indexWidget(cell(added, 2))), QStringLiteral("typed"));
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());

    show(path, "t_like2");
    QCOMPARE(model()->rowCount(), rows + 1);
    const int stored = column(2).indexOf(QStringLiteral("typed"));
    QVERIFY(stored >= 0);
    QCOMPARE(cell(stored, 1).data().toString(), QStringLiteral("campo1"));

    // A number field with a default of 0 keeps it too.
    const QString other = copyOf("testv2000.mdb");
    show(other, "Table1");  // A: text key, C: Byte, default 0
    grid()->setFocus();
    button("insertButton")->click();
    const int row = grid()->currentIndex().row();
    QCOMPARE(cell(row, 2).data().toString(), QStringLiteral("0"));
    grid()->setCurrentIndex(cell(row, 0));
    grid()->edit(cell(row, 0));
    editor = qobject_cast<QLineEdit*>(grid()->indexWidget(cell(row, 0)));
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("key"));
    QTest::keyClick(editor, Qt::Key_Tab);
    QTRY_VERIFY(grid()->indexWidget(cell(row, 1)));
    QTest::keyClick(grid()->indexWidget(cell(row, 1)), Qt::Key_Tab);
    QTRY_VERIFY(grid()->indexWidget(cell(row, 2)));
    QTest::keyClick(grid()->indexWidget(cell(row, 2)), Qt::Key_Tab);
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());
    show(other, "Table1");
    const int keyRow = column(0).indexOf(QStringLiteral("key"));
    QVERIFY(keyRow >= 0);
    QCOMPARE(cell(keyRow, 2).data().toString(), QStringLiteral("0"));
  }

  void newAutonumberShowsNew() {
    show(copyOf("testv2000.mdb"), "Table3");  // a: autonumber
    button("insertButton")->click();
    QCOMPARE(cell(0, 0).data().toString(), QStringLiteral("(New)"));
    QCOMPARE(cell(0, 1).data().toString(), QString());
    grab("new-row");
  }

  void newRowIsAlwaysTheLast() {
    const QString path = copyOf("overflowtestv2000.mdb");
    show(path, "Table1");
    grid()->setCurrentIndex(cell(2, 0));
    button("insertButton")->click();
    QCOMPARE(model()->rowCount(), 8);
    QCOMPARE(model()->headerData(7, Qt::Vertical).toString(), QStringLiteral("*"));
    QCOMPARE(grid()->currentIndex().row(), 7);
    QCOMPARE(cell(3, 0).data().toString(), QStringLiteral("row4col1"));  // the rows stay where they were
    QVERIFY(model()->setData(cell(7, 0), QStringLiteral("first new")));
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());
    // The next one comes last as well, wherever the grid stood.
    grid()->setCurrentIndex(cell(0, 0));
    button("insertButton")->click();
    QCOMPARE(model()->rowCount(), 9);
    QCOMPARE(model()->editRow(), 8);
    QCOMPARE(grid()->currentIndex().row(), 8);
    QCOMPARE(model()->headerData(8, Qt::Vertical).toString(), QStringLiteral("*"));
    QCOMPARE(cell(0, 0).data().toString(), QStringLiteral("row1col1"));
    QVERIFY(model()->setData(grid()->currentIndex(), QStringLiteral("second new")));
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());

    show(path, "Table1");
    QCOMPARE(model()->rowCount(), 9);
    QCOMPARE(cell(0, 0).data().toString(), QStringLiteral("row1col1"));
    QVERIFY(column(0).contains(QStringLiteral("first new")));
    QVERIFY(column(0).contains(QStringLiteral("second new")));
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

  void cascadesAreAnnouncedWithTheirCounts() {
    const QString path = copyOf("indextestv2000.mdb");
    // Table2.id -> Table1.otherfk1 cascades deletes; Table3.id ->
    // Table1.otherfk2 cascades updates. Table1 rows 1 and 2 refer to both.
    show(path, "Table2");
    grid()->setCurrentIndex(cell(1, 0));  // id 1
    (*dialogs)->messageAnswer = QMessageBox::Cancel;
    button("deleteButton")->click();
    QCOMPARE((*dialogs)->messages.size(), 1);
    QCOMPARE((*dialogs)->messages.first().text,
             QStringLiteral("Deleting this record will also delete 2 records in table 'Table1'.\n\nDelete record?"));
    QCOMPARE(model()->rowCount(), 3);
    grid()->setCurrentIndex(cell(0, 0));  // id 0
    button("deleteButton")->click();
    QCOMPARE((*dialogs)->messages.last().text,
             QStringLiteral("Deleting this record will also delete 1 record in table 'Table1'.\n\nDelete record?"));

    grid()->setCurrentIndex(cell(1, 0));
    (*dialogs)->messageAnswer = QMessageBox::Ok;
    button("deleteButton")->click();
    QCOMPARE(errors(), QStringList());
    QCOMPARE(model()->rowCount(), 2);

    // A record nothing refers to asks as before.
    show(path, "Table3");
    (*dialogs)->messageAnswer = QMessageBox::Cancel;
    grid()->setCurrentIndex(cell(2, 0));  // id 12
    button("deleteButton")->click();
    QCOMPARE((*dialogs)->messages.last().text, QStringLiteral("Delete record?"));

    // A key change that cascades asks before it is stored; Cancel keeps the edit.
    grid()->setCurrentIndex(cell(3, 0));  // id 13: Table1 row 3 refers to it
    QVERIFY(model()->setData(cell(3, 0), QStringLiteral("23")));
    (*dialogs)->messageAnswer = QMessageBox::Cancel;
    const qsizetype asked = (*dialogs)->messages.size();
    button("postButton")->click();
    QCOMPARE((*dialogs)->messages.size(), asked + 1);
    QCOMPARE((*dialogs)->messages.last().text,
             QStringLiteral("Changing this record will also change 1 record in table 'Table1'.\n\nSave the record?"));
    QVERIFY(model()->editing());
    (*dialogs)->messageAnswer = QMessageBox::Ok;
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());
    QVERIFY(!model()->editing());

    show(path, "Table1");
    QCOMPARE(column(0), (QStringList{QStringLiteral("0"), QStringLiteral("3")}));  // rows 1 and 2 went with id 1
    QCOMPARE(column(2), (QStringList{QStringLiteral("10"), QStringLiteral("23")}));
  }

  void validationRulesRefuseTheRow() {
    const QString path = copyOf("accesslike.mdb");
    const QByteArray original = bytesOf(path);
    show(path, "t_like1");  // a1: the rule CLng("a1")>2, which no row meets
    button("insertButton")->click();
    const int row = grid()->currentIndex().row();
    QVERIFY(model()->setData(cell(row, 1), QStringLiteral("y")));
    button("postButton")->click();
    QCOMPARE(errors().size(), 1);
    QVERIFY2(errors().first().contains(QStringLiteral("validation rule of field 'a1'")) &&
                 errors().first().contains(QStringLiteral("CLng")),
             qPrintable(errors().first()));
    QVERIFY(model()->inserting());  // kept, to be corrected or cancelled
    button("cancelButton")->click();
    window.reset();
    QVERIFY(bytesOf(path) == original);
  }

  void deleteAndBackspaceClearTheFieldNotTheRecord() {
    const QString path = copyOf("overflowtestv2000.mdb");
    show(path, "Table1");
    grid()->setFocus();
    grid()->setCurrentIndex(cell(1, 1));
    QTest::keyClick(grid(), Qt::Key_Delete);
    QVERIFY((*dialogs)->messages.isEmpty());  // nothing asked: the record stays
    QCOMPARE(model()->rowCount(), 7);
    QCOMPARE(cell(1, 1).data().toString(), QString());
    QVERIFY(model()->editing());
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());
    // Ctrl+Minus deletes the record, after asking.
    grid()->setFocus();
    grid()->setCurrentIndex(cell(4, 0));
    QTest::keyClick(grid(), Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE((*dialogs)->messages.size(), 1);
    QCOMPARE((*dialogs)->messages.first().text, QStringLiteral("Delete record?"));
    QCOMPARE(model()->rowCount(), 6);
    show(path, "Table1");
    QCOMPARE(model()->rowCount(), 6);
    QCOMPARE(cell(1, 1).data().toString(), QString());
    QCOMPARE(cell(1, 0).data().toString(), QStringLiteral("row2col1"));

    // A date cell is emptied by Backspace.
    const QString dates = copyOf("test2v2000.mdb");
    show(dates, "MSP_PROJECTS");
    int date = -1;
    for (int c = 0; c < model()->columnCount(); ++c)
      if (model()->headerData(c, Qt::Horizontal).toString() == QLatin1String("PROJ_INFO_CURRENT_DATE")) date = c;
    QVERIFY(date >= 0);
    QVERIFY(!cell(0, date).data().toString().isEmpty());
    grid()->setFocus();
    grid()->setCurrentIndex(cell(0, date));
    QTest::keyClick(grid(), Qt::Key_Backspace);
    QCOMPARE(cell(0, date).data().toString(), QString());
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());
    show(dates, "MSP_PROJECTS");
    QCOMPARE(cell(0, date).data().toString(), QString());
    QVERIFY(!cell(0, date).data(Qt::EditRole).isValid());
  }

  void nullAndEmptyTextAreKeptApart() {
    const QString path = copyOf("overflowtestv2000.mdb");
    show(path, "Table1");
    QVERIFY(cell(5, 3).data(RecordsModel::IsNullRole).toBool());  // shown as a greyed "(null)"
    QVERIFY(!cell(5, 1).data(RecordsModel::IsNullRole).toBool());
    grid()->setFocus();
    grid()->setCurrentIndex(cell(5, 3));
    action(*window, "emptyTextAction")->trigger();
    QVERIFY(!cell(5, 3).data(RecordsModel::IsNullRole).toBool());
    QCOMPARE(cell(5, 3).data().toString(), QString());
    QVERIFY(model()->editing());
    grid()->setCurrentIndex(cell(5, 1));
    QTest::keyClick(grid(), Qt::Key_Delete);  // NULL
    QVERIFY(cell(5, 1).data(RecordsModel::IsNullRole).toBool());
    grab("null-cells");
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());

    show(path, "Table1");
    const kevra::Value* empty = model()->storedValue(5, 3);
    QVERIFY(empty && std::holds_alternative<std::string>(*empty) && std::get<std::string>(*empty).empty());
    QVERIFY(!cell(5, 3).data(RecordsModel::IsNullRole).toBool());
    QVERIFY(cell(5, 1).data(RecordsModel::IsNullRole).toBool());
    QVERIFY(kevra::isNull(*model()->storedValue(5, 1)));
  }

  void pasteFillsACellOrRowsOneChangeEach() {
    const QString path = copyOf("overflowtestv2000.mdb");
    show(path, "Table1");
    grid()->setFocus();
    // One value goes into the cell, pending as if typed.
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    grid()->setCurrentIndex(cell(0, 1));
    QTest::keyClick(grid(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(cell(0, 1).data().toString(), QStringLiteral("pasted"));
    QVERIFY(model()->editing());
    button("postButton")->click();
    // Copy takes the selected range as text.
    grid()->setFocus();
    grid()->setCurrentIndex(cell(0, 0));
    grid()->selectionModel()->select(QItemSelection(cell(0, 0), cell(1, 1)), QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(grid(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("row1col1\tpasted\nrow2col1\trow2col3"));
    // A range: rows 6 and 7 take two values each, the third row is a new record.
    QGuiApplication::clipboard()->setText(QStringLiteral("a1\tb1\r\na2\tb2\r\na3\tb3\r\n"));
    grid()->setCurrentIndex(cell(5, 0));
    QTest::keyClick(grid(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(errors(), QStringList());
    QVERIFY(!model()->editing());
    QCOMPARE(model()->rowCount(), 8);

    show(path, "Table1");
    QCOMPARE(model()->rowCount(), 8);
    QCOMPARE(cell(0, 1).data().toString(), QStringLiteral("pasted"));
    QCOMPARE(cell(5, 0).data().toString(), QStringLiteral("a1"));
    QCOMPARE(cell(5, 1).data().toString(), QStringLiteral("b1"));
    QCOMPARE(cell(5, 2).data().toString(), QStringLiteral("row6col3"));  // beyond the range: kept
    QCOMPARE(cell(6, 0).data().toString(), QStringLiteral("a2"));
    QCOMPARE(cell(6, 1).data().toString(), QStringLiteral("b2"));
    const int added = column(0).indexOf(QStringLiteral("a3"));
    QVERIFY(added >= 0);
    QCOMPARE(cell(added, 1).data().toString(), QStringLiteral("b3"));

    // A refusal stops at its row, with the row's edit kept.
    QGuiApplication::clipboard()->setText(QStringLiteral("ok\n") + QString(51, QChar('w')));
    grid()->setFocus();
    grid()->setCurrentIndex(cell(0, 3));
    QTest::keyClick(grid(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(errors().size(), 1);
    QCOMPARE(model()->editRow(), 1);
    button("cancelButton")->click();
    QCOMPARE(cell(0, 3).data().toString(), QStringLiteral("ok"));
  }

  void zoomShowsTheWholeTextAndFilesFillBinaryCells() {
    const QString path = copyOf("test2v2000.mdb");
    show(path, "MSP_PROJECTS");
    const auto field = [this](const char* name) {
      for (int c = 0; c < model()->columnCount(); ++c)
        if (model()->headerData(c, Qt::Horizontal).toString() == QLatin1String(name)) return c;
      return -1;
    };
    const int memo = field("PROJ_PROP_AUTHOR");
    const int ole = field("RESERVED_BINARY_DATA");
    QString whole;
    for (int line = 0; line < 300; ++line) whole += QStringLiteral("Zeile %1 \u00fc\n").arg(line);
    grid()->setFocus();
    grid()->setCurrentIndex(cell(0, memo));
    QString shown;
    bool readOnly = true;
    QTimer::singleShot(0, this, [&] {
      auto* viewer = qobject_cast<kevra::browse::CellViewer*>(QApplication::activeModalWidget());
      QVERIFY(viewer);
      shown = viewer->text();
      readOnly = viewer->readOnly();
      viewer->findChild<QPlainTextEdit*>(QStringLiteral("cellViewerText"))->setPlainText(whole);
      viewer->accept();
    });
    const QString before = cell(0, memo).data(Qt::EditRole).toString();
    QVERIFY(before.size() > 200);  // more than a cell shows
    QTest::keyClick(grid(), Qt::Key_F2, Qt::ShiftModifier);
    QCOMPARE(shown, before);
    QVERIFY(!readOnly);
    QCOMPARE(cell(0, memo).data(Qt::EditRole).toString(), whole);

    // OLE bytes go to a file and come back from one.
    QTemporaryDir files;
    const QString saved = files.filePath(QStringLiteral("object.bin"));
    grid()->setCurrentIndex(cell(0, ole));
    (*dialogs)->fileAnswers << saved;
    action(*window, "saveFieldToFileAction")->trigger();
    QCOMPARE(QFileInfo(saved).size(), 22970);
    const QString small = files.filePath(QStringLiteral("small.bin"));
    {
      QFile out(small);
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write("\x01\x02\x00\x03\x04", 5);
    }
    (*dialogs)->fileAnswers << small;
    action(*window, "loadFieldFromFileAction")->trigger();
    QCOMPARE(cell(0, ole).data().toString(), QStringLiteral("(OLE object, 5 bytes)"));
    button("postButton")->click();
    QCOMPARE(errors(), QStringList());

    show(path, "MSP_PROJECTS");
    QCOMPARE(cell(0, memo).data(Qt::EditRole).toString(), whole);
    const kevra::Value* bytes = model()->storedValue(0, ole);
    QVERIFY(bytes && std::holds_alternative<kevra::Binary>(*bytes));
    QCOMPARE(std::get<kevra::Binary>(*bytes), (kevra::Binary{1, 2, 0, 3, 4}));
    // A file that exists is not replaced.
    grid()->setCurrentIndex(cell(0, ole));
    (*dialogs)->fileAnswers << saved;
    action(*window, "saveFieldToFileAction")->trigger();
    QCOMPARE(errors().size(), 1);
    QCOMPARE(QFileInfo(saved).size(), 22970);

    // In a file that cannot be changed the viewer only shows.
    show(samplePath("stretch-testv2010.accdb"), "Table1");
    grid()->setFocus();
    grid()->setCurrentIndex(cell(0, 0));
    QTimer::singleShot(0, this, [&] {
      auto* viewer = qobject_cast<kevra::browse::CellViewer*>(QApplication::activeModalWidget());
      QVERIFY(viewer);
      readOnly = viewer->readOnly();
      shown = viewer->text();
      viewer->reject();
    });
    QTest::keyClick(grid(), Qt::Key_F2, Qt::ShiftModifier);
    QVERIFY(readOnly);
    QCOMPARE(shown, cell(0, 0).data(Qt::EditRole).toString());
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
    QVERIFY(model()->setData(cell(7, 0), QStringLiteral("left behind")));
    grid()->setCurrentIndex(cell(3, 0));  // shows "row4col1"
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
    QVERIFY_THROWS_EXCEPTION(std::exception, readOnly.startInsert());
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
