// Choosing a page codec from the header, and the Jet page encryption.
#include "engine/storage/page_codec.h"

#include "engine/storage/office_encryption.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

bool isAce(FileFormat f) {
  return f == FileFormat::Ace12 || f == FileFormat::Ace14 || f == FileFormat::Ace16 || f == FileFormat::Ace17;
}

class JetPageCodec : public PageCodec {
 public:
  explicit JetPageCodec(uint32_t key) : key_(key) {}
  std::string scheme() const override { return "Jet RC4 page encryption"; }
  void decode(uint32_t page, uint8_t* data, size_t size) const override { apply(page, data, size); }
  bool canEncode() const override { return true; }
  // A plain page of zeros stays zero, as a never-written page is; its
  // encrypted form would decode to zeros all the same.
  void encode(uint32_t page, uint8_t* data, size_t size) const override { apply(page, data, size); }

 private:
  void apply(uint32_t page, uint8_t* data, size_t size) const {
    if (page == 0 || isUnwrittenPage(data, size)) return;
    const uint32_t k = key_ ^ page;
    const uint8_t key[4] = {uint8_t(k), uint8_t(k >> 8), uint8_t(k >> 16), uint8_t(k >> 24)};
    rc4Xor(key, 4, data, size);
  }
  uint32_t key_;
};

}  // namespace

void PageCodec::encode(uint32_t, uint8_t*, size_t) const {
  throw EngineError("Internal error: pages encrypted with " + scheme() + " cannot be written.");
}

bool isUnwrittenPage(const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i)
    if (data[i]) return false;
  return true;
}

std::unique_ptr<PageCodec> makeJetPageCodec(uint32_t key) { return std::make_unique<JetPageCodec>(key); }

bool needsEncryptionPassword(ByteSpan page0, const DatabaseHeader& header) {
  return header.encryptionKey != 0 && isAce(header.format) && hasOfficeEncryptionInfo(page0);
}

std::unique_ptr<PageCodec> openPageCodec(ByteSpan page0, const DatabaseHeader& header, const std::string& password,
                                         const std::string& fileName) {
  if (header.encryptionKey == 0) return nullptr;
  if (isAce(header.format)) return openOfficePageCodec(page0, header.encryptionKey, password, fileName);
  return makeJetPageCodec(header.encryptionKey);
}

std::string wrongPasswordMessage(const std::string& fileName) { return "Not a valid password for '" + fileName + "'."; }

}  // namespace kevra
