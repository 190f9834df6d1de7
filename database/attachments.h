// The files in the attachment columns of an .accdb table, for the window.
#pragma once
#include <cstddef>
#include <string>

namespace kevra::db {

class Connection;

// True when `table` of the connection's database has an attachment column;
// false for anything else (also a name that is no local table).
bool HasAttachments(const Connection& connection, const std::string& table);

// Saves every attached file of `table` under `folder`, as
// FOLDER/COLUMN/ROW/NAME, and returns how many. Throws kevra::EngineError
// when the table has no attachment column or a file cannot be written; an
// existing file is never replaced.
size_t SaveAttachments(const Connection& connection, const std::string& table, const std::string& folder);

}  // namespace kevra::db
