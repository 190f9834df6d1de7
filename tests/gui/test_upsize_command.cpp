// File > Upsize driven through the real window: the dialog's choices, an
// upsize into a SQLite file (and into a throw-away PostgreSQL server when one
// can be started), the result message, a refusal that keeps the dialog open,
// and Cancel in the progress box leaving no target behind.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "convert/upsize_dialog.h"
#include "schema_probe.h"

using kevra::convert::UpsizeDialog;

namespace {

QString sqlite(const QString& file, const QString& sql) {
  QProcess p;
  p.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), file, sql});
  p.waitForFinished(60000);
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

void screenshot(QWidget& w, const char* name) {
  const QByteArray folder = qgetenv("KEVRA_SCREENSHOTS");
  if (!folder.isEmpty()) w.grab().save(QString::fromLocal8Bit(folder) + "/" + name + ".png");
}

}  // namespace

class UpsizeCommandTest : public StructureWindowTest {
  Q_OBJECT
  QTemporaryDir temp;

  // Opens `sample`, runs File > Upsize and lets `answer` fill the dialog.
  bool upsize(const char* sample, const std::function<void(UpsizeDialog&)>& answer) {
    show(sample, nullptr);
    return withDialog<UpsizeDialog>([&] { action(*window, "upsizeAction")->trigger(); }, answer);
  }
  static void intoSqlite(UpsizeDialog& d, const QString& file) {
    part<QRadioButton>(d, "sqliteChoice")->setChecked(true);
    part<QLineEdit>(d, "sqliteFileBox")->setText(file);
  }
  static void run(UpsizeDialog& d) { part<QPushButton>(d, "upsizeButton")->click(); }

 private slots:
  void init() { start(); }
  void cleanup() { stop(); }

  void upsizesIntoASqliteFileAndSaysHowItWent() {
    QVERIFY(!action(*window, "upsizeAction")->isEnabled());  // nothing open yet
    const QString target = temp.filePath("all.sqlite");
    const QString report = temp.filePath("all-report.txt");
    bool closed = false;
    QVERIFY(upsize("testv2000.mdb", [&](UpsizeDialog& d) {
      auto* tables = part<QListWidget>(d, "tableList");
      QCOMPARE(tables->count(), 4);
      for (int i = 0; i < tables->count(); ++i) QCOMPARE(tables->item(i)->checkState(), Qt::Checked);
      QVERIFY(part<QLineEdit>(d, "hostBox")->isEnabled());
      intoSqlite(d, target);
      QVERIFY(!part<QLineEdit>(d, "hostBox")->isEnabled());
      part<QLineEdit>(d, "reportBox")->setText(report);
      screenshot(d, "upsize-dialog");
      run(d);
      closed = !d.isVisible() && d.result() == QDialog::Accepted;
    }));
    QVERIFY(closed);
    QCOMPARE(messages().size(), 1);
    QCOMPARE((*dialogs)->messages.first().icon, QMessageBox::Information);
    QVERIFY2(messages().first().startsWith("4 tables with 2 rows upsized into SQLite"),
             qPrintable(messages().first()));
    QVERIFY(messages().first().contains("Every table was checked on the target and matches."));
    QCOMPARE(sqlite(target, "SELECT count(*) FROM \"Table1\""), QStringLiteral("2"));
    QCOMPARE(sqlite(target, "SELECT \"A\" FROM \"Table1\" ORDER BY \"A\""), QStringLiteral("a\nabcdefg"));
    QCOMPARE(sqlite(target, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name LIKE 'Table_'"), QStringLiteral("4"));
    QFile written(report);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().contains("Verification: every table matches."));
  }

  void chosenTablesOnlyAndARefusalKeepsTheDialogOpen() {
    const QString target = temp.filePath("some.sqlite");
    QVERIFY(upsize("testv2000.mdb", [&](UpsizeDialog& d) {
      auto* tables = part<QListWidget>(d, "tableList");
      for (int i = 0; i < tables->count(); ++i)
        if (tables->item(i)->text() != "Table1") tables->item(i)->setCheckState(Qt::Unchecked);
      intoSqlite(d, target);
      part<QLineEdit>(d, "reportBox")->clear();
      run(d);
      QVERIFY(!d.isVisible());
    }));
    QCOMPARE(sqlite(target, "SELECT group_concat(name) FROM sqlite_master WHERE type = 'table'"),
             QStringLiteral("Table1"));
    (*dialogs)->messages.clear();

    // The same table again: refused by name, the dialog still up with its
    // choices; with Replace it goes through.
    QVERIFY(withDialog<UpsizeDialog>([&] { action(*window, "upsizeAction")->trigger(); }, [&](UpsizeDialog& d) {
      auto* tables = part<QListWidget>(d, "tableList");
      for (int i = 0; i < tables->count(); ++i)
        if (tables->item(i)->text() != "Table1") tables->item(i)->setCheckState(Qt::Unchecked);
      intoSqlite(d, target);
      part<QLineEdit>(d, "reportBox")->clear();
      run(d);
      QVERIFY(d.isVisible());
      QCOMPARE(messages().size(), 1);
      QVERIFY2(messages().first().contains("'Table1' already exists"), qPrintable(messages().first()));
      QCOMPARE(part<QLineEdit>(d, "sqliteFileBox")->text(), target);
      // Nothing chosen is refused before anything starts.
      for (int i = 0; i < tables->count(); ++i) tables->item(i)->setCheckState(Qt::Unchecked);
      run(d);
      QVERIFY(d.isVisible());
      QCOMPARE(messages().last(), QStringLiteral("Choose at least one table to upsize."));
      tables->item(0)->setCheckState(Qt::Checked);
      for (int i = 0; i < tables->count(); ++i)
        tables->item(i)->setCheckState(tables->item(i)->text() == "Table1" ? Qt::Checked : Qt::Unchecked);
      part<QCheckBox>(d, "replaceCheck")->setChecked(true);
      run(d);
      QVERIFY(!d.isVisible());
    }));
    QCOMPARE(sqlite(target, "SELECT count(*) FROM \"Table1\""), QStringLiteral("2"));
  }

  void cancelLeavesNoTargetBehind() {
    const QString target = temp.filePath("cancelled.sqlite");
    bool cancelClicked = false;
    QVERIFY(upsize("bench/medium.mdb", [&](UpsizeDialog& d) {
      intoSqlite(d, target);
      part<QLineEdit>(d, "reportBox")->clear();
      // Cancel once the box counts rows.
      QTimer poll;
      poll.setInterval(20);
      connect(&poll, &QTimer::timeout, [&] {
        auto* box = d.findChild<QProgressDialog*>(QStringLiteral("upsizeProgress"));
        if (!box || cancelClicked || !box->labelText().contains(" rows")) return;
        screenshot(*box, "upsize-progress");
        auto* cancel = box->findChild<QPushButton*>();
        if (!cancel) return;
        cancel->click();
        cancelClicked = true;
      });
      poll.start();
      run(d);
      poll.stop();
      QVERIFY(d.isVisible());  // back in the dialog, choices kept
    }));
    QVERIFY(cancelClicked);
    QCOMPARE(messages().size(), 1);
    QCOMPARE(messages().first(), QStringLiteral("The upsize was cancelled; the target is as it was."));
    QVERIFY(!QFile::exists(target));
  }

  void upsizesIntoAPostgresServer() {
    // Straight under the temporary folder: the server's own user must reach it.
    QTemporaryDir serverDir(QDir::tempPath() + QStringLiteral("/kevra-pg-XXXXXX"));
    const QString dir = serverDir.path();
    QProcess server;
    server.start(QStringLiteral(KEVRA_SCRIPTS_DIR "/pg-test-server.sh"), {QStringLiteral("start"), dir});
    server.waitForFinished(120000);
    if (server.exitCode() != 0)
      QSKIP(qPrintable("no PostgreSQL server for the test: " + QString::fromUtf8(server.readAllStandardError())));
    const auto stopServer = qScopeGuard([&] {
      QProcess::execute(QStringLiteral(KEVRA_SCRIPTS_DIR "/pg-test-server.sh"), {QStringLiteral("stop"), dir});
    });
    QVERIFY(upsize("testv2000.mdb", [&](UpsizeDialog& d) {
      part<QLineEdit>(d, "hostBox")->setText(dir);
      part<QLineEdit>(d, "portBox")->setText(QStringLiteral("5432"));
      part<QLineEdit>(d, "databaseBox")->setText(QStringLiteral("postgres"));
      part<QLineEdit>(d, "userBox")->setText(QStringLiteral("kevra"));
      part<QLineEdit>(d, "schemaBox")->setText(QStringLiteral("moved"));
      part<QLineEdit>(d, "reportBox")->clear();
      run(d);
      QVERIFY(!d.isVisible());
    }));
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().first().contains("PostgreSQL"), qPrintable(messages().first()));
    QProcess psql;
    psql.start(QStringLiteral("psql"), {QStringLiteral("-X"), QStringLiteral("-A"), QStringLiteral("-t"),
                                        QStringLiteral("host=%1 port=5432 user=kevra dbname=postgres").arg(dir),
                                        QStringLiteral("-c"), QStringLiteral("SELECT count(*) FROM moved.\"Table1\"")});
    psql.waitForFinished(60000);
    QCOMPARE(QString::fromUtf8(psql.readAllStandardOutput()).trimmed(), QStringLiteral("2"));
  }
};

QTEST_MAIN(UpsizeCommandTest)
#include "test_upsize_command.moc"
