// Decoding of page 0: format byte, the RC4-masked region and the password.
#include "engine/storage/header.h"

#include <cmath>
#include <cstring>

#include "engine/util/code_page.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {

const char* fileFormatName(FileFormat f) {
  switch (f) {
    case FileFormat::Jet3: return "Jet 3 (Access 97)";
    case FileFormat::Jet4: return "Jet 4 (Access 2000-2003)";
    case FileFormat::Ace12: return "ACE 12 (Access 2007 .accdb)";
    case FileFormat::Ace14: return "ACE 14 (Access 2010 .accdb)";
    case FileFormat::Ace16: return "ACE 16 (Access 2016 .accdb)";
    case FileFormat::Ace17: return "ACE 17 (Access 2019 .accdb)";
    default: return "unknown";
  }
}

void rc4Xor(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length) {
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = uint8_t(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = uint8_t(j + s[i] + key[size_t(i) % keyLength]);
    std::swap(s[i], s[j]);
  }
  uint8_t a = 0, b = 0;
  for (size_t n = 0; n < length; ++n) {
    a = uint8_t(a + 1);
    b = uint8_t(b + s[a]);
    std::swap(s[a], s[b]);
    data[n] ^= s[uint8_t(s[a] + s[b])];
  }
}

namespace {
constexpr size_t kMaskedStart = 0x18;
constexpr size_t kMaskedLength = 128;  // Jet 3 masks 126 of them
constexpr uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
}  // namespace

DatabaseHeader decodeHeader(ByteSpan page0) {
  requireRange(page0, 0, 0x98, "the database header");
  static const char kMagic[] = "Standard Jet DB";
  static const char kAceMagic[] = "Standard ACE DB";
  if (page0[0] != 0 ||
      (std::memcmp(page0.data() + 4, kMagic, 16) != 0 && std::memcmp(page0.data() + 4, kAceMagic, 16) != 0))
    throw CorruptFileError("Not an Access database: the file does not start with a Jet database header.");
  DatabaseHeader h;
  h.versionByte = page0[0x14];
  switch (h.versionByte) {
    case 0: h.format = FileFormat::Jet3; break;
    case 1: h.format = FileFormat::Jet4; break;
    case 2: h.format = FileFormat::Ace12; break;
    case 3:
    case 4: h.format = FileFormat::Ace14; break;  // 4 (Access 2013) is laid out as 14
    case 5: h.format = FileFormat::Ace16; break;
    case 6: h.format = FileFormat::Ace17; break;
    default: h.format = FileFormat::Unknown;
  }
  uint8_t masked[kMaskedLength];
  std::memcpy(masked, page0.data() + kMaskedStart, kMaskedLength);
  const bool jet3 = h.format == FileFormat::Jet3;
  rc4Xor(kHeaderKey, 4, masked, jet3 ? kMaskedLength - 2 : kMaskedLength);
  ByteSpan m(masked, kMaskedLength);
  auto at = [](size_t absolute) { return absolute - kMaskedStart; };
  h.codePage = u16At(m, at(0x3C));
  h.encryptionKey = u32At(m, at(0x3E));
  if (jet3) {
    // No creation date and no sort-order version; a 20-byte password in the
    // code page with no further mask.
    h.sortOrder = u16At(m, at(0x3A));
    h.engineBuild = u32At(m, at(0x56));
    ByteSpan pwd = m.subspan(at(0x42), 20);
    size_t len = 0;
    while (len < pwd.size() && pwd[len] != 0) ++len;
    h.password = decodeCodePage(pwd.first(len), h.codePage);
    return h;
  }
  h.engineBuild = u32At(m, at(0x6A));
  h.sortOrder = u16At(m, at(0x6E));
  h.sortOrderVersion = m[at(0x71)];
  h.createdSerial = f64At(m, at(0x72));

  // The password is XOR-ed with the integer part of the creation date.
  uint8_t pwd[40];
  std::memcpy(pwd, masked + at(0x42), 40);
  double serial = h.createdSerial;
  uint32_t dateMask = 0;
  if (std::isfinite(serial) && serial > -2147483648.0 && serial < 2147483648.0)
    dateMask = uint32_t(int32_t(std::floor(serial)));
  // Jet truncates towards zero; negative creation dates do not occur in practice.
  if (std::isfinite(serial) && serial < 0 && serial > -2147483648.0) dateMask = uint32_t(int32_t(serial));
  uint8_t maskBytes[4] = {uint8_t(dateMask), uint8_t(dateMask >> 8), uint8_t(dateMask >> 16), uint8_t(dateMask >> 24)};
  if (h.format == FileFormat::Jet4) {
    for (int i = 0; i < 40; ++i) pwd[i] ^= maskBytes[i % 4];
    size_t len = 0;
    while (len + 1 < 40 && (pwd[len] | pwd[len + 1])) len += 2;
    h.password = utf16leToUtf8(ByteSpan(pwd, len));
  }
  return h;
}

}  // namespace kevra
