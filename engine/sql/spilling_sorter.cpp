// Sorted batches in temporary files, merged with a heap of their heads.
#include "engine/sql/spilling_sorter.h"

#include <algorithm>
#include <cstring>
#include <queue>
#include <type_traits>

#include "engine/util/error.h"

namespace kevra::sql {
namespace {

[[noreturn]] void fileFailed() {
  throw EngineError("A temporary file for sorting the query's rows could not be written or read; is the disk full?");
}

void put(std::FILE* f, const void* data, size_t n) {
  if (n && std::fwrite(data, 1, n, f) != n) fileFailed();
}

void get(std::FILE* f, void* data, size_t n) {
  if (n && std::fread(data, 1, n, f) != n) fileFailed();
}

void writeValue(std::FILE* f, const Value& v) {
  const uint8_t kind = uint8_t(v.index());
  put(f, &kind, 1);
  std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Binary>) {
          const uint32_t n = uint32_t(x.size());
          put(f, &n, 4);
          put(f, x.data(), n);
        } else if constexpr (!std::is_same_v<T, std::monostate>) {
          put(f, &x, sizeof x);
        }
      },
      v);
}

template <size_t I = 0>
Value readAlternative(std::FILE* f, size_t kind) {
  if constexpr (I < std::variant_size_v<Value>) {
    if (kind != I) return readAlternative<I + 1>(f, kind);
    using T = std::variant_alternative_t<I, Value>;
    T x{};
    if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Binary>) {
      uint32_t n = 0;
      get(f, &n, 4);
      x.resize(n);
      get(f, x.data(), n);
    } else if constexpr (!std::is_same_v<T, std::monostate>) {
      get(f, &x, sizeof x);
    }
    return Value(std::move(x));
  } else {
    fileFailed();
  }
}

size_t footprint(const SortKey& k) {
  size_t n = sizeof(SortKey) + k.values.size() * (sizeof(Value) + sizeof(Bytes));
  for (const Value& v : k.values)
    if (auto* s = std::get_if<std::string>(&v)) n += s->capacity();
  for (const Bytes& b : k.textKeys) n += b.capacity();
  return n + k.payload.capacity();
}

}  // namespace

struct SpillingSorter::Run {
  std::FILE* file = std::tmpfile();
  uint64_t left = 0;
  SortKey head;
  ~Run() {
    if (file) std::fclose(file);
  }
  bool advance() {
    if (left == 0) return false;
    --left;
    uint64_t id, sequence;
    uint32_t count;
    get(file, &id, 8);
    get(file, &sequence, 8);
    get(file, &count, 4);
    std::vector<Value> values;
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t kind;
      get(file, &kind, 1);
      values.push_back(readAlternative(file, kind));
    }
    uint32_t size;
    get(file, &size, 4);
    Bytes payload(size);
    get(file, payload.data(), size);
    head = makeSortKey(id, sequence, std::move(values));
    head.payload = std::move(payload);
    return true;
  }
};

SpillingSorter::SpillingSorter(const std::vector<OrderItem>& orderBy, size_t memoryBudget)
    : less_(orderBy), budget_(memoryBudget) {}

SpillingSorter::~SpillingSorter() = default;

void SpillingSorter::add(uint64_t id, std::vector<Value> key, Bytes payload) {
  keys_.push_back(makeSortKey(id, sequence_++, std::move(key)));
  keys_.back().payload = std::move(payload);
  held_ += footprint(keys_.back());
  if (held_ > budget_) spill();
}

void SpillingSorter::spill() {
  std::sort(keys_.begin(), keys_.end(), less_);
  auto run = std::make_unique<Run>();
  if (!run->file) fileFailed();
  for (const SortKey& k : keys_) {
    put(run->file, &k.id, 8);
    put(run->file, &k.sequence, 8);
    const uint32_t count = uint32_t(k.values.size());
    put(run->file, &count, 4);
    for (const Value& v : k.values) writeValue(run->file, v);
    const uint32_t size = uint32_t(k.payload.size());
    put(run->file, &size, 4);
    put(run->file, k.payload.data(), size);
  }
  if (std::fflush(run->file) != 0) fileFailed();
  run->left = keys_.size();
  runs_.push_back(std::move(run));
  ++filesWritten_;
  keys_.clear();
  keys_.shrink_to_fit();
  held_ = 0;
}

std::vector<uint64_t> SpillingSorter::finish() {
  std::vector<uint64_t> ids;
  ids.reserve(runs_.empty() ? keys_.size() : 0);
  finish([&](uint64_t id, const Bytes&) { ids.push_back(id); });
  return ids;
}

void SpillingSorter::finish(const std::function<void(uint64_t id, const Bytes& payload)>& emit) {
  if (runs_.empty()) {
    std::sort(keys_.begin(), keys_.end(), less_);
    for (const SortKey& k : keys_) emit(k.id, k.payload);
    keys_.clear();
    return;
  }
  if (!keys_.empty()) spill();
  auto later = [&](size_t a, size_t b) { return less_(runs_[b]->head, runs_[a]->head); };
  std::priority_queue<size_t, std::vector<size_t>, decltype(later)> heads(later);
  for (size_t r = 0; r < runs_.size(); ++r) {
    std::rewind(runs_[r]->file);
    if (runs_[r]->advance()) heads.push(r);
  }
  while (!heads.empty()) {
    const size_t r = heads.top();
    heads.pop();
    emit(runs_[r]->head.id, runs_[r]->head.payload);
    if (runs_[r]->advance()) heads.push(r);
  }
  runs_.clear();
}

}  // namespace kevra::sql
