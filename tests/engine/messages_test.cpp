// Messages say what happened in words a user can act on: a NUL or control
// byte in a name or value cannot cut them short or reach the terminal, the
// command line names its own option for a password, and running out of
// memory is said as such.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "engine/table/object_names.h"
#include "engine/util/error.h"

using namespace kevra;

namespace {

std::pair<int, std::string> shell(const std::string& command) {
  std::string out;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int status = ::pclose(p);
  return {WEXITSTATUS(status), out};
}

std::string sample(const std::string& name) { return std::string(KEVRA_SHARED_DIR) + "/samples/" + name; }

}  // namespace

TEST(Messages, ControlBytesInANameAreShownEscapedAndTheMessageIsWhole) {
  try {
    checkObjectName(std::string("ab\0cd\x1b[2J", 9), "table");
    FAIL() << "a name with control characters was accepted";
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()), "The table name 'ab\\0cd\\x1B[2J' contains a control character.");
  }
  EXPECT_EQ(printableMessage("line one\nline two\tend\x7f"), "line one\nline two\tend\\x7F");
}

TEST(Messages, TheCommandLineAsksForItsOwnPasswordOption) {
  auto [code, out] = shell(std::string(KEVRA_CLI_PATH) + " tables '" + sample("v2000_with-password.mdb") + "'");
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("is protected by a database password; give it with --password PW."), std::string::npos) << out;
  EXPECT_EQ(out.find("OLEDB"), std::string::npos) << out;
}

TEST(Messages, RunningOutOfMemorySaysWhatWasBeingDone) {
  // Each Replace multiplies the text by eight: ten of them ask for a
  // gigabyte, which the address-space limit below does not allow.
  std::string text = "'xxxxxxxx'";
  for (int i = 0; i < 10; ++i) text = "Replace(" + text + ", 'x', 'xxxxxxxx')";
  auto [code, out] = shell("ulimit -v 400000; " + std::string(KEVRA_CLI_PATH) + " sql '" +
                           sample("testv2000.mdb") + "' \"SELECT TOP 1 Len(" + text + ") AS n FROM Table1\"");
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("ran out of memory during 'sql "), std::string::npos) << out;
  EXPECT_EQ(out.find("bad_alloc"), std::string::npos) << out;
}
