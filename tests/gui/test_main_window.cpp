// The main window through the life of a file: start state and layout, Open,
// Close, failing opens, the table tree, RefreshCat and the About box.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/about_box.h"
#include "browse/records_model.h"
#include "window_probe.h"

namespace {

struct MenuState {
  bool open, close, create, compact, tables, rename, drop, convert, exportTable;
};

void checkMenus(const Form1& w, const MenuState& expected) {
  QCOMPARE(action(w, "VTac")->isEnabled(), expected.open);
  QCOMPARE(action(w, "vtkapat")->isEnabled(), expected.close);
  QCOMPARE(action(w, "YeniVT")->isEnabled(), expected.create);
  QCOMPARE(action(w, "Compact1")->isEnabled(), expected.compact);
  QCOMPARE(menuEnabled(w, "Veritaban1"), expected.tables);
  QCOMPARE(action(w, "RenameTable1")->isEnabled(), expected.rename);
  QCOMPARE(action(w, "abloSil1")->isEnabled(), expected.drop);
  QCOMPARE(menuEnabled(w, "Import1"), expected.convert);
  QCOMPARE(action(w, "Exportto1")->isEnabled(), expected.exportTable);
  // Enabled throughout.
  QVERIFY(action(w, "k1")->isEnabled());
  QVERIFY(action(w, "abloEkle1")->isEnabled());
  QVERIFY(action(w, "Paradox1")->isEnabled());
  QVERIFY(action(w, "AboutKevra1")->isEnabled());
  QVERIFY(!action(w, "Readme1")->isVisible());
}

constexpr MenuState kClosed{true, false, true, true, false, false, false, false, false};
constexpr MenuState kOpen{false, true, false, false, true, false, false, true, false};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
  std::unique_ptr<Form1> window;
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;

 private slots:
  void init() {
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<Form1>();
    window->resize(900, 600);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
  }

  void startsClosedWithEmptyTreeAndHiddenPages() {
    const Form1& w = *window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Kevra"));
    QCOMPARE(w.statusText(), QStringLiteral("Closed"));
    QVERIFY(treeTexts(w).isEmpty());
    QVERIFY(!control<QTabWidget>(w, "PageControl1")->isVisibleTo(window.get()));
    checkMenus(w, kClosed);
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(w.context().selectedTableIndex, 0);
    QVERIFY(w.context().fieldSnapshot.empty());
  }

  void menusCarryTheirCaptions() {
    const QList<QPair<const char*, const char*>> captions = {
        {"VTac", "&Open"},          {"vtkapat", "&Close"},       {"YeniVT", "C&reate"},   {"Compact1", "Co&mpact"},
        {"k1", "E&xit"},            {"abloEkle1", "&Add New"},   {"RenameTable1", "&Rename"}, {"abloSil1", "&Drop"},
        {"Paradox1", "&Import"},    {"Exportto1", "&Export"},    {"Readme1", "&Documentation"},
        {"AboutKevra1", "&About Kevra"}};
    for (const auto& [name, caption] : captions) QCOMPARE(action(*window, name)->text(), QString::fromLatin1(caption));
    QCOMPARE(control<QMenu>(*window, "vt")->title(), QStringLiteral("&File"));
    QCOMPARE(control<QMenu>(*window, "Veritaban1")->title(), QStringLiteral("&Tables"));
    QCOMPARE(control<QMenu>(*window, "Import1")->title(), QStringLiteral("&Convert"));
    QCOMPARE(control<QMenu>(*window, "Help1")->title(), QStringLiteral("&Help"));
    // File menu order with its three separators.
    const auto fileItems = control<QMenu>(*window, "vt")->actions();
    QStringList order;
    for (const QAction* a : fileItems) order << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    QCOMPARE(order, (QStringList{"VTac", "vtkapat", "-", "YeniVT", "-", "Compact1", "-", "k1"}));
    for (const QAction* a : fileItems) QVERIFY(a->shortcut().isEmpty());
  }

  void structurePageKeepsTheDesignedGeometry() {
    const QList<std::tuple<const char*, QRect>> places = {
        {"GroupBox2", {0, 0, 225, 329}},   {"GroupBox1", {232, 0, 225, 129}}, {"GroupBox3", {232, 136, 225, 193}},
        {"ComboBox1", {8, 16, 129, 0}},    {"Button2", {144, 17, 33, 21}},    {"Button3", {184, 17, 33, 21}},
        {"Edit1", {88, 106, 129, 0}},      {"ComboBox2", {88, 130, 129, 0}},  {"Edit3", {88, 154, 129, 0}},
        {"Edit2", {88, 178, 41, 0}},       {"CheckBox1", {88, 202, 0, 0}},    {"ComboBox4", {8, 258, 209, 0}},
        {"Button4", {64, 292, 105, 23}},   {"Pklistbox", {8, 16, 153, 105}},  {"Button1", {168, 90, 49, 31}},
        {"ComboBox3", {8, 16, 129, 0}},    {"Button5", {144, 17, 33, 21}},    {"Button6", {184, 17, 33, 21}},
        {"RxCheckListBox1", {80, 48, 137, 105}}, {"CheckBox2", {80, 160, 0, 0}},
        {"Label1", {8, 106, 0, 0}}, {"Label2", {8, 130, 0, 0}}, {"Label7", {8, 154, 0, 0}}, {"Label3", {8, 178, 0, 0}},
        {"Label4", {8, 202, 0, 0}}, {"Label8", {8, 242, 0, 0}}, {"Label5", {8, 48, 0, 0}}, {"Label6", {8, 160, 0, 0}}};
    for (const auto& [name, expected] : places) {
      const QRect actual = control<QWidget>(*window, name)->geometry();
      QVERIFY2(actual.topLeft() == expected.topLeft(), name);
      if (expected.width()) QVERIFY2(actual.width() == expected.width(), name);
      if (expected.height()) QVERIFY2(actual.height() == expected.height(), name);
    }
    // Captions fit their boxes at the chosen font.
    for (const char* name : {"Label1", "Label2", "Label7", "Label3", "Label4", "Label8", "Label5", "Label6"}) {
      const auto* label = control<QLabel>(*window, name);
      QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), name);
      const QByteArray id(name);
      const int limit = id == "Label8" ? 217 : (id == "Label5" || id == "Label6") ? 80 : 88;
      QVERIFY2(label->geometry().right() < limit, name);
    }
    for (const char* name : {"Button4", "Button1", "Button2"}) {
      const auto* button = control<QPushButton>(*window, name);
      QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) < button->width() - 4, name);
    }
    // Initial visibility of the details.
    for (const char* name : {"Label1", "Edit1", "Label2", "ComboBox2", "Label7", "Edit3", "Label3", "Edit2", "Label4",
                             "CheckBox1", "Label8", "ComboBox4", "Button4", "Label5", "Label6", "CheckBox2"})
      QVERIFY2(control<QWidget>(*window, name)->isHidden(), name);
    QCOMPARE(control<QLineEdit>(*window, "Edit1")->text(), QStringLiteral("Edit1"));
    QCOMPARE(control<QLineEdit>(*window, "Edit2")->text(), QStringLiteral("Edit2"));
    QCOMPARE(control<QGroupBox>(*window, "GroupBox3")->title(), QStringLiteral("Indexes"));
    auto* pages = control<QTabWidget>(*window, "PageControl1");
    QCOMPARE(pages->tabText(0), QStringLiteral("Records"));
    QCOMPARE(pages->tabText(1), QStringLiteral("Structure"));
  }

  void openListsUserTablesInReverseCatalogOrder() {
    const QString path = samplePath("testv2000.mdb");
    openWith(*window, **dialogs, path);
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(treeTexts(*window), (QStringList{"Table4", "Table3", "Table2", "Table1"}));
    QVERIFY(control<QTreeWidget>(*window, "TreeView1")->selectedItems().isEmpty());
    QCOMPARE(window->statusText(), path);
    checkMenus(*window, kOpen);
    QCOMPARE(QString::fromStdString(window->context().connectionString),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path);
    // The dialog was asked for Access files, starting in the home folder.
    QCOMPARE((*dialogs)->fileRequests.size(), 1);
    QCOMPARE((*dialogs)->fileRequests[0].initialDirectory, QDir::homePath());
    QCOMPARE((*dialogs)->fileRequests[0].filter,
             QStringLiteral("Microsoft Access Database (*.mdb)|*.mdb|All Files (*.*)|*.*"));
  }

  void treeListsOnlyTables() {
    // linked.mdb holds two linked tables and no local one.
    openWith(*window, **dialogs, samplePath("linked.mdb"));
    QVERIFY((*dialogs)->messages.isEmpty());
    QVERIFY(treeTexts(*window).isEmpty());
    checkMenus(*window, kOpen);
    // A database without user tables opens normally too.
    action(*window, "vtkapat")->trigger();
    openWith(*window, **dialogs, samplePath("empty.mdb"));
    QVERIFY(treeTexts(*window).isEmpty());
    QCOMPARE(window->statusText(), samplePath("empty.mdb"));
    checkMenus(*window, kOpen);
  }

  void cancelledOpenChangesNothing() {
    action(*window, "VTac")->trigger();  // no answer scripted: the dialog is cancelled
    QCOMPARE((*dialogs)->fileRequests.size(), 1);
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
    QVERIFY(window->context().connectionString.empty());
    checkMenus(*window, kClosed);
  }

  void failingOpenShowsTheErrorAndStaysClosed_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("not a database") << samplePath("MANIFEST.md");
    QTest::newRow("missing file") << samplePath("no-such-file.mdb");
  }
  void failingOpenShowsTheErrorAndStaysClosed() {
    QFETCH(QString, path);
    openWith(*window, **dialogs, path);
    QCOMPARE((*dialogs)->messages.size(), 1);
    const auto& box = (*dialogs)->messages.first();
    QCOMPARE(box.title, QStringLiteral("Kevra"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QVERIFY(!box.text.isEmpty());
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
    QVERIFY(treeTexts(*window).isEmpty());
    checkMenus(*window, kClosed);
    QCOMPARE(window->context().connection->State(), 0);
    // The next Open works: nothing was left open.
    openWith(*window, **dialogs, samplePath("indextestv2000.mdb"));
    QCOMPARE((*dialogs)->messages.size(), 1);
    checkMenus(*window, kOpen);
  }

  void closeReturnsToClosedStateAndAnotherFileOpens() {
    openWith(*window, **dialogs, samplePath("testv2000.mdb"));
    QVERIFY(clickTable(*window, "Table1"));
    QVERIFY(window->recordsDataset().Active());
    action(*window, "vtkapat")->trigger();
    QVERIFY((*dialogs)->messages.isEmpty());
    QVERIFY(treeTexts(*window).isEmpty());
    QVERIFY(control<QTabWidget>(*window, "PageControl1")->isHidden());
    QVERIFY(control<QTableView>(*window, "DBGrid1")->isHidden());
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
    QVERIFY(!window->recordsDataset().Active());
    QCOMPARE(window->dataSource()->rowCount(), 0);
    // Close leaves the table commands as they were, under disabled menus.
    checkMenus(*window, {true, false, true, true, false, true, true, false, true});

    openWith(*window, **dialogs, samplePath("indextestv2000.mdb"));
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(treeTexts(*window), (QStringList{"Table3", "Table2", "Table1"}));
    checkMenus(*window, kOpen);
  }

  void closeAfterTheConnectionWasLostStillCloses() {
    openWith(*window, **dialogs, samplePath("testv2000.mdb"));
    window->context().connection->Close();
    action(*window, "vtkapat")->trigger();
    QVERIFY((*dialogs)->messages.isEmpty());
    checkMenus(*window, kClosed);
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
  }

  void refreshCatalogRebuildsTreeOrReloadsRows() {
    openWith(*window, **dialogs, samplePath("testv2000.mdb"));
    QVERIFY(clickTable(*window, "Table1"));
    QCOMPARE(window->dataSource()->rowCount(), 2);

    kevra::ui::runCommand(window.get(), [this] { window->RefreshCat(true); });
    QVERIFY((*dialogs)->messages.isEmpty());
    QVERIFY(window->recordsDataset().Active());
    QCOMPARE(window->dataSource()->rowCount(), 2);
    QVERIFY(control<QTabWidget>(*window, "PageControl1")->isVisible());

    // Already closed: the close is skipped and the connection reopens.
    window->context().connection->Close();
    kevra::ui::runCommand(window.get(), [this] { window->RefreshCat(false); });
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->context().connection->State(), 1);
    QCOMPARE(treeTexts(*window), (QStringList{"Table4", "Table3", "Table2", "Table1"}));
    QVERIFY(control<QTreeWidget>(*window, "TreeView1")->selectedItems().isEmpty());
    QVERIFY(control<QTabWidget>(*window, "PageControl1")->isHidden());
    QVERIFY(!window->recordsDataset().Active());
    checkMenus(*window, {false, true, false, false, true, true, true, true, true});

    QVERIFY(clickTable(*window, "Table2"));
    QVERIFY(control<QTabWidget>(*window, "PageControl1")->isVisible());
  }

  void refreshtabGivesUpAfterItsRetriesAndReportsOnce() {
    QTemporaryDir folder;
    const QString copy = folder.filePath("copy.mdb");
    QVERIFY(QFile::copy(samplePath("testv2000.mdb"), copy));
    openWith(*window, **dialogs, copy);
    QVERIFY(clickTable(*window, "Table1"));
    window->vtkapatClick();  // closes the records dataset, keeps its command
    QVERIFY(QFile::remove(copy));
    QElapsedTimer timer;
    timer.start();
    kevra::ui::runCommand(window.get(), [this] { window->refreshtab(); });
    QCOMPARE((*dialogs)->messages.size(), 1);
    QCOMPARE((*dialogs)->messages[0].title, QStringLiteral("Kevra"));
    QVERIFY(timer.elapsed() >= 150);  // two pauses between three attempts
    QVERIFY(!window->recordsDataset().Active());
  }

  void aboutBoxIsFreshEachTime() {
    QList<QPointer<AboutBox>> seen;
    QStringList versions;
    for (int round = 0; round < 2; ++round) {
      QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<AboutBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen << box;
        versions << box->findChild<QLabel*>("Version")->text();
        QCOMPARE(box->windowTitle(), QStringLiteral("About Kevra"));
        QCOMPARE(box->findChild<QLabel*>("ProductName")->text(),
                 QStringLiteral("Kevra - Free Access Database Editor"));
        QCOMPARE(box->mailTarget(), "mailto:" + box->findChild<QLabel*>("Label1")->text());
        QCOMPARE(box->webTarget(), box->findChild<QLabel*>("Label2")->text());
        QCOMPARE(box->size(), QSize(225, 182));
        box->findChild<QPushButton*>("OKButton")->click();
      });
      action(*window, "AboutKevra1")->trigger();
    }
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0].isNull() && seen[1].isNull());  // destroyed when closed
    QCOMPARE(versions, (QStringList{"v0.8.0", "v0.8.0"}));
  }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
