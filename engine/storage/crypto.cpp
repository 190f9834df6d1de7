// Thin wrappers over libcrypto's EVP interface.
#include "engine/storage/crypto.h"

#include <openssl/evp.h>

#include <cctype>
#include <memory>

#include "engine/util/error.h"

namespace kevra {
namespace {

const EVP_MD* digestNamed(std::string_view name) {
  std::string upper;
  for (char c : name) upper += char(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "SHA1" || upper == "SHA-1") return EVP_sha1();
  if (upper == "SHA256" || upper == "SHA-256") return EVP_sha256();
  if (upper == "SHA384" || upper == "SHA-384") return EVP_sha384();
  if (upper == "SHA512" || upper == "SHA-512") return EVP_sha512();
  if (upper == "MD5") return EVP_md5();
  return nullptr;
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

const EVP_CIPHER* aesCbcFor(size_t keyLength) {
  switch (keyLength) {
    case 16: return EVP_aes_128_cbc();
    case 24: return EVP_aes_192_cbc();
    case 32: return EVP_aes_256_cbc();
    default: return nullptr;
  }
}

}  // namespace

HashFunction::HashFunction(std::string_view name) : md_(digestNamed(name)) {
  if (!md_) throw UnsupportedError("The hash algorithm '" + std::string(name) + "' is not supported.");
}

size_t HashFunction::size() const { return size_t(EVP_MD_get_size(static_cast<const EVP_MD*>(md_))); }

Bytes HashFunction::operator()(ByteSpan a, ByteSpan b) const {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  if (!ctx || EVP_DigestInit_ex(ctx.get(), static_cast<const EVP_MD*>(md_), nullptr) != 1 ||
      EVP_DigestUpdate(ctx.get(), a.data(), a.size()) != 1 || EVP_DigestUpdate(ctx.get(), b.data(), b.size()) != 1 ||
      EVP_DigestFinal_ex(ctx.get(), out.data(), &length) != 1)
    throw EngineError("The cryptographic library failed to compute a hash.");
  out.resize(length);
  return out;
}

void aesCbcDecrypt(ByteSpan key, ByteSpan iv, uint8_t* data, size_t length) {
  const EVP_CIPHER* cipher = aesCbcFor(key.size());
  if (!cipher || iv.size() != 16 || length % 16 != 0)
    throw EngineError("Internal error: AES needs a 16-, 24- or 32-byte key, a 16-byte IV and whole blocks.");
  CipherContext ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  int produced = 0, last = 0;
  if (!ctx || EVP_DecryptInit_ex(ctx.get(), cipher, nullptr, key.data(), iv.data()) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
      EVP_DecryptUpdate(ctx.get(), data, &produced, data, int(length)) != 1 ||
      EVP_DecryptFinal_ex(ctx.get(), data + produced, &last) != 1)
    throw EngineError("The cryptographic library failed to decrypt a block.");
}

Bytes base64Decode(std::string_view text, const char* what) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) clean += c;
  const auto bad = [&] { return CorruptFileError(std::string("Corrupt file: ") + what + " is not valid base64."); };
  if (clean.size() % 4 != 0) throw bad();
  Bytes out(clean.size() / 4 * 3);
  const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(clean.data()), int(clean.size()));
  if (n < 0) throw bad();
  // EVP_DecodeBlock keeps the bytes the padding stands for; drop them.
  size_t padding = 0;
  if (!clean.empty() && clean.back() == '=') ++padding;
  if (clean.size() > 1 && clean[clean.size() - 2] == '=') ++padding;
  out.resize(size_t(n) - padding);
  return out;
}

}  // namespace kevra
