// Linked tables in the window: listed in the tree with the link mark and the
// file they name, their rows read from that file (or one of its name beside
// the open database), a clear message naming the stored path when neither
// exists, and Tables > Relink pointing a link at a chosen file.
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "browse/records_model.h"
#include "window_probe.h"

class LinkedTablesTest : public QObject {
  Q_OBJECT
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;
  std::unique_ptr<QTemporaryDir> folder;

  const QString table1Node = QStringLiteral("Table1 \u2192 linkee1.mdb");

  // A copy of the sample in the test's folder (under `name`), writable.
  QString copyOf(const char* sample, const QString& name) {
    const QString path = folder->filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    if (!QFile::copy(samplePath(sample), path)) qFatal("cannot copy %s", sample);
    QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return path;
  }
  QString openLinkedCopy() {
    const QString path = copyOf("linked.mdb", QStringLiteral("linked.mdb"));
    openWith(*window, **dialogs, path);
    return path;
  }
  QTreeWidgetItem* node(const QString& text) {
    const auto found = control<QTreeWidget>(*window, "tableTree")->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
  }
  bool tabShown(const char* page) {
    auto* pages = control<QTabWidget>(*window, "pages");
    return pages->isVisible() && pages->isTabVisible(pages->indexOf(control<QWidget>(*window, page)));
  }
  kevra::browse::RecordsModel* model() { return window->recordsPage()->model(); }

 private slots:
  void init() {
    folder = std::make_unique<QTemporaryDir>();
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<MainWindow>();
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
    folder.reset();
  }

  void linksAreListedWithTheMarkAndTheirFiles() {
    openLinkedCopy();
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(treeTexts(*window), (QStringList{table1Node, QStringLiteral("table2 \u2192 linkee2.mdb")}));
    QTreeWidgetItem* link = node(table1Node);
    QVERIFY(link);
    QVERIFY(link->toolTip(0).contains(QStringLiteral("C:\\db\\linkee1.mdb")));
    QVERIFY(link->toolTip(0).contains(QStringLiteral("'Table1'")));
    // The mark: the table icon with the link arrow, unlike a local table's.
    const QImage marked = link->icon(0).pixmap(16, 16).toImage();
    const QImage plain = QIcon(QStringLiteral(":/kevra/table.png")).pixmap(16, 16).toImage();
    QVERIFY(!marked.isNull());
    QVERIFY(marked.convertToFormat(QImage::Format_ARGB32) != plain.convertToFormat(QImage::Format_ARGB32));
  }

  void aMissingTargetIsNamedWithThePathTheLinkStores() {
    openLinkedCopy();
    QVERIFY(clickTable(*window, table1Node));
    QCOMPARE((*dialogs)->messages.size(), 1);
    const QString text = (*dialogs)->messages.first().text;
    QVERIFY2(text.contains(QStringLiteral("'C:\\db\\linkee1.mdb', which cannot be found")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("'linkee1.mdb' beside 'linked.mdb'")), qPrintable(text));
    // Nothing is on show under the link's name; it can be relinked, not renamed.
    QVERIFY(!control<QTabWidget>(*window, "pages")->isVisible());
    QVERIFY(window->statusText().contains(QStringLiteral("file not found")));
    QVERIFY(action(*window, "relinkTableAction")->isEnabled());
    QVERIFY(!action(*window, "renameTableAction")->isEnabled());
    QVERIFY(!action(*window, "dropTableAction")->isEnabled());
  }

  void aTargetBesideTheDatabaseShowsItsRows() {
    copyOf("testv2000.mdb", QStringLiteral("linkee1.mdb"));
    openLinkedCopy();
    QVERIFY(clickTable(*window, table1Node));
    QVERIFY2((*dialogs)->messages.isEmpty(), qPrintable((*dialogs)->messages.value(0).text));
    QVERIFY(tabShown("recordsPage"));
    QVERIFY(!tabShown("structurePage"));
    QCOMPARE(model()->rowCount(), 2);
    QCOMPARE(model()->data(model()->index(0, 0)).toString(), QStringLiteral("abcdefg"));
    QVERIFY(window->statusText().contains(folder->filePath(QStringLiteral("linkee1.mdb"))));
  }

  void relinkWritesTheChosenFileAndShowsItsRows() {
    const QString linked = openLinkedCopy();
    const QString chosen = copyOf("testv2000.mdb", QStringLiteral("data/chosen.mdb"));
    const QString noTable = copyOf("empty.mdb", QStringLiteral("data/empty.mdb"));
    QVERIFY(clickTable(*window, table1Node));
    (*dialogs)->messages.clear();  // the missing file's message

    // A file without the table is refused, the link left as it was.
    (*dialogs)->fileAnswers << noTable;
    action(*window, "relinkTableAction")->trigger();
    QCOMPARE((*dialogs)->messages.size(), 1);
    QVERIFY2((*dialogs)->messages.first().text.contains(QStringLiteral("has no table 'Table1'")),
             qPrintable((*dialogs)->messages.first().text));
    QVERIFY(node(table1Node));
    (*dialogs)->messages.clear();

    // A cancelled dialog changes nothing either.
    action(*window, "relinkTableAction")->trigger();
    QVERIFY((*dialogs)->messages.isEmpty());
    QVERIFY(node(table1Node));

    (*dialogs)->fileAnswers << chosen;
    action(*window, "relinkTableAction")->trigger();
    QVERIFY2((*dialogs)->messages.isEmpty(), qPrintable((*dialogs)->messages.value(0).text));
    QCOMPARE(window->recordsPage()->model()->rowCount(), 2);
    QCOMPARE(model()->data(model()->index(1, 0)).toString(), QStringLiteral("a"));
    QTreeWidgetItem* relinked = node(QStringLiteral("Table1 \u2192 chosen.mdb"));
    QVERIFY(relinked && relinked->isSelected());

    // Stored in the file: opened again, the link names the chosen file.
    action(*window, "closeAction")->trigger();
    openWith(*window, **dialogs, linked);
    relinked = node(QStringLiteral("Table1 \u2192 chosen.mdb"));
    QVERIFY(relinked);
    QVERIFY(relinked->toolTip(0).contains(chosen));
    QVERIFY(node(QStringLiteral("table2 \u2192 linkee2.mdb")));
    QVERIFY((*dialogs)->messages.isEmpty());
  }
};

QTEST_MAIN(LinkedTablesTest)
#include "test_linked_tables.moc"
