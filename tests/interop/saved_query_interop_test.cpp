// Saved queries' Jet SQL against mdb-queries, which rebuilds each query as a
// SELECT too: for every select query of the samples the WHERE and ORDER BY
// clauses agree, and where mdbtools' text means the same query (no joins,
// which it writes as a plain list of sources) both texts give the same rows
// on our engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/format/value_text.h"
#include "engine/sql/statement_runner.h"
#include "engine/table/database.h"
#include "engine/table/saved_query.h"
#include "kevra_cli.h"
#include "mdb_oracle.h"
#include "process.h"
#include "../result_texts.h"

namespace kevra::interop {
namespace {

std::string trimmed(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t start = 0;
  while (start < s.size() && std::isspace(static_cast<unsigned char>(s[start]))) ++start;
  return s.substr(start);
}

// The text after `word` up to the first of `ends` (or the end of the text).
std::string clause(const std::string& sql, const std::string& word, const std::vector<std::string>& ends) {
  size_t at = sql.find(word);
  if (at == std::string::npos) return {};
  at += word.size();
  size_t end = sql.size();
  for (const auto& e : ends) end = std::min(end, sql.find(e, at) == std::string::npos ? end : sql.find(e, at));
  return trimmed(sql.substr(at, end - at));
}


TEST(SavedQuerySql, SelectQueriesAgreeWithMdbQueries) {
  int checked = 0, rowsCompared = 0;
  for (const auto& sample : jet4Samples()) {
    if (mdbQueries(sample.path).empty()) continue;
    auto db = Database::open(sample.path, OpenOptions{true, sample.name == "v2000_with-password.mdb" ? kSamplePassword : ""});
    for (const SavedQuery& q : readSavedQueries(*db)) {
      if (q.kind != SavedQueryKind::Select) continue;
      SCOPED_TRACE(sample.name + " / " + q.name);
      ProcessResult theirs = runProcess({"mdb-queries", sample.path, q.name});
      ASSERT_EQ(theirs.exitCode, 0) << theirs.err;
      const std::string mdb = trimmed(theirs.out);
      const std::string ours = savedQuerySql(q);
      EXPECT_EQ(clause(ours, "\nWHERE ", {"\n", ";"}), clause(mdb, " WHERE ", {" ORDER BY "})) << ours << "\n" << mdb;
      EXPECT_EQ(clause(ours, "\nORDER BY ", {"\n", ";"}), clause(mdb, " ORDER BY ", {})) << ours << "\n" << mdb;
      ++checked;
      if (!q.joins.empty()) continue;
      auto expected = kevra::test::resultTexts(db, mdb);
      EXPECT_EQ(kevra::test::resultTexts(db, ours), expected);
      rowsCompared += !expected.empty();
    }
  }
  EXPECT_GE(checked, 2) << "the samples hold two select queries";
  EXPECT_GE(rowsCompared, 1) << "no select query with rows was compared";
}

}  // namespace
}  // namespace kevra::interop
