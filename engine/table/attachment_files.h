// The files held in the attachment columns of an .accdb table, saved into a
// folder: FOLDER/COLUMN/ROW/NAME, ROW counting the table's rows from 1.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "engine/format/table_def.h"
#include "engine/storage/file_system.h"

namespace kevra {

class Database;

// True when the table has an attachment column.
bool hasAttachmentColumns(const Database& db, const TableDef& table);

// Saves every file of the table's attachment columns under `folder` and
// returns how many were saved. Throws EngineError when the table has no
// attachment column, or when a file cannot be written or exists already
// (an existing file is never replaced). Nothing is written through a symbolic
// link found inside `folder`: a link where a file or a COLUMN or ROW folder
// would go is refused (`folder` itself, the user's choice, may be one).
size_t saveAttachmentFiles(const Database& db, const std::shared_ptr<const TableDef>& table,
                           const std::string& folder, FileSystem& fs = realFileSystem());

}  // namespace kevra
