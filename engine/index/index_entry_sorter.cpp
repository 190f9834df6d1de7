// A run in the scratch file is its entries in order, each as a two-byte
// length, a flag byte (bit 0: a key field is NULL) and the entry's bytes.
// Entries that keep coming in order are written so as they come (the
// sorter "streams"); the first one out of order ends that, and from then on
// entries are held in memory and sorted.
#include "engine/index/index_entry_sorter.h"

#include <algorithm>
#include <cstring>

#include "engine/index/index_page.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr size_t kRecordHeader = 3;
constexpr size_t kMaxEntry = 4096;  // more than an index page holds
constexpr size_t kWriteBuffer = size_t(1) << 20;
constexpr size_t kMinReadBuffer = size_t(64) << 10;
constexpr size_t kMaxReadBuffer = size_t(1) << 20;

// Entry order (key, then row pointer; see entryLess) from byte `skip` on
// (the bytes before it equal): eight bytes at a time, inline — most keys
// differ in their first few words, where a call to memcmp costs more than
// the comparing.
inline bool entryLessFrom(ByteSpan x, ByteSpan y, size_t skip) {
  const size_t kx = x.size() - kRowPointerSize, ky = y.size() - kRowPointerSize;
  const size_t n = std::min(kx, ky);
  size_t i = std::min(skip, n);
  for (; i + 8 <= n; i += 8) {
    uint64_t a, b;
    std::memcpy(&a, x.data() + i, 8);
    std::memcpy(&b, y.data() + i, 8);
    if (a != b) return __builtin_bswap64(a) < __builtin_bswap64(b);
  }
  for (; i < n; ++i)
    if (x[i] != y[i]) return x[i] < y[i];
  if (kx != ky) return kx < ky;
  return std::memcmp(x.data() + kx, y.data() + ky, kRowPointerSize) < 0;
}

}  // namespace

// The entries held in memory: their bytes back to back in blocks (of 1 MiB
// but for small budgets; an entry never spans two), so the store grows without copying, and for
// each where it lies with its first 24 bytes as three numbers
// (zero-padded), where nearly every comparison of the sort ends.
struct IndexEntrySorter::Held {
  explicit Held(size_t budget) {
    while (blockBits < 20 && (size_t(1) << (blockBits + 4)) <= budget) ++blockBits;
    blockSize = size_t(1) << blockBits;
  }
  static constexpr size_t kPrefixBytes = 24;
  unsigned blockBits = 12;  // at least an entry's greatest length
  size_t blockSize;
  struct Entry {
    uint64_t prefix[3];
    uint64_t packed;  // offset << 24 | length << 1 | anyNull
    uint64_t offset() const { return packed >> 24; }
    size_t length() const { return size_t(packed >> 1) & 0x7FFFFF; }
    bool anyNull() const { return packed & 1; }
  };
  std::vector<std::unique_ptr<uint8_t[]>> blocks;
  uint64_t used = 0;  // offset of the next entry's bytes
  std::vector<Entry> entries;

  ByteSpan bytes(const Entry& e) const {
    return ByteSpan(blocks[e.offset() >> blockBits].get() + (e.offset() & (blockSize - 1)), e.length());
  }
  // The block an entry of `length` bytes goes into: the one `used` is in,
  // or the next when the rest of that one is too short.
  size_t blockFor(size_t length) const {
    const size_t block = size_t(used >> blockBits);
    return ((uint64_t(block) + 1) << blockBits) - used < length ? block + 1 : block;
  }
  size_t memory(size_t entryCount) const { return blocks.size() * blockSize + entryCount * sizeof(Entry); }
  // Whether one more entry of `length` bytes keeps within `budget`.
  bool room(size_t length, size_t budget) const {
    const bool newBlock = blockFor(length) >= blocks.size();
    const size_t entryRoom = entries.size() < entries.capacity() ? entries.capacity() : std::max<size_t>(16, entries.size() * 2);
    return memory(entryRoom) + (newBlock ? blockSize : 0) <= budget;
  }
  void add(ByteSpan entry, bool anyNull) {
    const size_t block = blockFor(entry.size());
    if (block >= blocks.size()) blocks.emplace_back(new uint8_t[blockSize]);
    used = std::max(used, uint64_t(block) << blockBits);
    std::memcpy(blocks[used >> blockBits].get() + (used & (blockSize - 1)), entry.data(), entry.size());
    Entry e{{0, 0, 0}, used << 24 | uint64_t(entry.size()) << 1 | uint64_t(anyNull)};
    uint8_t first[kPrefixBytes] = {};
    std::memcpy(first, entry.data(), std::min(kPrefixBytes, entry.size()));
    for (size_t w = 0; w < 3; ++w) {
      std::memcpy(&e.prefix[w], first + 8 * w, 8);
      e.prefix[w] = __builtin_bswap64(e.prefix[w]);  // first byte most significant
    }
    entries.push_back(e);
    used += entry.size();
  }
  void sort() {
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
      for (size_t w = 0; w < 3; ++w) {
        if (a.prefix[w] == b.prefix[w]) continue;
        // The first differing byte decides, unless it lies past the end of
        // the shorter of two keys of different lengths: that key is the
        // start of the other and comes first.
        const size_t at = 8 * w + size_t(__builtin_clzll(a.prefix[w] ^ b.prefix[w])) / 8;
        const size_t ka = a.length() - kRowPointerSize, kb = b.length() - kRowPointerSize;
        if (ka == kb || at < std::min(ka, kb)) return a.prefix[w] < b.prefix[w];
        return ka < kb;
      }
      // Equal first 24 bytes (or both shorter and equal): the rest decides.
      const ByteSpan x = bytes(a), y = bytes(b);
      return entryLessFrom(x, y, std::min<size_t>({kPrefixBytes, x.size(), y.size()}));
    });
  }
  // Empties the store, keeping its blocks and the entries' room for the
  // next run.
  void clear() {
    used = 0;
    entries.clear();
  }
};

// Reads one run back through a buffer, an entry at a time.
class IndexEntrySorter::RunReader {
 public:
  RunReader(File& file, uint64_t start, uint64_t end, size_t bufferSize)
      : file_(file), next_(start), end_(end), buffer_(std::max(bufferSize, kMinReadBuffer)) {}

  // Moves to the run's next entry; false past its end.
  bool advance() {
    if (!ensure(kRecordHeader)) return false;
    const size_t length = u16At(ByteSpan(buffer_.data() + pos_, kRecordHeader), 0);
    anyNull_ = buffer_[pos_ + 2] & 1;
    if (!ensure(kRecordHeader + length))
      throw EngineError("The temporary file of sorted index keys ends inside an entry.");
    entry_ = ByteSpan(buffer_.data() + pos_ + kRecordHeader, length);
    pos_ += kRecordHeader + length;
    return true;
  }
  ByteSpan entry() const { return entry_; }
  bool anyNull() const { return anyNull_; }

 private:
  // Makes `n` bytes of the run available from pos_; false at its end.
  bool ensure(size_t n) {
    if (filled_ - pos_ >= n) return true;
    std::memmove(buffer_.data(), buffer_.data() + pos_, filled_ - pos_);
    filled_ -= pos_;
    pos_ = 0;
    const size_t want = size_t(std::min<uint64_t>(buffer_.size() - filled_, end_ - next_));
    if (want > 0) {
      file_.read(buffer_.data() + filled_, want, next_);
      next_ += want;
      filled_ += want;
    }
    return filled_ >= n;
  }

  File& file_;
  uint64_t next_, end_;  // the part of the run not yet read
  Bytes buffer_;
  size_t pos_ = 0, filled_ = 0;
  ByteSpan entry_;
  bool anyNull_ = false;
};

IndexEntrySorter::IndexEntrySorter(FileSystem& fs, std::string beside, size_t memoryBudget)
    : fs_(fs), beside_(std::move(beside)), budget_(std::max(memoryBudget, size_t(64) << 10)),
      held_(std::make_unique<Held>(budget_)) {}

IndexEntrySorter::~IndexEntrySorter() = default;

namespace {

void appendRecord(Bytes& out, ByteSpan entry, bool anyNull) {
  out.push_back(uint8_t(entry.size()));
  out.push_back(uint8_t(entry.size() >> 8));
  out.push_back(anyNull ? 1 : 0);
  out.insert(out.end(), entry.begin(), entry.end());
}

// The record at `at` of `records`; moves `at` past it.
ByteSpan recordAt(const Bytes& records, size_t& at, bool& anyNull) {
  const size_t length = size_t(records[at]) | size_t(records[at + 1]) << 8;
  anyNull = records[at + 2] & 1;
  const ByteSpan entry(records.data() + at + kRecordHeader, length);
  at += kRecordHeader + length;
  return entry;
}

}  // namespace

void IndexEntrySorter::add(ByteSpan entry, bool anyNull) {
  if (finished_) throw EngineError("Internal error: an index entry was added after the sorting ended.");
  if (entry.size() > kMaxEntry) throw EngineError("An index entry is too long for an index page.");
  if (inOrder_ && count_ > 0) inOrder_ = entryLessFrom(ByteSpan(last_.data(), last_.size()), entry, 0);
  if (streaming_) {
    if (inOrder_) {
      // Nothing to sort: straight into the run, a buffer at a time.
      last_.assign(entry.begin(), entry.end());
      appendRecord(streamed_, entry, anyNull);
      if (streamed_.size() >= std::min(kWriteBuffer, budget_ / 2)) writeStreamed();
      ++count_;
      return;
    }
    endStreaming();
  }
  if (!held_->entries.empty() && !held_->room(entry.size(), budget_)) spill();
  held_->add(entry, anyNull);
  ++count_;
}

void IndexEntrySorter::writeStreamed() {
  if (!scratch_) scratch_ = fs_.createScratch(beside_);
  scratch_->write(streamed_.data(), streamed_.size(), scratchSize_);
  scratchSize_ += streamed_.size();
  streamed_.clear();
}

void IndexEntrySorter::endStreaming() {
  streaming_ = false;
  if (!scratch_) {
    // Everything so far is still in the buffer: held with what comes next.
    bool anyNull;
    for (size_t at = 0; at < streamed_.size();) {
      const ByteSpan entry = recordAt(streamed_, at, anyNull);
      held_->add(entry, anyNull);
    }
  } else {
    writeStreamed();
    runs_.push_back({0, scratchSize_});  // the run of the entries that came in order
  }
  Bytes().swap(streamed_);
}

void IndexEntrySorter::spill() {
  if (!inOrder_) held_->sort();
  if (!scratch_) scratch_ = fs_.createScratch(beside_);
  Bytes out;
  out.reserve(kWriteBuffer + kRecordHeader + kMaxEntry);
  const uint64_t start = scratchSize_;
  auto flush = [&] {
    scratch_->write(out.data(), out.size(), scratchSize_);
    scratchSize_ += out.size();
    out.clear();
  };
  for (const auto& e : held_->entries) {
    appendRecord(out, held_->bytes(e), e.anyNull());
    if (out.size() >= kWriteBuffer) flush();
  }
  flush();
  runs_.push_back({start, scratchSize_});
  held_->clear();
}

void IndexEntrySorter::finish() {
  if (finished_) return;
  finished_ = true;
  if (streaming_) {
    if (!scratch_) return;  // all of them in the buffer, in order
    writeStreamed();
    runs_.push_back({0, scratchSize_});
    streaming_ = false;
  }
  if (runs_.empty()) {
    if (!inOrder_) held_->sort();
    return;
  }
  if (!held_->entries.empty()) spill();
  held_.reset();  // the readers' buffers take its room
  const size_t bufferSize = std::clamp(budget_ / runs_.size(), kMinReadBuffer, kMaxReadBuffer);
  // Runs of entries that came in order follow one another: read one after
  // the other, not merged.
  const std::vector<Run> whole{{runs_.front().start, runs_.back().end}};
  for (const Run& run : inOrder_ ? whole : runs_) {
    auto reader = std::make_unique<RunReader>(*scratch_, run.start, run.end, bufferSize);
    if (reader->advance()) {
      heap_.push_back(readers_.size());
      readers_.push_back(std::move(reader));
    }
  }
  std::make_heap(heap_.begin(), heap_.end(), [&](size_t a, size_t b) {
    return entryLessFrom(readers_[b]->entry(), readers_[a]->entry(), 0);
  });
}

bool IndexEntrySorter::next(ByteSpan& entry, bool& anyNull) {
  if (!finished_) throw EngineError("Internal error: sorted index entries were read before the sorting ended.");
  if (streaming_) {
    if (position_ >= streamed_.size()) return false;
    entry = recordAt(streamed_, position_, anyNull);
    return true;
  }
  if (held_) {
    if (position_ >= held_->entries.size()) return false;
    const auto& e = held_->entries[position_++];
    entry = held_->bytes(e);
    anyNull = e.anyNull();
    return true;
  }
  // The heap is ordered so its front is the smallest entry.
  auto greater = [&](size_t a, size_t b) { return entryLessFrom(readers_[b]->entry(), readers_[a]->entry(), 0); };
  if (advance_ >= 0) {
    const size_t reader = size_t(advance_);
    advance_ = -1;
    std::pop_heap(heap_.begin(), heap_.end(), greater);
    if (readers_[reader]->advance())
      std::push_heap(heap_.begin(), heap_.end(), greater);
    else
      heap_.pop_back();
  }
  if (heap_.empty()) return false;
  const size_t smallest = heap_.front();
  entry = readers_[smallest]->entry();
  anyNull = readers_[smallest]->anyNull();
  advance_ = long(smallest);
  return true;
}

}  // namespace kevra
