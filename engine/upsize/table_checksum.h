// TableChecksum: an order-independent digest of a table's rows. Each row's
// canonical field texts (NULL marked apart from the empty text) hash to 64
// bits; the table's digest is their sum, so the same rows in any order give
// the same digest and a changed, missing or doubled row changes it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace kevra {

class TableChecksum {
 public:
  void beginRow() { row_ = 14695981039346656037ull; }
  void addField(const std::optional<std::string>& text);
  void endRow();
  uint64_t rows() const { return rows_; }
  uint64_t digest() const { return sum_; }
  std::string hex() const;

 private:
  void mix(const void* data, size_t size);
  uint64_t row_ = 14695981039346656037ull;
  uint64_t sum_ = 0;
  uint64_t rows_ = 0;
};

}  // namespace kevra
