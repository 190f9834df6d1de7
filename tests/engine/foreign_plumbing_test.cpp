// The pieces under the drivers: decoding text that arrives in blocks, records
// cut by block boundaries, Schema.ini mistakes, files that appear only when
// complete, and copies between two foreign formats.
#include <gtest/gtest.h>

#include "engine/isam/foreign_copy.h"
#include "engine/isam/foreign_drivers.h"
#include "engine/isam/file_helpers.h"
#include "engine/isam/staged_file.h"
#include "engine/isam/schema_ini.h"
#include "engine/isam/text_decoder.h"
#include "engine/isam/text_driver.h"
#include "engine/isam/text_records.h"
#include "foreign_test_support.h"

namespace kevra::test {
namespace {

// Decodes `bytes` fed in pieces of `step` bytes.
std::string decodeInPieces(const std::string& charset, const std::string& bytes, size_t step) {
  TextDecoder d(charset);
  std::string out;
  for (size_t at = 0; at < bytes.size(); at += step)
    d.decode(std::string_view(bytes).substr(at, step), at + step >= bytes.size(), out);
  return out;
}

TEST(TextDecoding, SequencesCutBetweenPiecesComeOutWhole) {
  const std::string utf8 = "a€b😀c é";
  for (size_t step = 1; step <= 4; ++step) EXPECT_EQ(decodeInPieces("", utf8, step), utf8) << step;
  const std::string utf16("\xAC\x20" "a\0" "\x3D\xD8\x00\xDE", 8);  // € a 😀
  for (size_t step = 1; step <= 3; ++step) EXPECT_EQ(decodeInPieces("UTF-16LE", utf16, step), "€a😀") << step;
  // Bytes that are not UTF-8 read as Windows-1252, also at the very end.
  EXPECT_EQ(decodeInPieces("", "caf\xE9 \x80 \xC3", 2), "café € Ã");
  EXPECT_EQ(decodeInPieces("CP850", "\x82", 1), "é");
  EXPECT_THROW(TextDecoder("NO-SUCH-CHARSET"), EngineError);
  EXPECT_EQ(charsetForCodePage("ANSI"), "WINDOWS-1252");
  EXPECT_EQ(charsetForCodePage("65001"), "UTF-8");
  EXPECT_EQ(charsetForCodePage("437"), "CP437");
}

TEST(TextDecoding, RecordsCutByBlockBoundariesReadWhole) {
  // Fields long enough that quotes, doubled quotes, CRLF pairs and multi-byte
  // characters fall on every offset of the 1 MiB blocks somewhere.
  ScratchFolder f;
  std::string csv = "id,text\r\n";
  std::vector<std::string> expected;
  for (int i = 0; csv.size() < 3'300'000; ++i) {
    std::string t = std::string(size_t(i % 97), 'x') + "é\"\"€,\r\n" + std::to_string(i);
    csv += std::to_string(i) + ",\"" + t + "\"\r\n";
    std::string unquoted = t;
    unquoted.replace(unquoted.find("\"\""), 2, "\"");
    expected.push_back(unquoted);
  }
  f.write("big.csv", csv);
  TextLayout layout;
  TextRecords records(f.file("big.csv"), layout);
  std::vector<TextField> fields;
  ASSERT_TRUE(records.next(fields));  // the header
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(records.next(fields)) << i;
    ASSERT_EQ(fields.size(), 2u) << i;
    ASSERT_EQ(fields[0].text, std::to_string(i));
    ASSERT_EQ(fields[1].text, expected[i]) << i;
  }
  EXPECT_FALSE(records.next(fields));
}

TEST(SchemaIni, MistakesAreNamedWithTheirLine) {
  ScratchFolder f;
  auto refusal = [&](const std::string& ini) {
    f.write("schema.ini", ini);  // found whatever the case of its name
    try {
      readTextLayout(f.path(), "t.csv");
    } catch (const EngineError& e) {
      return std::string(e.what());
    }
    return std::string("(accepted)");
  };
  EXPECT_NE(refusal("[t.csv]\r\nCol1=a Long\r\nCol3=b Long\r\n").find("Col2"), std::string::npos);
  EXPECT_NE(refusal("[t.csv]\r\n\r\nCol1=a Blob\r\n").find("line 3"), std::string::npos);
  EXPECT_NE(refusal("[t.csv]\r\nFormat=FixedLength\r\nCol1=a Long\r\n").find("Width"), std::string::npos);
  EXPECT_NE(refusal("[t.csv]\r\nFormat=Delimited(\")\r\n").find("delimiter"), std::string::npos);
  EXPECT_EQ(refusal("[other.csv]\r\nCol1=a Blob\r\n"), "(accepted)");  // other sections are not read

  f.write("schema.ini", "[T.CSV]\r\nColNameHeader=False\r\nFormat=Delimited( )\r\nTextDelimiter=none\r\nCol1=\"Long name\" Text Width 300\r\n");
  TextLayout l = readTextLayout(f.path(), "t.csv");
  EXPECT_EQ(l.delimiter, ' ');
  EXPECT_EQ(l.quote, '\0');
  ASSERT_EQ(l.columns.size(), 1u);
  EXPECT_EQ(l.columns[0].name, "Long name");
  EXPECT_EQ(l.columns[0].width, 300);
  f.write("t.csv", "\"x\r\n");
  ForeignTable t = readWhole(*makeTextDriver(), f.path(), "t#csv");
  EXPECT_EQ(t.columns[0].type, ColumnType::Memo);  // wider than a Text field
  EXPECT_EQ(t.at(0, "Long name"), Value(std::string("\"x")));  // no quoting
}

TEST(StagedFiles, AppearOnlyWhenCommittedAndNeverReplace) {
  ScratchFolder f;
  {
    StagedFile p(f.file("out.txt"));
    p.append("half");
    EXPECT_FALSE(fileExists(f.file("out.txt")));
  }
  EXPECT_TRUE(f.names().empty());  // the temporary is gone too
  StagedFile p(f.file("out.txt"));
  p.append(std::string(3 << 20, 'z'));  // past the write buffer
  f.write("out.txt", "someone else");
  EXPECT_THROW(p.commit(), EngineError);
  EXPECT_EQ(f.read("out.txt"), "someone else");
  EXPECT_EQ(f.names(), std::vector<std::string>{"out.txt"});
  EXPECT_EQ(joinPath("/", "a"), "/a");
  EXPECT_EQ(joinPath("/x/", "a"), "/x/a");
}

TEST(ForeignCopy, BetweenTwoForeignFormatsAndInsideOneSource) {
  ScratchFolder f;
  auto text = makeTextDriver();
  ForeignCopyResult toHtml = runOnForeignSource(
      *text, foreignSample("text"), "select * into [orders.html] in \"" + f.path() + "\" \"HTML Export;\" from [orders#csv]");
  EXPECT_EQ(toHtml.rows, 4);
  ForeignTable back = readWhole(*makeForeignDriver("html import"), f.file("orders.html"), "orders");
  EXPECT_EQ(back.at(3, "Total"), Value(-12.34));  // a page has no currency type

  f.write("a.csv", "n,s\r\n1,x\r\n2,y\r\n");
  EXPECT_EQ(runOnForeignSource(*text, f.path(), "SELECT * INTO [b#csv] FROM [a#csv];").rows, 2);
  EXPECT_EQ(readWhole(*text, f.path(), "b#csv").rows.size(), 2u);
  EXPECT_THROW(makeForeignDriver("Lotus WK3;"), EngineError);
  EXPECT_EQ(connectKeyword("  dBase 5.0;HDR=NO;"), "dBase 5.0");
}

TEST(ConvertCommandLine, ImportsAndExportsFromATerminal) {
  ScratchCopy target("empty.mdb");
  ScratchFolder out;
  const std::string cli = std::string(KEVRA_CLI_PATH) + " ";
  auto [status, printed] = runCommand(cli + "import " + target.path() + " " + foreignSample("text/tricky.csv"));
  EXPECT_EQ(status, 0) << printed;
  EXPECT_EQ(printed, "tricky: 5 rows\n");
  std::tie(status, printed) = runCommand(cli + "import " + target.path() + " " + sample("testv2000.mdb") + " Table2 Table1");
  EXPECT_EQ(printed, "Table2: 0 rows\nTable1: 2 rows\n");
  std::tie(status, printed) = runCommand(cli + "export " + target.path() + " tricky --to html " + out.path());
  EXPECT_EQ(status, 0) << printed;
  EXPECT_TRUE(fileExists(out.file("tricky.html")));
  std::tie(status, printed) = runCommand(cli + "export " + target.path() + " tricky --to html " + out.path());
  EXPECT_EQ(status, 1);
  EXPECT_NE(printed.find("already exists"), std::string::npos) << printed;
  std::tie(status, printed) = runCommand(cli + "export " + target.path() + " tricky --to lotus " + out.path());
  EXPECT_EQ(status, 2) << printed;
  std::tie(status, printed) = runCommand(cli + "import " + target.path() + " " + out.file("tricky.pdf"));
  EXPECT_EQ(status, 2) << printed;
  std::tie(status, printed) = runCommand(cli + "sql " + target.path() + " \"select ID, Note into [notes#csv] in '" +
                                        out.path() + "' 'Text;' from tricky where ID > 3\"");
  EXPECT_EQ(printed, "2\n");
  EXPECT_EQ(readWhole(*makeTextDriver(), out.path(), "notes#csv").rows.size(), 2u);
  std::tie(status, printed) = runCommand(cli + "export " + target.path() + " tricky --format csv");
  EXPECT_EQ(status, 0);  // without --to, rows still go to standard output
  EXPECT_EQ(printed.substr(0, printed.find('\n')), "ID,Name,Amount,When,Flag,Note\r");
}

// A workbook whose sheet and field names Jet refuses imports whole, each
// renaming told; importing it again is refused before anything is copied.
TEST(ConvertCommandLine, WorkbookImportRenamesAndIsAllOrNothing) {
  ScratchCopy target("empty.mdb");
  const std::string cli = std::string(KEVRA_CLI_PATH) + " ";
  const std::string book = sample("foreign/xls/meza_test.xls");
  auto [status, printed] = runCommand(cli + "import " + target.path() + " " + book);
  EXPECT_EQ(status, 0) << printed;
  EXPECT_NE(printed.find("kevra-cli: The table 'test.csv' is imported as 'test_csv'.\n"), std::string::npos) << printed;
  EXPECT_NE(printed.find("test_csv: 5 rows\nSheet2: 5 rows\n"), std::string::npos) << printed;

  runSql(openForWriting(target.path()), "DROP TABLE test_csv");
  const auto before = fileBytes(target.path());
  std::tie(status, printed) = runCommand(cli + "import " + target.path() + " " + book);
  EXPECT_EQ(status, 1) << printed;
  EXPECT_NE(printed.find("'Sheet2' already exists"), std::string::npos) << printed;
  EXPECT_EQ(fileBytes(target.path()), before) << "test_csv was not made before Sheet2 was refused";
}

}  // namespace
}  // namespace kevra::test
