// The compound-file container of .xls workbooks: a FAT file system of 512- or
// 4096-byte sectors with a directory of named streams, small streams kept in
// a mini stream of 64-byte sectors.
//
// Reading finds a stream by name and returns its bytes; writing makes a
// container holding one stream (padded to 4,096 bytes so it never lands in
// the mini stream), the shape every spreadsheet reader accepts.
#pragma once
#include <optional>
#include <string>

#include "engine/isam/foreign_file.h"
#include "engine/isam/staged_file.h"

namespace kevra {

class CompoundFileReader {
 public:
  // Reads the header, sector tables and directory of `file`; CorruptFileError
  // naming it when they contradict the file or each other, EngineError when
  // it is not a compound file at all.
  explicit CompoundFileReader(InputFile& file);
  // The bytes of the stream whose name equals `name` ignoring ASCII case, or
  // nullopt when the container has none.
  std::optional<Bytes> stream(const std::string& name);

 private:
  struct Entry {
    std::string name;
    uint8_t type = 0;
    uint32_t start = 0;
    uint64_t size = 0;
  };
  Bytes chain(uint32_t start, uint64_t size, bool mini);
  Bytes readSector(uint32_t sector);

  InputFile& file_;
  uint32_t sectorSize_ = 512;
  uint32_t miniCutoff_ = 4096;
  std::vector<uint32_t> fat_;
  std::vector<uint32_t> miniFat_;
  std::vector<Entry> entries_;
  Bytes miniStream_;
  bool miniLoaded_ = false;
};

// Writes a version 3 container with the single stream `name` holding `data`.
void writeCompoundFile(StagedFile& out, const std::u16string& name, const Bytes& data);

}  // namespace kevra
