// The hashes and the block cipher that encrypted files need, taken from
// OpenSSL's libcrypto (nothing of them is written here), and a base64 decoder
// for the values in an encryption descriptor. RC4 is rc4Xor (header.h).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/util/bytes.h"

namespace kevra {

// A hash function by the name an encryption descriptor gives it ("SHA1",
// "SHA256", "SHA384", "SHA512", "MD5"; case does not matter).
class HashFunction {
 public:
  // Throws UnsupportedError naming `name` when it is not one of those.
  explicit HashFunction(std::string_view name);
  static HashFunction sha1() { return HashFunction("SHA1"); }

  size_t size() const;
  Bytes operator()(ByteSpan a, ByteSpan b = {}) const;  // the hash of a followed by b

 private:
  const void* md_;  // const EVP_MD*
};

// AES in CBC mode without padding over whole blocks: `key` 16, 24 or 32 bytes,
// `iv` 16 bytes, `length` a multiple of 16. Decrypts `data` in place. Throws
// EngineError when the sizes are wrong.
void aesCbcDecrypt(ByteSpan key, ByteSpan iv, uint8_t* data, size_t length);

// Decodes standard base64 (whitespace ignored); throws CorruptFileError
// naming `what` when the text is not base64.
Bytes base64Decode(std::string_view text, const char* what);

}  // namespace kevra
