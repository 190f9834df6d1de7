// PageFile: the database file seen as 4096-byte pages. Reads go through a
// small bounded cache; every page number is checked against the file's length
// so a bad pointer in the file becomes a clear error, never a wild read.
#pragma once
#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "engine/util/bytes.h"

namespace kevra {

constexpr size_t kPageSize = 4096;

using PageRef = std::shared_ptr<const std::array<uint8_t, kPageSize>>;

class PageFile {
 public:
  // Opens the file; throws EngineError naming the path when it cannot.
  PageFile(const std::string& path, bool readOnly);
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  uint32_t pageCount() const { return pageCount_; }
  const std::string& path() const { return path_; }
  // The page's bytes. Throws CorruptFileError when `page` is past the end.
  PageRef read(uint32_t page) const;
  ByteSpan span(const PageRef& p) const { return ByteSpan(p->data(), kPageSize); }

 private:
  std::string path_;
  int fd_ = -1;
  uint32_t pageCount_ = 0;
  size_t cacheLimit_ = 512;
  mutable std::list<std::pair<uint32_t, PageRef>> lru_;
  mutable std::unordered_map<uint32_t, std::list<std::pair<uint32_t, PageRef>>::iterator> index_;
};

}  // namespace kevra
