#include "database/attachments.h"

#include "database/connection.h"
#include "engine/table/attachment_files.h"
#include "engine/table/database.h"
#include "engine/util/error.h"

namespace kevra::db {

bool HasAttachments(const Connection& connection, const std::string& table) {
  try {
    auto db = connection.engine();
    Database::ReadScope reading(*db);
    return hasAttachmentColumns(*db, *db->table(table));
  } catch (const EngineError&) {
    return false;
  }
}

size_t SaveAttachments(const Connection& connection, const std::string& table, const std::string& folder) {
  auto db = connection.engine();
  Database::ReadScope reading(*db);
  return saveAttachmentFiles(*db, db->table(table), folder);
}

}  // namespace kevra::db
