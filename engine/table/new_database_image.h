// The bytes of a new, empty Jet 4 database: every byte computed from the
// format's rules with the engine's own codecs (header, row, key, index-page
// and table-definition encoders), laid out page by page as Jet lays out a
// database it creates:
//
//   page 0      header               pages 7-13  one root leaf per index
//   page 1      global usage map     page 14     MSysObjects rows (8)
//   pages 2-5   the four system      page 15     MSysACEs rows (16)
//               table definitions
//   page 6      the usage maps of the four tables, of their long-value
//               columns and of their indexes (31 rows)
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "engine/format/value.h"
#include "engine/util/bytes.h"

namespace kevra {

struct NewDatabaseOptions {
  // Database password (at most 20 characters); empty for none.
  std::string password;
  // Creation time the catalog rows carry; the current local time when unset.
  std::optional<DateTime> created;
  // Jet page encryption key (page_codec.h): every page after the header is
  // encrypted with it; 0 for none.
  uint32_t encryptionKey = 0;
  // The collation of the file's text: the header's sort order (a collating
  // LCID, 0x0409 General) and its version, taken by the text fields of the
  // system tables too; and the header's code page. Their keys must be ones
  // the engine can build (canEncodeTextSortOrder).
  uint16_t sortOrder = 0x0409;
  uint8_t sortOrderVersion = 0;
  uint16_t codePage = 1252;
};

// The whole file. Throws EngineError when the password cannot be stored.
Bytes newDatabaseImage(const NewDatabaseOptions& options = {});

}  // namespace kevra
