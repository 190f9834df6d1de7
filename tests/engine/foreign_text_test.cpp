// The text driver: the generated and real-world samples read with the right
// fields, types and values; Schema.ini; encodings; export and read-back.
#include <gtest/gtest.h>

#include "engine/isam/foreign_values.h"
#include "engine/isam/text_driver.h"
#include "foreign_test_support.h"

namespace kevra::test {
namespace {

std::string textFolder() { return foreignSample("text"); }
std::string realTextFolder() { return sample("foreign/text"); }

DateTime date(int y, int m, int d, int h = 0, int mi = 0, int s = 0) { return fromCivil({y, m, d, h, mi, s, 0}); }

TEST(TextImport, ProductsGuessTypesFromEveryRow) {
  auto driver = makeTextDriver();
  ForeignTable t = readWhole(*driver, textFolder(), "products#csv");
  ASSERT_EQ(t.columns.size(), 7u);
  EXPECT_EQ(t.columns[0].name, "ID");
  EXPECT_EQ(t.columns[0].type, ColumnType::Long);
  EXPECT_EQ(t.columns[1].type, ColumnType::Text);
  EXPECT_EQ(t.columns[2].type, ColumnType::Double);
  EXPECT_EQ(t.columns[4].type, ColumnType::DateTime);
  EXPECT_EQ(t.columns[6].type, ColumnType::Memo);  // a 311-character note
  ASSERT_EQ(t.rows.size(), 5u);
  EXPECT_EQ(t.at(0, "Name"), Value(std::string("Widget")));
  EXPECT_EQ(t.at(1, "Name"), Value(std::string("Gadget, large")));
  EXPECT_EQ(t.at(2, "Name"), Value(std::string("Ünïcödé – café ✓")));
  EXPECT_EQ(t.at(2, "Price"), Value(0.1));
  EXPECT_EQ(t.at(2, "Qty"), Value(int32_t(-5)));
  EXPECT_EQ(t.at(4, "Added"), Value(date(2000, 2, 29)));
  EXPECT_TRUE(isNull(t.at(3, "Added")));
  EXPECT_EQ(std::get<std::string>(t.at(4, "Notes")).size(), 311u);
  EXPECT_EQ(t.at(1, "Notes"), Value(std::string("has \"quotes\" and, comma")));
}

TEST(TextImport, OrdersCurrencyDateTimesAndMixedColumn) {
  auto driver = makeTextDriver();
  ForeignTable t = readWhole(*driver, textFolder(), "orders#csv");
  ASSERT_EQ(t.rows.size(), 4u);
  EXPECT_EQ(t.columns[t.column("Total")].type, ColumnType::Currency);
  EXPECT_EQ(t.at(2, "Total"), Value(Currency{15000000}));
  EXPECT_EQ(t.at(3, "Total"), Value(Currency{-123400}));
  EXPECT_EQ(t.at(1, "OrderDate"), Value(date(2024, 3, 2, 17, 5, 30)));
  EXPECT_EQ(t.columns[t.column("Mixed")].type, ColumnType::Text);
  EXPECT_EQ(t.at(1, "Mixed"), Value(std::string("n/a")));
  EXPECT_EQ(t.at(1, "Customer"), Value(std::string("Bob")));
  EXPECT_TRUE(isNull(t.at(3, "Customer")));
}

TEST(TextImport, TrickyQuotingLineBreaksAndSpaces) {
  auto driver = makeTextDriver();
  ForeignTable t = readWhole(*driver, textFolder(), "tricky#csv");
  ASSERT_EQ(t.columns.size(), 6u);
  ASSERT_EQ(t.rows.size(), 5u);
  EXPECT_EQ(t.columns[t.column("Amount")].type, ColumnType::Double);
  EXPECT_EQ(t.at(3, "Amount"), Value(1234.56));
  EXPECT_EQ(t.at(4, "Amount"), Value(7.0));
  EXPECT_EQ(t.columns[t.column("When")].type, ColumnType::Text);  // three date styles
  EXPECT_EQ(t.at(1, "Name"), Value(std::string("Comma, inside")));
  EXPECT_EQ(t.at(1, "Note"), Value(std::string("He said \"hi\"")));
  EXPECT_EQ(t.at(2, "Note"), Value(std::string("line one\nline two")));
  EXPECT_TRUE(isNull(t.at(2, "Name")));
  EXPECT_EQ(t.at(4, "Name"), Value(std::string("  padded  ")));
}

TEST(TextImport, SchemaIniDecidesLayoutCharacterSetAndTypes) {
  auto driver = makeTextDriver();
  ForeignTable t = readWhole(*driver, textFolder(), "latin1_semicolon#txt");
  ASSERT_EQ(t.columns.size(), 5u);
  EXPECT_EQ(t.columns[0].type, ColumnType::Text);
  EXPECT_EQ(t.columns[0].length, 20);
  EXPECT_EQ(t.columns[2].type, ColumnType::Integer);
  EXPECT_EQ(t.columns[3].type, ColumnType::Currency);
  ASSERT_EQ(t.rows.size(), 4u);
  EXPECT_EQ(t.at(1, "Descr"), Value(std::string("Gadget; large")));
  EXPECT_EQ(t.at(2, "Descr"), Value(std::string("Café crème Ærø")));
  EXPECT_EQ(t.at(0, "Added"), Value(date(2024, 1, 15)));
  EXPECT_EQ(t.at(1, "Price"), Value(Currency{12347500}));
  EXPECT_EQ(t.at(2, "Qty"), Value(int16_t(-5)));
  EXPECT_TRUE(isNull(t.at(3, "Qty")));
  EXPECT_TRUE(isNull(t.at(3, "Added")));

  ForeignTable n = readWhole(*driver, textFolder(), "NOHEADER#TXT");  // names match in any case
  ASSERT_EQ(n.rows.size(), 3u);
  EXPECT_EQ(n.columns[1].name, "Region");
  EXPECT_EQ(n.at(2, "Region"), Value(std::string("tab\tinside")));
  EXPECT_EQ(n.at(1, "Delta"), Value(-3.0));
}

TEST(TextImport, RealFilesLineEndsAndEncodings) {
  auto driver = makeTextDriver();
  ForeignTable mac = readWhole(*driver, realTextFolder(), "meza_mac_newlines#csv");  // CR only
  ASSERT_EQ(mac.rows.size(), 2u);
  EXPECT_EQ(mac.at(1, "a"), Value(std::string("Once upon\ra time")));
  EXPECT_EQ(mac.at(1, "c"), Value(int32_t(6)));

  ForeignTable latin1 = readWhole(*driver, realTextFolder(), "meza_latin1#csv");
  EXPECT_EQ(latin1.at(1, "c"), Value(std::string("©")));

  ForeignTable iris = readWhole(*driver, realTextFolder(), "meza_iris#csv");
  EXPECT_EQ(iris.rows.size(), 150u);
  EXPECT_EQ(iris.columns[0].type, ColumnType::Double);
  EXPECT_EQ(iris.columns[4].type, ColumnType::Text);

  ForeignTable test = readWhole(*driver, realTextFolder(), "meza_test#csv");
  ASSERT_EQ(test.columns.size(), 4u);  // the trailing comma of every line adds no field
  EXPECT_EQ(test.at(0, "Unicode Test"), Value(std::string("Ādam")));
  EXPECT_EQ(test.columns[2].type, ColumnType::Double);
  EXPECT_EQ(test.at(2, "Some Date"), Value(std::string("December 31, 1995")));

  ScratchFolder f;
  f.write("utf16.csv", std::string("\xFF\xFE" "a\0,\0b\0\n\0" "1\0,\0\xE9\0\n\0", 20));
  f.write("ansi.txt", "name;amount\r\nen\x96" "dash;1\r\n");
  f.write("Schema.ini", "[ansi.txt]\r\nFormat=Delimited(;)\r\nCharacterSet=1252\r\n");
  ForeignTable u = readWhole(*driver, f.path(), "utf16#csv");
  EXPECT_EQ(u.at(0, "b"), Value(std::string("é")));
  ForeignTable a = readWhole(*driver, f.path(), "ansi#txt");
  EXPECT_EQ(a.at(0, "name"), Value(std::string("en–dash")));
}

TEST(TextImport, FixedLengthFileWithSchemaIni) {
  ScratchFolder f;
  std::filesystem::copy_file(sample("foreign/text/meza_fixed.txt"), f.file("fixed.txt"));
  f.write("Schema.ini",
          "[fixed.txt]\r\nColNameHeader=False\r\nFormat=FixedLength\r\nCol1=Paper Text Width 18\r\n"
          "Col2=Founded Date Width 11\r\nCol3=Age Long Width 4\r\nCol4=Alive Bit Width 5\r\n");
  auto driver = makeTextDriver();
  ForeignTable t = readWhole(*driver, f.path(), "fixed#txt");
  ASSERT_GE(t.rows.size(), 3u);
  EXPECT_EQ(t.at(0, "Paper"), Value(std::string("Chicago Reader")));
  EXPECT_EQ(t.at(0, "Founded"), Value(date(1971, 1, 1)));
  EXPECT_EQ(t.at(2, "Age"), Value(int32_t(164)));
  EXPECT_EQ(t.at(2, "Alive"), Value(false));
  EXPECT_TRUE(isNull(t.at(3, "Age")));  // a row of blanks past the name
}

TEST(TextImport, ValuesThatDoNotFitADeclaredTypeAreRefusedNamingTheRecord) {
  ScratchFolder f;
  f.write("t.csv", "n\r\n1\r\nabc\r\n");
  f.write("Schema.ini", "[t.csv]\r\nCol1=n Long\r\n");
  auto driver = makeTextDriver();
  try {
    readWhole(*driver, f.path(), "t#csv");
    FAIL() << "accepted";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("Record 3"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("'abc'"), std::string::npos) << e.what();
  }
  EXPECT_THROW(driver->openTable(f.path(), "missing#csv"), EngineError);
  f.write("open.csv", "a\r\n\"never closed\r\n");
  EXPECT_THROW(readWhole(*driver, f.path(), "open#csv"), EngineError);
}

TEST(TextValues, ParsingIsLocaleFreeAndExact) {
  EXPECT_EQ(parseCurrencyText("$1,500.00"), Currency{15000000});
  EXPECT_EQ(parseCurrencyText("\xE2\x88\x92$12.34"), Currency{-123400});  // U+2212
  EXPECT_EQ(parseCurrencyText("0.00005"), Currency{1});
  EXPECT_FALSE(parseNumberText("1,23"));
  EXPECT_FALSE(parseNumberText("12,3456.7"));
  EXPECT_EQ(parseNumberText("1e3"), 1000.0);
  EXPECT_FALSE(parseDateTimeText("2023-02-29"));
  EXPECT_EQ(parseDateTimeText("31.12.99 23.59", "dd.mm.yy hh.mm")->serial, date(1999, 12, 31, 23, 59).serial);
  EXPECT_EQ(usableFieldNames({"a.b", "", "A.B", " x"}), (std::vector<std::string>{"a_b", "F2", "A_B1", "x"}));
}

TEST(TextExport, EveryTypeReadsBackThroughSchemaIniAndPythonCsv) {
  AllTypesDatabase src;
  ScratchFolder out;
  auto driver = makeTextDriver();
  auto rows = runStatement(src.db(), "select * from AllTypes").rows;
  {
    auto w = driver->createTable(out.path(), "AllTypes#txt", rows->columns());
    std::vector<std::vector<Value>> block;
    rows->fetch(0, 10, block);
    for (auto& r : block) w->write(r);
    w->finish();
    ASSERT_EQ(w->warnings().size(), 1u);  // the OLE field is left out
  }
  EXPECT_EQ(out.names(), (std::vector<std::string>{"AllTypes.txt", "Schema.ini"}));
  std::string csv = out.read("AllTypes.txt");
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
            "\"Id\",\"Name\",\"Notes\",\"Small\",\"Short\",\"Big\",\"Ratio\",\"Amount\",\"Price\",\"Exact\","
            "\"Stamp\",\"Flag\",\"Tag\"");
  EXPECT_NE(csv.find("2024-01-15,True,\"{6F9619FF-8B86-D011-B42D-00C04FC964FF}\""), std::string::npos) << csv;

  // Our own reader: same types (Decimal comes back as Double), same values.
  ForeignTable back = readWhole(*driver, out.path(), "AllTypes#txt");
  ASSERT_EQ(back.rows.size(), 3u);
  EXPECT_EQ(back.columns[back.column("Short")].type, ColumnType::Integer);
  EXPECT_EQ(back.columns[back.column("Name")].length, 80);
  EXPECT_EQ(back.columns[back.column("Price")].type, ColumnType::Currency);
  EXPECT_EQ(back.columns[back.column("Flag")].type, ColumnType::Boolean);
  EXPECT_EQ(back.at(1, "Name"), Value(std::string("Quote \"q\", comma <b>&amp;")));
  EXPECT_EQ(back.at(1, "Notes"), Value(std::string("line one\r\nline two ü €")));
  EXPECT_EQ(back.at(1, "Big"), Value(int32_t(-2147483648)));
  EXPECT_EQ(back.at(1, "Amount"), Value(0.1));
  EXPECT_EQ(back.at(1, "Price"), Value(Currency{-123456}));
  EXPECT_EQ(back.at(1, "Stamp"), Value(date(1999, 12, 31, 23, 59, 59)));
  EXPECT_EQ(back.at(0, "Flag"), Value(true));
  EXPECT_EQ(back.at(1, "Ratio"), Value(-1.5f));
  EXPECT_EQ(back.at(1, "Exact"), Value(-0.001));
  EXPECT_TRUE(isNull(back.at(2, "Stamp")));

  // An independent reader agrees on fields and values.
  auto [status, printed] = runCommand("/usr/bin/python3 -c 'import csv,sys; r=list(csv.reader(open(sys.argv[1], "
                                      "newline=\"\", encoding=\"utf-8\"))); print(len(r), len(r[0]), r[2][2] "
                                      "== \"line one\\r\\nline two \\u00fc \\u20ac\", r[2][8], r[3][1] == \"\")' " +
                                      out.file("AllTypes.txt"));
  if (status == 0) {
    EXPECT_EQ(printed, "4 13 True -12.3456 True\n");
  }
}

TEST(TextExport, RefusesAnExistingFileAndLeavesNothingWhenUnfinished) {
  ScratchFolder out;
  out.write("T.txt", "keep me");
  out.write("Schema.ini", "[Other.csv]\r\nColNameHeader=False\r\n");
  auto driver = makeTextDriver();
  std::vector<ResultColumn> cols = {{"A", ColumnType::Long, 4}};
  try {
    driver->createTable(out.path(), "T#txt", cols);
    FAIL() << "accepted";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("already exists"), std::string::npos) << e.what();
  }
  EXPECT_EQ(out.read("T.txt"), "keep me");
  {
    auto w = driver->createTable(out.path(), "U#txt", cols);
    w->write({Value(int32_t(1))});
  }  // dropped without finish()
  EXPECT_EQ(out.names(), (std::vector<std::string>{"Schema.ini", "T.txt"}));
  auto w = driver->createTable(out.path(), "U#txt", cols);
  w->write({Value(int32_t(1))});
  w->finish();
  std::string ini = out.read("Schema.ini");
  EXPECT_NE(ini.find("[Other.csv]\r\nColNameHeader=False"), std::string::npos);  // other sections kept
  EXPECT_NE(ini.find("[U.txt]"), std::string::npos);
  EXPECT_THROW(driver->createTable(out.path() + "/missing", "V#txt", cols), EngineError);
}

}  // namespace
}  // namespace kevra::test
