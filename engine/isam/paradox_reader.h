// Rows of a Paradox table (.db, blobs from the .mb beside it) as engine
// values, following the chain of data blocks from the first. Versions 3.0 to
// 7; password-protected tables are refused.
//
// Types: Alpha -> Text, Short -> Integer, Long and Autoincrement -> Long,
// Number, Money and BCD -> Double, Date/Time/Timestamp -> Date/Time, Logical
// -> Yes/No, Memo and formatted memo -> Memo, Bytes -> Binary, other blobs ->
// OLE Object.
#pragma once
#include <memory>
#include <string>

#include "engine/isam/foreign_driver.h"
#include "engine/isam/paradox_format.h"
#include "engine/isam/paradox_memo.h"

namespace kevra {

class ParadoxTableReader : public ForeignTableReader {
 public:
  explicit ParadoxTableReader(const std::string& path);
  const std::vector<ResultColumn>& columns() const override { return columns_; }
  bool next(std::vector<Value>& row) override;
  std::vector<std::string> warnings() const override { return warnings_; }  // renamed fields

 private:
  bool loadNextBlock();
  Value decodeField(const ParadoxField& f, const uint8_t* p);
  Value decodeBlob(const ParadoxField& f, const uint8_t* p);
  std::string decodeText(const uint8_t* p, size_t length) const;

  InputFile file_;
  ParadoxHeader header_;
  std::vector<ResultColumn> columns_;
  std::vector<std::string> warnings_;
  std::unique_ptr<ParadoxBlobReader> blobs_;
  bool blobsLooked_ = false;
  Bytes block_;
  uint32_t recordsInBlock_ = 0;
  uint32_t nextInBlock_ = 0;
  uint32_t nextBlock_ = 0;
  uint32_t blocksVisited_ = 0;
};

}  // namespace kevra
