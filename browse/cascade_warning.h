// The warning shown before a delete or a key change that cascades into other
// tables: one sentence naming each table reached and how many of its rows go
// or change, e.g. "Deleting this record will also delete 2 records in table
// 'Orders'."
#pragma once
#include <QString>
#include <vector>

#include "database/recordset.h"

namespace kevra::browse {

// Empty when nothing cascades.
QString cascadeWarning(const std::vector<kevra::db::Recordset::CascadeCount>& effects, bool deleting);

}  // namespace kevra::browse
