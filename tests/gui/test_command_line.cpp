// The command line: a file to open, --help and --version, refusals.
#include <QtTest>

#include "app/command_line.h"

using kevra::app::CommandLine;
using kevra::app::parseCommandLine;

class CommandLineTest : public QObject {
  Q_OBJECT
 private slots:
  void readsAFileOrAnAnswer() {
    QCOMPARE(parseCommandLine({}).action, CommandLine::Action::Run);
    QCOMPARE(parseCommandLine({}).file, QString());
    QCOMPARE(parseCommandLine({QStringLiteral("orders.mdb")}).file, QStringLiteral("orders.mdb"));
    QCOMPARE(parseCommandLine({QStringLiteral("--help")}).action, CommandLine::Action::ShowHelp);
    QCOMPARE(parseCommandLine({QStringLiteral("a.mdb"), QStringLiteral("-h")}).action, CommandLine::Action::ShowHelp);
    QCOMPARE(parseCommandLine({QStringLiteral("--version")}).action, CommandLine::Action::ShowVersion);
    QVERIFY(kevra::app::usageText().contains(QStringLiteral("--help")));
    QVERIFY(kevra::app::versionText().startsWith(QStringLiteral("Kevra ")));
    // A file whose name starts with a dash, after "--".
    const CommandLine dashed = parseCommandLine({QStringLiteral("--"), QStringLiteral("--help")});
    QCOMPARE(dashed.action, CommandLine::Action::Run);
    QCOMPARE(dashed.file, QStringLiteral("--help"));
  }

  void refusesWhatItDoesNotKnow() {
    const CommandLine unknown = parseCommandLine({QStringLiteral("--frobnicate")});
    QCOMPARE(unknown.action, CommandLine::Action::Refuse);
    QVERIFY(unknown.problem.contains(QStringLiteral("--frobnicate")));
    QCOMPARE(parseCommandLine({QStringLiteral("a.mdb"), QStringLiteral("b.mdb")}).action, CommandLine::Action::Refuse);
  }
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "test_command_line.moc"
