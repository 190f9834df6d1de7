// Sector chains are followed with a step budget of the sectors the file can
// hold, so a cycle or a wild pointer ends in an error instead of a hang.
#include "engine/isam/compound_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;
constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

CompoundFileReader::CompoundFileReader(InputFile& file) : file_(file) {
  if (file_.size() < 512) throw EngineError("The file '" + file_.path() + "' is not an Excel 97-2003 workbook.");
  const Bytes header = file_.read(0, 512, "the container header");
  if (std::memcmp(header.data(), kSignature, 8) != 0)
    throw EngineError("The file '" + file_.path() + "' is not an Excel 97-2003 workbook (no compound-file signature).");
  const uint16_t shift = u16At(header, 0x1E);
  if (shift != 9 && shift != 12) throwCorrupt(file_.path(), "its container has a bad sector size.");
  sectorSize_ = 1u << shift;
  miniCutoff_ = u32At(header, 0x38);
  const uint32_t fatSectors = u32At(header, 0x2C);
  const uint32_t firstDir = u32At(header, 0x30);
  const uint32_t firstMiniFat = u32At(header, 0x3C);
  const uint32_t miniFatSectors = u32At(header, 0x40);
  uint32_t difat = u32At(header, 0x44);
  const uint64_t sectorsInFile = file_.size() / sectorSize_;
  if (fatSectors > sectorsInFile) throwCorrupt(file_.path(), "its container claims more table sectors than it holds.");

  std::vector<uint32_t> fatList;
  for (int i = 0; i < 109 && fatList.size() < fatSectors; ++i) fatList.push_back(u32At(header, 0x4C + 4 * i));
  for (uint64_t steps = 0; fatList.size() < fatSectors; ++steps) {
    if (difat >= kDifatSector || steps > sectorsInFile) throwCorrupt(file_.path(), "its container's sector list is broken.");
    const Bytes sector = readSector(difat);
    const uint32_t perSector = sectorSize_ / 4 - 1;
    for (uint32_t i = 0; i < perSector && fatList.size() < fatSectors; ++i) fatList.push_back(u32At(sector, 4 * i));
    difat = u32At(sector, 4 * perSector);
  }
  fat_.reserve(size_t(fatSectors) * (sectorSize_ / 4));
  for (uint32_t s : fatList) {
    const Bytes sector = readSector(s);
    for (uint32_t i = 0; i < sectorSize_ / 4; ++i) fat_.push_back(u32At(sector, 4 * i));
  }
  if (miniFatSectors > 0) {
    const Bytes mini = chain(firstMiniFat, uint64_t(miniFatSectors) * sectorSize_, false);
    for (size_t i = 0; i + 4 <= mini.size(); i += 4) miniFat_.push_back(u32At(mini, i));
  }
  const Bytes directory = chain(firstDir, 0, false);
  for (size_t at = 0; at + 128 <= directory.size(); at += 128) {
    Entry e;
    const uint16_t nameBytes = std::min<uint16_t>(u16At(directory, at + 0x40), 64);
    e.name = utf16leToUtf8(ByteSpan(directory.data() + at, nameBytes >= 2 ? nameBytes - 2 : 0));
    e.type = directory[at + 0x42];
    e.start = u32At(directory, at + 0x74);
    e.size = u32At(directory, at + 0x78);
    entries_.push_back(e);
  }
  if (entries_.empty() || entries_[0].type != 5) throwCorrupt(file_.path(), "its container has no root entry.");
}

Bytes CompoundFileReader::readSector(uint32_t sector) {
  const uint64_t offset = (uint64_t(sector) + 1) * sectorSize_;
  return file_.read(offset, sectorSize_, "container sector " + std::to_string(sector));
}

// The sectors of a chain from `start`; `size` 0 means "to the end of the chain".
Bytes CompoundFileReader::chain(uint32_t start, uint64_t size, bool mini) {
  const std::vector<uint32_t>& table = mini ? miniFat_ : fat_;
  if (mini && !miniLoaded_) {
    miniLoaded_ = true;
    miniStream_ = chain(entries_[0].start, entries_[0].size, false);
  }
  const uint64_t limit = mini ? miniStream_.size() : file_.size();
  const uint64_t maxSteps = mini ? miniStream_.size() / 64 : file_.size() / sectorSize_;
  if (size > limit) throwCorrupt(file_.path(), "a stream is larger than the container.");
  Bytes out;
  out.reserve(size_t(size));
  uint32_t sector = start;
  for (uint64_t steps = 0; sector != kEndOfChain && (size == 0 || out.size() < size); ++steps) {
    if (sector >= table.size() || steps > maxSteps)
      throwCorrupt(file_.path(), "a chain of its container's sectors is broken.");
    if (mini) {
      const uint64_t offset = uint64_t(sector) * 64;
      if (offset + 64 > miniStream_.size()) throwCorrupt(file_.path(), "a small stream lies outside the mini stream.");
      out.insert(out.end(), miniStream_.begin() + long(offset), miniStream_.begin() + long(offset + 64));
    } else {
      const Bytes bytes = readSector(sector);
      out.insert(out.end(), bytes.begin(), bytes.end());
    }
    sector = table[sector];
    if (sector == kFree || sector == kFatSector || sector == kDifatSector)
      throwCorrupt(file_.path(), "a chain of its container's sectors is broken.");
  }
  if (size != 0) {
    if (out.size() < size) throwCorrupt(file_.path(), "a stream ends before its stated size.");
    out.resize(size_t(size));
  }
  return out;
}

std::optional<Bytes> CompoundFileReader::stream(const std::string& name) {
  for (const Entry& e : entries_) {
    if (e.type != 2 || !sameIgnoringCase(e.name, name)) continue;
    return chain(e.start, e.size, e.size < miniCutoff_);
  }
  return std::nullopt;
}

void writeCompoundFile(StagedFile& out, const std::u16string& name, const Bytes& data) {
  constexpr uint32_t kSector = 512;
  constexpr uint32_t kPerFat = kSector / 4;
  Bytes stream = data;
  if (stream.size() < 4096) stream.resize(4096, 0);
  const uint32_t streamSectors = uint32_t((stream.size() + kSector - 1) / kSector);
  stream.resize(size_t(streamSectors) * kSector, 0);
  const uint32_t dirSectors = 1;
  uint32_t fatSectors = 1, difatSectors = 0;
  for (;;) {
    const uint32_t total = streamSectors + dirSectors + fatSectors + difatSectors;
    const uint32_t needFat = (total + kPerFat - 1) / kPerFat;
    const uint32_t needDifat = needFat > 109 ? (needFat - 109 + kPerFat - 2) / (kPerFat - 1) : 0;
    if (needFat == fatSectors && needDifat == difatSectors) break;
    fatSectors = needFat;
    difatSectors = needDifat;
  }
  const uint32_t dirStart = streamSectors;
  const uint32_t fatStart = dirStart + dirSectors;
  const uint32_t difatStart = fatStart + fatSectors;

  Bytes header(512, 0);
  std::memcpy(header.data(), kSignature, 8);
  putU16(header.data() + 0x18, 0x003E);
  putU16(header.data() + 0x1A, 3);
  putU16(header.data() + 0x1C, 0xFFFE);
  putU16(header.data() + 0x1E, 9);
  putU16(header.data() + 0x20, 6);
  putU32(header.data() + 0x2C, fatSectors);
  putU32(header.data() + 0x30, dirStart);
  putU32(header.data() + 0x38, 4096);
  putU32(header.data() + 0x3C, kEndOfChain);
  putU32(header.data() + 0x44, difatSectors ? difatStart : kEndOfChain);
  putU32(header.data() + 0x48, difatSectors);
  for (uint32_t i = 0; i < 109; ++i) putU32(header.data() + 0x4C + 4 * i, i < fatSectors ? fatStart + i : kFree);
  out.append(header);
  out.append(stream);

  Bytes directory(kSector, 0);
  auto entry = [&](size_t index, const std::u16string& entryName, uint8_t type, uint32_t child, uint32_t start,
                   uint32_t size) {
    uint8_t* e = directory.data() + 128 * index;
    for (size_t i = 0; i < entryName.size() && i < 31; ++i) putU16(e + 2 * i, entryName[i]);
    putU16(e + 0x40, uint16_t(entryName.empty() ? 0 : 2 * (std::min<size_t>(entryName.size(), 31) + 1)));
    e[0x42] = type;
    e[0x43] = 1;  // black
    putU32(e + 0x44, kFree);
    putU32(e + 0x48, kFree);
    putU32(e + 0x4C, child);
    putU32(e + 0x74, start);
    putU32(e + 0x78, size);
  };
  entry(0, u"Root Entry", 5, 1, kEndOfChain, 0);
  entry(1, name, 2, kFree, 0, uint32_t(stream.size()));
  entry(2, u"", 0, kFree, 0, 0);
  entry(3, u"", 0, kFree, 0, 0);
  out.append(directory);

  std::vector<uint32_t> fat(size_t(fatSectors) * kPerFat, kFree);
  for (uint32_t i = 0; i < streamSectors; ++i) fat[i] = i + 1 < streamSectors ? i + 1 : kEndOfChain;
  fat[dirStart] = kEndOfChain;
  for (uint32_t i = 0; i < fatSectors; ++i) fat[fatStart + i] = kFatSector;
  for (uint32_t i = 0; i < difatSectors; ++i) fat[difatStart + i] = kDifatSector;
  Bytes fatBytes(fat.size() * 4);
  for (size_t i = 0; i < fat.size(); ++i) putU32(fatBytes.data() + 4 * i, fat[i]);
  out.append(fatBytes);

  for (uint32_t d = 0; d < difatSectors; ++d) {
    Bytes sector(kSector, 0xFF);
    for (uint32_t i = 0; i < kPerFat - 1; ++i) {
      const uint32_t index = 109 + d * (kPerFat - 1) + i;
      if (index < fatSectors) putU32(sector.data() + 4 * i, fatStart + index);
    }
    putU32(sector.data() + 4 * (kPerFat - 1), d + 1 < difatSectors ? difatStart + d + 1 : kEndOfChain);
    out.append(sector);
  }
}

}  // namespace kevra
