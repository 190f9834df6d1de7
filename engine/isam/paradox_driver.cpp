// The Paradox driver: tables are the .db files of the data-source folder.
#include "engine/isam/paradox_driver.h"

#include "engine/isam/folder_files.h"
#include "engine/isam/paradox_reader.h"
#include "engine/isam/paradox_writer.h"
#include "engine/isam/table_file_name.h"

namespace kevra {
namespace {

class ParadoxDriver : public ForeignDriver {
 public:
  explicit ParadoxDriver(FileSystem& fs) : fs_(fs) {}

  std::vector<ForeignTableInfo> listTables(const std::string& dataSource) override {
    std::vector<ForeignTableInfo> out;
    for (const std::string& name : baseNamesWithExtension(dataSource, "db")) out.push_back({name, "TABLE"});
    return out;
  }

  std::unique_ptr<ForeignTableReader> openTable(const std::string& dataSource, const std::string& table) override {
    return std::make_unique<ParadoxTableReader>(existingTableFile(dataSource, table, "db"));
  }

  std::unique_ptr<ForeignTableWriter> createTable(const std::string& dataSource, const std::string& table,
                                                  const std::vector<ResultColumn>& columns) override {
    const std::string path = tableFilePath(dataSource, table, "db");
    if (auto existing = findFileIgnoringCase(dataSource, table + ".db")) refuseExisting(*existing);
    return std::make_unique<ParadoxTableWriter>(path, table, columns, fs_);
  }

 private:
  FileSystem& fs_;
};

}  // namespace

std::unique_ptr<ForeignDriver> makeParadoxDriver(FileSystem& fs) { return std::make_unique<ParadoxDriver>(fs); }

}  // namespace kevra
