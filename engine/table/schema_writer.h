// SchemaWriter: structure changes of an open, writable database — tables,
// fields, indexes, keys, relationships and field properties. Each call is one
// transaction of the TableWriter it is given (nested in one the caller has
// open, if any): it lands whole or not at all. A refused change throws
// EngineError with a message naming the object and leaves the file as it
// was. Definitions, catalog rows, access entries, relationship rows and
// property blobs change together; pages that a change frees go back to the
// global page map.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/table/schema_spec.h"

namespace kevra {

class Database;
class TableWriter;
class CatalogRows;
struct PropertyBlob;

class SchemaWriter {
 public:
  SchemaWriter(std::shared_ptr<Database> db, TableWriter& writer);

  // Tables
  void createTable(const std::string& name, const std::vector<ColumnSpec>& columns,
                   const std::vector<IndexSpec>& indexes = {});
  void dropTable(const std::string& name);
  void renameTable(const std::string& from, const std::string& to);

  // Fields
  void addColumn(const std::string& table, const ColumnSpec& column);
  // Refused, naming them, when indexes use the field, as Jet refuses it;
  // with `withIndexes` they are deleted first, in the same transaction.
  void dropColumn(const std::string& table, const std::string& column, bool withIndexes = false);
  void renameColumn(const std::string& table, const std::string& from, const std::string& to);
  // Changes type, size and nullability; every row is converted in the same
  // transaction. Refused, naming the first value, when one does not convert.
  void alterColumn(const std::string& table, const std::string& column, const ColumnSpec& spec);
  // The field's default value expression as text; empty text removes it.
  void setDefaultValue(const std::string& table, const std::string& column, const std::string& expression);
  // Sets the column's Format property (how its values are shown); empty
  // text removes it.
  void setFormat(const std::string& table, const std::string& column, const std::string& format);

  // Indexes and keys
  void createIndex(const std::string& table, const IndexSpec& index);
  void dropIndex(const std::string& table, const std::string& name);
  // Returns the name the relationship got.
  std::string addRelationship(RelationshipSpec relationship);
  void dropRelationship(const std::string& name);

  // Bytes of keys a new index sorts in memory; past them, sorted runs wait
  // in a scratch file beside the database.
  void setIndexBuildBudget(size_t bytes) { indexBuildBudget_ = bytes; }
  // Whether addRelationship() reads the existing rows to see that each has
  // its parent (on by default). Off only where the rows are known to be
  // copied unchanged from a file that held the same relationship.
  void setCheckExistingRows(bool on) { checkExistingRows_ = on; }

 private:
  template <typename Work>
  void inTransaction(Work work);
  std::shared_ptr<const TableDef> userTable(const std::string& name);
  const ColumnDef& columnOf(const TableDef& table, const std::string& name);
  PropertyBlob propertiesOf(const std::string& table);
  void storeProperties(const std::string& table, const PropertyBlob& blob);
  // Writes `def` over its definition, dropping what the writer and the
  // database hold of the old one. Its indexes are numbered and ordered as
  // Access orders them (index_numbering.h) first, and the tables related to
  // it are told of relationship indexes that changed number.
  void storeDefinition(const TableDef& def);
  // The real index of the logical index `name` of `def`.
  static size_t realIndexNamed(const TableDef& def, const std::string& name);
  // Adds a real index (map row and empty root) and its logical index.
  size_t addIndexDefinition(TableDef& def, const IndexSpec& spec, IndexKind kind);
  // Fills the real index `realIndex` of `def` (as stored) from every row,
  // refusing duplicates and NULLs as its flags demand.
  void buildIndex(const TableDef& def, size_t realIndex);
  // Removes logical index `logical`; its real index too when no other
  // logical index shares it (pages released, positions renumbered).
  void removeLogicalIndex(TableDef& def, size_t logical);
  void checkNoRelationshipUses(const TableDef& table, const std::optional<std::string>& column,
                               const std::string& change);
  std::string uniqueRelationshipName(const std::string& wanted);

  std::shared_ptr<Database> db_;
  TableWriter& writer_;
  size_t indexBuildBudget_ = size_t(32) << 20;
  bool checkExistingRows_ = true;
};

}  // namespace kevra
