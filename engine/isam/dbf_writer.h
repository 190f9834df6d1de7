// Writes a new dBase table: `<name>.dbf` (version 0x03, or 0x83 with a dBase
// III `.dbt` memo file when a column needs one), text in Windows-1252 with the
// language-driver mark 0x57.
//
// Column types: Text(n) -> C(n) (Text(255) -> C(254)), Memo -> M, Byte ->
// N(3,0), Integer -> N(6,0), Long -> N(11,0), Single and Double -> N(20,d)
// with d the most decimals any value needs to read back exactly (at most 18),
// Currency -> N(20,4), Decimal(p,s) -> N(p+2,s) within 20, Date/Time -> D,
// Yes/No -> L, GUID -> C(38). Binary and OLE columns cannot be held and are
// left out. Names are cut to 10 characters and made unique. Numbers are
// written exactly where they fit the field; those that do not are rounded
// to the nearest text that fits, and warnings() counts them.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "engine/isam/dbt_memo.h"
#include "engine/isam/foreign_driver.h"
#include "engine/isam/staged_file.h"

namespace kevra {

class DbfTableWriter : public ForeignTableWriter {
 public:
  // `path` is the .dbf file; the memo file takes the same name with .dbt.
  DbfTableWriter(const std::string& path, const std::vector<ResultColumn>& columns,
                 FileSystem& fs = realFileSystem());
  void write(const std::vector<Value>& row) override;
  void finish() override;
  std::vector<std::string> warnings() const override;

 private:
  struct Field {
    std::string name;
    std::string sourceName;
    char type = 'C';
    uint8_t length = 0;
    uint8_t decimals = 0;
    size_t source = 0;  // index into the row
    size_t unmappable = 0;
    size_t cut = 0;
    size_t lostTimes = 0;
    size_t tooWide = 0;
    size_t rounded = 0;               // numbers written with fewer digits than they have
    bool decimalsFromValues = false;  // Single and Double: the most decimals a value needed
  };
  void encodeField(Field& f, const Value& v, uint8_t* out);
  Bytes headerBytes() const;

  std::string path_;
  FileSystem& fs_;
  size_t columnCount_ = 0;
  std::vector<Field> fields_;
  std::vector<std::string> leftOut_;
  uint16_t recordLength_ = 1;
  uint32_t records_ = 0;
  std::unique_ptr<StagedFile> file_;
  std::unique_ptr<MemoFileWriter> memo_;
  Bytes record_;
  bool finished_ = false;
};

// dBase field names from engine column names: at most 10 characters of
// letters, digits and '_', unique ignoring case (clashes end in ~1, ~2...).
std::vector<std::string> dbaseFieldNames(const std::vector<std::string>& names);

}  // namespace kevra
