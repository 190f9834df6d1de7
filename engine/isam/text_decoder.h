// TextDecoder: bytes of a foreign file in some character set to UTF-8, in
// pieces, so a large file is never held whole. The automatic mode reads UTF-8
// and takes any byte that is not part of valid UTF-8 as Windows-1252, which
// reads UTF-8, ASCII, Windows-1252 and Latin-1 files alike.
#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace kevra {

class TextDecoder {
 public:
  // `charset`: empty for the automatic mode, else a character set name
  // ("UTF-8", "UTF-16LE", "WINDOWS-1252", "CP850", "MACINTOSH", ...).
  // Throws EngineError when the character set is not known.
  explicit TextDecoder(const std::string& charset);
  ~TextDecoder();
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;

  // Appends the UTF-8 for `bytes` to `out`. An incomplete sequence at the end
  // waits for the next piece; `last` says there is none.
  void decode(std::string_view bytes, bool last, std::string& out);

 private:
  void decodeAuto(std::string_view bytes, bool last, std::string& out);
  std::string charset_;
  void* iconv_ = nullptr;  // iconv_t
  std::string pending_;
};

// A byte-order mark at the start: its character set and length; empty charset
// when there is none.
struct ByteOrderMark {
  std::string charset;
  size_t length = 0;
};
ByteOrderMark detectByteOrderMark(std::string_view start);

// Character set name for a Windows code page number or a Schema.ini
// CharacterSet value (ANSI, OEM, Unicode, 1252, 65001...); empty for automatic.
std::string charsetForCodePage(const std::string& value);


}  // namespace kevra
