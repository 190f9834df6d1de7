// Builds the four sections of a General text key (main, accent, hidden,
// flags) in one pass over the code units, then joins them.
#include "engine/index/text_key_encoder.h"

#include <cstring>
#include <vector>

#include "engine/index/general_sort_table.h"

namespace kevra {
namespace {

constexpr uint8_t kAccentPad = 0x02;

struct TextKeySections {
  uint8_t sortVersion = 0;
  Bytes main;
  Bytes accent;
  size_t accentCharacters = 0;  // characters the accent section stands for
  bool accentLead = false;      // accent starts with a modifier byte that stands for none
  Bytes hidden;
  std::vector<uint8_t> flags;

  // Empties the sections, keeping their room for the next key.
  void reset(uint8_t version) {
    sortVersion = version;
    main.clear();
    accent.clear();
    accentCharacters = 0;
    accentLead = false;
    hidden.clear();
    flags.clear();
  }

  void padAccentTo(size_t position) {
    while (accentCharacters < position) {
      accent.push_back(kAccentPad);
      ++accentCharacters;
    }
  }

  void addHidden(size_t position, uint8_t code) {
    size_t k = position;
    if (!accent.empty()) k = accent.size() + (position - accentCharacters) - (accentLead ? 1 : 0);
    uint16_t v = uint16_t(0x8000 | (7 + 4 * k));
    hidden.push_back(uint8_t(v >> 8));
    hidden.push_back(uint8_t(v));
    hidden.push_back(0x06);
    hidden.push_back(code);
  }

  void add(char16_t unit, size_t& position) {
    const SortCode& code = generalSortCode(unit, sortVersion);
    size_t here = position;
    if (code.hasPrimary()) {
      main.insert(main.end(), code.primary, code.primary + code.primaryLength);
      ++position;
    }
    switch (code.cls) {
      case SortClass::Ignored:
      case SortClass::Plain:
        break;
      case SortClass::Hidden:
        addHidden(here, code.second[0]);
        break;
      case SortClass::Modifier:
        padAccentTo(here);
        if (accent.empty()) {
          accent.push_back(code.second[0]);
          accentLead = true;
        } else {
          accent.back() = uint8_t(accent.back() + code.second[0]);
        }
        break;
      case SortClass::Accent:
      case SortClass::Surrogate:
      case SortClass::Flagged2:
      case SortClass::Flagged3:
        if (code.secondLength) {
          padAccentTo(here);
          accent.insert(accent.end(), code.second, code.second + code.secondLength);
          ++accentCharacters;
        }
        if (code.isFlagged()) flags.push_back(code.flag());
        break;
    }
  }

  void appendTo(Bytes& out) const {
    out.insert(out.end(), main.begin(), main.end());
    out.push_back(0x01);
    size_t accentLength = accent.size();
    while (accentLength && accent[accentLength - 1] <= 0x02) --accentLength;
    out.insert(out.end(), accent.begin(), accent.begin() + ptrdiff_t(accentLength));
    if (hidden.empty() && flags.empty()) return;
    out.push_back(0x01);
    out.push_back(0x01);
    if (!flags.empty()) {
      size_t count = flags.size();
      while (count && flags[count - 1] == 3) --count;
      for (size_t i = 0; i < count; i += 3) {
        uint8_t packed = 0x80;
        for (size_t j = 0; j < 3 && i + j < count; ++j) packed |= uint8_t(flags[i + j] << (4 - 2 * j));
        out.push_back(packed);
      }
      for (uint8_t b : {0xFF, 0x02, 0x80, 0xFF, 0x80}) out.push_back(b);
      if (!hidden.empty()) out.push_back(0xFF);
    }
    if (!hidden.empty()) {
      out.push_back(0x01);
      out.insert(out.end(), hidden.begin(), hidden.end());
    }
  }
};

// Text whose every character sorts plainly (most names and words) has a
// key of its main section alone: written straight into `out`. False, with
// `out` as it was, at the first character that is not plain.
bool appendPlainTextKey(std::u16string_view text, Bytes& out, uint8_t sortVersion) {
  const size_t start = out.size();
  const SortCode* codes = generalSortCodes(sortVersion);
  // Room for every primary byte (eight at most per character) and the end.
  out.resize(start + 8 * text.size() + 1);
  uint8_t* at = out.data() + start;
  for (char16_t unit : text) {
    const SortCode& code = codes[unit];
    if (code.cls != SortClass::Plain && code.cls != SortClass::Ignored) {
      out.resize(start);
      return false;
    }
    std::memcpy(at, code.primary, 8);  // the bytes past its length are overwritten next
    at += code.primaryLength;
  }
  *at++ = 0x01;
  out.resize(size_t(at - out.data()));
  return true;
}

}  // namespace

void appendTextKeySegment(std::u16string_view text, bool ascending, Bytes& out, uint8_t sortVersion) {
  if (text.size() > kMaxTextKeyUnits) text = text.substr(0, kMaxTextKeyUnits);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);

  out.push_back(ascending ? 0x7F : 0x80);
  size_t bodyStart = out.size();
  if (!appendPlainTextKey(text, out, sortVersion)) {
    thread_local TextKeySections sections;  // its buffers serve key after key
    sections.reset(sortVersion);
    size_t position = 0;
    for (char16_t unit : text) sections.add(unit, position);
    sections.appendTo(out);
  }
  out.push_back(0x00);
  if (!ascending) {
    for (size_t i = bodyStart; i < out.size(); ++i) out[i] = uint8_t(0xFF - out[i]);
    out.push_back(0x00);
  }
}

void appendTextKeyPrimary(std::u16string_view text, bool ascending, bool whole, Bytes& out, uint8_t sortVersion) {
  if (text.size() > kMaxTextKeyUnits) text = text.substr(0, kMaxTextKeyUnits);
  // Stored keys drop trailing spaces, so a start that ends in spaces must too.
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  TextKeySections sections;
  sections.sortVersion = sortVersion;
  size_t position = 0;
  for (char16_t unit : text) sections.add(unit, position);
  out.push_back(ascending ? 0x7F : 0x80);
  size_t bodyStart = out.size();
  out.insert(out.end(), sections.main.begin(), sections.main.end());
  if (whole) out.push_back(0x01);
  if (!ascending)
    for (size_t i = bodyStart; i < out.size(); ++i) out[i] = uint8_t(0xFF - out[i]);
}

}  // namespace kevra
