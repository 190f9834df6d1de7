// The rows a SELECT gives, each value as its canonical text: what tests
// compare results by.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
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

}  // namespace kevra::test
