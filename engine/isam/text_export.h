// Writers that turn rows into CSV (RFC 4180) or JSON Lines text.
// Value texts: numbers as numbers, Currency/Decimal as exact decimal strings,
// dates as ISO 8601, GUIDs in braces, binary as base64.
#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/format/value.h"
#include "engine/storage/write_target.h"

namespace kevra {

class TextSink {
 public:
  explicit TextSink(std::FILE* out) : out_(out) { buffer_.reserve(kFlushAt + 4096); }
  // Into a file written by the write-target rule; its commit() is the caller's.
  explicit TextSink(TargetFile& out) : target_(&out) { buffer_.reserve(kFlushAt + 4096); }
  // Writes what is left; a failure here is lost, so callers flush() first
  // (a destructor that threw while an earlier error unwinds would end the
  // program).
  ~TextSink() {
    try {
      flush();
    } catch (...) {
    }
  }
  std::string& buffer() { return buffer_; }
  void maybeFlush() {
    if (buffer_.size() >= kFlushAt) flush();
  }
  void flush();

 private:
  static constexpr size_t kFlushAt = 1 << 20;
  std::FILE* out_ = nullptr;
  TargetFile* target_ = nullptr;
  std::string buffer_;
};

class RowTextWriter {
 public:
  virtual ~RowTextWriter() = default;
  virtual void begin(const std::vector<std::string>& columnNames) = 0;
  virtual void row(const std::vector<Value>& values) = 0;
};

std::unique_ptr<RowTextWriter> makeCsvWriter(TextSink& sink);
std::unique_ptr<RowTextWriter> makeJsonLinesWriter(TextSink& sink);

// JSON helpers shared with other JSON output.
void appendJsonString(std::string& out, std::string_view text);
void appendJsonValue(std::string& out, const Value& v);

}  // namespace kevra
