// TableChecksum: an order-independent digest of a table's rows. Each row
// hashes to 64 bits, either field by field (a field's text, NULL marked apart
// from the empty text), as one run of bytes (a row in a target's own wire
// form) or as a target's own hash functions hash it (postgres_row_hash.h);
// the table's digest is their sum, so the same rows in any order give the
// same digest and a changed, missing or doubled row changes it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kevra {

class TableChecksum {
 public:
  void beginRow() { row_ = kSeed; }
  void addField(const std::optional<std::string>& text);
  void addText(std::string_view text) { mix(text.data(), text.size()); }  // a field that is not NULL
  void endRow();
  // A whole row at once: beginRow, the bytes, endRow.
  void addRow(const void* data, size_t size);
  // A row hashed already.
  void addHashedRow(uint64_t hash) {
    sum_ += hash;
    ++rows_;
  }
  // What a target summed itself over its rows' hashes.
  static TableChecksum fromSum(uint64_t rows, uint64_t sum) {
    TableChecksum c;
    c.rows_ = rows;
    c.sum_ = sum;
    return c;
  }
  uint64_t rows() const { return rows_; }
  uint64_t digest() const { return sum_; }
  std::string hex() const;

 private:
  static constexpr uint64_t kSeed = 0x243f6a8885a308d3ull;
  void mix(const void* data, size_t size);
  uint64_t row_ = kSeed;
  uint64_t sum_ = 0;
  uint64_t rows_ = 0;
};

}  // namespace kevra
