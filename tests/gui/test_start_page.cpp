// With no file open the window says what to do: open or create a database,
// or pick one of the files opened last, also under File > Recent Files (the
// last eight, kept in the settings).
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include "ui/recent_files.h"
#include "window_probe.h"

class StartPageTest : public QObject {
  Q_OBJECT
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;
  std::unique_ptr<MainWindow> window;

  QStringList recentMenuTexts() const {
    QStringList texts;
    for (QAction* entry : control<QMenu>(*window, "recentMenu")->actions()) texts << entry->data().toString();
    return texts;
  }

 private slots:
  void init() {
    kevra::ui::RecentFiles().clear();
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<MainWindow>();
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
    kevra::ui::RecentFiles().clear();
  }

  void startPageLeadsToOpenAndRecentFiles() {
    auto* start = control<QWidget>(*window, "startPage");
    QVERIFY(start->isVisible());
    // It names both kinds of Access file.
    QStringList texts;
    for (const QLabel* label : start->findChildren<QLabel*>()) texts << label->text();
    QVERIFY2(texts.join(' ').contains(QStringLiteral(".mdb or .accdb")), qPrintable(texts.join(' ')));
    QVERIFY(!control<QMenu>(*window, "recentMenu")->menuAction()->isEnabled());  // nothing yet
    // Its Open button opens through the Open dialog.
    (*dialogs)->fileAnswers << samplePath("testv2000.mdb");
    control<QPushButton>(*window, "startOpenButton")->click();
    QVERIFY((*dialogs)->messages.isEmpty());
    QVERIFY(!start->isVisible());
    action(*window, "closeAction")->trigger();
    QVERIFY(start->isVisible());
    QCOMPARE(recentMenuTexts(), QStringList{samplePath("testv2000.mdb")});
    QVERIFY(control<QMenu>(*window, "recentMenu")->menuAction()->isEnabled());

    // The list on the page opens a file with a double click (activation).
    openWith(*window, **dialogs, samplePath("empty.mdb"));
    action(*window, "closeAction")->trigger();
    auto* list = control<QListWidget>(*window, "recentFileList");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->data(Qt::UserRole).toString(), samplePath("empty.mdb"));
    emit list->itemActivated(list->item(1));
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->statusText(), samplePath("testv2000.mdb"));
    // The file opened last comes first, once.
    QCOMPARE(recentMenuTexts(), (QStringList{samplePath("testv2000.mdb"), samplePath("empty.mdb")}));
    QVERIFY(!control<QMenu>(*window, "recentMenu")->menuAction()->isEnabled());  // a file is open
  }

  void keepsTheLastEight() {
    kevra::ui::RecentFiles recent;
    for (int i = 0; i < 11; ++i) recent.add(QStringLiteral("/data/file%1.mdb").arg(i));
    recent.add(QStringLiteral("/data/file5.mdb"));
    const QStringList files = recent.files();
    QCOMPARE(files.size(), 8);
    QCOMPARE(files.first(), QStringLiteral("/data/file5.mdb"));
    QCOMPARE(files[1], QStringLiteral("/data/file10.mdb"));
    QVERIFY(!files.contains(QStringLiteral("/data/file2.mdb")));
    QCOMPARE(files.count(QStringLiteral("/data/file5.mdb")), 1);
  }
};

QTEST_MAIN(StartPageTest)
#include "test_start_page.moc"
