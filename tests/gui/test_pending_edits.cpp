// A row typed into and confirmed but not yet posted is never dropped unasked:
// showing another table, File > Close and quitting post it as moving to
// another row does. A refused post is shown and the user stays with the
// edit; Close and quit then ask whether to discard it.
#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "browse/records_model.h"
#include "window_probe.h"

using kevra::browse::RecordsModel;

class PendingEditsTest : public QObject {
  Q_OBJECT
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<QTemporaryDir> scratch;
  QString path;

  void newWindow() {
    window = std::make_unique<MainWindow>();
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void show(const char* table) {
    window.reset();
    newWindow();
    openWith(*window, **dialogs, path);
    QVERIFY(clickTable(*window, QString::fromLatin1(table)));
  }
  RecordsModel* model() const { return window->recordsPage()->model(); }
  QTableView* grid() const { return control<QTableView>(*window, "recordsGrid"); }
  QString cell(int row, int column) const { return model()->index(row, column).data().toString(); }
  // Types `text` into the cell's editor and confirms it with Enter.
  void type(int row, int column, const QString& text) {
    const QModelIndex at = model()->index(row, column);
    grid()->setFocus();
    grid()->setCurrentIndex(at);
    grid()->edit(at);
    auto* editor = qobject_cast<QLineEdit*>(grid()->indexWidget(at));
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!grid()->indexWidget(at));
    QVERIFY(model()->editing());
  }
  QStringList errors() const {
    QStringList texts;
    for (const auto& m : (*dialogs)->messages)
      if (m.icon == QMessageBox::Critical) texts << m.text;
    return texts;
  }
  QStringList questions() const {
    QStringList texts;
    for (const auto& m : (*dialogs)->messages)
      if (m.icon == QMessageBox::Question) texts << m.text;
    return texts;
  }

 private slots:
  void init() {
    scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(scratch->isValid());
    path = scratch->filePath(QStringLiteral("testv2000.mdb"));
    QVERIFY(QFile::copy(samplePath("testv2000.mdb"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
    scratch.reset();
  }

  void leavingTheTablePostsTheEdit() {
    show("Table1");
    type(1, 1, QStringLiteral("kept on switch"));
    QVERIFY(clickTable(*window, QStringLiteral("Table2")));
    QCOMPARE(errors(), QStringList());
    QCOMPARE(window->statusText().section(QStringLiteral(" -> "), 1), QStringLiteral("Table2"));
    show("Table1");
    QCOMPARE(cell(1, 1), QStringLiteral("kept on switch"));
  }

  void closeAndQuitPostTheEdit() {
    show("Table1");
    type(0, 1, QStringLiteral("kept on close"));
    action(*window, "closeAction")->trigger();
    QCOMPARE(errors(), QStringList());
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
    show("Table1");
    QCOMPARE(cell(0, 1), QStringLiteral("kept on close"));
    type(0, 1, QStringLiteral("kept on quit"));
    QVERIFY(window->close());
    QCOMPARE(questions(), QStringList());
    show("Table1");
    QCOMPARE(cell(0, 1), QStringLiteral("kept on quit"));
  }

  void structurePagePostsTheEditFirst() {
    show("Table1");
    type(1, 1, QStringLiteral("kept on the way to the structure"));
    auto* pages = control<QTabWidget>(*window, "pages");
    pages->setCurrentWidget(window->structurePage());
    QCOMPARE(errors(), QStringList());
    QVERIFY(!model()->editing());
    QCOMPARE(pages->currentWidget(), window->structurePage());
    // A refused one keeps the user on the records page with it.
    pages->setCurrentWidget(window->recordsPage());
    type(1, 0, cell(0, 0));
    pages->setCurrentWidget(window->structurePage());
    QCOMPARE(errors().size(), 1);
    QCOMPARE(pages->currentWidget(), window->recordsPage());
    QVERIFY(model()->editing());
    // Tables > Drop asks before the rows go; No keeps everything.
    (*dialogs)->messageAnswer = QMessageBox::No;
    action(*window, "dropTableAction")->trigger();
    QCOMPARE(questions(), QStringList{QStringLiteral("Discard the changes to this record?")});
    QVERIFY(model()->editing());
    QCOMPARE(treeTexts(*window).size(), 4);
    show("Table1");
    QCOMPARE(cell(1, 1), QStringLiteral("kept on the way to the structure"));
  }

  void rowCountFollowsInsertAndDelete() {
    show("Table1");
    QCOMPARE(window->windowTitle(), QStringLiteral("testv2000.mdb \u2014 Kevra"));
    QCOMPARE(window->rowStatusText(), QStringLiteral("Row 1 of 2"));
    grid()->setCurrentIndex(model()->index(1, 0));
    QCOMPARE(window->rowStatusText(), QStringLiteral("Row 2 of 2"));
    control<QToolButton>(*window, "insertButton")->click();
    QCOMPARE(window->rowStatusText(), QStringLiteral("New record of 2"));
    QVERIFY(model()->setData(grid()->currentIndex().siblingAtColumn(0), QStringLiteral("zz new")));
    control<QToolButton>(*window, "postButton")->click();
    QCOMPARE(errors(), QStringList());
    const int added = grid()->currentIndex().row();
    QCOMPARE(window->rowStatusText(), QStringLiteral("Row %1 of 3").arg(added + 1));
    (*dialogs)->messageAnswer = QMessageBox::Ok;
    control<QToolButton>(*window, "deleteButton")->click();
    QCOMPARE(window->rowStatusText().section(QStringLiteral(" of "), 1), QStringLiteral("2"));
    action(*window, "closeAction")->trigger();
    QCOMPARE(window->rowStatusText(), QString());
    QCOMPARE(window->windowTitle(), QStringLiteral("Kevra"));
  }

  void refusedEditKeepsTheUserWithIt() {
    show("Table1");  // A is the primary key
    const QString taken = cell(0, 0);
    type(1, 0, taken);
    // Another table: the refusal is shown, the grid and the tree stay.
    QVERIFY(clickTable(*window, QStringLiteral("Table2")));
    QCOMPARE(errors().size(), 1);
    QVERIFY2(errors().first().contains(QStringLiteral("PrimaryKey")), qPrintable(errors().first()));
    QCOMPARE(control<QTreeWidget>(*window, "tableTree")->currentItem()->text(0), QStringLiteral("Table1"));
    QVERIFY(model()->editing());
    QCOMPARE(model()->editRow(), 1);
    QCOMPARE(cell(1, 0), taken);
    QCOMPARE(questions(), QStringList());

    // Close asks; No keeps the file open with the edit.
    (*dialogs)->messageAnswer = QMessageBox::No;
    action(*window, "closeAction")->trigger();
    QCOMPARE(errors().size(), 2);
    QCOMPARE(questions(), QStringList{QStringLiteral("Discard the changes to this record?")});
    QVERIFY(model()->editing());
    QVERIFY(window->statusText() != QStringLiteral("Closed"));
    // Quitting asks too; No keeps the window.
    QVERIFY(!window->close());
    QCOMPARE(questions().size(), 2);
    QVERIFY(model()->editing());
    // Yes drops the edit and closes the file; nothing was written.
    (*dialogs)->messageAnswer = QMessageBox::Yes;
    action(*window, "closeAction")->trigger();
    QCOMPARE(questions().size(), 3);
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
    show("Table1");
    QVERIFY(cell(1, 0) != taken);
  }
};

QTEST_MAIN(PendingEditsTest)
#include "test_pending_edits.moc"
