// PageCodec: how the pages of an encrypted file turn into plain pages and
// back. PageFile applies it to every page it reads from the file (and, for a
// codec that can encode, to every page it writes), so everything above the
// storage layer sees plain pages; the rollback journal keeps the file's own
// bytes.
//
// Two families exist:
//  - Jet page encryption ("Encrypt database" in Jet 3 and Jet 4): each page
//    n >= 1 is XOR-ed with the RC4 key stream of the header key (u32 at 0x3E)
//    XOR n. No password is involved, and encoding is the same operation, so
//    such files stay writable.
//  - Office encryption of .accdb files with a password (office_encryption.h):
//    decoding only.
// In both, page 0 is never encrypted, and a page that is all zero in the file
// was never written and is read as it is.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "engine/storage/header.h"
#include "engine/util/bytes.h"

namespace kevra {

class PageCodec {
 public:
  virtual ~PageCodec() = default;
  // What the file is encrypted with, for messages ("Jet RC4", ...).
  virtual std::string scheme() const = 0;
  // The file's bytes of page `page` (>= 1), `size` of them, made plain in place.
  virtual void decode(uint32_t page, uint8_t* data, size_t size) const = 0;
  // Whether encode() works; a codec that cannot leaves its file read-only.
  virtual bool canEncode() const { return false; }
  // Plain bytes of page `page` (>= 1) turned into the file's bytes in place.
  virtual void encode(uint32_t page, uint8_t* data, size_t size) const;
};

// True when every one of `size` bytes is zero: a page never written.
bool isUnwrittenPage(const uint8_t* data, size_t size);

// The Jet 3 / Jet 4 page encryption for header key `key`.
std::unique_ptr<PageCodec> makeJetPageCodec(uint32_t key);

// True when the file whose header page is `page0` is encrypted in a way that
// needs a password to read (Office encryption).
bool needsEncryptionPassword(ByteSpan page0, const DatabaseHeader& header);

// The codec for the file whose header page is `page0` (decoded as `header`),
// or null when its pages are plain. Throws EngineError naming `fileName`:
// "... is protected by a database password; ..." when a password is needed
// and `password` is empty, "Not a valid password for '...'." when it is
// wrong, UnsupportedError naming the scheme when it is one this engine does
// not read, CorruptFileError when the encryption information is damaged.
std::unique_ptr<PageCodec> openPageCodec(ByteSpan page0, const DatabaseHeader& header, const std::string& password,
                                         const std::string& fileName);

// The message for a wrong database password, shared by every kind of
// protection (a missing one is a PasswordRequiredError).
std::string wrongPasswordMessage(const std::string& fileName);

}  // namespace kevra
