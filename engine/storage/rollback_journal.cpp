// Journal file format: a 64-byte header (magic, page size, original page
// count, record count, checksum, binding), then original and content records.
#include "engine/storage/rollback_journal.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "engine/util/bytes.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr char kMagic[8] = {'K', 'V', 'J', 'N', 'L', '0', '0', '2'};
constexpr size_t kHeaderSize = 64;
constexpr size_t kSectorSize = 512;
constexpr size_t kHashesSize = 8 * 4;
constexpr uint32_t kOriginalRecord = 1;
constexpr uint32_t kContentRecord = 2;
constexpr size_t kOriginalRecordSize = 8 + 4096 + kHashesSize;
constexpr size_t kContentRecordSize = 8 + kHashesSize;
constexpr uint64_t kFnvStart = 0xcbf29ce484222325ULL;

uint64_t fnv1a(uint64_t h, const uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    h ^= data[i];
    h *= 0x100000001b3ULL;
  }
  return h;
}

uint32_t get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint64_t get64(const uint8_t* p) { return get32(p) | (uint64_t(get32(p + 4)) << 32); }
void put64(uint8_t* p, uint64_t v) {
  putU32(p, uint32_t(v));
  putU32(p + 4, uint32_t(v >> 32));
}

// The header fields the checksum covers: everything but the magic and the
// checksum itself.
uint64_t headerSum(uint64_t h, const uint8_t* header) {
  h = fnv1a(h, header + 8, 12);
  return fnv1a(h, header + 28, kHeaderSize - 28);
}

void putHashes(uint8_t* at, const uint8_t* content) {
  const SectorHashes hashes = sectorHashesOf(content);
  for (size_t i = 0; i < hashes.size(); ++i) putU32(at + 4 * i, hashes[i]);
}

SectorHashes getHashes(const uint8_t* at) {
  SectorHashes hashes;
  for (size_t i = 0; i < hashes.size(); ++i) hashes[i] = get32(at + 4 * i);
  return hashes;
}

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

SectorHashes sectorHashesOf(const uint8_t* page) {
  SectorHashes hashes;
  for (size_t i = 0; i < hashes.size(); ++i)
    hashes[i] = uint32_t(fnv1a(kFnvStart, page + i * kSectorSize, kSectorSize) >> 16);
  return hashes;
}

uint64_t headerPageHashOf(const uint8_t* page) { return fnv1a(kFnvStart, page, 4096); }

// The checksum runs over the records first and then the header fields, so
// records can be appended without reading them back.
JournalWriter::JournalWriter(FileSystem& fs, const std::string& databasePath, uint32_t originalPageCount,
                             const JournalBinding& binding)
    : fs_(fs),
      path_(RollbackJournal::pathFor(databasePath)),
      originalPageCount_(originalPageCount),
      binding_(binding),
      end_(kHeaderSize),
      hash_(kFnvStart) {
  try {
    file_ = fs_.open(path_, OpenMode::Create);
  } catch (const FileError& e) {
    throw EngineError("Could not create the journal '" + path_ + "': " + e.reason() +
                      ". Changes need a writable folder beside the database.");
  }
}

JournalWriter::~JournalWriter() = default;

void JournalWriter::add(uint32_t page, const uint8_t* original, const uint8_t* replacement) {
  uint8_t record[kOriginalRecordSize];
  putU32(record, page);
  putU32(record + 4, kOriginalRecord);
  std::memcpy(record + 8, original, 4096);
  putHashes(record + 8 + 4096, replacement);
  file_->write(record, sizeof record, end_);
  end_ += sizeof record;
  hash_ = fnv1a(hash_, record, sizeof record);
  ++count_;
}

void JournalWriter::addContent(uint32_t page, const uint8_t* replacement) {
  uint8_t record[kContentRecordSize];
  putU32(record, page);
  putU32(record + 4, kContentRecord);
  putHashes(record + 8, replacement);
  file_->write(record, sizeof record, end_);
  end_ += sizeof record;
  hash_ = fnv1a(hash_, record, sizeof record);
  ++count_;
}

void JournalWriter::sync() {
  uint8_t h[kHeaderSize] = {};
  std::memcpy(h, kMagic, 8);
  putU32(h + 8, 4096);
  putU32(h + 12, originalPageCount_);
  putU32(h + 16, count_);
  put64(h + 28, binding_.file.device);
  put64(h + 36, binding_.file.inode);
  put64(h + 44, binding_.originalSize);
  put64(h + 52, binding_.headerPageHash);
  put64(h + 20, headerSum(hash_, h));
  file_->write(h, kHeaderSize, 0);
  file_->sync();
  if (!folderSynced_) {
    fs_.syncFolderOf(path_);
    folderSynced_ = true;
  }
}

bool RollbackJournal::exists(FileSystem& fs, const std::string& databasePath) {
  return fs.exists(pathFor(databasePath));
}

bool RollbackJournal::read(FileSystem& fs, const std::string& databasePath, JournalContents& contents) {
  const std::string path = pathFor(databasePath);
  std::unique_ptr<File> file;
  try {
    file = fs.open(path, OpenMode::Read);
  } catch (const FileError& e) {
    if (e.kind() == FileError::Kind::NotFound) return false;
    throw;
  }
  // A journal that cannot be read is not taken as incomplete: that would
  // throw away the only copy of pages the file may already have lost.
  const uint64_t size = file->size();
  if (size < kHeaderSize) return false;
  std::vector<uint8_t> buffer(static_cast<size_t>(size));
  file->read(buffer.data(), buffer.size(), 0);
  const uint8_t* h = buffer.data();
  if (std::memcmp(h, kMagic, 7) == 0 && h[7] != kMagic[7])
    throw EngineError("The recovery journal beside '" + fileName(databasePath) +
                      "' was written by an older version of Kevra and cannot be checked against the file. Run "
                      "kevra-cli recover '" + fileName(databasePath) + "' --discard-journal to set it aside.");
  if (std::memcmp(h, kMagic, 8) != 0 || get32(h + 8) != 4096) return false;
  const uint32_t count = get32(h + 16);
  // Records appended after the last flush of the header are not part of it;
  // walking them finds where the covered ones end.
  contents.pages.clear();
  contents.written.clear();
  size_t at = kHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    if (buffer.size() - at < kContentRecordSize) return false;
    const uint8_t* r = buffer.data() + at;
    const uint32_t page = get32(r);
    const uint32_t kind = get32(r + 4);
    if (kind == kOriginalRecord) {
      if (buffer.size() - at < kOriginalRecordSize) return false;
      std::memcpy(contents.pages[page].data(), r + 8, 4096);
      contents.written[page].push_back(getHashes(r + 8 + 4096));
      at += kOriginalRecordSize;
    } else if (kind == kContentRecord) {
      contents.written[page].push_back(getHashes(r + 8));
      at += kContentRecordSize;
    } else {
      return false;
    }
  }
  const uint64_t sum = headerSum(fnv1a(kFnvStart, buffer.data() + kHeaderSize, at - kHeaderSize), h);
  if (sum != get64(h + 20)) return false;
  contents.originalPageCount = get32(h + 12);
  contents.binding.file = {get64(h + 28), get64(h + 36)};
  contents.binding.originalSize = get64(h + 44);
  contents.binding.headerPageHash = get64(h + 52);
  return true;
}

std::optional<std::string> RollbackJournal::mismatch(const JournalContents& contents, File& database,
                                                     const std::optional<FileIdentity>& identity, bool checkIdentity) {
  const JournalBinding& b = contents.binding;
  if (checkIdentity && (!identity || *identity != b.file))
    return "it was made for another file (the database was replaced or the journal copied beside it)";
  const uint64_t size = database.size();
  if (size < b.originalSize || size < uint64_t(contents.originalPageCount) * 4096)
    return "the file is shorter than it was when the interrupted change began";
  std::array<uint8_t, 4096> page;
  if (!contents.pages.count(0)) {
    database.read(page.data(), page.size(), 0);
    if (headerPageHashOf(page.data()) != b.headerPageHash) return "the file's header page has changed since";
  }
  for (const auto& [number, original] : contents.pages) {
    if (number >= contents.originalPageCount) continue;
    database.read(page.data(), page.size(), uint64_t(number) * 4096);
    const SectorHashes now = sectorHashesOf(page.data());
    const auto announced = contents.written.find(number);
    for (size_t s = 0; s < now.size(); ++s) {
      if (std::memcmp(page.data() + s * kSectorSize, original.data() + s * kSectorSize, kSectorSize) == 0) continue;
      const bool ours = announced != contents.written.end() &&
                        std::any_of(announced->second.begin(), announced->second.end(),
                                    [&](const SectorHashes& h) { return h[s] == now[s]; });
      if (!ours)
        return "page " + std::to_string(number) +
               " holds neither its original nor what the interrupted change wrote (another program changed the file since)";
    }
  }
  return std::nullopt;
}

void RollbackJournal::applyTo(File& database, const JournalContents& contents) {
  for (const auto& [page, bytes] : contents.pages) database.write(bytes.data(), bytes.size(), uint64_t(page) * 4096);
  database.truncate(uint64_t(contents.originalPageCount) * 4096);
  database.sync();
}

void RollbackJournal::remove(FileSystem& fs, const std::string& databasePath) {
  fs.remove(pathFor(databasePath));
  fs.syncFolderOf(databasePath);
}

}  // namespace kevra
