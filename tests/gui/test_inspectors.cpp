// The field inspector (showing a field, the snapshot, the length rule) and
// the index inspector, on sample tables with known columns and indexes.
#include <QCheckBox>
#include <QLineEdit>
#include <QtTest>

#include "window_probe.h"

class InspectorsTest : public QObject {
  Q_OBJECT
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;

  void showTable(const char* sample, const char* table) {
    openWith(*window, **dialogs, samplePath(sample));
    auto* tree = control<QTreeWidget>(*window, "tableTree");
    // System tables are not listed, but a node naming one reaches it by name.
    if (tree->findItems(table, Qt::MatchExactly).isEmpty())
      tree->insertTopLevelItem(0, new QTreeWidgetItem(QStringList{table}));
    QVERIFY(clickTable(*window, table));
    QVERIFY2((*dialogs)->messages.isEmpty(), qPrintable((*dialogs)->messages.value(0).text));
  }
  void showField(const char* field) { QVERIFY2(choose(combo("fieldList"), field), field); }
  QComboBox* combo(const char* name) { return control<QComboBox>(*window, name); }
  QLineEdit* edit(const char* name) { return control<QLineEdit>(*window, name); }
  QCheckBox* check(const char* name) { return control<QCheckBox>(*window, name); }
  QListWidget* list(const char* name) { return control<QListWidget>(*window, name); }
  QStringList snapshot() const {
    QStringList texts;
    for (const std::string& text : window->session().fieldSnapshot()) texts << QString::fromStdString(text);
    return texts;
  }

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

  void autonumberFieldShowsAutonumberWithoutLength() {
    showTable("accesslike.mdb", "t_like2");
    showField("ID");
    QCOMPARE(edit("fieldNameBox")->text(), QStringLiteral("ID"));
    QCOMPARE(combo("fieldTypeBox")->currentText(), QStringLiteral("AUTONUMBER"));
    QCOMPARE(combo("fieldTypeBox")->count(), 13);
    QVERIFY(edit("fieldLengthBox")->text().isEmpty());
    QVERIFY(!edit("fieldLengthBox")->isEnabled());
    // Only the first column of the primary key: no related field chosen.
    QCOMPARE(combo("relatedFieldList")->currentText(), QString());
    QCOMPARE(snapshot(), (QStringList{"ID", "AUTONUMBER", "", "-1", "", ""}));
    for (const char* name : {"fieldNameLabel", "fieldNameBox", "fieldTypeLabel", "fieldTypeBox", "defaultValueLabel", "defaultValueBox", "fieldLengthLabel", "fieldLengthBox", "nullableLabel",
                             "nullableCheck", "relatedFieldLabel", "relatedFieldList", "applyChangesButton"})
      QVERIFY2(!control<QWidget>(*window, name)->isHidden(), name);
    QVERIFY(control<QWidget>(*window, "applyChangesButton")->isEnabled());
  }

  void everyTypeTheEngineReadsIsNamed() {
    showTable("stretch-complexdatatestv2007.accdb", "Table1");
    showField("attach-data");
    QCOMPARE(combo("fieldTypeBox")->currentText(), QStringLiteral("ATTACHMENT"));
    showField("multi-value-data");
    QCOMPARE(combo("fieldTypeBox")->currentText(), QStringLiteral("MULTIPLE VALUES"));
    showField("memo-data");
    QCOMPARE(combo("fieldTypeBox")->currentText(), QStringLiteral("MEMO"));
    action(*window, "closeAction")->trigger();
    showTable("formats/v2016-bigint.accdb", "Table");
    showField("Numeric");
    QCOMPARE(combo("fieldTypeBox")->currentText(), QStringLiteral("LARGE NUMBER"));
    QCOMPARE(combo("fieldTypeBox")->count(), 14);  // shown, not offered to other fields
    action(*window, "closeAction")->trigger();
    showTable("formats/v2019-extdatetestv2019.accdb", "Table1");
    showField("DateExt");
    QCOMPARE(combo("fieldTypeBox")->currentText(), QStringLiteral("DATE/TIME EXTENDED"));
  }

  void textFieldShowsLengthDefaultAndNullability() {
    showTable("accesslike.mdb", "t_like2");
    showField("Campo1");
    QCOMPARE(combo("fieldTypeBox")->currentText(), QStringLiteral("TEXT"));
    QCOMPARE(edit("fieldLengthBox")->text(), QStringLiteral("50"));
    QVERIFY(edit("fieldLengthBox")->isEnabled());
    QVERIFY(check("nullableCheck")->isChecked());
    QCOMPARE(edit("defaultValueBox")->text(), QStringLiteral("\"campo1\""));
    QCOMPARE(combo("relatedFieldList")->currentIndex(), 0);  // the empty entry
    QCOMPARE(snapshot(), (QStringList{"Campo1", "TEXT", "50", "-1", "\"campo1\"", ""}));

    // A required field, shown after it: cleared check, "0", no default.
    showField("Campo2");
    QVERIFY(!check("nullableCheck")->isChecked());
    QCOMPARE(snapshot(), (QStringList{"Campo2", "TEXT", "50", "0", "", ""}));
  }

  void memoAndNumberFields() {
    showTable("fixednumerictestv2000.mdb", "test");
    showField("col2");
    QCOMPARE(combo("fieldTypeBox")->count(), 14);
    QCOMPARE(combo("fieldTypeBox")->itemText(13), QStringLiteral("NUMBER"));
    QCOMPARE(combo("fieldTypeBox")->currentText(), QStringLiteral("NUMBER"));
    QVERIFY(!edit("fieldLengthBox")->isEnabled());
    QCOMPARE(snapshot().value(1), QStringLiteral("NUMBER"));

    showField("col1");
    QCOMPARE(combo("fieldTypeBox")->count(), 13);
    QCOMPARE(combo("fieldTypeBox")->currentText(), QStringLiteral("MEMO"));
    QVERIFY(edit("fieldLengthBox")->text().isEmpty());
    QVERIFY(!edit("fieldLengthBox")->isEnabled());
    QCOMPARE(snapshot(), (QStringList{"col1", "MEMO", "", "-1", "", ""}));
  }

  void binaryFieldIsNamedNotOffered() {
    // MSysObjects.Owner is a binary column: named, offered to no other field.
    showTable("testv2000.mdb", "MSysObjects");
    showField("Owner");
    QCOMPARE(combo("fieldTypeBox")->currentText(), QStringLiteral("BINARY"));
    QCOMPARE(combo("fieldTypeBox")->count(), 14);
    QVERIFY(!edit("fieldLengthBox")->isEnabled());
    QCOMPARE(snapshot().value(0), QStringLiteral("Owner"));
    QCOMPARE(snapshot().value(1), QStringLiteral("BINARY"));
    showField("Name");
    QCOMPARE(combo("fieldTypeBox")->count(), 13);
  }

  void foreignKeyFieldShowsItsRelatedField() {
    showTable("indextestv2000.mdb", "Table1");
    showField("otherfk1");
    QCOMPARE(combo("relatedFieldList")->currentText(), QStringLiteral("Table2->id"));
    QCOMPARE(snapshot().value(5), QStringLiteral("Table2->id"));
    showField("otherfk2");
    QCOMPARE(combo("relatedFieldList")->currentText(), QStringLiteral("Table3->id"));
    showField("data");
    QCOMPARE(combo("relatedFieldList")->currentIndex(), 0);
  }

  void lengthFollowsTheChosenType() {
    showTable("fixednumerictestv2000.mdb", "test");
    showField("col1");  // MEMO: empty, disabled
    QVERIFY(choose(combo("fieldTypeBox"), "TEXT"));
    QCOMPARE(edit("fieldLengthBox")->text(), QStringLiteral("50"));
    QVERIFY(edit("fieldLengthBox")->isEnabled());
    edit("fieldLengthBox")->setText("20");
    QVERIFY(choose(combo("fieldTypeBox"), "TEXT"));
    QCOMPARE(edit("fieldLengthBox")->text(), QStringLiteral("20"));
    QVERIFY(choose(combo("fieldTypeBox"), "MEMO"));
    QVERIFY(edit("fieldLengthBox")->text().isEmpty());
    QVERIFY(!edit("fieldLengthBox")->isEnabled());
    // The choices changed nothing recorded.
    QCOMPARE(snapshot().value(1), QStringLiteral("MEMO"));

    // A click in the length box applies the rule without the default.
    QVERIFY(choose(combo("fieldTypeBox"), "TEXT"));
    edit("fieldLengthBox")->clear();
    QTest::mouseClick(edit("fieldLengthBox"), Qt::LeftButton);
    QVERIFY(edit("fieldLengthBox")->isEnabled());
    QVERIFY(edit("fieldLengthBox")->text().isEmpty());
    combo("fieldTypeBox")->setCurrentIndex(combo("fieldTypeBox")->findText("LONG INT"));  // not a user choice
    edit("fieldLengthBox")->setText("12");
    QTest::mouseClick(edit("fieldLengthBox"), Qt::LeftButton);
    QVERIFY(!edit("fieldLengthBox")->isEnabled());
    QVERIFY(edit("fieldLengthBox")->text().isEmpty());
  }

  void fieldNamedByNoColumnFailsAndKeepsTheSnapshot() {
    showTable("accesslike.mdb", "t_like2");
    showField("Campo1");
    const QStringList before = snapshot();
    combo("fieldList")->addItem("Renamed");
    QVERIFY(choose(combo("fieldList"), "Renamed"));
    QCOMPARE((*dialogs)->messages.size(), 1);
    QCOMPARE((*dialogs)->messages[0].title, QStringLiteral("Kevra"));
    QCOMPARE(snapshot(), before);
    QCOMPARE(edit("fieldNameBox")->text(), QStringLiteral("Campo1"));
  }

  void multiColumnPrimaryKeyIsCheckedOnEveryColumn() {
    // MSysQueries' primary key runs over ObjectId, Attribute and Order.
    showTable("testv2000.mdb", "MSysQueries");
    QCOMPARE(checkedTexts(list("keyFieldList")), (QStringList{"ObjectId", "Attribute", "Order"}));
    // A second click rebuilds the list with the same marks.
    QVERIFY(clickTable(*window, "MSysQueries"));
    QCOMPARE(checkedTexts(list("keyFieldList")), (QStringList{"ObjectId", "Attribute", "Order"}));
  }

  void relatedListKeepsDuplicatesAndMultiColumnUniqueIndexes() {
    showTable("catesri_test.mdb", "GDB_Topologies");
    const QStringList related = itemTexts(combo("relatedFieldList"));
    QCOMPARE(related.first(), QString());
    // ID is in two unique indexes of GDB_Topologies and of GDB_ReplicaLog.
    QCOMPARE(related.count("GDB_Topologies->ID"), 2);
    QCOMPARE(related.count("GDB_ReplicaLog->ID"), 2);
    // A three-column unique index gives its columns in index order.
    const int name = related.indexOf("GDB_FeatureDataset->Name");
    QVERIFY(name > 0);
    QCOMPARE(related.mid(name, 3), (QStringList{"GDB_FeatureDataset->Name", "GDB_FeatureDataset->Owner",
                                                "GDB_FeatureDataset->DatabaseName"}));
    // A non-unique index gives nothing.
    QVERIFY(!related.contains("GDB_FeatureDataset->SRID"));
    QVERIFY(!related.contains("GDB_Topologies->DatasetID"));
    // No primary keys in this file.
    QVERIFY(checkedTexts(list("keyFieldList")).isEmpty());
  }

  void indexInspectorChecksFieldsAndUniqueness() {
    showTable("testv2000.mdb", "MSysObjects");
    auto* fields = list("indexFieldList");
    QVERIFY(choose(combo("indexList"), "ParentIdName"));
    QCOMPARE(checkedTexts(fields), (QStringList{"ParentId", "Name"}));
    QVERIFY(check("uniqueCheck")->isChecked());
    for (const char* name : {"indexFieldsLabel", "indexFieldList", "uniqueLabel", "uniqueCheck"})
      QVERIFY2(!control<QWidget>(*window, name)->isHidden(), name);
    // The next index clears the previous marks.
    QVERIFY(choose(combo("indexList"), "Id"));
    QCOMPARE(checkedTexts(fields), QStringList{"Id"});
    QVERIFY(check("uniqueCheck")->isChecked());
    QVERIFY((*dialogs)->messages.isEmpty());
  }

  void nonUniqueAndVanishedIndexes() {
    showTable("indextestv2000.mdb", "Table1");
    QVERIFY(choose(combo("indexList"), "Table2Table1"));
    QCOMPARE(checkedTexts(list("indexFieldList")), QStringList{"otherfk1"});
    QVERIFY(!check("uniqueCheck")->isChecked());
    QVERIFY(choose(combo("indexList"), "PrimaryKey"));
    QCOMPARE(checkedTexts(list("indexFieldList")), QStringList{"id"});
    QVERIFY(check("uniqueCheck")->isChecked());
    // An index that is gone: marks cleared, the error shown, details kept.
    combo("indexList")->addItem("Dropped");
    QVERIFY(choose(combo("indexList"), "Dropped"));
    QCOMPARE((*dialogs)->messages.size(), 1);
    QVERIFY(checkedTexts(list("indexFieldList")).isEmpty());
    QVERIFY(!list("indexFieldList")->isHidden());
  }
};

QTEST_MAIN(InspectorsTest)
#include "test_inspectors.moc"
