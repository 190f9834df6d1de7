// The field inspector (showing a field, the snapshot, the length rule) and
// the index inspector, on sample tables with known columns and indexes.
#include <QCheckBox>
#include <QLineEdit>
#include <QtTest>

#include "window_probe.h"

class InspectorsTest : public QObject {
  Q_OBJECT
  std::unique_ptr<Form1> window;
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;

  void showTable(const char* sample, const char* table) {
    openWith(*window, **dialogs, samplePath(sample));
    auto* tree = control<QTreeWidget>(*window, "TreeView1");
    // System tables are not listed, but a node naming one reaches it by name.
    if (tree->findItems(table, Qt::MatchExactly).isEmpty())
      tree->insertTopLevelItem(0, new QTreeWidgetItem(QStringList{table}));
    QVERIFY(clickTable(*window, table));
    QVERIFY2((*dialogs)->messages.isEmpty(), qPrintable((*dialogs)->messages.value(0).text));
  }
  void showField(const char* field) { QVERIFY2(choose(combo("ComboBox1"), field), field); }
  QComboBox* combo(const char* name) { return control<QComboBox>(*window, name); }
  QLineEdit* edit(const char* name) { return control<QLineEdit>(*window, name); }
  QCheckBox* check(const char* name) { return control<QCheckBox>(*window, name); }
  QListWidget* list(const char* name) { return control<QListWidget>(*window, name); }
  QStringList snapshot() const {
    QStringList texts;
    for (const std::string& text : window->context().fieldSnapshot) texts << QString::fromStdString(text);
    return texts;
  }

 private slots:
  void init() {
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<Form1>();
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
    QCOMPARE(edit("Edit1")->text(), QStringLiteral("ID"));
    QCOMPARE(combo("ComboBox2")->currentText(), QStringLiteral("AUTONUMBER"));
    QCOMPARE(combo("ComboBox2")->count(), 13);
    QVERIFY(edit("Edit2")->text().isEmpty());
    QVERIFY(!edit("Edit2")->isEnabled());
    // Only the first column of the primary key: no related field chosen.
    QCOMPARE(combo("ComboBox4")->currentText(), QString());
    QCOMPARE(snapshot(), (QStringList{"ID", "AUTONUMBER", "", "-1", "", ""}));
    for (const char* name : {"Label1", "Edit1", "Label2", "ComboBox2", "Label7", "Edit3", "Label3", "Edit2", "Label4",
                             "CheckBox1", "Label8", "ComboBox4", "Button4"})
      QVERIFY2(!control<QWidget>(*window, name)->isHidden(), name);
  }

  void textFieldShowsLengthDefaultAndNullability() {
    showTable("accesslike.mdb", "t_like2");
    showField("Campo1");
    QCOMPARE(combo("ComboBox2")->currentText(), QStringLiteral("TEXT"));
    QCOMPARE(edit("Edit2")->text(), QStringLiteral("50"));
    QVERIFY(edit("Edit2")->isEnabled());
    QVERIFY(check("CheckBox1")->isChecked());
    QCOMPARE(edit("Edit3")->text(), QStringLiteral("\"campo1\""));
    QCOMPARE(combo("ComboBox4")->currentIndex(), 0);  // the empty entry
    QCOMPARE(snapshot(), (QStringList{"Campo1", "TEXT", "50", "-1", "\"campo1\"", ""}));

    // A required field, shown after it: cleared check, "0", no default.
    showField("Campo2");
    QVERIFY(!check("CheckBox1")->isChecked());
    QCOMPARE(snapshot(), (QStringList{"Campo2", "TEXT", "50", "0", "", ""}));
  }

  void memoAndNumberFields() {
    showTable("fixednumerictestv2000.mdb", "test");
    showField("col2");
    QCOMPARE(combo("ComboBox2")->count(), 14);
    QCOMPARE(combo("ComboBox2")->itemText(13), QStringLiteral("NUMBER"));
    QCOMPARE(combo("ComboBox2")->currentText(), QStringLiteral("NUMBER"));
    QVERIFY(!edit("Edit2")->isEnabled());
    QCOMPARE(snapshot().value(1), QStringLiteral("NUMBER"));

    showField("col1");
    QCOMPARE(combo("ComboBox2")->count(), 13);
    QCOMPARE(combo("ComboBox2")->currentText(), QStringLiteral("MEMO"));
    QVERIFY(edit("Edit2")->text().isEmpty());
    QVERIFY(!edit("Edit2")->isEnabled());
    QCOMPARE(snapshot(), (QStringList{"col1", "MEMO", "", "-1", "", ""}));
  }

  void fieldOfUnknownTypeShowsNoType() {
    // MSysObjects.Owner is a binary column, outside the vocabulary.
    showTable("testv2000.mdb", "MSysObjects");
    showField("Owner");
    QCOMPARE(combo("ComboBox2")->currentIndex(), -1);
    QCOMPARE(combo("ComboBox2")->currentText(), QString());
    QCOMPARE(combo("ComboBox2")->count(), 13);
    QVERIFY(!edit("Edit2")->isEnabled());
    QCOMPARE(snapshot().value(0), QStringLiteral("Owner"));
    QCOMPARE(snapshot().value(1), QString());
  }

  void foreignKeyFieldShowsItsRelatedField() {
    showTable("indextestv2000.mdb", "Table1");
    showField("otherfk1");
    QCOMPARE(combo("ComboBox4")->currentText(), QStringLiteral("Table2->id"));
    QCOMPARE(snapshot().value(5), QStringLiteral("Table2->id"));
    showField("otherfk2");
    QCOMPARE(combo("ComboBox4")->currentText(), QStringLiteral("Table3->id"));
    showField("data");
    QCOMPARE(combo("ComboBox4")->currentIndex(), 0);
  }

  void lengthFollowsTheChosenType() {
    showTable("fixednumerictestv2000.mdb", "test");
    showField("col1");  // MEMO: empty, disabled
    QVERIFY(choose(combo("ComboBox2"), "TEXT"));
    QCOMPARE(edit("Edit2")->text(), QStringLiteral("50"));
    QVERIFY(edit("Edit2")->isEnabled());
    edit("Edit2")->setText("20");
    QVERIFY(choose(combo("ComboBox2"), "TEXT"));
    QCOMPARE(edit("Edit2")->text(), QStringLiteral("20"));
    QVERIFY(choose(combo("ComboBox2"), "MEMO"));
    QVERIFY(edit("Edit2")->text().isEmpty());
    QVERIFY(!edit("Edit2")->isEnabled());
    // The choices changed nothing recorded.
    QCOMPARE(snapshot().value(1), QStringLiteral("MEMO"));

    // A click in the length box applies the rule without the default.
    QVERIFY(choose(combo("ComboBox2"), "TEXT"));
    edit("Edit2")->clear();
    QTest::mouseClick(edit("Edit2"), Qt::LeftButton);
    QVERIFY(edit("Edit2")->isEnabled());
    QVERIFY(edit("Edit2")->text().isEmpty());
    combo("ComboBox2")->setCurrentIndex(combo("ComboBox2")->findText("LONG INT"));  // not a user choice
    edit("Edit2")->setText("12");
    QTest::mouseClick(edit("Edit2"), Qt::LeftButton);
    QVERIFY(!edit("Edit2")->isEnabled());
    QVERIFY(edit("Edit2")->text().isEmpty());
  }

  void fieldNamedByNoColumnFailsAndKeepsTheSnapshot() {
    showTable("accesslike.mdb", "t_like2");
    showField("Campo1");
    const QStringList before = snapshot();
    combo("ComboBox1")->addItem("Renamed");
    QVERIFY(choose(combo("ComboBox1"), "Renamed"));
    QCOMPARE((*dialogs)->messages.size(), 1);
    QCOMPARE((*dialogs)->messages[0].title, QStringLiteral("Kevra"));
    QCOMPARE(snapshot(), before);
    QCOMPARE(edit("Edit1")->text(), QStringLiteral("Campo1"));
  }

  void multiColumnPrimaryKeyIsCheckedOnEveryColumn() {
    // MSysQueries' primary key runs over ObjectId, Attribute and Order.
    showTable("testv2000.mdb", "MSysQueries");
    QCOMPARE(checkedTexts(list("Pklistbox")), (QStringList{"ObjectId", "Attribute", "Order"}));
    // A second click rebuilds the list with the same marks.
    QVERIFY(clickTable(*window, "MSysQueries"));
    QCOMPARE(checkedTexts(list("Pklistbox")), (QStringList{"ObjectId", "Attribute", "Order"}));
  }

  void relatedListKeepsDuplicatesAndMultiColumnUniqueIndexes() {
    showTable("catesri_test.mdb", "GDB_Topologies");
    const QStringList related = itemTexts(combo("ComboBox4"));
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
    QVERIFY(checkedTexts(list("Pklistbox")).isEmpty());
  }

  void indexInspectorChecksFieldsAndUniqueness() {
    showTable("testv2000.mdb", "MSysObjects");
    auto* fields = list("RxCheckListBox1");
    QVERIFY(choose(combo("ComboBox3"), "ParentIdName"));
    QCOMPARE(checkedTexts(fields), (QStringList{"ParentId", "Name"}));
    QVERIFY(check("CheckBox2")->isChecked());
    for (const char* name : {"Label5", "RxCheckListBox1", "Label6", "CheckBox2"})
      QVERIFY2(!control<QWidget>(*window, name)->isHidden(), name);
    // The next index clears the previous marks.
    QVERIFY(choose(combo("ComboBox3"), "Id"));
    QCOMPARE(checkedTexts(fields), QStringList{"Id"});
    QVERIFY(check("CheckBox2")->isChecked());
    QVERIFY((*dialogs)->messages.isEmpty());
  }

  void nonUniqueAndVanishedIndexes() {
    showTable("indextestv2000.mdb", "Table1");
    QVERIFY(choose(combo("ComboBox3"), "Table2Table1"));
    QCOMPARE(checkedTexts(list("RxCheckListBox1")), QStringList{"otherfk1"});
    QVERIFY(!check("CheckBox2")->isChecked());
    QVERIFY(choose(combo("ComboBox3"), "PrimaryKey"));
    QCOMPARE(checkedTexts(list("RxCheckListBox1")), QStringList{"id"});
    QVERIFY(check("CheckBox2")->isChecked());
    // An index that is gone: marks cleared, the error shown, details kept.
    combo("ComboBox3")->addItem("Dropped");
    QVERIFY(choose(combo("ComboBox3"), "Dropped"));
    QCOMPARE((*dialogs)->messages.size(), 1);
    QVERIFY(checkedTexts(list("RxCheckListBox1")).isEmpty());
    QVERIFY(!list("RxCheckListBox1")->isHidden());
  }
};

QTEST_MAIN(InspectorsTest)
#include "test_inspectors.moc"
