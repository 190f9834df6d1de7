// The dBase driver: tables are the .dbf files of the data-source folder.
#include "engine/isam/dbase_driver.h"

#include "engine/isam/dbf_reader.h"
#include "engine/isam/dbf_writer.h"
#include "engine/isam/folder_files.h"
#include "engine/isam/table_file_name.h"

namespace kevra {
namespace {

class DbaseDriver : public ForeignDriver {
 public:
  explicit DbaseDriver(FileSystem& fs) : fs_(fs) {}

  std::vector<ForeignTableInfo> listTables(const std::string& dataSource) override {
    std::vector<ForeignTableInfo> out;
    for (const std::string& name : baseNamesWithExtension(dataSource, "dbf")) out.push_back({name, "TABLE"});
    return out;
  }

  std::unique_ptr<ForeignTableReader> openTable(const std::string& dataSource, const std::string& table) override {
    return std::make_unique<DbfTableReader>(existingTableFile(dataSource, table, "dbf"));
  }

  std::unique_ptr<ForeignTableWriter> createTable(const std::string& dataSource, const std::string& table,
                                                  const std::vector<ResultColumn>& columns) override {
    const std::string path = tableFilePath(dataSource, table, "dbf");
    if (auto existing = findFileIgnoringCase(dataSource, table + ".dbf")) refuseExisting(*existing);
    return std::make_unique<DbfTableWriter>(path, columns, fs_);
  }

 private:
  FileSystem& fs_;
};

}  // namespace

std::unique_ptr<ForeignDriver> makeDbaseDriver(FileSystem& fs) { return std::make_unique<DbaseDriver>(fs); }

}  // namespace kevra
