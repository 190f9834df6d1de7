// The type vocabulary in both directions, including the codes and texts that
// fall outside it.
#include <QtTest>

#include "schema/type_vocabulary.h"

using kevra::schema::sqlTypeFor;
using kevra::schema::typeName;

class TypeVocabularyTest : public QObject {
  Q_OBJECT
 private slots:
  void codeToDisplayName_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    const QList<QPair<int, QString>> known = {
        {2, "SMALL INT"}, {3, "LONG INT"}, {17, "BYTE"},       {4, "SINGLE"},    {5, "DOUBLE"},
        {6, "CURRENCY"},  {11, "YES/NO"},  {72, "GUID"},       {7, "DATE/TIME"}, {202, "TEXT"},
        {203, "MEMO"},    {205, "OLE OBJECT"}, {131, "NUMBER"},
        // Read, never offered.
        {20, "LARGE NUMBER"}, {135, "DATE/TIME EXTENDED"}, {128, "BINARY"}, {204, "BINARY"}, {130, "TEXT"}};
    for (const auto& [code, name] : known) QTest::addRow("%d", code) << code << name;
    // Neighbours of known codes, gaps between them and the edges.
    for (int code : {0, 1, 8, 9, 10, 12, 14, 16, 19, 21, 71, 73, 127, 129, 132, 134, 136, 200, 201, 206, 1000, -1,
                     std::numeric_limits<int>::min()})
      QTest::addRow("unknown %d", code) << code << QStringLiteral("UNKNOWN");
  }
  void codeToDisplayName() {
    QFETCH(int, code);
    QFETCH(QString, name);
    QCOMPARE(typeName(code), name);
  }

  void displayNameToSqlWord_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("word");
    QTest::newRow("SMALL INT") << "SMALL INT" << "Short";
    QTest::newRow("LONG INT") << "LONG INT" << "long";
    QTest::newRow("AUTONUMBER") << "AUTONUMBER" << "counter";
    QTest::newRow("BYTE") << "BYTE" << "byte";
    QTest::newRow("SINGLE") << "SINGLE" << "Single";
    QTest::newRow("DOUBLE") << "DOUBLE" << "Double";
    QTest::newRow("CURRENCY") << "CURRENCY" << "Currency";
    QTest::newRow("NUMBER") << "NUMBER" << "number";
    QTest::newRow("YES/NO") << "YES/NO" << "bit";
    QTest::newRow("GUID") << "GUID" << "GUID";
    QTest::newRow("DATE/TIME") << "DATE/TIME" << "DATETIME";
    QTest::newRow("TEXT") << "TEXT" << "text";
    QTest::newRow("MEMO") << "MEMO" << "MEMO";
    QTest::newRow("OLE OBJECT") << "OLE OBJECT" << "LONGBINARY";
    QTest::newRow("lower case") << "text" << "unknown";
    QTest::newRow("empty") << "" << "unknown";
    QTest::newRow("UNKNOWN") << "UNKNOWN" << "unknown";
    QTest::newRow("trailing blank") << "TEXT " << "unknown";
  }
  void displayNameToSqlWord() {
    QFETCH(QString, name);
    QFETCH(QString, word);
    QCOMPARE(sqlTypeFor(name), word);
  }

  void offeredListIsThirteenNamesWithoutNumber() {
    const QStringList names = kevra::schema::offeredTypeNames();
    QCOMPARE(names.size(), 13);
    QCOMPARE(names.first(), QStringLiteral("SMALL INT"));
    QCOMPARE(names[2], QStringLiteral("AUTONUMBER"));
    QCOMPARE(names.last(), QStringLiteral("OLE OBJECT"));
    QVERIFY(!names.contains(QStringLiteral("NUMBER")));
    // Every offered name converts to a real SQL word.
    for (const QString& name : names) {
      QVERIFY2(sqlTypeFor(name) != QStringLiteral("unknown"), qPrintable(name));
    }
  }
};

QTEST_APPLESS_MAIN(TypeVocabularyTest)
#include "test_type_vocabulary.moc"
