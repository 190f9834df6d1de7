// The HTML driver: finding the table, names from header rows, the quirks of
// real pages, and exported pages read back by us and by Gnumeric.
#include <gtest/gtest.h>

#include "engine/isam/html_driver.h"
#include "engine/isam/html_tables.h"
#include "foreign_test_support.h"

namespace kevra::test {
namespace {

TEST(HtmlImport, CaptionedTablesWithFillerCellsColspanAndMinusSigns) {
  auto driver = makeHtmlDriver();
  const std::string page = foreignSample("html/two_tables_captioned.html");
  auto tables = driver->listTables(page);
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0].name, "Products");
  EXPECT_EQ(tables[1].type, "TABLE");

  ForeignTable p = readWhole(*driver, page, "products");  // captions match in any case
  ASSERT_EQ(p.columns.size(), 7u);
  EXPECT_EQ(p.columns[6].name, "Notes");
  ASSERT_EQ(p.rows.size(), 5u);
  EXPECT_EQ(p.columns[p.column("Qty")].type, ColumnType::Long);
  EXPECT_EQ(p.at(2, "Qty"), Value(int32_t(-5)));
  EXPECT_EQ(p.at(1, "Notes"), Value(std::string("has \"quotes\" and, comma")));
  EXPECT_EQ(p.at(2, "Name"), Value(std::string("Ünïcödé – café ✓")));

  ForeignTable o = readWhole(*driver, page, "Orders");
  ASSERT_EQ(o.rows.size(), 4u);
  EXPECT_EQ(o.columns[o.column("Total")].type, ColumnType::Currency);
  EXPECT_EQ(o.at(2, "Total"), Value(Currency{15000000}));
  EXPECT_EQ(o.at(3, "Total"), Value(Currency{-123400}));
  EXPECT_EQ(o.at(2, "Customer"), Value(std::string("Zoë")));
  EXPECT_EQ(o.columns[o.column("OrderDate")].type, ColumnType::DateTime);
}

TEST(HtmlImport, NameWithoutCaptionTakesTheFirstTable) {
  auto driver = makeHtmlDriver();
  ForeignTable lo = readWhole(*driver, foreignSample("html/two_tables_lo.html"), "two_tables_lo");
  ASSERT_EQ(lo.columns.size(), 7u);
  EXPECT_EQ(lo.columns[0].name, "ID");
  EXPECT_EQ(lo.rows.size(), 5u);
  EXPECT_TRUE(isNull(lo.at(3, "Added")));  // a cell holding only <br>

  ForeignTable one = readWhole(*driver, foreignSample("html/Orders.html"), "Orders");
  EXPECT_EQ(one.rows.size(), 4u);

  // A page saved by a spreadsheet: declares one character set, holds UTF-8.
  ForeignTable mac = readWhole(*driver, sample("foreign/html/meza_test.htm"), "meza_test");
  EXPECT_EQ(mac.columns[1].name, "Sparse Data");
  EXPECT_EQ(mac.at(0, "Sparse Data"), Value(std::string("Iñtërnâtiônàližætiøn")));
  EXPECT_EQ(mac.at(0, "Some Value"), Value(234.0));  // 0.44 below

  // Key/value rows of texts only: no header row, so F1 and F2.
  ForeignTable info = readWhole(*driver, sample("foreign/html/meza_vertical_table.html"), "x");
  EXPECT_EQ(info.columns[0].name, "F1");
  EXPECT_GE(info.rows.size(), 10u);
}

TEST(HtmlImport, TagSoupEntitiesNestingAndHeaderCells) {
  HtmlDocument doc = parseHtml(
      "<title>T &amp; co</title><table><caption>Outer</caption><tr><th>a<th>b"
      "<tr><td>x &eacute;&#8364;&#x41;&bogus; <b>bold<td>1<table><tr><td>inner</table>"
      "<tr><td>line<br>break<td>2<!-- <td>no --></table><script>var s='<table>'</script>");
  ASSERT_EQ(doc.tables.size(), 2u);
  EXPECT_EQ(doc.title, "T & co");
  const HtmlTable& t = doc.tables[0];
  ASSERT_EQ(t.rows.size(), 3u);
  EXPECT_TRUE(t.rows[0][0].header);
  EXPECT_EQ(t.rows[1][0].text, "x é€A&bogus; bold");
  EXPECT_EQ(t.rows[1][1].text, "1");  // the inner table's text is its own
  EXPECT_EQ(t.rows[2][0].text, "line\nbreak");
  EXPECT_EQ(t.rows[2].size(), 2u);
  EXPECT_EQ(doc.tables[1].rows[0][0].text, "inner");
}

TEST(HtmlImport, HeaderRowsCharacterSetsAndTableNames) {
  ScratchFolder f;
  // Windows-1252 bytes and no declaration; a <thead> row of <td> cells names the fields.
  f.write("a.htm",
          "<table><thead><tr><td>Caf\xE9<td>Qty</thead><tbody><tr><td>cr\xE8me<td>3<tr><td>\x80<td>-4</table>");
  auto driver = makeHtmlDriver();
  ForeignTable a = readWhole(*driver, f.file("a.htm"), "a");
  EXPECT_EQ(a.columns[0].name, "Café");
  EXPECT_EQ(a.at(0, "Café"), Value(std::string("crème")));
  EXPECT_EQ(a.at(1, "Café"), Value(std::string("€")));
  EXPECT_EQ(a.at(1, "Qty"), Value(int32_t(-4)));
  // A declared character set is used when the bytes are not UTF-8.
  f.write("b.html", "<meta charset=\"windows-1251\"><title>Only</title><table><tr><td>\xC4\xE0<td>1</table>");
  EXPECT_EQ(driver->listTables(f.file("b.html"))[0].name, "Only");  // a lone table is named by the title
  ForeignTable b = readWhole(*driver, f.file("b.html"), "Only");
  EXPECT_EQ(b.columns[0].name, "F1");  // one row: no header
  EXPECT_EQ(b.at(0, "F1"), Value(std::string("Да")));
  // Uncaptioned tables of a page are Table1, Table2...; the name picks one.
  f.write("c.html", "<table><tr><th>x<tr><td>1</table><table><tr><th>y<tr><td>2</table><table></table>");
  auto names = driver->listTables(f.file("c.html"));
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[1].name, "Table2");
  EXPECT_EQ(readWhole(*driver, f.file("c.html"), "table2").columns[0].name, "y");
  EXPECT_THROW(readWhole(*driver, f.file("c.html"), "Table3"), EngineError);  // an empty table
  f.write("d.html", "<p>no tables here</p>");
  EXPECT_THROW(driver->openTable(f.file("d.html"), "d"), EngineError);
}

// Pages crafted to expand: spans are kept once, never spread into cells; a
// filled cell past the 255th column refuses its table (the other tables of
// the page still import); and one page keeps a bounded number of cells.
TEST(HtmlImport, SpansDoNotMultiplyAndWideOrHugePagesAreRefused) {
  std::string spans = "<table>";
  for (int i = 0; i < 20000; ++i) spans += "<tr><td colspan=1000>";
  HtmlDocument doc = parseHtml(spans + "<tr><td colspan=-3>x<td>y</table><table><td colspan=99999999999>x<td>y");
  ASSERT_EQ(doc.tables[0].rows.size(), 20001u);
  EXPECT_EQ(doc.tables[0].rows[0].size(), 1u) << "a span is one cell";
  EXPECT_EQ(doc.tables[0].rows[20000][1].column, 1u);
  EXPECT_TRUE(doc.tables[1].tooWide) << "spans count at most 1,000 columns, and y starts at the 1,001st";

  ScratchFolder f;
  std::string filler;
  for (int i = 0; i < 300; ++i) filler += "<td></td>";
  std::string edge = "<tr><td>first";
  for (int i = 1; i < 254; ++i) edge += "<td>";
  f.write("wide.html",
          "<table><caption>Wide</caption><tr><td colspan=255></td><td>past the limit</td><td>more</td></table>"
          "<table><caption>Narrow</caption><tr><th>Name<th>Qty<th colspan=998></tr>"
          "<tr><td>a<td>1" + filler + "<tr><td>b<td>2<td colspan=1000></table>"
          "<table><caption>Edge</caption>" + edge + "<td>last</table>");
  auto driver = makeHtmlDriver();
  EXPECT_EQ(driver->listTables(f.file("wide.html")).size(), 3u);
  try {
    driver->openTable(f.file("wide.html"), "Wide");
    ADD_FAILURE() << "a table of 257 columns was read";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("'Wide'"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("more than 255 columns"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(parseHtml(f.read("wide.html")).tables[0].rows.empty()) << "dropped once seen too wide";
  ForeignTable narrow = readWhole(*driver, f.file("wide.html"), "Narrow");
  ASSERT_EQ(narrow.columns.size(), 2u);
  EXPECT_EQ(narrow.at(1, "Qty"), Value(int32_t(2)));
  ForeignTable widest = readWhole(*driver, f.file("wide.html"), "Edge");
  ASSERT_EQ(widest.columns.size(), 255u);
  EXPECT_EQ(widest.rows[0][254], Value(std::string("last")));

  std::string many = "<table>";
  for (int i = 0; i < 600; ++i) many += "<tr><td>1<td>2";
  try {
    parseHtml(many, HtmlLimits{255, 1000, 1u << 20});
    ADD_FAILURE() << "1,800 cells and rows kept under a limit of 1,000";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("more than 1000"), std::string::npos) << e.what();
  }
  f.write("many.html", many);
  try {
    readHtmlFile(f.file("many.html"), HtmlLimits{255, 1u << 20, 1000});
    ADD_FAILURE() << "a file over the size limit was read";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("many.html"), std::string::npos) << e.what();
  }
}

TEST(HtmlExport, EveryTypeReadsBackAndGnumericSeesTheSameTable) {
  AllTypesDatabase src;
  ScratchFolder out;
  auto driver = makeHtmlDriver();
  auto rows = runStatement(src.db(), "select * from AllTypes").rows;
  auto w = driver->createTable(out.path(), "AllTypes.html", rows->columns());
  std::vector<std::vector<Value>> block;
  rows->fetch(0, 10, block);
  for (auto& r : block) w->write(r);
  w->finish();
  const std::string page = out.read("AllTypes.html");
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(page.find("<caption>AllTypes</caption>"), std::string::npos);
  EXPECT_NE(page.find("Quote &quot;q&quot;, comma &lt;b&gt;&amp;amp;"), std::string::npos);
  EXPECT_NE(page.find("line one<br>line two ü €"), std::string::npos);
  EXPECT_EQ(page.find("Blob"), std::string::npos);

  ForeignTable back = readWhole(*driver, out.file("AllTypes.html"), "AllTypes");
  ASSERT_EQ(back.columns.size(), 13u);
  ASSERT_EQ(back.rows.size(), 3u);
  EXPECT_EQ(back.at(1, "Name"), Value(std::string("Quote \"q\", comma <b>&amp;")));
  EXPECT_EQ(back.at(1, "Notes"), Value(std::string("line one\nline two ü €")));
  EXPECT_EQ(back.columns[back.column("Big")].type, ColumnType::Long);
  EXPECT_EQ(back.at(1, "Amount"), Value(0.1));
  EXPECT_EQ(back.columns[back.column("Stamp")].type, ColumnType::DateTime);
  EXPECT_EQ(back.at(0, "Flag"), Value(std::string("Yes")));
  EXPECT_TRUE(isNull(back.at(2, "Big")));

  auto [status, printed] = runCommand("command -v ssconvert >/dev/null || exit 77; cd " + out.path() +
                                      " && ssconvert -S AllTypes.html 'tbl_%n.csv' >/dev/null 2>&1 && cat tbl_0.csv");
  if (status == 77) GTEST_SKIP() << "ssconvert is not installed";
  ASSERT_EQ(status, 0) << printed;
  EXPECT_EQ(printed.substr(0, printed.find('\n')), "Id,Name,Notes,Small,Short,Big,Ratio,Amount,Price,Exact,Stamp,Flag,Tag");
  EXPECT_NE(printed.find("Widget"), std::string::npos);
  EXPECT_NE(printed.find("-2147483648"), std::string::npos);
}

TEST(HtmlExport, RefusesAnExistingPage) {
  ScratchFolder out;
  out.write("T.html", "mine");
  auto driver = makeHtmlDriver();
  EXPECT_THROW(driver->createTable(out.path(), "T.html", {{"A", ColumnType::Long, 4}}), EngineError);
  EXPECT_EQ(out.read("T.html"), "mine");
  EXPECT_THROW(driver->listTables(out.file("missing.html")), EngineError);
}

}  // namespace
}  // namespace kevra::test
