// Page 0 for a new file: magic, version byte, the masked region (constants,
// code page, no page encryption, password XOR-ed with the creation day,
// engine build, sort order, creation date), and the trailing constants.
#include "engine/storage/header_writer.h"

#include <cmath>
#include <cstring>
#include <string>

#include "engine/storage/page_file.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr size_t kMaskedStart = 0x18;
constexpr size_t kMaskedLength = 128;
constexpr uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
constexpr size_t kPasswordBytes = 2 * kMaxPasswordLength;

// Bytes 0x18..0x2F of the unmasked region: the same in every Jet 4 file.
constexpr uint8_t kMaskedPrologue[24] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                         0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
// Bytes 0x98..0x9F, after the masked region.
constexpr uint8_t kHeaderEpilogue[8] = {0x54, 0x06, 0x00, 0x00, 0x34, 0x2E, 0x30, 0x00};
constexpr size_t kWordTable = 0xE00;  // 256 u16 words: 0x0101, then 0x0100

// The 4 bytes the password is XOR-ed with: the whole days of the creation
// date, as the reader computes them.
void passwordMask(double serial, uint8_t out[4]) {
  uint32_t days = 0;
  if (std::isfinite(serial) && serial > -2147483648.0 && serial < 2147483648.0)
    days = uint32_t(int32_t(serial < 0 ? std::trunc(serial) : std::floor(serial)));
  putU32(out, days);
}

}  // namespace

void encodeHeader(const DatabaseHeader& header, uint8_t* page0) {
  if (header.format != FileFormat::Jet4)
    throw EngineError(std::string("Only Jet 4 database headers can be written, not ") + fileFormatName(header.format) +
                      ".");
  const std::u16string password = utf8ToUtf16(header.password);
  if (password.size() > kMaxPasswordLength)
    throw EngineError("A database password can have at most " + std::to_string(kMaxPasswordLength) +
                      " characters; the one given has " + std::to_string(password.size()) + ".");
  for (char16_t c : password)
    if (c == 0) throw EngineError("A database password cannot contain a NUL character.");

  std::memset(page0, 0, kPageSize);
  page0[1] = 0x01;
  std::memcpy(page0 + 4, "Standard Jet DB", 16);  // with its NUL
  page0[0x14] = 0x01;

  uint8_t masked[kMaskedLength] = {};
  auto at = [&](size_t absolute) { return masked + (absolute - kMaskedStart); };
  std::memcpy(at(0x18), kMaskedPrologue, sizeof kMaskedPrologue);
  putU16(at(0x3C), header.codePage);
  putU32(at(0x3E), header.encryptionKey);  // 0: pages are plain (page_codec.h)
  uint8_t mask[4];
  passwordMask(header.createdSerial, mask);
  uint8_t* pwd = at(0x42);
  for (size_t i = 0; i < password.size(); ++i) putU16(pwd + 2 * i, uint16_t(password[i]));
  for (size_t i = 0; i < kPasswordBytes; ++i) pwd[i] ^= mask[i % 4];
  putU32(at(0x6A), header.engineBuild);
  putU16(at(0x6E), header.sortOrder);
  *at(0x71) = header.sortOrderVersion;
  uint64_t bits;
  std::memcpy(&bits, &header.createdSerial, 8);
  putU32(at(0x72), uint32_t(bits));
  putU32(at(0x76), uint32_t(bits >> 32));
  rc4Xor(kHeaderKey, sizeof kHeaderKey, masked, kMaskedLength);
  std::memcpy(page0 + kMaskedStart, masked, kMaskedLength);

  std::memcpy(page0 + 0x98, kHeaderEpilogue, sizeof kHeaderEpilogue);
  for (size_t w = 0; w < 256; ++w) putU16(page0 + kWordTable + 2 * w, w == 0 ? 0x0101 : 0x0100);
}

}  // namespace kevra
