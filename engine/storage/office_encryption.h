// Office encryption of .accdb files ("Set database password" in Access 2007
// and later). Page 0 holds, at offset 0x299, a u16 length and an encryption
// information structure of the Office document-encryption family: a major
// and minor version, then a version-specific body.
//
//  - 4.2 (also 2.2, 3.2) with RC4: "RC4 CryptoAPI". H0 = SHA-1(salt ||
//    password as UTF-16LE); the key of block b is SHA-1(H0 || LE32(b)) cut to
//    the key size (a 40-bit key zero-extended to 16 bytes). The verifier and
//    its hash are decrypted with block 0's key; page n with the key of block
//    (header key XOR n).
//  - 4.4: "agile", an XML descriptor. The password hash is iterated
//    spinCount times; keys for the verifier input, the verifier hash and the
//    file key come from three fixed block keys; page n is AES-CBC over the
//    whole page, its IV the hash of (key salt || LE32(header key XOR n)).
//  - 4.2 with AES (the non-standard variant), 3.3/4.3 (extensible) and 1.1
//    (binary RC4) are refused by name.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "engine/storage/page_codec.h"
#include "engine/util/bytes.h"

namespace kevra {

// Offset in page 0 of the u16 length that precedes the encryption information.
constexpr size_t kOfficeEncryptionInfoOffset = 0x299;

// True when page 0 carries Office encryption information (length not zero).
bool hasOfficeEncryptionInfo(ByteSpan page0);

// The codec for an Office-encrypted file, the password verified first. Throws
// as openPageCodec (page_codec.h) says.
std::unique_ptr<PageCodec> openOfficePageCodec(ByteSpan page0, uint32_t headerKey, const std::string& password,
                                               const std::string& fileName);

}  // namespace kevra
