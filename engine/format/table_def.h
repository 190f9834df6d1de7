// TableDef: a table definition as read from its TDEF pages (columns, real and
// logical indexes, usage-map references, counters).
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/value.h"

namespace kevra {

struct ColumnDef {
  std::string name;
  ColumnType type = ColumnType::Binary;
  uint8_t rawType = 0;       // type code as stored, also for unknown codes
  uint16_t number = 0;       // null-mask bit; identity inside the row
  uint16_t varIndex = 0;     // variable columns: slot in the var offset table
  uint16_t fixedOffset = 0;  // fixed columns: offset inside the fixed area
  uint16_t length = 0;       // bytes (Text: 2 x characters, also in Jet 3, which stores 1 x)
  uint8_t flags = 0;
  uint8_t extFlags = 0;
  uint8_t precision = 0;  // Decimal
  uint8_t scale = 0;      // Decimal
  uint16_t sortOrder = 0;  // Text/Memo collation (0x0409 General)
  uint8_t sortVersion = 0;  // Text/Memo: 0 General (legacy), 1 General of Access 2010+
  uint16_t codePage = 0;   // Text/Memo of Jet 3 files: the single-byte code page; 0 for UTF-16

  bool isFixed() const { return flags & 0x01; }
  bool isLongAutoNumber() const { return flags & 0x04; }
  bool isGuidAutoNumber() const { return flags & 0x40; }
  bool isAutoNumber() const { return isLongAutoNumber() || isGuidAutoNumber(); }
  bool isCompressedUnicode() const { return extFlags & 0x01; }
  bool isHyperlink() const { return flags & 0x80; }
  // Calculated (Access 2010+): the row holds the stored result of an
  // expression, wrapped; `type` is then the result type from the column's
  // ResultType property and `rawType` the descriptor's code.
  bool isCalculated() const { return (extFlags & 0xC0) == 0xC0; }
  uint32_t complexId = 0;  // ACE complex columns: the id in MSysComplexColumns
};

struct IndexColumnRef {
  uint16_t columnNumber = 0;
  bool ascending = true;
};

struct RealIndexDef {
  std::vector<IndexColumnRef> columns;
  uint32_t usageMapPointer = 0;
  uint32_t rootPage = 0;
  uint8_t flags = 0;
  // The counters the TDEF keeps per real index (an Access statistic and the
  // number of distinct keys); carried over when a definition is rewritten.
  uint32_t statistic = 0;
  uint32_t distinctKeys = 0;
  bool unique() const { return flags & 0x01; }
  bool ignoreNulls() const { return flags & 0x02; }
  bool required() const { return flags & 0x08; }
};

enum class IndexKind : uint8_t { Normal = 0, PrimaryKey = 1, ForeignKey = 2 };

struct LogicalIndexDef {
  std::string name;
  uint32_t number = 0;
  uint32_t realIndex = 0;
  uint8_t relationshipRole = 0;  // 1: referenced side, 2: holds the foreign key
  int32_t otherIndexNumber = -1;
  uint32_t otherTablePage = 0;
  bool cascadeUpdates = false;
  bool cascadeDeletes = false;
  bool cascadeNull = false;  // deleting the parent sets the key to NULL (stored as 2 in the deletes byte)
  IndexKind kind = IndexKind::Normal;
};

struct LongValueMaps {
  uint16_t columnNumber = 0;
  uint32_t ownedMapPointer = 0;
  uint32_t freeMapPointer = 0;
};

// Turns the key a complex column's cell holds (ACE) into what the cell
// stands for: the values of a multi-value column, the files of an
// attachment column. Set on a TableDef by the database that read it.
class ComplexValueSource {
 public:
  virtual ~ComplexValueSource() = default;
  virtual Value display(const ColumnDef& column, int32_t key) const = 0;
};

struct TableDef {
  std::string name;
  uint32_t tdefPage = 0;
  bool systemTable = false;  // table type 'S'
  uint32_t rowCount = 0;
  uint32_t lastAutoNumber = 0;
  uint16_t maxColumnCount = 0;
  uint16_t varColumnCount = 0;
  uint32_t ownedMapPointer = 0;
  uint32_t freeMapPointer = 0;
  std::vector<ColumnDef> columns;  // sorted by column number
  std::vector<RealIndexDef> realIndexes;
  std::vector<LogicalIndexDef> logicalIndexes;  // in stored order
  std::vector<LongValueMaps> longValueMaps;
  std::shared_ptr<const ComplexValueSource> complexValues;  // tables with complex columns

  const ColumnDef* findColumn(std::string_view name) const;  // case-insensitive
  const ColumnDef* columnByNumber(uint16_t number) const;
  // The column an index refers to by number; throws CorruptFileError naming
  // the table and the number when the table has no such column.
  const ColumnDef& indexedColumn(uint16_t number) const;
  size_t fixedAreaSize() const;
};

}  // namespace kevra
