// Schema.ini: the file beside text tables that says how each one is laid
// out, one section per file name ("[orders.csv]"). Reading gives a file's
// TextLayout (defaults where the file or section says nothing); writing
// replaces one section and keeps the others as they were.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "engine/format/value.h"
#include "engine/storage/file_system.h"

namespace kevra {

struct TextLayoutColumn {
  std::string name;
  ColumnType type = ColumnType::Text;
  uint16_t width = 0;  // characters (Text size, or the field width of fixed-length files)
};

struct TextLayout {
  bool header = true;        // ColNameHeader
  char delimiter = ',';      // Format=CSVDelimited / TabDelimited / Delimited(x)
  bool fixedLength = false;  // Format=FixedLength
  char quote = '"';          // TextDelimiter; '\0' for none
  std::string charset;       // empty: detect (byte-order mark, else UTF-8 falling back to Windows-1252)
  size_t maxScanRows = 0;    // rows read to guess types; 0 = all of them
  std::string dateTimeFormat;
  char decimalSymbol = '.';
  std::vector<TextLayoutColumn> columns;  // Col1, Col2, ...: empty to guess
};

// The layout of `fileName` from the Schema.ini in `folder` (found whatever
// the case of its name); defaults when there is none. Throws EngineError
// naming the line for a ColN entry it cannot read.
TextLayout readTextLayout(const std::string& folder, const std::string& fileName);

// Writes `section` (lines without the bracketed name) for `fileName` into the
// folder's Schema.ini, replacing an earlier section of that name.
// Returns what it replaced, for restoreSchemaIni().
struct SchemaIniBefore {
  std::string path;
  std::optional<std::string> bytes;  // nullopt: there was no Schema.ini
};
SchemaIniBefore writeSchemaIniSection(const std::string& folder, const std::string& fileName,
                                      const std::vector<std::string>& section, FileSystem& fs = realFileSystem());
// Puts the Schema.ini back as it was before writeSchemaIniSection().
void restoreSchemaIni(const SchemaIniBefore& before, FileSystem& fs = realFileSystem());

// The Schema.ini type word of a column type ("Long", "Text", "DateTime"...).
std::string schemaIniTypeWord(ColumnType type);

}  // namespace kevra
