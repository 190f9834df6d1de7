// Convert > Import and Convert > Export driven through the real window: the
// import file dialog and its dispatch by extension, the Tables dialog, the
// Export Database dialog, refusals that keep the dialogs open, and the files
// and tables that result.
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QListWidget>
#include <QTreeView>
#include <QtTest>

#include "convert/export_dialog.h"
#include "convert/import_tables_dialog.h"
#include "schema_probe.h"

using kevra::convert::ExportDialog;
using kevra::convert::ImportTablesDialog;

namespace {

// KEVRA_SCREENSHOTS=folder saves a picture of each dialog there.
void screenshot(QWidget& w, const char* name) {
  const QByteArray folder = qgetenv("KEVRA_SCREENSHOTS");
  if (!folder.isEmpty()) w.grab().save(QString::fromLocal8Bit(folder) + "/" + name + ".png");
}

QString generated(const char* relative) {
  return samplePath("foreign-generated/") + QString::fromLatin1(relative);
}

}  // namespace

class ConvertCommandsTest : public StructureWindowTest {
  Q_OBJECT
  void importFile(const QString& file) {
    (*dialogs)->fileAnswers = QStringList{file};
    action(*window, "importAction")->trigger();
  }

 private slots:
  void init() { start(); }
  void cleanup() { stop(); }

  void importAsksWithTheFilterAndCancelDoesNothing() {
    show("empty.mdb", nullptr);
    QVERIFY(menuEnabled(*window, "convertMenu"));
    QVERIFY(action(*window, "importAction")->isEnabled());
    QVERIFY(!action(*window, "exportAction")->isEnabled());  // no table chosen yet
    const int asked = (*dialogs)->fileRequests.size();
    action(*window, "importAction")->trigger();
    QCOMPARE((*dialogs)->fileRequests.size(), asked + 1);
    QCOMPARE((*dialogs)->fileRequests.last().filter,
             QStringLiteral("Access Database (*.mdb)|*.mdb|Paradox Table (*.db)|*.db|Excel Spreadsheet "
                            "(*.xls)|*.xls|HTML File (*.htm,*.html)|*.htm;*.html|Text File "
                            "(*.txt,*.csv)|*.txt;*.csv|dBase Table (*.dbf)|*.dbf"));
    importFile(generated("text/notes.pdf"));  // any other kind ends the command silently
    QVERIFY(messages().isEmpty());
    QCOMPARE(treeTexts(*window), QStringList{});
  }

  void textAndHtmlFilesImportAsOneTableEach() {
    show("empty.mdb", nullptr);
    importFile(generated("text/products.csv"));
    QVERIFY2(messages().isEmpty(), qPrintable(messages().join('\n')));
    importFile(generated("html/Orders.html"));
    QVERIFY2(messages().isEmpty(), qPrintable(messages().join('\n')));
    QCOMPARE(treeTexts(*window), (QStringList{"products", "Orders"}));
    QCOMPARE(StoredFile(path).fields("products"),
             (QStringList{"ID", "Name", "Price", "Qty", "Added", "InStock", "Notes"}));
    QCOMPARE(StoredFile(path).field("Orders", "Total").section(' ', 0, 0), QStringLiteral("6"));  // Currency
    // The same file again: the engine refuses, the tree stays.
    importFile(generated("text/products.csv"));
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages()[0].contains("already exists"), qPrintable(messages()[0]));
    QCOMPARE(StoredFile(path).tables().size(), 2);
  }

  void accessImportCopiesTheCheckedTables() {
    show("empty.mdb", nullptr);
    QStringList offered;
    QVERIFY(withDialog<ImportTablesDialog>([&] { importFile(samplePath("testv2000.mdb")); },
                                           [&](QDialog& d) {
                                             screenshot(d, "import-tables-dialog");
                                             QCOMPARE(d.windowTitle(), QStringLiteral("Tables"));
                                             QCOMPARE(d.size(), QSize(250, 181));
                                             auto* list = part<QListWidget>(d, "tableList");
                                             offered = itemTexts(list);
                                             QVERIFY(checkedTexts(list).isEmpty());
                                             list->item(0)->setCheckState(Qt::Checked);
                                             list->item(2)->setCheckState(Qt::Checked);
                                             QCOMPARE(part<QPushButton>(d, "importButton")->text(),
                                                      QStringLiteral("Import Selected"));
                                             part<QPushButton>(d, "importButton")->click();
                                             QVERIFY(!d.isVisible());
                                           }));
    QCOMPARE(offered, (QStringList{"Table1", "Table2", "Table3", "Table4"}));
    QCOMPARE(StoredFile(path).tables(), (QStringList{"Table1", "Table3"}));
    QCOMPARE(treeTexts(*window), (QStringList{"Table3", "Table1"}));

    // Table1 exists now: the run stops there, the dialog stays with its marks.
    QVERIFY(withDialog<ImportTablesDialog>([&] { importFile(samplePath("testv2000.mdb")); },
                                           [&](QDialog& d) {
                                             auto* list = part<QListWidget>(d, "tableList");
                                             list->item(1)->setCheckState(Qt::Checked);
                                             list->item(0)->setCheckState(Qt::Checked);
                                             part<QPushButton>(d, "importButton")->click();
                                             QVERIFY(d.isVisible());
                                             QCOMPARE(checkedTexts(list), (QStringList{"Table1", "Table2"}));
                                           }));
    QCOMPARE(messages().size(), 1);
    QCOMPARE(StoredFile(path).tables(), (QStringList{"Table1", "Table3"}));
  }

  void tablesDialogWithoutMarksOrClosedCopiesNothing() {
    show("empty.mdb", nullptr);
    importFile(generated("text/orders.csv"));
    QCOMPARE(treeTexts(*window), QStringList{"orders"});
    QVERIFY(clickTable(*window, "orders"));
    // "Import Selected" with no mark copies nothing, closes, and rebuilds the tree.
    QVERIFY(withDialog<ImportTablesDialog>([&] { importFile(samplePath("testv2000.mdb")); },
                                           [](QDialog& d) {
                                             part<QPushButton>(d, "importButton")->click();
                                             QVERIFY(!d.isVisible());
                                           }));
    QVERIFY(!action(*window, "exportAction")->isEnabled());  // the rebuilt tree has no selection
    // Closed without the button: nothing copied, the tree as it was.
    QVERIFY(clickTable(*window, "orders"));
    QVERIFY(withDialog<ImportTablesDialog>([&] { importFile(samplePath("testv2000.mdb")); },
                                           [](QDialog& d) {
                                             part<QListWidget>(d, "tableList")->item(0)->setCheckState(Qt::Checked);
                                             d.reject();
                                           }));
    QVERIFY(action(*window, "exportAction")->isEnabled());
    QVERIFY(messages().isEmpty());
    QCOMPARE(StoredFile(path).tables(), QStringList{"orders"});
    // A source whose tables fail to list ends the command before the dialog.
    QVERIFY(!withDialog<ImportTablesDialog>([&] { importFile(generated("text/products.mdb")); }, [](QDialog&) {}));
    QCOMPARE(messages().size(), 1);
  }

  void exportWritesTheSelectedTableAndKeepsTheDialogOnARefusal() {
    show("testv2000.mdb", "Table1");
    QTemporaryDir out;
    QVERIFY(action(*window, "exportAction")->isEnabled());
    auto exportAs = [&](const QString& format, const std::function<void(QDialog&)>& after) {
      return withDialog<ExportDialog>([&] { action(*window, "exportAction")->trigger(); },
                                      [&](QDialog& d) {
                                        auto& dialog = static_cast<ExportDialog&>(d);
                                        dialog.setDirectory(out.path());
                                        QVERIFY(choose(part<QComboBox>(d, "formatBox"), format));
                                        part<QPushButton>(d, "exportButton")->click();
                                        after(d);
                                      });
    };
    QVERIFY(withDialog<ExportDialog>([&] { action(*window, "exportAction")->trigger(); },
                                     [&](QDialog& d) {
                                       screenshot(d, "export-dialog");
                                       QCOMPARE(d.windowTitle(), QStringLiteral("Export Database"));
                                       QCOMPARE(d.size(), QSize(177, 272));
                                       QCOMPARE(part<QGroupBox>(d, "directoryGroup")->title(), QStringLiteral("Directory"));
                                       QCOMPARE(part<QGroupBox>(d, "formatGroup")->title(), QStringLiteral("Database Type"));
                                       auto* box = part<QComboBox>(d, "formatBox");
                                       QCOMPARE(itemTexts(box), (QStringList{"dBase", "Excel", "HTML", "Paradox", "Text"}));
                                       QCOMPARE(box->currentText(), QStringLiteral("dBase"));
                                       QVERIFY(!box->isEditable());
                                       QCOMPARE(static_cast<ExportDialog&>(d).directory(), QDir::currentPath());
                                     }));
    QVERIFY(exportAs("Text", [](QDialog& d) { QVERIFY(!d.isVisible()); }));
    QVERIFY(exportAs("HTML", [](QDialog& d) { QVERIFY(!d.isVisible()); }));
    QVERIFY2(messages().isEmpty(), qPrintable(messages().join('\n')));
    QVERIFY(QFile::exists(out.filePath("Table1.txt")));
    QVERIFY(QFile::exists(out.filePath("Table1.html")));
    QVERIFY(QFile::exists(out.filePath("Schema.ini")));
    QVERIFY(exportAs("Text", [](QDialog& d) {
      QVERIFY(d.isVisible());
      QCOMPARE(part<QComboBox>(d, "formatBox")->currentText(), QStringLiteral("Text"));
    }));
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages()[0].contains("already exists"), qPrintable(messages()[0]));

    // The text file's header row names the table's fields.
    QFile text(out.filePath("Table1.txt"));
    QVERIFY(text.open(QIODevice::ReadOnly));
    QStringList quoted;
    for (const QString& f : StoredFile(path).fields("Table1")) quoted << '"' + f + '"';
    QCOMPARE(QString::fromUtf8(text.readLine()).trimmed(), quoted.join(','));
  }
};

QTEST_MAIN(ConvertCommandsTest)
#include "test_convert_commands.moc"
