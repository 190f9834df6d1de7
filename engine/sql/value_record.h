// A row of values packed into bytes and back, for rows a query keeps aside
// (sorted rows written to temporary files). The layout is private to one
// process: a kind byte per value, then the value's bytes (text and binary
// with a 4-byte length first).
#pragma once
#include <vector>

#include "engine/format/value.h"
#include "engine/util/bytes.h"

namespace kevra::sql {

void appendValueRecord(const std::vector<Value>& values, Bytes& out);
// Throws EngineError when `record` was not written by appendValueRecord.
void readValueRecord(ByteSpan record, std::vector<Value>& values);

}  // namespace kevra::sql
