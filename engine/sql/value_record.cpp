// Packing of value rows kept aside by a query.
#include "engine/sql/value_record.h"

#include <cstring>
#include <type_traits>

#include "engine/util/error.h"

namespace kevra::sql {
namespace {

[[noreturn]] void badRecord() { throw EngineError("A row the query kept aside in a temporary file reads back damaged."); }

void putBytes(Bytes& out, const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + n);
}

struct Reader {
  ByteSpan rest;
  void get(void* data, size_t n) {
    if (rest.size() < n) badRecord();
    if (n) std::memcpy(data, rest.data(), n);
    rest = rest.subspan(n);
  }
};

template <size_t I = 0>
Value readAlternative(Reader& in, size_t kind) {
  if constexpr (I < std::variant_size_v<Value>) {
    if (kind != I) return readAlternative<I + 1>(in, kind);
    using T = std::variant_alternative_t<I, Value>;
    T x{};
    if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Binary>) {
      uint32_t n = 0;
      in.get(&n, 4);
      if (in.rest.size() < n) badRecord();
      x.resize(n);
      in.get(x.data(), n);
    } else if constexpr (!std::is_same_v<T, std::monostate>) {
      in.get(&x, sizeof x);
    }
    return Value(std::move(x));
  } else {
    badRecord();
  }
}

}  // namespace

void appendValueRecord(const std::vector<Value>& values, Bytes& out) {
  const uint32_t count = uint32_t(values.size());
  putBytes(out, &count, 4);
  for (const Value& v : values) {
    const uint8_t kind = uint8_t(v.index());
    out.push_back(kind);
    std::visit(
        [&](const auto& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Binary>) {
            const uint32_t n = uint32_t(x.size());
            putBytes(out, &n, 4);
            putBytes(out, x.data(), n);
          } else if constexpr (!std::is_same_v<T, std::monostate>) {
            putBytes(out, &x, sizeof x);
          }
        },
        v);
  }
}

void readValueRecord(ByteSpan record, std::vector<Value>& values) {
  Reader in{record};
  uint32_t count = 0;
  in.get(&count, 4);
  if (count > in.rest.size()) badRecord();
  values.clear();
  values.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t kind = 0;
    in.get(&kind, 1);
    values.push_back(readAlternative(in, kind));
  }
  if (!in.rest.empty()) badRecord();
}

}  // namespace kevra::sql
