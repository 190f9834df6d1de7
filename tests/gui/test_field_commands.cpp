// Apply Changes, Add Field and Delete field, driven through the real window
// on scratch copies: the statements sent, the file afterwards, the lists.
#include <QtTest>

#include "browse/records_model.h"
#include "browse/records_page.h"
#include "schema/add_field_dialog.h"
#include "schema_probe.h"

class FieldCommandsTest : public StructureWindowTest {
  Q_OBJECT
  void chooseField(const char* name) { QVERIFY2(choose(combo("fieldList"), name), name); }

 private slots:
  void init() { start(); }
  void cleanup() { stop(); }

  void renameAndDefaultGoThroughTheCatalogAlone() {
    show("testv2000.mdb", "Table1");
    chooseField("C");
    press("applyChangesButton");  // nothing edited: nothing sent
    edit("fieldNameBox")->setText("Count");
    edit("defaultValueBox")->setText("7");
    press("applyChangesButton");
    QVERIFY2(messages().isEmpty(), qPrintable(messages().join('\n')));
    QVERIFY(sent(*window).isEmpty());
    QCOMPARE(StoredFile(path).field("Table1", "Count"), QStringLiteral("17 1 NULL 7"));
    QVERIFY(!StoredFile(path).fields("Table1").contains("C"));
    // The lists name the field anew, still chosen; the snapshot follows.
    QCOMPARE(combo("fieldList")->currentText(), QStringLiteral("Count"));
    QCOMPARE(itemTexts(list("keyFieldList")).value(2), QStringLiteral("Count"));
    QCOMPARE(itemTexts(list("indexFieldList")).value(2), QStringLiteral("Count"));
    QCOMPARE(window->session().fieldSnapshot()[0], std::string("Count"));
    // Letter case alone is a rename; an emptied default removes it.
    edit("fieldNameBox")->setText("count");
    edit("defaultValueBox")->clear();
    press("applyChangesButton");
    QCOMPARE(StoredFile(path).field("Table1", "count"), QStringLiteral("17 1 NULL "));
    QVERIFY(sent(*window).isEmpty());
  }

  void otherChangesRestateTheWholeColumn() {
    show("testv2000.mdb", "Table1");
    chooseField("B");
    edit("fieldLengthBox")->setText("80");
    press("applyChangesButton");
    press("applyChangesButton");  // the snapshot still holds 100: sent again
    const QString statement = "ALTER TABLE [Table1] ALTER COLUMN  [B] text(80) NULL ";
    QCOMPARE(sent(*window), (QStringList{statement, statement}));
    QCOMPARE(StoredFile(path).field("Table1", "B"), QStringLiteral("202 80 NULL "));
    QVERIFY(window->recordsPage()->dataset().Active());
    // No length: the type word alone; required: NOT NULL.
    edit("fieldLengthBox")->clear();
    check("nullableCheck")->setChecked(false);
    press("applyChangesButton");
    QCOMPARE(sent(*window).last(), QStringLiteral("ALTER TABLE [Table1] ALTER COLUMN  [B] text NOT NULL "));
    QCOMPARE(StoredFile(path).field("Table1", "B"), QStringLiteral("202 255 NOT NULL "));
    QVERIFY(messages().isEmpty());
  }

  void relationsAreSetDroppedAndRestated() {
    show("indextestv2000.mdb", "Table1");
    chooseField("otherfk3");  // none yet: one is added, nothing dropped
    QVERIFY(choose(combo("relatedFieldList"), "Table2->id"));
    press("applyChangesButton");
    chooseField("otherfk1");  // one to Table2: dropped
    QVERIFY(choose(combo("relatedFieldList"), ""));
    press("applyChangesButton");
    chooseField("otherfk2");  // only nullability changes: dropped and restated
    check("nullableCheck")->setChecked(false);
    press("applyChangesButton");
    QVERIFY2(messages().isEmpty(), qPrintable(messages().join('\n')));
    QCOMPARE(sent(*window),
             (QStringList{"ALTER TABLE [Table1] ALTER COLUMN  [otherfk3] long NULL  REFERENCES [Table2]([id]) ",
                          "ALTER TABLE [Table1] ALTER COLUMN  [otherfk1] long NULL ",
                          "ALTER TABLE [Table1] ALTER COLUMN  [otherfk2] long NOT NULL  REFERENCES [Table3]([id]) "}));
    QStringList relations = StoredFile(path).relations("Table1");
    for (QString& r : relations) r = r.mid(r.indexOf('('));  // names are the engine's
    relations.sort();
    QCOMPARE(relations, (QStringList{"(otherfk2)->Table3(id)", "(otherfk3)->Table2(id)"}));
  }

  void onlyForeignKeysAreDroppedAndARefusalPutsThemBack() {
    // otherfk1 starts the primary key, a unique index and the relation to Table2.
    show("indextestv2000.mdb", "Table1",
         {"alter table [Table1] drop constraint PrimaryKey",
          "alter table [Table1] add constraint PrimaryKey primary key ([otherfk1],[id])",
          "create unique index Pair on [Table1]([otherfk1],[data])"});
    chooseField("otherfk1");
    edit("fieldNameBox")->setText("parent");  // renamed in the same press
    check("nullableCheck")->setChecked(false);
    press("applyChangesButton");
    QVERIFY2(messages().isEmpty(), qPrintable(messages().join('\n')));
    QCOMPARE(sent(*window).last(),
             QStringLiteral("ALTER TABLE [Table1] ALTER COLUMN  [parent] long NOT NULL  REFERENCES [Table2]([id]) "));
    const QStringList indexes = StoredFile(path).indexes("Table1");
    QVERIFY(indexes.contains("PrimaryKey(parent,id) primary"));
    QVERIFY(indexes.contains("Pair(parent,data) unique"));
    QCOMPARE(StoredFile(path).relations("Table1").filter("(parent)->Table2(id)").size(), 1);

    // A text field cannot refer to Table2's number: refused, relation kept.
    chooseField("parent");
    const QStringList before = StoredFile(path).relations("Table1");
    QVERIFY(choose(combo("fieldTypeBox"), "TEXT"));
    press("applyChangesButton");
    QCOMPARE(messages().size(), 1);
    QCOMPARE((*dialogs)->messages[0].title, QStringLiteral("Kevra"));
    QCOMPARE(StoredFile(path).relations("Table1"), before);
    QCOMPARE(StoredFile(path).field("Table1", "parent"), QStringLiteral("3 4 NOT NULL 0"));
  }

  void addFieldDialogAddsAColumn() {
    show("testv2000.mdb", "Table1");
    chooseField("A");
    const int columns = window->recordsPage()->model()->columnCount();
    const bool seen =
        withDialog<kevra::schema::AddFieldDialog>([this] { press("addFieldButton"); },
                                                  [&](QDialog& d) {
                                                    QCOMPARE(d.windowTitle(), QStringLiteral("Add Field"));
                                                    auto* type = part<QComboBox>(d, "typeBox");
                                                    auto* length = part<QLineEdit>(d, "lengthBox");
                                                    QCOMPARE(type->currentIndex(), -1);
                                                    QCOMPARE(type->count(), 13);
                                                    QVERIFY(!length->isEnabled());  // no type yet: no length to type
                                                    QVERIFY(!part<QCheckBox>(d, "nullableCheck")->isChecked());
                                                    // With no type the engine refuses "unknown"; the dialog stays open.
                                                    part<QLineEdit>(d, "nameBox")->setText("Note");
                                                    part<QPushButton>(d, "addButton")->click();
                                                    QCOMPARE(messages().size(), 1);
                                                    QVERIFY(d.isVisible());
                                                    QVERIFY(choose(type, "MEMO"));
                                                    QVERIFY(!length->isEnabled());
                                                    QVERIFY(choose(type, "TEXT"));
                                                    QCOMPARE(length->text(), QStringLiteral("50"));
                                                    length->setText("80");
                                                    part<QCheckBox>(d, "nullableCheck")->setChecked(true);
                                                    part<QPushButton>(d, "addButton")->click();
                                                    QVERIFY(!d.isVisible());
                                                  });
    QVERIFY(seen);
    QCOMPARE(sent(*window), (QStringList{"alter table [Table1] add column [Note] unknown NOT NULL ",
                                         "alter table [Table1] add column [Note] text(80) NULL "}));
    QCOMPARE(StoredFile(path).field("Table1", "Note"), QStringLiteral("202 80 NULL "));
    QCOMPARE(window->recordsPage()->model()->columnCount(), columns + 1);
    QCOMPARE(itemTexts(combo("fieldList")).last(), QStringLiteral("Note"));
    QCOMPARE(combo("fieldList")->currentIndex(), -1);
    QCOMPARE(itemTexts(list("keyFieldList")).last(), QStringLiteral("Note"));
    for (const char* name : {"fieldNameBox", "defaultValueBox", "applyChangesButton", "relatedFieldList"})
      QVERIFY2(control<QWidget>(*window, name)->isHidden(), name);
  }

  void tableNamesWithBlanksAreBracketed() {
    show("testv2000.mdb", "Table1", {"create table [Order Details] ([Id No] long)"});
    QVERIFY(clickTable(*window, "Order Details"));
    QVERIFY(withDialog<kevra::schema::AddFieldDialog>([this] { press("addFieldButton"); },
                                                      [](QDialog& d) {
                                                        part<QLineEdit>(d, "nameBox")->setText("Unit Price");
                                                        QVERIFY(choose(part<QComboBox>(d, "typeBox"), "CURRENCY"));
                                                        part<QPushButton>(d, "addButton")->click();
                                                      }));
    QVERIFY2(messages().isEmpty(), qPrintable(messages().join('\n')));
    QCOMPARE(sent(*window), QStringList{"alter table [Order Details] add column [Unit Price] Currency NOT NULL "});
    QCOMPARE(StoredFile(path).fields("Order Details"), (QStringList{"Id No", "Unit Price"}));
  }

  void deleteFieldAsksFirst() {
    show("indextestv2000.mdb", "Table1");
    press("deleteFieldButton");  // no field chosen: nothing asked
    QVERIFY((*dialogs)->messages.isEmpty());
    chooseField("data");
    (*dialogs)->messageAnswer = QMessageBox::No;
    press("deleteFieldButton");
    const kevra::ui::MessageRequest question = (*dialogs)->messages.value(0);
    QCOMPARE(question.title, QStringLiteral("Confirm"));
    QCOMPARE(question.icon, QMessageBox::Question);
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.defaultButton, QMessageBox::Yes);
    QCOMPARE(question.text, QStringLiteral("Selected field and all records in it will be deleted !\r\n\r\n"
                                           "You will not be able to undo this.\r\n\r\nAre you sure ? "));
    QVERIFY(StoredFile(path).fields("Table1").contains("data"));

    (*dialogs)->messageAnswer = QMessageBox::Yes;
    press("deleteFieldButton");
    QCOMPARE(StoredFile(path).fields("Table1"), (QStringList{"id", "otherfk1", "otherfk2", "otherfk3"}));
    QCOMPARE(itemTexts(combo("fieldList")), (QStringList{"id", "otherfk1", "otherfk2", "otherfk3"}));
    QCOMPARE(itemTexts(list("keyFieldList")), (QStringList{"id", "otherfk1", "otherfk2", "otherfk3"}));
    QCOMPARE(combo("fieldList")->currentIndex(), -1);
    QVERIFY(control<QWidget>(*window, "defaultValueBox")->isHidden());

    // A field in a relationship is refused: it stays, and so do the lists.
    chooseField("otherfk1");
    press("deleteFieldButton");
    QCOMPARE((*dialogs)->messages.size(), 4);  // two questions, then the refusal
    QCOMPARE((*dialogs)->messages.last().icon, QMessageBox::Critical);
    QVERIFY(StoredFile(path).fields("Table1").contains("otherfk1"));
    QCOMPARE(combo("fieldList")->currentText(), QStringLiteral("otherfk1"));
    QVERIFY(sent(*window).isEmpty());
  }

  void deleteFieldNamesTheIndexesThatGoWithIt() {
    show("testv2000.mdb", "Places",
         {"create table Places (Id long, City text(20), Zip text(10))",
          "create unique index IxCity on Places (City, Zip)", "create index ByZip on Places (Zip)",
          "insert into Places (Id, City, Zip) values (1, 'Ghent', '9000')"});
    chooseField("Zip");
    (*dialogs)->messageAnswer = QMessageBox::No;
    press("deleteFieldButton");
    QCOMPARE((*dialogs)->messages.size(), 1);
    QCOMPARE((*dialogs)->messages.last().text,
             QStringLiteral("Selected field, all records in it and the indexes 'ByZip', 'IxCity' that use it will be "
                            "deleted !\r\n\r\nYou will not be able to undo this.\r\n\r\nAre you sure ? "));
    QCOMPARE(StoredFile(path).fields("Places"), (QStringList{"Id", "City", "Zip"}));

    (*dialogs)->messageAnswer = QMessageBox::Yes;
    press("deleteFieldButton");
    QCOMPARE((*dialogs)->messages.size(), 2);  // the question alone, no refusal
    QCOMPARE(StoredFile(path).fields("Places"), (QStringList{"Id", "City"}));
    QVERIFY(StoredFile(path).indexes("Places").isEmpty());
    QCOMPARE(itemTexts(combo("fieldList")), (QStringList{"Id", "City"}));
    QVERIFY(itemTexts(combo("indexList")).isEmpty());
    QCOMPARE(combo("fieldList")->currentIndex(), -1);
    QVERIFY(sent(*window).isEmpty());
  }
};

QTEST_MAIN(FieldCommandsTest)
#include "test_field_commands.moc"
