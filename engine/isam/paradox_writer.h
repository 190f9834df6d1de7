// Writes a new Paradox 7 table: `<name>.db` (non-indexed, code page 1252,
// 4 KB blocks or larger for wide records) and `<name>.mb` when a memo or OLE
// value does not fit the record's leading part.
//
// Column types: Text(n) -> Alpha(n), Memo -> Memo (50-byte leading part),
// Byte and Integer -> Short, Long -> Long Integer, Single, Double and Decimal
// -> Number, Currency -> Money, Date/Time -> Timestamp, Yes/No -> Logical,
// GUID -> Alpha(38), Binary(n) -> Bytes(n), OLE -> OLE blob. Names are cut to
// 25 characters and made unique.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "engine/isam/foreign_driver.h"
#include "engine/isam/paradox_format.h"
#include "engine/isam/paradox_memo.h"
#include "engine/isam/staged_file.h"

namespace kevra {

class ParadoxTableWriter : public ForeignTableWriter {
 public:
  ParadoxTableWriter(const std::string& path, const std::string& tableName, const std::vector<ResultColumn>& columns,
                     FileSystem& fs = realFileSystem());
  void write(const std::vector<Value>& row) override;
  void finish() override;
  std::vector<std::string> warnings() const override;

 private:
  struct Problems {
    size_t unmappable = 0;
    size_t cut = 0;
    size_t unfit = 0;
  };
  void encodeField(size_t index, const Value& v, uint8_t* out);
  void writeBlob(size_t index, const std::string& bytes, uint8_t* out);
  void flushBlock(uint16_t next);

  std::string path_;
  FileSystem& fs_;
  std::string blobPath_;
  std::vector<std::string> sourceNames_;
  ParadoxLayout layout_;
  std::vector<Problems> problems_;
  uint16_t headerSize_ = 0;
  uint32_t recordsPerBlock_ = 0;
  std::unique_ptr<StagedFile> file_;
  std::unique_ptr<ParadoxBlobWriter> blobs_;
  Bytes block_;
  uint32_t inBlock_ = 0;
  bool finished_ = false;
};

// Paradox field names from engine column names: at most 25 characters, unique
// ignoring case (clashes end in ~1, ~2...).
std::vector<std::string> paradoxFieldNames(const std::vector<std::string>& names);

}  // namespace kevra
