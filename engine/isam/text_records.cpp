// A small state machine over decoded text; a record cut by the end of a
// block is parsed again once the next block is in.
#include "engine/isam/text_records.h"

#include <cerrno>
#include <cstring>

#include "engine/util/error.h"

namespace kevra {

namespace {
constexpr size_t kBlock = 1 << 20;
}

TextRecords::TextRecords(const std::string& path, const TextLayout& layout) : path_(path), layout_(layout) {
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) throw EngineError("Cannot open the text file '" + path + "': " + std::strerror(errno) + ".");
}

TextRecords::~TextRecords() {
  if (file_) std::fclose(file_);
}

bool TextRecords::fill() {
  if (eof_) return false;
  std::string bytes(kBlock, '\0');
  size_t n = std::fread(bytes.data(), 1, kBlock, file_);
  if (n < kBlock) {
    if (std::ferror(file_)) throw EngineError("Cannot read the text file '" + path_ + "'.");
    eof_ = true;
  }
  bytes.resize(n);
  std::string_view in(bytes);
  if (!started_) {
    started_ = true;
    ByteOrderMark bom = detectByteOrderMark(in);
    in.remove_prefix(bom.length);
    // A byte-order mark outranks the declared character set.
    decoder_ = std::make_unique<TextDecoder>(bom.length ? bom.charset : layout_.charset);
  }
  if (pos_ > 0) {
    text_.erase(0, pos_);
    pos_ = 0;
  }
  decoder_->decode(in, eof_, text_);
  return true;
}

bool TextRecords::next(std::vector<TextField>& fields) {
  for (;;) {
    Outcome o = layout_.fixedLength ? parseFixed(fields) : parseDelimited(fields);
    if (o == Outcome::Record) {
      ++records_;
      return true;
    }
    if (o == Outcome::NeedMore) {
      if (!fill()) {
        if (pos_ >= text_.size()) return false;
      }
    }
  }
}

TextRecords::Outcome TextRecords::parseDelimited(std::vector<TextField>& fields) {
  const char* t = text_.data();
  const size_t n = text_.size();
  size_t p = pos_;
  if (p >= n) return Outcome::NeedMore;
  if (t[p] == '\n' || t[p] == '\r') {  // a blank line
    if (t[p] == '\r' && p + 1 >= n && !eof_) return Outcome::NeedMore;
    pos_ = p + ((t[p] == '\r' && p + 1 < n && t[p + 1] == '\n') ? 2 : 1);
    return Outcome::Blank;
  }
  const char delim = layout_.delimiter, quote = layout_.quote;
  size_t used = 0;
  for (;;) {
    if (fields.size() <= used) fields.emplace_back();
    TextField& f = fields[used++];
    f.text.clear();
    f.quoted = false;
    if (quote && p < n && t[p] == quote) {
      f.quoted = true;
      ++p;
      for (;;) {
        const void* q = std::memchr(t + p, quote, n - p);
        if (!q) {
          if (!eof_) return Outcome::NeedMore;
          throw EngineError("The text file '" + path_ + "' ends inside a quoted field (record " +
                            std::to_string(records_ + 1) + ").");
        }
        size_t at = size_t(static_cast<const char*>(q) - t);
        f.text.append(t + p, at - p);
        if (at + 1 >= n && !eof_) return Outcome::NeedMore;
        if (at + 1 < n && t[at + 1] == quote) {
          f.text.push_back(quote);
          p = at + 2;
          continue;
        }
        p = at + 1;
        break;
      }
    }
    // The unquoted field (or what follows a closing quote) up to the delimiter or line end.
    size_t start = p;
    while (p < n && t[p] != delim && t[p] != '\n' && t[p] != '\r') ++p;
    if (p >= n && !eof_) return Outcome::NeedMore;
    f.text.append(t + start, p - start);
    if (p < n && t[p] == delim) {
      ++p;
      continue;
    }
    if (p < n && t[p] == '\r') {
      if (p + 1 >= n && !eof_) return Outcome::NeedMore;
      p += (p + 1 < n && t[p + 1] == '\n') ? 2 : 1;
    } else if (p < n) {
      ++p;
    }
    break;
  }
  fields.resize(used);
  pos_ = p;
  return Outcome::Record;
}

TextRecords::Outcome TextRecords::parseFixed(std::vector<TextField>& fields) {
  const char* t = text_.data();
  const size_t n = text_.size();
  size_t p = pos_;
  if (p >= n) return Outcome::NeedMore;
  size_t end = p;
  while (end < n && t[end] != '\n' && t[end] != '\r') ++end;
  if (end >= n && !eof_) return Outcome::NeedMore;
  if (end < n && t[end] == '\r' && end + 1 >= n && !eof_) return Outcome::NeedMore;
  std::string_view line(t + p, end - p);
  pos_ = end + (end < n ? ((t[end] == '\r' && end + 1 < n && t[end + 1] == '\n') ? 2 : 1) : 0);
  if (line.find_first_not_of(' ') == std::string_view::npos) return Outcome::Blank;
  fields.resize(layout_.columns.size());
  size_t at = 0;  // in characters
  size_t byte = 0;
  for (size_t i = 0; i < layout_.columns.size(); ++i) {
    size_t width = layout_.columns[i].width, startByte = byte;
    for (size_t k = 0; k < width && byte < line.size(); ++k) {
      ++byte;
      while (byte < line.size() && (static_cast<unsigned char>(line[byte]) & 0xC0) == 0x80) ++byte;
    }
    at += width;
    std::string_view piece = line.substr(startByte, byte - startByte);
    size_t a = piece.find_first_not_of(' ');
    fields[i].text = a == std::string_view::npos ? "" : std::string(piece.substr(a, piece.find_last_not_of(' ') - a + 1));
    fields[i].quoted = false;
  }
  return Outcome::Record;
}

}  // namespace kevra
