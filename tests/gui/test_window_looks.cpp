// The window as a user sees it, checked by looking: each state is drawn
// offscreen and, when KEVRA_SCREENSHOT_DIR names a folder, saved there as a
// PNG (the README's picture is made this way). The checks here are what can
// be told without eyes: menus draw separators as lines, with no text.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QtTest>

#include "ui/password_dialog.h"
#include "window_probe.h"

class WindowLooksTest : public QObject {
  Q_OBJECT
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;
  std::unique_ptr<MainWindow> window;

  static void save(QWidget* widget, const char* name) {
    const QString folder = qEnvironmentVariable("KEVRA_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    QVERIFY(widget->grab().save(QDir(folder).filePath(QString::fromLatin1(name) + QStringLiteral(".png"))));
  }

 private slots:
  void init() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<MainWindow>();
    window->resize(1000, 640);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
  }

  void fileMenuSeparatorsAreLines() {
    auto* menu = control<QMenu>(*window, "fileMenu");
    menu->popup(window->mapToGlobal(QPoint(0, 0)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    for (QAction* item : menu->actions())
      if (item->isSeparator()) QVERIFY2(item->text().isEmpty(), qPrintable(item->text()));
    save(menu, "file-menu");
    menu->hide();
  }

  void passwordPrompt() {
    kevra::ui::PasswordDialog dialog(QStringLiteral("v2000_with-password.mdb"),
                                     QStringLiteral("That password is not correct (passwords are case-sensitive). Try again."));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    save(&dialog, "password");
  }

  void startWindow() {
    QVERIFY(control<QWidget>(*window, "startPage")->isVisible());
    save(window.get(), "start");
  }

  // The README's picture: the records page of a big table, at 960 x 600.
  void recordsPage() {
    QTemporaryDir folder;
    const QString link = folder.filePath(QStringLiteral("medium.mdb"));
    QVERIFY(QFile::link(samplePath("bench/medium.mdb"), link));
    window->resize(960, 600);
    openWith(*window, **dialogs, link);
    QVERIFY(clickTable(*window, QStringLiteral("Customers")));
    auto* grid = control<QTableView>(*window, "recordsGrid");
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(2, 1));
    QVERIFY((*dialogs)->messages.isEmpty());
    save(window.get(), "records-page");
  }

  void tableShown() {
    openWith(*window, **dialogs, samplePath("testv2000.mdb"));
    QVERIFY(clickTable(*window, QStringLiteral("Table1")));
    save(window.get(), "table");
  }

  // Saved queries: a select query's rows read-only, a crosstab's SQL page.
  void savedQueries() {
    const auto showQuery = [this](const char* file, const char* query) {
      openWith(*window, **dialogs, samplePath(file));
      auto* tree = control<QTreeWidget>(*window, "tableTree");
      const auto found = tree->findItems(QString::fromLatin1(query), Qt::MatchExactly | Qt::MatchRecursive);
      QCOMPARE(found.size(), 1);
      tree->setCurrentItem(found.first());
      window->showTable();
      QVERIFY((*dialogs)->messages.isEmpty());
    };
    showQuery("accesslike.mdb", "q_like2");
    save(window.get(), "query-rows");
    action(*window, "closeAction")->trigger();
    showQuery("querytestv2000.mdb", "CrosstabQuery");
    save(window.get(), "query-sql");
  }

  // A file read but not written yet: the reason in the status bar.
  void readOnlyFile() {
    openWith(*window, **dialogs, samplePath("stretch-testv2010.accdb"));
    QVERIFY(clickTable(*window, QStringLiteral("Table1")));
    QVERIFY((*dialogs)->messages.isEmpty());
    save(window.get(), "read-only");
  }

  // An .accdb with attachments: the cells name the files, and the Convert
  // menu offers to save them.
  void attachments() {
    openWith(*window, **dialogs, samplePath("formats/v2007-attachments.accdb"));
    QVERIFY(clickTable(*window, QStringLiteral("Table1")));
    QVERIFY((*dialogs)->messages.isEmpty());
    save(window.get(), "attachments");
    auto* menu = control<QMenu>(*window, "convertMenu");
    menu->popup(window->mapToGlobal(QPoint(120, 0)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    save(menu, "convert-menu");
    menu->hide();
  }
};

QTEST_MAIN(WindowLooksTest)
#include "test_window_looks.moc"
