// A row's hash as a PostgreSQL server computes it with its own hash
// functions (hashint4extended, hashtextextended, hash_numeric_extended...),
// and the same hash computed here from the row's binary COPY form. With them
// a table is verified by one aggregate query on the server, which reads its
// stored values, instead of sending every row back.
//
// Each column's value hashes with a seed of its own (so that values swapped
// between columns show), NULL as a mark of its own; a numeric's sign, which
// the server's numeric hash leaves out, is mixed in apart. The row's hash is
// the XOR of its columns' hashes; the table's digest is the sum of its rows'
// (TableChecksum::addHashedRow).
//
// The server's hash functions read memory in its own byte order: the ones
// here are those of a little-endian server. Its text hashes as stored, in
// the database's encoding: the ones here hash UTF-8. serverHashProbe() and
// expectedServerHashProbe() tell whether a server agrees.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/upsize/column_mapping.h"

namespace kevra {

// The server's hash_bytes_extended and hash_bytes_uint32_extended.
uint64_t serverHashBytes(const void* data, size_t size, uint64_t seed);
uint64_t serverHashUint32(uint32_t value, uint64_t seed);

// Whether every column can be hashed on the server (not bytea: the server
// has no hash function for it that SQL may call).
bool serverHashable(const std::vector<MappedColumn>& columns);

// The row hash of one row in binary COPY form (its field count first), as
// written by appendBinaryRow for `columns`. Throws EngineError for a row
// that is not in that form.
uint64_t serverRowHash(const char* row, size_t size, const std::vector<MappedColumn>& columns);

// The SQL expression of a row's hash (an int8) over the columns by name.
std::string serverRowHashSql(const std::vector<MappedColumn>& columns);
// SQL computing the row hash of each row of `table` (a quoted, qualified
// name): SELECT count(*), sum of the high halves, sum of the low halves less
// 2^31, as the server's sum of int4 cannot overflow.
std::string serverRowHashQuery(const std::string& table, const std::vector<MappedColumn>& columns);
// The digest's sum from that query's three numbers.
uint64_t serverRowHashSum(uint64_t rows, int64_t highSum, int64_t lowSum);

// A query of constants through each hash function used, and what a server
// that hashes as this file does returns for it (the values, '|' between).
std::string serverHashProbe();
std::string expectedServerHashProbe();

}  // namespace kevra
