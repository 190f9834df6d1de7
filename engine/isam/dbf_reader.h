// Rows of a .dbf table (and its memo file) as engine values. Deleted records
// are skipped. Text is decoded with the code page the header declares; with
// none declared, a value that is well-formed UTF-8 is taken as UTF-8 and any
// other as Windows-1252.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "engine/isam/dbf_format.h"
#include "engine/isam/dbt_memo.h"
#include "engine/isam/foreign_driver.h"

namespace kevra {

class DbfTableReader : public ForeignTableReader {
 public:
  explicit DbfTableReader(const std::string& path);
  const std::vector<ResultColumn>& columns() const override { return columns_; }
  bool next(std::vector<Value>& row) override;
  std::vector<std::string> warnings() const override { return warnings_; }  // renamed fields

 private:
  Value decodeField(const DbfField& field, const uint8_t* bytes, uint64_t record);
  std::string decodeText(const uint8_t* bytes, size_t length) const;
  MemoFileReader& memo(uint64_t record);

  InputFile file_;
  DbfHeader header_;
  int codePage_ = 0;
  std::vector<ResultColumn> columns_;
  std::vector<std::string> warnings_;
  std::vector<size_t> fieldOfColumn_;
  std::unique_ptr<MemoFileReader> memo_;
  bool memoLooked_ = false;
  Bytes block_;
  uint64_t blockFirst_ = 0;
  uint64_t blockCount_ = 0;
  uint64_t nextRecord_ = 0;
};

}  // namespace kevra
