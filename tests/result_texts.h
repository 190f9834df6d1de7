// The rows a SELECT gives, each value as its canonical text: what tests
// compare results by.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/value_text.h"
#include "engine/sql/statement_runner.h"
#include "engine/table/database.h"

namespace kevra::test {

inline std::vector<std::vector<std::string>> resultTexts(const std::shared_ptr<Database>& db, const std::string& sql) {
  StatementResult r = runStatement(db, sql);
  EXPECT_TRUE(r.rows) << sql;
  std::vector<std::vector<std::string>> out;
  if (!r.rows) return out;
  std::vector<std::vector<Value>> block;
  for (uint64_t at = 0; r.rows->fetch(at, 100, block) > 0; at += block.size())
    for (const auto& row : block) {
      std::vector<std::string> texts;
      for (const auto& v : row) texts.push_back(valueToText(v));
      out.push_back(texts);
    }
  return out;
}

// The same rows as "a|b|c" texts, NULL shown as "-", in result order.
inline std::vector<std::string> resultLines(const std::shared_ptr<Database>& db, std::string_view sql) {
  StatementResult r = runStatement(db, sql);
  std::vector<std::string> out;
  if (!r.rows) return out;
  std::vector<std::vector<Value>> block;
  for (uint64_t at = 0; r.rows->fetch(at, 100, block) > 0; at += block.size())
    for (const auto& row : block) {
      std::string line;
      for (size_t i = 0; i < row.size(); ++i) line += (i ? "|" : "") + (isNull(row[i]) ? "-" : valueToText(row[i]));
      out.push_back(line);
    }
  return out;
}

inline std::vector<std::string> sortedLines(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace kevra::test
