// FileLayout: where one file format keeps things on its pages. Jet 4 and the
// .accdb formats share one layout; Jet 3 (Access 97) has 2048-byte pages,
// narrower page headers and single-byte text. Readers take offsets from here
// instead of assuming the Jet 4 ones.
#pragma once
#include <cstdint>

namespace kevra {

struct FileLayout {
  bool jet3 = false;
  uint32_t pageSize = 4096;
  // Data pages (table rows, long values, usage-map rows).
  uint8_t dataRowCountOffset = 12;
  uint8_t dataSlotsOffset = 14;
  // Index pages.
  uint8_t indexPrevOffset = 12;
  uint8_t indexNextOffset = 16;
  uint8_t indexTailOffset = 20;
  uint8_t indexPrefixOffset = 24;  // u16 in Jet 4, one byte in Jet 3
  uint16_t indexBitmapStart = 27;
  uint16_t indexEntriesStart = 480;
  // The single-byte code page text is stored in; 0 for UTF-16 text (Jet 4
  // and later). Jet 3 takes it from the header unless the caller names one.
  uint16_t textCodePage = 0;
};

// Layouts by the header's version byte (page 0, offset 0x14): 0 is Jet 3.
const FileLayout& jet4Layout();
FileLayout layoutForVersionByte(uint8_t versionByte);

}  // namespace kevra
