// Opening a password-protected file: the password is asked for, a wrong one
// is asked for again with a clear message, the right one opens the file and
// its rows (through the grid's own connection too), Cancel leaves nothing
// open. The dialog itself is masked and names the file.
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "browse/records_model.h"
#include "ui/dialog_seam.h"
#include "ui/password_dialog.h"
#include "window_probe.h"

class PasswordPromptTest : public QObject {
  Q_OBJECT
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;
  std::unique_ptr<MainWindow> window;
  const QString sample = samplePath("v2000_with-password.mdb");

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

  void wrongThenRightOpensTheFile() {
    (*dialogs)->passwordAnswers = {QStringLiteral("Password"), QStringLiteral("password")};
    openWith(*window, **dialogs, sample);
    QCOMPARE((*dialogs)->passwordProblems.size(), 2);
    QVERIFY((*dialogs)->passwordProblems[0].isEmpty());
    QVERIFY((*dialogs)->passwordProblems[1].contains(QStringLiteral("not correct")));
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(treeTexts(*window), QStringList{QStringLiteral("Table1")});
    // The grid reaches the file through a connection of its own.
    QVERIFY(clickTable(*window, QStringLiteral("Table1")));
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->recordsPage()->model()->rowCount(), 3);
    QVERIFY(action(*window, "closeAction")->isEnabled());
  }

  // The same prompt serves an Office-encrypted .accdb (agile AES): asked,
  // refused when wrong, and the right password shows its rows.
  void encryptedAccdbAsksTheSameWay() {
    (*dialogs)->passwordAnswers = {QStringLiteral("wrong"), QStringLiteral("password")};
    openWith(*window, **dialogs, samplePath("formats/v2010-office-agile-4.4.accdb"));
    QCOMPARE((*dialogs)->passwordProblems.size(), 2);
    QVERIFY((*dialogs)->passwordProblems[1].contains(QStringLiteral("not correct")));
    QVERIFY((*dialogs)->messages.isEmpty());
    QVERIFY(clickTable(*window, QStringLiteral("Table1")));
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->recordsPage()->model()->rowCount(), 3);
  }

  void cancelLeavesNothingOpen() {
    (*dialogs)->passwordAnswers = {QStringLiteral("wrong"), std::nullopt};
    openWith(*window, **dialogs, sample);
    QCOMPARE((*dialogs)->passwordProblems.size(), 2);
    QVERIFY((*dialogs)->messages.isEmpty());
    QVERIFY(treeTexts(*window).isEmpty());
    QVERIFY(!action(*window, "closeAction")->isEnabled());
    QVERIFY(action(*window, "openAction")->isEnabled());
    // A file without a password asks nothing.
    openWith(*window, **dialogs, samplePath("testv2000.mdb"));
    QCOMPARE((*dialogs)->passwordProblems.size(), 2);
    QVERIFY(action(*window, "closeAction")->isEnabled());
  }

  void dialogIsMaskedAndNamesTheFile() {
    kevra::ui::PasswordDialog dialog(QStringLiteral("orders.mdb"), QStringLiteral("That password is not correct."));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* entry = dialog.findChild<QLineEdit*>(QStringLiteral("passwordEntry"));
    QVERIFY(entry);
    QCOMPARE(entry->echoMode(), QLineEdit::Password);
    QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("passwordPrompt"))->text().contains(QStringLiteral("'orders.mdb'")));
    QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("passwordProblem"))->isVisible());
    QTest::keyClicks(entry, QStringLiteral("s3cret"));
    QTest::keyClick(entry, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.password(), QStringLiteral("s3cret"));

    // The real seam: Cancel gives no password.
    kevra::ui::QtDialogSeam seam;
    QTimer::singleShot(0, this, [] {
      auto* shown = qobject_cast<kevra::ui::PasswordDialog*>(QApplication::activeModalWidget());
      QVERIFY(shown);
      QVERIFY(!shown->findChild<QLabel*>(QStringLiteral("passwordProblem"))->isVisible());
      shown->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    });
    QCOMPARE(seam.password(window.get(), QStringLiteral("orders.mdb"), {}), std::optional<QString>());
  }
};

QTEST_MAIN(PasswordPromptTest)
#include "test_password_prompt.moc"
