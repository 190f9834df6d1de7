// A file whose format is read but not written yet (.accdb): it opens
// read-only, the status bar says why for as long as it is open, and nothing
// in the window changes it: the commands that write are off, the grid does
// not edit, and a structure command is refused with the same reason.
#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "browse/records_model.h"
#include "window_probe.h"

namespace {
const QString kAccdbReason = QStringLiteral("Access 2007 and later (.accdb) files open read-only for now.");

QByteArray digest(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}
}  // namespace

class ReadOnlyFilesTest : public QObject {
  Q_OBJECT
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;

  QLabel* readOnlyPanel() { return control<QLabel>(*window, "readOnlyPanel"); }

 private slots:
  void init() {
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<MainWindow>();
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
  }

  void reasonStaysInTheStatusBarWhileTheFileIsOpen() {
    const QString path = samplePath("stretch-testv2010.accdb");
    const QByteArray before = digest(path);
    openWith(*window, **dialogs, path);
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->readOnlyStatusText(), kAccdbReason);
    QVERIFY(readOnlyPanel()->isVisible());

    // Showing tables keeps it; the commands that write stay off.
    QVERIFY(clickTable(*window, "Table1"));
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->readOnlyStatusText(), kAccdbReason);
    QVERIFY(readOnlyPanel()->isVisible());
    for (const char* name : {"addTableAction", "renameTableAction", "dropTableAction", "importAction",
                             "deleteRecordAction", "clearFieldAction"})
      QVERIFY2(!action(*window, name)->isEnabled(), name);
    QVERIFY(action(*window, "exportAction")->isEnabled());  // reading is fine
    QVERIFY(action(*window, "findAction")->isEnabled());

    // The grid shows the rows but edits none of them.
    kevra::browse::RecordsModel* model = window->recordsPage()->model();
    QCOMPARE(model->rowCount(), 2);
    QVERIFY(!window->recordsPage()->dataset().CanModify());
    QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));
    QVERIFY(!model->setData(model->index(0, 0), QStringLiteral("changed"), Qt::EditRole));

    // A structure command reaches the engine and is refused with the reason.
    (*dialogs)->messageAnswer = QMessageBox::Yes;  // "delete it?" answered yes
    emit window->structurePage()->deleteFieldRequested(QStringLiteral("B"));
    bool refused = false;
    for (const auto& message : (*dialogs)->messages) refused = refused || message.text.contains(kAccdbReason);
    QVERIFY2(refused, "a structure command on a read-only file is refused with its reason");

    // Close clears it; a writable file shows none.
    action(*window, "closeAction")->trigger();
    QVERIFY(window->readOnlyStatusText().isEmpty());
    QVERIFY(readOnlyPanel()->isHidden());
    (*dialogs)->messages.clear();
    openWith(*window, **dialogs, samplePath("testv2000.mdb"));
    QVERIFY(window->readOnlyStatusText().isEmpty());
    QVERIFY(readOnlyPanel()->isHidden());
    QVERIFY(action(*window, "addTableAction")->isEnabled());
    action(*window, "closeAction")->trigger();
    QCOMPARE(digest(path), before);  // not a byte written
  }

  // A file another program holds for changes is offered read-only.
  void aFileInUseCanBeOpenedReadOnly() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("busy.mdb"));
    QVERIFY(QFile::copy(samplePath("testv2000.mdb"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    // Another program holds the file for changes, as a writer does (flock).
    QProcess holder;
    holder.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"), QStringLiteral("import fcntl, sys, time\n"
                                                       "f = open(sys.argv[1], 'rb+')\n"
                                                       "fcntl.flock(f, fcntl.LOCK_EX)\n"
                                                       "print('held', flush=True)\n"
                                                       "time.sleep(120)\n"),
                  path});
    QVERIFY(holder.waitForReadyRead(20000));
    QCOMPARE(holder.readAllStandardOutput().trimmed(), QByteArray("held"));

    (*dialogs)->messageAnswer = QMessageBox::Cancel;
    openWith(*window, **dialogs, path);
    QCOMPARE((*dialogs)->messages.size(), 1);
    const kevra::ui::MessageRequest offer = (*dialogs)->messages.first();
    QVERIFY2(offer.text.contains(QStringLiteral("is in use")), qPrintable(offer.text));
    QCOMPARE(offer.buttons, QMessageBox::Open | QMessageBox::Cancel);
    QCOMPARE(offer.buttonTexts.value(QMessageBox::Open), QStringLiteral("Open Read-Only"));
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));  // Cancel: nothing open

    (*dialogs)->messageAnswer = QMessageBox::Open;
    openWith(*window, **dialogs, path);
    QCOMPARE((*dialogs)->messages.size(), 2);
    QCOMPARE(window->statusText(), path);
    QVERIFY(readOnlyPanel()->isVisible());
    QVERIFY(clickTable(*window, "Table1"));
    QCOMPARE(window->recordsPage()->model()->rowCount(), 2);
    QVERIFY(!window->recordsPage()->dataset().CanModify());
    QVERIFY(!action(*window, "addTableAction")->isEnabled());
    QCOMPARE((*dialogs)->messages.size(), 2);
    action(*window, "closeAction")->trigger();
    holder.kill();
    holder.waitForFinished();

    // Once closed in the window, the file is free for another program.
    openWith(*window, **dialogs, path);
    QCOMPARE((*dialogs)->messages.size(), 2);
    QVERIFY(clickTable(*window, "Table1"));
    action(*window, "closeAction")->trigger();
    QProcess other;
    other.start(QStringLiteral("python3"),
                {QStringLiteral("-c"), QStringLiteral("import fcntl, sys\n"
                                                      "f = open(sys.argv[1], 'rb+')\n"
                                                      "fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)\n"
                                                      "print('free')\n"),
                 path});
    QVERIFY(other.waitForFinished(20000));
    QCOMPARE(other.readAllStandardOutput().trimmed(), QByteArray("free"));
  }

  // Reading an .accdb includes its attachments: Convert > Save Attachments
  // writes the files of the shown table into the chosen folder.
  void attachmentsAreSavedIntoAFolder() {
    const QString path = samplePath("formats/v2007-attachments.accdb");
    openWith(*window, **dialogs, path);
    QVERIFY(clickTable(*window, "Table1"));
    QAction* save = action(*window, "saveAttachmentsAction");
    QVERIFY(save->isEnabled());
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    (*dialogs)->fileAnswers = {folder.path()};
    save->trigger();
    QCOMPARE((*dialogs)->fileRequests.last().kind, kevra::ui::FileDialogKind::Folder);
    QVERIFY((*dialogs)->messages.last().text.contains(QStringLiteral("4 attached files")));
    // Row 2 has one file, row 3 three; row 1 none.
    QFile one(folder.filePath(QStringLiteral("Attachments/2/attachment1.txt")));
    QVERIFY(one.open(QIODevice::ReadOnly));
    QCOMPARE(one.readAll(), QByteArray("Attachment 1"));
    QVERIFY(QFile::exists(folder.filePath(QStringLiteral("Attachments/3/attachment3.txt"))));
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("Attachments/1"))));
    // A second save into the same folder replaces nothing and says so.
    (*dialogs)->fileAnswers = {folder.path()};
    save->trigger();
    QVERIFY((*dialogs)->messages.last().text.contains(QStringLiteral("exists already")));

    // A table with no attachment column offers no such command.
    action(*window, "closeAction")->trigger();
    openWith(*window, **dialogs, samplePath("testv2000.mdb"));
    QVERIFY(clickTable(*window, "Table1"));
    QVERIFY(!action(*window, "saveAttachmentsAction")->isEnabled());
  }
};

QTEST_MAIN(ReadOnlyFilesTest)
#include "test_read_only_files.moc"
