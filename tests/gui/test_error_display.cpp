// The error display's text rule and box, the command runner that routes
// failures to it, and the mapping of Windows-style dialog settings.
#include <QtTest>
#include <new>
#include <stdexcept>

#include "ui/dialog_seam.h"
#include "ui/error_display.h"
#include "scripted_dialogs.h"

class ErrorDisplayTest : public QObject {
  Q_OBJECT
 private slots:
  void textRule_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "Table 'Orders' already exists" << "Table 'Orders' already exists.";
    QTest::newRow("digit") << "Error 3021" << "Error 3021.";
    QTest::newRow("quote sorts before dot") << "Cannot open 'x.mdb'" << "Cannot open 'x.mdb'";
    QTest::newRow("slash sorts after dot") << "path c:/" << "path c:/.";
    QTest::newRow("ends with dot") << "Done." << "Done.";
    QTest::newRow("exclamation sorts before dot") << "Stop!" << "Stop!";
    QTest::newRow("parenthesis sorts before dot") << "Failed (3)" << "Failed (3)";
    QTest::newRow("minus sorts before dot") << "x -" << "x -";
    QTest::newRow("non-ASCII letter") << QString::fromUtf8("Fehler: Größe") << QString::fromUtf8("Fehler: Größe.");
    QTest::newRow("empty") << "" << "";
  }
  void textRule() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(kevra::ui::errorDisplayText(message), shown);
  }

  void commandFailureShowsOneErrorBoxAndStopsTheCommand() {
    ScriptedDialogs::Scope dialogs;
    bool after = false;
    kevra::ui::runCommand(nullptr, [&] {
      throw std::runtime_error("File 'a.mdb' is not a database");
      after = true;
    });
    QVERIFY(!after);
    QCOMPARE(dialogs->messages.size(), 1);
    const auto& box = dialogs->messages.first();
    QCOMPARE(box.title, QStringLiteral("Kevra"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.text, QStringLiteral("File 'a.mdb' is not a database."));
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  }

  void runningOutOfMemorySaysSoInsteadOfTheLibrarysWord() {
    ScriptedDialogs::Scope dialogs;
    kevra::ui::runCommand(nullptr, [] { throw std::bad_alloc(); });
    QCOMPARE(dialogs->messages.size(), 1);
    const QString text = dialogs->messages.first().text;
    QVERIFY2(text.contains(QStringLiteral("not enough memory")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("bad_alloc")), qPrintable(text));
  }

  void successfulCommandShowsNothing() {
    ScriptedDialogs::Scope dialogs;
    int runs = 0;
    kevra::ui::runCommand(nullptr, [&] { ++runs; });
    QCOMPARE(runs, 1);
    QVERIFY(dialogs->messages.isEmpty());
  }

  void fileFiltersBecomeQtFilters() {
    QCOMPARE(kevra::ui::qtFileFilter("Microsoft Access Database (*.mdb)|*.mdb|All Files (*.*)|*.*"),
             QStringLiteral("Microsoft Access Database (*.mdb);;All Files (*)"));
    QCOMPARE(kevra::ui::qtFileFilter("HTML File (*.htm,*.html)|*.htm;*.html|Text File (*.txt,*.csv)|*.txt;*.csv"),
             QStringLiteral("HTML File (*.htm *.html);;Text File (*.txt *.csv)"));
  }

  void windowsFoldersMapToThisMachine() {
    QCOMPARE(kevra::ui::localDirectory("c:\\"), QDir::homePath());
    QCOMPARE(kevra::ui::localDirectory("C:"), QDir::homePath());
    QCOMPARE(kevra::ui::localDirectory("c:\\data\\db"), QDir::home().filePath("data/db"));
    QCOMPARE(kevra::ui::localDirectory(""), QString());
    QCOMPARE(kevra::ui::localDirectory("/tmp"), QStringLiteral("/tmp"));
  }
};

QTEST_MAIN(ErrorDisplayTest)
#include "test_error_display.moc"
