// File > Open with Code Page: an Access 97 file's text read in the code page
// the user picks, and the choice kept for the file, also for plain Open.
#include <QTableView>
#include <QtTest>

#include "browse/records_model.h"
#include "ui/file_code_pages.h"
#include "window_probe.h"

class CodePageOptionTest : public QObject {
  Q_OBJECT
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;

  // Every cell text of Table14 (its rows hold "a\u20aca" in code page 1252).
  QString tableText() {
    kevra::browse::RecordsModel* model = window->recordsPage()->model();
    while (model->canFetchMore()) model->fetchMore();
    QString all;
    for (int row = 0; row < model->rowCount(); ++row)
      for (int column = 0; column < model->columnCount(); ++column) all += model->index(row, column).data().toString();
    return all;
  }

 private slots:
  void init() {
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
  }

  void chosenCodePageReadsTheTextAndIsKept() {
    const QString path = samplePath("testindexcodesv1997.mdb");
    kevra::ui::FileCodePages().remember(path, 0);
    (*dialogs)->fileAnswers << path;
    (*dialogs)->choiceAnswers << QStringLiteral("1251 (Cyrillic)");
    action(*window, "openWithCodePageAction")->trigger();
    QVERIFY2((*dialogs)->messages.isEmpty(), qPrintable((*dialogs)->messages.value(0).text));
    QCOMPARE((*dialogs)->choiceRequests.size(), 1);
    QCOMPARE((*dialogs)->choiceRequests.first().first(), QStringLiteral("1252 (Western European)"));
    QVERIFY(!action(*window, "openWithCodePageAction")->isEnabled());
    QVERIFY(clickTable(*window, "Table14"));
    // Byte 0x80 is the euro sign in 1252, Cyrillic Dje in 1251.
    QVERIFY(tableText().contains(QChar(0x0402)));
    action(*window, "closeAction")->trigger();

    // Plain Open uses the choice kept for the file.
    openWith(*window, **dialogs, path);
    QVERIFY(clickTable(*window, "Table14"));
    QVERIFY(tableText().contains(QChar(0x0402)));
    action(*window, "closeAction")->trigger();

    // Cancel opens nothing; choosing 1252 again reads the euro sign.
    (*dialogs)->fileAnswers << path;
    action(*window, "openWithCodePageAction")->trigger();
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
    (*dialogs)->fileAnswers << path;
    (*dialogs)->choiceAnswers << QStringLiteral("1252 (Western European)");
    action(*window, "openWithCodePageAction")->trigger();
    QVERIFY(clickTable(*window, "Table14"));
    QVERIFY(tableText().contains(QChar(0x20AC)));
    QVERIFY(!tableText().contains(QChar(0x0402)));
    kevra::ui::FileCodePages().remember(path, 0);
  }
};

QTEST_MAIN(CodePageOptionTest)
#include "test_code_page_option.moc"
