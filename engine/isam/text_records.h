// TextRecords: the records of a delimited or fixed-length text file, read
// front to back in blocks and decoded to UTF-8 on the way, so memory stays
// flat whatever the file's size. Quoted fields may hold delimiters, doubled
// quotes and line breaks; lines end in CRLF, LF or CR; blank lines are
// skipped.
#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/isam/schema_ini.h"
#include "engine/isam/text_decoder.h"

namespace kevra {

struct TextField {
  std::string text;
  bool quoted = false;
  // Nothing between two delimiters (or a blank fixed-length field): NULL.
  bool isNull() const { return text.empty() && !quoted; }
};

class TextRecords {
 public:
  // Throws EngineError naming the file when it cannot be opened.
  TextRecords(const std::string& path, const TextLayout& layout);
  ~TextRecords();
  TextRecords(const TextRecords&) = delete;
  TextRecords& operator=(const TextRecords&) = delete;

  // The next record into `fields`; false at the end of the file.
  bool next(std::vector<TextField>& fields);
  // 1-based number of the last record returned (the header counts).
  size_t recordNumber() const { return records_; }

 private:
  enum class Outcome { Record, NeedMore, Blank };
  bool fill();
  Outcome parseDelimited(std::vector<TextField>& fields);
  Outcome parseFixed(std::vector<TextField>& fields);

  std::string path_;
  const TextLayout& layout_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<TextDecoder> decoder_;
  bool started_ = false, eof_ = false;
  std::string text_;  // decoded, not yet consumed from pos_
  size_t pos_ = 0;
  size_t records_ = 0;
};

}  // namespace kevra
