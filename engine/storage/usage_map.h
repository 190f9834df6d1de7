// UsageMap: a set of page numbers stored as one row, either inline (a start
// page and a bitmap) or as references to bitmap pages (type 0x05).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/page_file.h"

namespace kevra {

class UsageMap {
 public:
  // Reads the map whose row is at `pointer`. A zero pointer is an empty map.
  static UsageMap read(const PageFile& file, uint32_t pointer, const std::string& owner);
  // Decodes the bytes of a map row.
  static UsageMap decode(const PageFile& file, ByteSpan row, const std::string& owner);

  const std::vector<uint32_t>& pages() const { return pages_; }  // ascending
  bool contains(uint32_t page) const;

 private:
  std::vector<uint32_t> pages_;
};

}  // namespace kevra
