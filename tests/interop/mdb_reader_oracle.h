// The second independent reader: what mdb-reader (npm) reads from a file,
// through the small script in mdb_reader/. scripts/test.sh installs the
// package into the build folder. Each function throws std::runtime_error when
// the reader fails or is missing, so a failure is never taken for agreement.
#pragma once
#include <string>
#include <vector>

#include "json_lite.h"

namespace kevra::interop {

// User table names, in mdb-reader's order.
std::vector<std::string> mdbReaderTables(const std::string& path, const std::string& password = "");

struct MdbReaderTable {
  std::vector<std::string> columns;
  std::vector<std::string> types;  // mdb-reader's type names: "long", "text", "complex", ...
  // One Json per cell: null, bool, number, string; dates as ISO texts
  // ("2019-01-01T00:00:00.000Z"), binary as "hex:...", big integers as
  // decimal text, complex values as arrays of objects.
  std::vector<std::vector<Json>> rows;
};
MdbReaderTable mdbReaderTable(const std::string& path, const std::string& table, const std::string& password = "");

// Compares one cell as mdb-reader read it (of its type `readerType`) with the
// same cell as kevra-cli's JSON Lines export printed it (nullptr: absent).
// Returns an empty string when they agree, otherwise why they do not.
// Numbers compare by value (Single to float precision), currency and decimal
// texts digit by digit, dates to the millisecond, binary through base64.
std::string compareWithMdbReader(const std::string& readerType, const Json& theirs, const Json* ours);

}  // namespace kevra::interop
