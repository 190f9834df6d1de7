// Foreign files as tables: the drivers behind SELECT ... INTO [T] IN "place"
// "connect;" and behind connections opened on a foreign source.
//
// A driver serves one family of files (dBase, Paradox, Excel, HTML, text,
// another Access database). A data source is what the connection string's
// Data Source or the IN clause names: a folder for dBase, Paradox and text
// (each file in it is a table), one file for Excel, HTML and Access.
//
// Readers hand out rows front to back as engine values, with the column types
// the file declares or the driver guessed. Writers never leave a partial
// file behind: they write under a temporary name and make the result visible
// only in finish(); a writer destroyed without finish() removes what it wrote.
// Every failure is an EngineError naming the file and, where it helps, the
// line, record or cell.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/value.h"
#include "engine/sql/result_set.h"

namespace kevra {

struct ForeignTableInfo {
  std::string name;
  std::string type = "TABLE";  // "TABLE" for what an import may copy
};

// What another Access database knows of a field beyond its type.
struct FieldRules {
  bool required = false;
  std::optional<std::string> defaultValue;  // the expression
};

class ForeignTableReader {
 public:
  virtual ~ForeignTableReader() = default;
  virtual const std::vector<ResultColumn>& columns() const = 0;
  // The next row into `row` (one value per column); false at the end.
  virtual bool next(std::vector<Value>& row) = 0;
  // Things the user should know about what is read, for example field names
  // changed to names a table can have.
  virtual std::vector<std::string> warnings() const { return {}; }
  // One per column where the source keeps required flags and default
  // values (another Access database); empty otherwise.
  virtual std::vector<FieldRules> fieldRules() const { return {}; }
};

class ForeignTableWriter {
 public:
  virtual ~ForeignTableWriter() = default;
  virtual void write(const std::vector<Value>& row) = 0;
  // Completes the file(s) and moves them to their final names.
  virtual void finish() = 0;
  // Things the user should know that did not stop the export, for example
  // characters the target's code page cannot hold.
  virtual std::vector<std::string> warnings() const { return {}; }
};

class ForeignDriver {
 public:
  virtual ~ForeignDriver() = default;
  virtual std::vector<ForeignTableInfo> listTables(const std::string& dataSource) = 0;
  virtual std::unique_ptr<ForeignTableReader> openTable(const std::string& dataSource,
                                                        const std::string& table) = 0;
  // Refuses (EngineError) when the target already exists.
  virtual std::unique_ptr<ForeignTableWriter> createTable(const std::string& dataSource, const std::string& table,
                                                          const std::vector<ResultColumn>& columns) = 0;
};

}  // namespace kevra
