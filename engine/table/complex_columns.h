// ComplexColumns: what the complex columns of an ACE file (.accdb) hold. A
// complex cell stores a key; MSysComplexColumns names, for each complex
// column, a hidden flat table whose rows with that key in their value-key
// column are the cell's values (multi-value), files (attachment) or earlier
// texts (append-only memo history), in the order of the flat rows' own key.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/format/table_def.h"

namespace kevra {

class Database;

struct AttachmentFile {
  std::string name;
  std::string type;  // FileType, e.g. "txt"
  Binary bytes;      // the file's content, inflated
};

class ComplexColumns : public ComplexValueSource {
 public:
  explicit ComplexColumns(std::weak_ptr<const Database> db) : db_(std::move(db)) {}

  // The cell as shown: values joined with "; "; for attachments each file's
  // name and size ("a.txt (12 bytes)"); NULL when the key has no rows.
  Value display(const ColumnDef& column, int32_t key) const override;
  // True when `column` is an attachment column.
  bool isAttachmentColumn(const ColumnDef& column) const;
  // The files of one attachment cell. Throws EngineError when `column` is no
  // attachment column.
  std::vector<AttachmentFile> attachments(const ColumnDef& column, int32_t key) const;

 private:
  enum class Kind { MultiValue, Attachment, History };
  struct FlatTable {
    Kind kind = Kind::MultiValue;
    std::shared_ptr<const TableDef> def;
    size_t valueKey = 0, rowKey = 0;  // positions in def->columns
    std::vector<size_t> values;       // the other columns
    std::map<int32_t, std::vector<std::string>> shown;  // key -> pieces in flat-key order
  };
  std::shared_ptr<const Database> database() const;
  const FlatTable& flatTable(const ColumnDef& column) const;  // under mutex_
  void loadDirectory() const;                                 // under mutex_

  std::weak_ptr<const Database> db_;
  mutable std::mutex mutex_;
  mutable bool directoryLoaded_ = false;
  mutable std::map<uint32_t, uint32_t> flatPages_;  // complex id -> TDEF page of the flat table
  mutable std::map<uint32_t, FlatTable> flatTables_;
};

}  // namespace kevra
