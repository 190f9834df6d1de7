// The independent reader: what the mdbtools commands say about a file, parsed
// into plain structures. Each function runs one mdbtools command and throws
// std::runtime_error when it fails, so an oracle failure is never mistaken for
// agreement.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "json_lite.h"

namespace kevra::interop {

std::string samplesDir();  // <shared>/samples

struct SampleFile {
  std::string path;
  std::string name;     // file name without folder
  std::string version;  // as mdb-ver prints it: JET3, JET4, ACE12, ...
};

// Every .mdb and .accdb directly in the samples folder, sorted by name, with its mdb-ver format.
const std::vector<SampleFile>& allSamples();
// The Jet 4 ones among them, plus the benchmark file.
std::vector<SampleFile> jet4Samples();

// mdb-tables -1 (user tables) and -t linkedtable.
std::vector<std::string> mdbUserTables(const std::string& path);
std::vector<std::string> mdbLinkedTables(const std::string& path);

// mdb-queries -L -1: saved queries.
std::vector<std::string> mdbQueries(const std::string& path);

// mdb-count.
uint64_t mdbCount(const std::string& path, const std::string& table);

// mdb-json with ISO date texts ("YYYY-MM-DDTHH:MM:SS"), one object per row.
// mdb-json leaves out every member whose value is NULL or zero-length.
std::vector<Json> mdbJsonRows(const std::string& path, const std::string& table);

// One column as the default ("access") backend of mdb-schema prints it with
// --not-null --default-values.
struct MdbColumn {
  std::string name;
  std::string typeName;  // "Text", "Long Integer", "Memo/Hyperlink", "Replication ID", ...
  std::optional<int> size;       // "Text (50)"
  std::optional<int> precision;  // "Numeric (18, 4)"
  std::optional<int> scale;
  bool notNull = false;                 // Required property, or a Yes/No column
  std::optional<std::string> defaultText;  // as printed after DEFAULT
  bool serial = false;  // the postgres backend calls it SERIAL (long autonumber)
};
std::vector<MdbColumn> mdbColumns(const std::string& path, const std::string& table);

// One index as the mysql backend of mdb-schema --indexes prints it. That
// backend keeps index names and sort order; it leaves out foreign-key indexes
// and prints no name for the primary key.
struct MdbIndexColumn {
  std::string name;
  bool descending = false;
};
struct MdbIndex {
  std::string name;  // empty for the primary key
  bool primary = false;
  bool unique = false;
  std::vector<MdbIndexColumn> columns;  // empty when libmdb could not resolve them
};
std::vector<MdbIndex> mdbIndexes(const std::string& path, const std::string& table);

// Rows of MSysRelationships via mdb-export (mdb-schema can drop relationships).
struct MdbRelationshipRow {
  std::string name;             // szRelationship
  std::string table;            // szObject: holds the foreign key
  std::string column;           // szColumn
  std::string referencedTable;  // szReferencedObject
  std::string referencedColumn;
  int64_t grbit = 0;
  int columnIndex = 0;  // icolumn
};
std::vector<MdbRelationshipRow> mdbRelationships(const std::string& path);

// RFC 4180 records (quoted fields may hold commas, quotes and line breaks).
std::vector<std::vector<std::string>> parseCsv(const std::string& text);

}  // namespace kevra::interop
