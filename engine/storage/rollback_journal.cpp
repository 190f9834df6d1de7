// Journal file format: header (magic, page size, original page count, record
// count, checksum), then records of (u32 page number, 4096 bytes).
#include "engine/storage/rollback_journal.h"

#include <cstring>

#include "engine/util/bytes.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr char kMagic[8] = {'K', 'V', 'J', 'N', 'L', '0', '0', '1'};
constexpr size_t kHeaderSize = 32;
constexpr size_t kRecordSize = 4 + 4096;

uint64_t fnv1a(uint64_t h, const uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    h ^= data[i];
    h *= 0x100000001b3ULL;
  }
  return h;
}

uint32_t get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

}  // namespace

// The checksum runs over the records first and then the header fields, so
// records can be appended without reading them back.
JournalWriter::JournalWriter(FileSystem& fs, const std::string& databasePath, uint32_t originalPageCount)
    : fs_(fs),
      path_(RollbackJournal::pathFor(databasePath)),
      originalPageCount_(originalPageCount),
      hash_(0xcbf29ce484222325ULL) {
  try {
    file_ = fs_.open(path_, OpenMode::Create);
  } catch (const FileError& e) {
    throw EngineError("Could not create the journal '" + path_ + "': " + e.reason() +
                      ". Changes need a writable folder beside the database.");
  }
}

JournalWriter::~JournalWriter() = default;

void JournalWriter::add(uint32_t page, const uint8_t* original) {
  uint8_t record[kRecordSize];
  putU32(record, page);
  std::memcpy(record + 4, original, 4096);
  file_->write(record, kRecordSize, uint64_t(kHeaderSize) + uint64_t(count_) * kRecordSize);
  hash_ = fnv1a(hash_, record, kRecordSize);
  ++count_;
}

void JournalWriter::sync() {
  uint8_t h[kHeaderSize] = {};
  std::memcpy(h, kMagic, 8);
  putU32(h + 8, 4096);
  putU32(h + 12, originalPageCount_);
  putU32(h + 16, count_);
  uint64_t sum = fnv1a(hash_, h + 8, 12);
  for (int i = 0; i < 8; ++i) h[20 + i] = uint8_t(sum >> (8 * i));
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
  if (std::memcmp(h, kMagic, 8) != 0 || get32(h + 8) != 4096) return false;
  uint32_t count = get32(h + 16);
  // Records appended after the last flush of the header are not part of it.
  if (buffer.size() < kHeaderSize + size_t(count) * kRecordSize) return false;
  uint64_t sum = fnv1a(0xcbf29ce484222325ULL, buffer.data() + kHeaderSize, size_t(count) * kRecordSize);
  sum = fnv1a(sum, h + 8, 12);
  uint64_t stored = 0;
  for (int i = 0; i < 8; ++i) stored |= uint64_t(h[20 + i]) << (8 * i);
  if (sum != stored) return false;
  contents.originalPageCount = get32(h + 12);
  contents.pages.clear();
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* r = buffer.data() + kHeaderSize + size_t(i) * kRecordSize;
    std::memcpy(contents.pages[get32(r)].data(), r + 4, 4096);
  }
  return true;
}

void RollbackJournal::remove(FileSystem& fs, const std::string& databasePath) {
  fs.remove(pathFor(databasePath));
  fs.syncFolderOf(databasePath);
}

}  // namespace kevra
