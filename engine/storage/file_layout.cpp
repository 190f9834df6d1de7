// The two page layouts.
#include "engine/storage/file_layout.h"

namespace kevra {

const FileLayout& jet4Layout() {
  static const FileLayout layout;
  return layout;
}

FileLayout layoutForVersionByte(uint8_t versionByte) {
  if (versionByte != 0) return jet4Layout();
  FileLayout l;
  l.jet3 = true;
  l.pageSize = 2048;
  l.dataRowCountOffset = 8;
  l.dataSlotsOffset = 10;
  l.indexPrevOffset = 8;
  l.indexNextOffset = 12;
  l.indexTailOffset = 16;
  l.indexPrefixOffset = 20;
  l.indexBitmapStart = 22;
  l.indexEntriesStart = 0xF8;
  l.textCodePage = 1252;
  return l;
}

}  // namespace kevra
