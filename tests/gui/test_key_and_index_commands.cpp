// Primary key Select, Create Index and Delete index, driven through the real
// window on scratch copies: the statements sent, the file afterwards, the
// lists, refusals, and which boxes take input.
#include <QtTest>

#include "browse/records_page.h"
#include "schema/create_index_dialog.h"
#include "schema_probe.h"

class KeyAndIndexCommandsTest : public StructureWindowTest {
  Q_OBJECT
  QStringList storedIndexes(const char* table) const { return StoredFile(path).indexes(table); }

 private slots:
  void init() { start(); }
  void cleanup() { stop(); }

  void selectCreatesKeepsAndRemovesTheKey() {
    show("querytestv2000.mdb", "Table1");  // no key
    press("selectKeyButton");              // nothing checked: nothing sent, rows reloaded
    QVERIFY(sent(*window).isEmpty());
    QVERIFY(window->recordsPage()->dataset().Active());
    list("keyFieldList")->item(2)->setCheckState(Qt::Checked);  // col3 first, col1 after
    list("keyFieldList")->item(0)->setCheckState(Qt::Checked);
    press("selectKeyButton");
    press("selectKeyButton");  // the same fields again: nothing sent
    QCOMPARE(sent(*window), QStringList{"alter table [Table1] add constraint PrimaryKey primary key ([col1],[col3])"});
    QVERIFY(storedIndexes("Table1").contains("PrimaryKey(col1,col3) primary"));
    setChecked("keyFieldList", {});
    press("selectKeyButton");  // through the catalog
    QCOMPARE(sent(*window).size(), 1);
    QVERIFY(storedIndexes("Table1").isEmpty());
    QVERIFY(messages().isEmpty());
  }

  void selectReplacesAKeyOfOtherFieldsOrOrder() {
    show("querytestv2000.mdb", "Table1",
         {"alter table [Table1] add constraint PrimaryKey primary key ([col2],[col1])"});
    QCOMPARE(checkedTexts(list("keyFieldList")), (QStringList{"col1", "col2"}));
    press("selectKeyButton");  // same fields, other order: replaced
    setChecked("keyFieldList", {"col3"});
    press("selectKeyButton");
    QVERIFY(messages().isEmpty());
    QCOMPARE(sent(*window), (QStringList{"alter table [Table1] drop constraint PrimaryKey",
                                         "alter table [Table1] add constraint PrimaryKey primary key ([col1],[col2])",
                                         "alter table [Table1] drop constraint PrimaryKey",
                                         "alter table [Table1] add constraint PrimaryKey primary key ([col3])"}));
    QCOMPARE(storedIndexes("Table1"), QStringList{"PrimaryKey(col3) primary"});
  }

  void aRefusedReplacementKeepsTheOldKey() {
    show("indextestv2000.mdb", "Table1");
    setChecked("keyFieldList", {"otherfk1"});  // holds 1 twice
    press("selectKeyButton");
    QCOMPARE(messages().size(), 1);
    QCOMPARE(sent(*window).size(), 3);
    QCOMPARE(sent(*window).last(), QStringLiteral("alter table [Table1] add constraint PrimaryKey primary key ([id])"));
    QVERIFY(storedIndexes("Table1").contains("PrimaryKey(id) primary"));
  }

  void keysOfOtherNamesAndTablesWithBlanks() {
    show("querytestv2000.mdb", "Order Details",
         {"create table [Order Details] ([Order No] long, [Line] long)",
          "alter table [Order Details] add constraint [Order Key] primary key ([Order No])"});
    setChecked("keyFieldList", {"Line"});
    press("selectKeyButton");
    QVERIFY2(messages().isEmpty(), qPrintable(messages().join('\n')));
    QCOMPARE(sent(*window),
             (QStringList{"alter table [Order Details] drop constraint [Order Key]",
                          "alter table [Order Details] add constraint PrimaryKey primary key ([Line])"}));
    QVERIFY(clickTable(*window, "Order Details"));
    setChecked("keyFieldList", {});
    press("selectKeyButton");
    QVERIFY(storedIndexes("Order Details").isEmpty());
  }

  void createIndexDialog() {
    show("testv2000.mdb", "Table1");
    QVERIFY(choose(combo("indexList"), "B"));
    const bool seen = withDialog<kevra::schema::CreateIndexDialog>(
        [this] { press("addIndexButton"); },
        [&](QDialog& d) {
          QCOMPARE(d.windowTitle(), QStringLiteral("Create Index"));
          auto* name = part<QLineEdit>(d, "nameBox");
          auto* fields = part<QListWidget>(d, "fieldList");
          QCOMPARE(name->text(), QStringLiteral("INDEX_NAME"));
          QCOMPARE(itemTexts(fields), StoredFile(path).fields("Table1"));
          QVERIFY(checkedTexts(fields).isEmpty());
          QVERIFY(!part<QCheckBox>(d, "uniqueCheck")->isChecked());
          part<QPushButton>(d, "createButton")->click();  // no field: refused, still open
          QCOMPARE(messages().size(), 1);
          QVERIFY(d.isVisible());
          name->setText("IxPair");
          fields->item(3)->setCheckState(Qt::Checked);  // D, then C: list order counts
          fields->item(2)->setCheckState(Qt::Checked);
          part<QCheckBox>(d, "uniqueCheck")->setChecked(true);
          part<QPushButton>(d, "createButton")->click();
          QVERIFY(!d.isVisible());
        });
    QVERIFY(seen);
    QCOMPARE(sent(*window), (QStringList{"create index INDEX_NAME on [Table1]()",
                                         "create  UNIQUE index IxPair on [Table1]([C],[D])"}));
    QVERIFY(storedIndexes("Table1").contains("IxPair(C,D) unique"));
    QCOMPARE(itemTexts(combo("indexList")).last(), QStringLiteral("IxPair"));
    QCOMPARE(combo("indexList")->currentIndex(), -1);
    QVERIFY(list("indexFieldList")->isHidden());
    QVERIFY(withDialog<kevra::schema::CreateIndexDialog>(
        [this] { press("addIndexButton"); },
        [](QDialog& d) {
          part<QLineEdit>(d, "nameBox")->setText("IxE");
          part<QListWidget>(d, "fieldList")->item(4)->setCheckState(Qt::Checked);
          part<QPushButton>(d, "createButton")->click();
        }));
    QCOMPARE(sent(*window).last(), QStringLiteral("create index IxE on [Table1]([E])"));
  }

  void deleteIndexAsksFirst() {
    show("indextestv2000.mdb", "Table1");
    press("deleteIndexButton");  // none chosen: nothing asked
    QVERIFY((*dialogs)->messages.isEmpty());
    QVERIFY(choose(combo("indexList"), "PrimaryKey"));
    (*dialogs)->messageAnswer = QMessageBox::No;
    press("deleteIndexButton");
    QCOMPARE(messages(), QStringList{"Selected index will be deleted !\r\n\r\nYou will not be able to undo this."
                                     "\r\n\r\nAre you sure ? "});
    QVERIFY(storedIndexes("Table1").contains("PrimaryKey(id) primary"));
    (*dialogs)->messageAnswer = QMessageBox::Yes;
    press("deleteIndexButton");  // the table's key goes with it
    QVERIFY(!storedIndexes("Table1").contains("PrimaryKey(id) primary"));
    QCOMPARE(itemTexts(combo("indexList")), (QStringList{"id", "Table2Table1", "Table3Table1"}));
    QCOMPARE(combo("indexList")->currentIndex(), -1);
    QVERIFY(list("indexFieldList")->isHidden());
    // A relationship's index is refused; list and file keep it.
    QVERIFY(choose(combo("indexList"), "Table2Table1"));
    press("deleteIndexButton");
    QCOMPARE((*dialogs)->messages.last().icon, QMessageBox::Critical);
    QVERIFY(storedIndexes("Table1").contains("Table2Table1(otherfk1)"));
    QCOMPARE(combo("indexList")->currentText(), QStringLiteral("Table2Table1"));
  }

  void onlyBoxesACommandReadsTakeInput() {
    show("indextestv2000.mdb", "Table1");
    QVERIFY(choose(combo("indexList"), "PrimaryKey"));
    for (int row = 0; row < list("indexFieldList")->count(); ++row)
      QVERIFY(!(list("indexFieldList")->item(row)->flags() & Qt::ItemIsUserCheckable));
    QTest::mouseClick(check("uniqueCheck"), Qt::LeftButton);
    QVERIFY(check("uniqueCheck")->isChecked());
    QVERIFY(list("keyFieldList")->item(0)->flags() & Qt::ItemIsUserCheckable);
  }
};

QTEST_MAIN(KeyAndIndexCommandsTest)
#include "test_key_and_index_commands.moc"
