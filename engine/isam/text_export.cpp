// CSV and JSON Lines row writers.
#include "engine/isam/text_export.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/format/extended_date_time.h"
#include "engine/format/value_text.h"
#include "engine/util/error.h"

namespace kevra {

void TextSink::flush() {
  if (buffer_.empty()) return;
  if (target_) {
    try {
      target_->append(buffer_.data(), buffer_.size());
    } catch (...) {
      buffer_.clear();
      throw;
    }
    buffer_.clear();
    return;
  }
  size_t written = std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
  bool failed = written != buffer_.size();
  buffer_.clear();
  if (failed) throw EngineError(std::string("Could not write the output: ") + std::strerror(errno) + ".");
}

void appendJsonString(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
}

namespace {

template <typename T>
void appendInteger(std::string& out, T v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

template <typename F>
void appendFloat(std::string& out, F v) {
  if (!std::isfinite(v)) {
    appendJsonString(out, std::is_same_v<F, float> ? floatToShortest(float(v)) : doubleToShortest(double(v)));
    return;
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

class CsvWriter : public RowTextWriter {
 public:
  explicit CsvWriter(TextSink& sink) : sink_(sink) {}
  void begin(const std::vector<std::string>& names) override {
    std::string& out = sink_.buffer();
    for (size_t i = 0; i < names.size(); ++i) {
      if (i) out.push_back(',');
      field(out, names[i]);
    }
    out += "\r\n";
  }
  void row(const std::vector<Value>& values) override {
    std::string& out = sink_.buffer();
    for (size_t i = 0; i < values.size(); ++i) {
      if (i) out.push_back(',');
      const Value& v = values[i];
      // Only texts can hold a comma, a quote or a line break: every other
      // value's text goes out as it is.
      if (auto s = std::get_if<std::string>(&v))
        field(out, *s);
      else
        appendValueText(out, v);
    }
    out += "\r\n";
    sink_.maybeFlush();
  }

 private:
  static void field(std::string& out, std::string_view text) {
    static constexpr auto kSpecial = [] {
      std::array<bool, 256> t{};
      t[','] = t['"'] = t['\r'] = t['\n'] = true;
      return t;
    }();
    bool plain = true;
    for (char c : text)
      if (kSpecial[static_cast<unsigned char>(c)]) {
        plain = false;
        break;
      }
    if (plain) {
      out.append(text);
      return;
    }
    out.push_back('"');
    for (char c : text) {
      if (c == '"') out.push_back('"');
      out.push_back(c);
    }
    out.push_back('"');
  }
  TextSink& sink_;
};

class JsonLinesWriter : public RowTextWriter {
 public:
  explicit JsonLinesWriter(TextSink& sink) : sink_(sink) {}
  void begin(const std::vector<std::string>& names) override {
    keys_.clear();
    for (const auto& n : names) {
      std::string k;
      appendJsonString(k, n);
      k.push_back(':');
      keys_.push_back(std::move(k));
    }
  }
  void row(const std::vector<Value>& values) override {
    std::string& out = sink_.buffer();
    out.push_back('{');
    for (size_t i = 0; i < values.size() && i < keys_.size(); ++i) {
      if (i) out.push_back(',');
      out += keys_[i];
      appendJsonValue(out, values[i]);
    }
    out += "}\n";
    sink_.maybeFlush();
  }

 private:
  TextSink& sink_;
  std::vector<std::string> keys_;
};

}  // namespace

void appendJsonValue(std::string& out, const Value& v) {
  struct Visitor {
    std::string& out;
    const Value& whole;
    // The canonical text in quotes, for values whose texts never hold a
    // character JSON escapes (exact decimals, dates, base64, GUIDs).
    void quoted() const {
      out.push_back('"');
      appendValueText(out, whole);
      out.push_back('"');
    }
    void operator()(std::monostate) const { out += "null"; }
    void operator()(bool b) const { out += b ? "true" : "false"; }
    void operator()(uint8_t x) const { appendInteger(out, unsigned(x)); }
    void operator()(int16_t x) const { appendInteger(out, int(x)); }
    void operator()(int32_t x) const { appendInteger(out, x); }
    void operator()(float f) const { appendFloat(out, f); }
    void operator()(double d) const { appendFloat(out, d); }
    void operator()(const std::string& s) const { appendJsonString(out, s); }
    void operator()(Currency) const { quoted(); }
    void operator()(DateTime) const { quoted(); }
    void operator()(const Binary&) const { quoted(); }
    void operator()(const Guid&) const { quoted(); }
    void operator()(const Decimal&) const { quoted(); }
    void operator()(const ExtendedDateTime&) const { quoted(); }
    // Beyond 2^53 a JSON number loses digits in most readers; the text keeps them.
    void operator()(int64_t x) const {
      if (x > -(int64_t(1) << 53) && x < (int64_t(1) << 53))
        appendInteger(out, x);
      else
        quoted();
    }
  };
  std::visit(Visitor{out, v}, v);
}

std::unique_ptr<RowTextWriter> makeCsvWriter(TextSink& sink) { return std::make_unique<CsvWriter>(sink); }
std::unique_ptr<RowTextWriter> makeJsonLinesWriter(TextSink& sink) { return std::make_unique<JsonLinesWriter>(sink); }

}  // namespace kevra
