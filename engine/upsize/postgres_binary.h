// Rows in PostgreSQL's binary COPY format: each field as the server's own
// send/receive form (big-endian integers and floats, numeric as base-10000
// digits, timestamp as microseconds since 2000-01-01, uuid as 16 bytes), so
// the server parses nothing and the client formats nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/upsize/column_mapping.h"

namespace kevra {

// What a binary COPY stream starts with (signature, flags, no extension).
std::string_view binaryCopyHeader();
// What it ends with: a field count of -1.
std::string_view binaryCopyTrailer();

// Appends one row: its field count, then each field's length and bytes (-1
// for NULL). Values must have passed checkValue(). Throws EngineError for a
// value its column's type cannot carry (a number too wide for the integer).
void appendBinaryRow(std::string& out, const std::vector<Value>& row, const std::vector<MappedColumn>& columns);

// Splits the output of COPY ... TO STDOUT (FORMAT binary), delivered in
// chunks of any size, into rows; each row's bytes (field count to its last
// field) go to `row` exactly as appendBinaryRow would have written them.
class BinaryCopyReader {
 public:
  explicit BinaryCopyReader(std::function<void(const char* data, size_t size)> row) : row_(std::move(row)) {}
  // Throws EngineError when the stream is not binary COPY data.
  void feed(const char* data, size_t size);
  bool finished() const { return finished_; }

 private:
  size_t consume(const char* data, size_t size);  // bytes used
  std::function<void(const char*, size_t)> row_;
  std::string pending_;
  bool headerRead_ = false;
  bool finished_ = false;
};

}  // namespace kevra
