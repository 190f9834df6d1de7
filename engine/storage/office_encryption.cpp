// Reading the Office encryption information and the two schemes Access
// writes: RC4 CryptoAPI and agile (AES with an XML descriptor).
#include "engine/storage/office_encryption.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include "engine/storage/crypto.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr uint32_t kAlgorithmRc4 = 0x6801;
constexpr uint32_t kAlgorithmAes128 = 0x660E;
constexpr uint32_t kAlgorithmAes256 = 0x6610;
constexpr uint32_t kFlagAes = 0x20;
constexpr uint32_t kMaxSpinCount = 10000000;  // the limit the Office format sets

CorruptFileError damaged(const std::string& fileName, const std::string& what) {
  return CorruptFileError("Corrupt file: the encryption information of '" + fileName + "' is damaged (" + what + ").");
}

std::string hex(uint32_t v) {
  char b[9];
  std::snprintf(b, sizeof b, "%X", unsigned(v));
  return b;
}

Bytes passwordBytes(const std::string& password, size_t maxUnits) {
  std::u16string units = utf8ToUtf16(password);
  if (units.size() > maxUnits) units.resize(maxUnits);
  Bytes out;
  out.reserve(units.size() * 2);
  for (char16_t u : units) {
    out.push_back(uint8_t(u));
    out.push_back(uint8_t(u >> 8));
  }
  return out;
}

std::array<uint8_t, 4> le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

// Cut to `size` bytes, or padded with `fill`.
Bytes sized(Bytes b, size_t size, uint8_t fill) {
  b.resize(size, fill);
  return b;
}

// ---- RC4 CryptoAPI (version x.2 with RC4) ----

class Rc4CryptoApiCodec : public PageCodec {
 public:
  Rc4CryptoApiCodec(Bytes baseHash, size_t keyBits, uint32_t headerKey)
      : baseHash_(std::move(baseHash)), keyBits_(keyBits), headerKey_(headerKey) {}

  std::string scheme() const override { return "Office RC4 CryptoAPI (" + std::to_string(keyBits_) + "-bit)"; }

  Bytes keyFor(uint32_t block) const {
    const auto b = le32(block);
    Bytes key = sized(HashFunction::sha1()(baseHash_, b), keyBits_ / 8, 0);
    if (keyBits_ == 40) key.resize(16, 0);  // a 40-bit key is used zero-extended to 128 bits
    return key;
  }

  void decode(uint32_t page, uint8_t* data, size_t size) const override {
    if (page == 0 || isUnwrittenPage(data, size)) return;
    const Bytes key = keyFor(headerKey_ ^ page);
    rc4Xor(key.data(), key.size(), data, size);
  }

 private:
  Bytes baseHash_;
  size_t keyBits_;
  uint32_t headerKey_;
};

std::unique_ptr<PageCodec> openRc4CryptoApi(ByteSpan info, uint32_t headerKey, const std::string& password,
                                            const std::string& fileName) {
  const uint32_t flags = u32At(info, 4);
  const uint32_t headerLength = u32At(info, 8);
  if (headerLength < 32 || headerLength > info.size() - 12) throw damaged(fileName, "header length");
  ByteSpan header = info.subspan(12, headerLength);
  const uint32_t algorithm = u32At(header, 8);
  const uint32_t hashAlgorithm = u32At(header, 12);
  uint32_t keyBits = u32At(header, 16);
  if ((flags & kFlagAes) || (algorithm >= kAlgorithmAes128 && algorithm <= kAlgorithmAes256))
    throw UnsupportedError("'" + fileName + "' uses the non-standard AES variant of Office encryption (version " +
                           std::to_string(u16At(info, 0)) + "." + std::to_string(u16At(info, 2)) +
                           " with AES), which cannot be read.");
  if (algorithm != kAlgorithmRc4 && algorithm != 0)
    throw UnsupportedError("'" + fileName + "' uses an Office encryption algorithm this program does not know (id 0x" +
                           hex(algorithm) + ").");
  if (hashAlgorithm != 0x8004 && hashAlgorithm != 0) throw damaged(fileName, "hash algorithm is not SHA-1");
  if (keyBits == 0) keyBits = 40;
  if (keyBits < 40 || keyBits > 128 || keyBits % 8 != 0) throw damaged(fileName, "key size");

  ByteSpan verifier = info.subspan(12 + headerLength);
  requireRange(verifier, 0, 4 + 16 + 16 + 4 + 20, "the encryption verifier");
  if (u32At(verifier, 0) != 16) throw damaged(fileName, "salt size");
  ByteSpan salt = verifier.subspan(4, 16);
  if (u32At(verifier, 36) != 20) throw damaged(fileName, "verifier hash size");
  Bytes check(verifier.begin() + 20, verifier.begin() + 36);                // encrypted verifier
  check.insert(check.end(), verifier.begin() + 40, verifier.begin() + 60);  // and its encrypted hash
  if (password.empty()) throw PasswordRequiredError(fileName);

  auto codec = std::make_unique<Rc4CryptoApiCodec>(HashFunction::sha1()(salt, passwordBytes(password, 255)),
                                                   keyBits, headerKey);
  const Bytes key = codec->keyFor(0);
  rc4Xor(key.data(), key.size(), check.data(), check.size());  // one key stream over both
  const Bytes expected = HashFunction::sha1()(ByteSpan(check.data(), 16));
  if (std::memcmp(expected.data(), check.data() + 16, 20) != 0) throw EngineError(wrongPasswordMessage(fileName));
  return codec;
}

// ---- Agile (version 4.4) ----

using Attributes = std::map<std::string, std::string, std::less<>>;

// The attributes of the first element whose local name (the part after any
// namespace prefix) is `localName` and that has the attribute `required`;
// nullopt when there is none. Enough XML for the descriptor: its values are
// names, numbers and base64, never entities.
std::optional<Attributes> findElement(std::string_view xml, std::string_view localName, std::string_view required) {
  size_t at = 0;
  while ((at = xml.find('<', at)) != std::string_view::npos) {
    ++at;
    size_t nameEnd = at;
    while (nameEnd < xml.size() && !std::isspace(static_cast<unsigned char>(xml[nameEnd])) && xml[nameEnd] != '>' &&
           xml[nameEnd] != '/')
      ++nameEnd;
    std::string_view name = xml.substr(at, nameEnd - at);
    if (size_t colon = name.find(':'); colon != std::string_view::npos) name = name.substr(colon + 1);
    if (name != localName) continue;
    Attributes attributes;
    size_t p = nameEnd;
    while (p < xml.size() && xml[p] != '>') {
      if (std::isspace(static_cast<unsigned char>(xml[p])) || xml[p] == '/') {
        ++p;
        continue;
      }
      const size_t eq = xml.find('=', p);
      if (eq == std::string_view::npos || eq + 1 >= xml.size()) return std::nullopt;
      const char quote = xml[eq + 1];
      if (quote != '"' && quote != '\'') return std::nullopt;
      const size_t close = xml.find(quote, eq + 2);
      if (close == std::string_view::npos) return std::nullopt;
      std::string_view key = xml.substr(p, eq - p);
      while (!key.empty() && std::isspace(static_cast<unsigned char>(key.back()))) key.remove_suffix(1);
      attributes.emplace(std::string(key), std::string(xml.substr(eq + 2, close - eq - 2)));
      p = close + 1;
    }
    if (attributes.count(required)) return attributes;
    at = p;
  }
  return std::nullopt;
}

struct AgileParameters {
  std::string cipher, chaining, hash;
  size_t keyBits = 0, blockSize = 0, saltSize = 0, hashSize = 0;
  Bytes salt;
};

class AgileReader {
 public:
  AgileReader(const Attributes& a, const std::string& fileName) : a_(a), fileName_(fileName) {}

  const std::string& text(const char* name) const {
    auto it = a_.find(name);
    if (it == a_.end()) throw damaged(fileName_, std::string("no ") + name);
    return it->second;
  }
  size_t number(const char* name, size_t max) const {
    const std::string& t = text(name);
    size_t v = 0;
    if (t.empty() || t.size() > 9) throw damaged(fileName_, name);
    for (char c : t) {
      if (c < '0' || c > '9') throw damaged(fileName_, name);
      v = v * 10 + size_t(c - '0');
    }
    if (v > max) throw damaged(fileName_, name);
    return v;
  }
  Bytes base64(const char* name) const { return base64Decode(text(name), "a value of the encryption information"); }

  AgileParameters parameters() const {
    AgileParameters p;
    p.cipher = text("cipherAlgorithm");
    p.chaining = text("cipherChaining");
    p.hash = text("hashAlgorithm");
    p.keyBits = number("keyBits", 1024);
    p.blockSize = number("blockSize", 64);
    p.saltSize = number("saltSize", 64);
    p.hashSize = number("hashSize", 64);
    p.salt = base64("saltValue");
    if (p.cipher != "AES" || p.chaining != "ChainingModeCBC")
      throw UnsupportedError("'" + fileName_ + "' is encrypted with " + p.cipher + " (" + p.chaining +
                             "), which cannot be read; only AES in CBC mode can.");
    if (p.blockSize != 16 || (p.keyBits != 128 && p.keyBits != 192 && p.keyBits != 256))
      throw damaged(fileName_, "AES key or block size");
    if (p.salt.size() < p.saltSize) throw damaged(fileName_, "salt");
    return p;
  }

 private:
  const Attributes& a_;
  const std::string& fileName_;
};

class AgileCodec : public PageCodec {
 public:
  AgileCodec(AgileParameters keyData, Bytes key, uint32_t headerKey)
      : keyData_(std::move(keyData)), hash_(keyData_.hash), key_(std::move(key)), headerKey_(headerKey) {}

  std::string scheme() const override {
    return "Office agile encryption (AES-" + std::to_string(keyData_.keyBits) + ", " + keyData_.hash + ")";
  }

  void decode(uint32_t page, uint8_t* data, size_t size) const override {
    if (page == 0 || isUnwrittenPage(data, size)) return;
    const auto block = le32(headerKey_ ^ page);
    const Bytes iv = sized(hash_(keyData_.salt, block), keyData_.blockSize, 0x36);
    aesCbcDecrypt(key_, iv, data, size);
  }

 private:
  AgileParameters keyData_;
  HashFunction hash_;
  Bytes key_;
  uint32_t headerKey_;
};

std::unique_ptr<PageCodec> openAgile(ByteSpan info, uint32_t headerKey, const std::string& password,
                                     const std::string& fileName) {
  if (info.size() < 8) throw damaged(fileName, "too short");
  const std::string_view xml(reinterpret_cast<const char*>(info.data()) + 8, info.size() - 8);
  auto keyDataAttributes = findElement(xml, "keyData", "saltValue");
  auto passwordKeyAttributes = findElement(xml, "encryptedKey", "encryptedVerifierHashInput");
  if (!keyDataAttributes) throw damaged(fileName, "no keyData");
  if (!passwordKeyAttributes)
    throw UnsupportedError("'" + fileName + "' is encrypted for certificates only, without a password; it cannot be read.");
  const AgileParameters keyData = AgileReader(*keyDataAttributes, fileName).parameters();
  const AgileReader passwordKey(*passwordKeyAttributes, fileName);
  const AgileParameters p = passwordKey.parameters();
  const size_t spinCount = passwordKey.number("spinCount", kMaxSpinCount);
  const HashFunction hash(p.hash);
  const HashFunction dataHash(keyData.hash);  // refuse an unknown name before the spinning
  if (p.hashSize != hash.size()) throw damaged(fileName, "hash size");
  if (password.empty()) throw PasswordRequiredError(fileName);

  Bytes h = hash(p.salt, passwordBytes(password, 255));
  for (uint32_t i = 0; i < spinCount; ++i) h = hash(le32(i), h);
  const Bytes iv = sized(p.salt, p.blockSize, 0x36);
  const auto decrypt = [&](const char* name, std::array<uint8_t, 8> blockKey) {
    Bytes value = passwordKey.base64(name);
    if (value.empty() || value.size() % 16 != 0) throw damaged(fileName, name);
    const Bytes key = sized(hash(h, blockKey), p.keyBits / 8, 0x36);
    aesCbcDecrypt(key, iv, value.data(), value.size());
    return value;
  };
  const Bytes input = decrypt("encryptedVerifierHashInput", {0xFE, 0xA7, 0xD2, 0x76, 0x3B, 0x4B, 0x9E, 0x79});
  const Bytes inputHash = decrypt("encryptedVerifierHashValue", {0xD7, 0xAA, 0x0F, 0x6D, 0x30, 0x61, 0x34, 0x4E});
  if (input.size() < p.saltSize || inputHash.size() < p.hashSize) throw damaged(fileName, "verifier");
  const Bytes expected = hash(ByteSpan(input.data(), p.saltSize));
  if (std::memcmp(expected.data(), inputHash.data(), p.hashSize) != 0)
    throw EngineError(wrongPasswordMessage(fileName));
  Bytes fileKey = decrypt("encryptedKeyValue", {0x14, 0x6E, 0x0B, 0xE7, 0xAB, 0xAC, 0xD0, 0xD6});
  if (fileKey.size() < keyData.keyBits / 8) throw damaged(fileName, "key value");
  fileKey.resize(keyData.keyBits / 8);
  return std::make_unique<AgileCodec>(keyData, std::move(fileKey), headerKey);
}

}  // namespace

bool hasOfficeEncryptionInfo(ByteSpan page0) {
  return page0.size() >= kOfficeEncryptionInfoOffset + 2 && u16At(page0, kOfficeEncryptionInfoOffset) != 0;
}

std::unique_ptr<PageCodec> openOfficePageCodec(ByteSpan page0, uint32_t headerKey, const std::string& password,
                                               const std::string& fileName) {
  if (!hasOfficeEncryptionInfo(page0)) throw damaged(fileName, "the file is marked encrypted but has none");
  const size_t length = u16At(page0, kOfficeEncryptionInfoOffset);
  if (length < 8 || kOfficeEncryptionInfoOffset + 2 + length > page0.size()) throw damaged(fileName, "length");
  ByteSpan info = page0.subspan(kOfficeEncryptionInfoOffset + 2, length);
  const uint16_t major = u16At(info, 0), minor = u16At(info, 2);
  const std::string version = std::to_string(major) + "." + std::to_string(minor);
  if (major == 4 && minor == 4) return openAgile(info, headerKey, password, fileName);
  if (major >= 2 && major <= 4 && minor == 2) {
    if (info.size() < 12 + 32) throw damaged(fileName, "too short");
    return openRc4CryptoApi(info, headerKey, password, fileName);
  }
  if ((major == 3 || major == 4) && minor == 3)
    throw UnsupportedError("'" + fileName + "' uses the extensible Office encryption (version " + version +
                           "), which cannot be read.");
  if (major == 1 && minor == 1)
    throw UnsupportedError("'" + fileName + "' uses the Office binary RC4 encryption (version 1.1), which cannot be read.");
  throw UnsupportedError("'" + fileName + "' uses an Office encryption version this program does not know (" + version +
                         ").");
}

}  // namespace kevra
