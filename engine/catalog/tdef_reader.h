// Reading a table definition from its chain of TDEF pages.
#pragma once
#include <memory>
#include <string>

#include "engine/format/table_def.h"
#include "engine/storage/page_file.h"

namespace kevra {

// Throws CorruptFileError naming the table when the pages do not hold a
// well-formed definition.
std::shared_ptr<TableDef> readTableDef(const PageFile& file, uint32_t tdefPage, const std::string& name);

}  // namespace kevra
