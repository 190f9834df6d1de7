// Tables > Add New, Rename and Drop, and File > Create, driven through the
// real window: the Table Name dialog in both modes, the confirmation, the
// tree rebuilt, the commands that need a selected table, and new files.
#include <QCryptographicHash>
#include <QTabWidget>
#include <QtTest>

#include "schema/table_name_dialog.h"
#include "schema_probe.h"

using kevra::schema::TableNameDialog;

class TableCommandsTest : public StructureWindowTest {
  Q_OBJECT
  bool tableCommandsEnabled() const {
    return action(*window, "renameTableAction")->isEnabled() && action(*window, "dropTableAction")->isEnabled();
  }
  bool pagesShown() const { return control<QTabWidget>(*window, "pages")->isVisible(); }
  // Runs the dialog of `command`, types `name` and presses its button; the
  // dialog's state afterwards goes to `after`.
  bool nameTable(const char* command, const QString& name, const std::function<void(QDialog&)>& after = {}) {
    return withDialog<TableNameDialog>([&] { action(*window, command)->trigger(); },
                                       [&](QDialog& d) {
                                         part<QLineEdit>(d, "nameBox")->setText(name);
                                         part<QPushButton>(d, "okButton")->click();
                                         if (after) after(d);
                                       });
  }

 private slots:
  void init() { start(); }
  void cleanup() { stop(); }

  void addNewMakesATableWithOneYesNoField() {
    show("testv2000.mdb", "Table1");
    QVERIFY(withDialog<TableNameDialog>([&] { action(*window, "addTableAction")->trigger(); },
                                        [](QDialog& d) {
                                          QCOMPARE(d.windowTitle(), QStringLiteral("Table Name"));
                                          QCOMPARE(part<QPushButton>(d, "okButton")->text(), QStringLiteral("Add New"));
                                          QVERIFY(part<QLineEdit>(d, "nameBox")->text().isEmpty());
                                        }));
    // An empty name changes nothing and keeps the dialog, but rebuilds the tree.
    QVERIFY(nameTable("addTableAction", "", [](QDialog& d) { QVERIFY(d.isVisible()); }));
    QVERIFY(!pagesShown());
    QVERIFY(clickTable(*window, "Table1"));
    QVERIFY(nameTable("addTableAction", "Sales", [](QDialog& d) { QVERIFY(!d.isVisible()); }));
    QVERIFY(messages().isEmpty());
    QVERIFY(treeTexts(*window).contains("Sales"));
    QVERIFY(!pagesShown());
    QVERIFY(!tableCommandsEnabled());  // no table selected after the rebuild
    QCOMPARE(StoredFile(path).fields("Sales"), QStringList{"Sales"});
    QCOMPARE(StoredFile(path).field("Sales", "Sales").section(' ', 0, 0), QStringLiteral("11"));
    // A name in use is refused; the dialog stays open with it.
    QVERIFY(nameTable("addTableAction", "Table2", [](QDialog& d) {
      QVERIFY(d.isVisible());
      QCOMPARE(part<QLineEdit>(d, "nameBox")->text(), QStringLiteral("Table2"));
    }));
    QCOMPARE(messages().size(), 1);
    QCOMPARE(StoredFile(path).tables().size(), 5);
  }

  void renameRenamesTheSelectedTable() {
    show("testv2000.mdb", "Table3");
    QVERIFY(tableCommandsEnabled());
    QVERIFY(withDialog<TableNameDialog>([&] { action(*window, "renameTableAction")->trigger(); },
                                        [](QDialog& d) {
                                          QCOMPARE(part<QPushButton>(d, "okButton")->text(), QStringLiteral("Rename"));
                                          QCOMPARE(part<QLineEdit>(d, "nameBox")->text(), QStringLiteral("Table3"));
                                        }));
    QVERIFY(nameTable("renameTableAction", "Table4", [](QDialog& d) { QVERIFY(d.isVisible()); }));
    QCOMPARE(messages().size(), 1);  // in use: refused
    QVERIFY(nameTable("renameTableAction", "Stock Items", [](QDialog& d) { QVERIFY(!d.isVisible()); }));
    QCOMPARE(messages().size(), 2);
    const kevra::ui::MessageRequest note = (*dialogs)->messages.last();
    QCOMPARE(note.title, QStringLiteral("Information"));
    QCOMPARE(note.icon, QMessageBox::Information);
    QCOMPARE(note.text, QStringLiteral("Table has been renamed successfully."));
    QVERIFY2(!window->statusText().contains(QStringLiteral("Table3")), qPrintable(window->statusText()));
    QCOMPARE(window->statusText(), path);
    QCOMPARE(treeTexts(*window), (QStringList{"Table4", "Table2", "Table1", "Stock Items"}));
    QCOMPARE(StoredFile(path).tables(), (QStringList{"Stock Items", "Table1", "Table2", "Table4"}));
    QVERIFY(!tableCommandsEnabled());
    QVERIFY(!action(*window, "exportAction")->isEnabled());
    QVERIFY(clickTable(*window, "Stock Items"));
    QVERIFY(tableCommandsEnabled());
    QCOMPARE(window->statusText(), path + QStringLiteral(" -> Stock Items"));
  }

  void dropAsksFirst() {
    show("testv2000.mdb", "Table4");
    (*dialogs)->messageAnswer = QMessageBox::No;
    action(*window, "dropTableAction")->trigger();
    QCOMPARE(messages(), QStringList{"Selected table will be dropped !\r\n\r\nYou will not be able to undo this."
                                     "\r\n\r\nAre you sure ? "});
    QCOMPARE((*dialogs)->messages[0].defaultButton, QMessageBox::Yes);
    QVERIFY(pagesShown());
    (*dialogs)->messageAnswer = QMessageBox::Yes;
    action(*window, "dropTableAction")->trigger();
    QCOMPARE(messages().size(), 2);
    QCOMPARE(treeTexts(*window), (QStringList{"Table3", "Table2", "Table1"}));
    QCOMPARE(StoredFile(path).tables(), (QStringList{"Table1", "Table2", "Table3"}));
    QVERIFY(!pagesShown());
    QVERIFY(!tableCommandsEnabled());

    // A table in a relationship is refused and stays on screen.
    action(*window, "closeAction")->trigger();
    show("indextestv2000.mdb", "Table2");
    action(*window, "dropTableAction")->trigger();
    QCOMPARE((*dialogs)->messages.last().icon, QMessageBox::Critical);
    QVERIFY(pagesShown());
    QVERIFY(StoredFile(path).tables().contains("Table2"));
  }

  void createMakesAnEmptyDatabaseAndOpensIt() {
    action(*window, "createAction")->trigger();  // cancelled: nothing
    QCOMPARE((*dialogs)->fileRequests.size(), 1);
    QCOMPARE((*dialogs)->fileRequests[0].kind, kevra::ui::FileDialogKind::Save);
    QCOMPARE((*dialogs)->fileRequests[0].filter, QStringLiteral("Microsoft Access Database (*.mdb)|*.mdb"));
    QVERIFY(messages().isEmpty());

    // A name without an extension gets ".mdb"; the new file is opened.
    const QString made = scratch.filePath("made.mdb");
    (*dialogs)->fileAnswers << scratch.filePath("made");
    action(*window, "createAction")->trigger();
    QCOMPARE(messages(), QStringList{"New Database Has Been Created: " + made});
    QCOMPARE((*dialogs)->messages[0].title, QStringLiteral("Information"));
    QVERIFY(!QFile::exists(scratch.filePath("made")));
    QCOMPARE(window->statusText(), made);
    QVERIFY(action(*window, "closeAction")->isEnabled());
    QVERIFY(treeTexts(*window).isEmpty());
    action(*window, "closeAction")->trigger();
    QVERIFY(StoredFile(made).tables().isEmpty());

    // A name with its extension is used as typed.
    const QString named = scratch.filePath("named.mdb");
    (*dialogs)->fileAnswers << named;
    action(*window, "createAction")->trigger();
    QCOMPARE(window->statusText(), named);
    action(*window, "closeAction")->trigger();

    // An existing file is refused and left as it was.
    const QString existing = scratchCopy(scratch, "testv2000.mdb");
    const auto digest = [](const QString& file) {
      QFile f(file);
      f.open(QIODevice::ReadOnly);
      return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    };
    const QByteArray before = digest(existing);
    const qsizetype shown = (*dialogs)->messages.size();
    (*dialogs)->fileAnswers << existing;
    action(*window, "createAction")->trigger();
    QCOMPARE((*dialogs)->messages.size(), shown + 1);
    QCOMPARE((*dialogs)->messages.last().icon, QMessageBox::Critical);
    QCOMPARE(digest(existing), before);
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
  }

  void compactWritesACopyAndReportsIt() {
    const QString source = scratchCopy(scratch, "indextestv2000.mdb");
    action(*window, "compactAction")->trigger();  // source dialog cancelled
    (*dialogs)->fileAnswers << source;
    action(*window, "compactAction")->trigger();  // target dialog cancelled
    QCOMPARE((*dialogs)->fileRequests.size(), 3);
    QCOMPARE((*dialogs)->fileRequests[0].kind, kevra::ui::FileDialogKind::Open);
    QCOMPARE((*dialogs)->fileRequests[2].kind, kevra::ui::FileDialogKind::Save);
    QVERIFY(messages().isEmpty());

    const QString target = scratch.filePath("compacted");
    (*dialogs)->fileAnswers << source << target;
    action(*window, "compactAction")->trigger();
    QCOMPARE(messages(), QStringList{"Database has been succesfully compacted."});
    QCOMPARE((*dialogs)->messages[0].title, QStringLiteral("Information"));
    QCOMPARE(StoredFile(target).tables(), StoredFile(source).tables());
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));

    // A target that exists is refused, and no success is reported.
    (*dialogs)->fileAnswers << source << target;
    action(*window, "compactAction")->trigger();
    QCOMPARE((*dialogs)->messages.size(), 2);
    QCOMPARE((*dialogs)->messages.last().icon, QMessageBox::Critical);
    QVERIFY((*dialogs)->messages.last().text.contains("already exists"));
  }
};

QTEST_MAIN(TableCommandsTest)
#include "test_table_commands.moc"
