// The command line: a file to open, --help and --version, refusals.
#include <QProcess>
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

  void toolkitOptionsAreSetAsideBeforeTheToolkitStarts() {
    using kevra::app::withoutToolkitOptions;
    const QStringList raw{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("-reverse"),
                          QStringLiteral("--style=fusion"), QStringLiteral("orders.mdb")};
    QCOMPARE(withoutToolkitOptions(raw), QStringList{QStringLiteral("orders.mdb")});
    QCOMPARE(parseCommandLine(withoutToolkitOptions(raw)).file, QStringLiteral("orders.mdb"));
    // Ours and unknown ones stay, to be answered or refused at once.
    const QStringList bogus{QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("--bogus")};
    QCOMPARE(withoutToolkitOptions(bogus), QStringList{QStringLiteral("--bogus")});
    QCOMPARE(parseCommandLine(withoutToolkitOptions(bogus)).action, CommandLine::Action::Refuse);
    // After "--" nothing is an option.
    QCOMPARE(withoutToolkitOptions({QStringLiteral("--"), QStringLiteral("-reverse")}),
             (QStringList{QStringLiteral("--"), QStringLiteral("-reverse")}));
  }
#ifdef KEVRA_PROGRAM
  void aBadOptionIsRefusedWithoutADisplay() {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(KEVRA_PROGRAM), {QStringLiteral("--bogus")});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 2);
    QVERIFY2(program.readAllStandardError().contains("unknown option '--bogus'"), "no refusal on the terminal");
  }
#endif
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "test_command_line.moc"
