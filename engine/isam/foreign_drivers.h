// Which driver serves a connect keyword: the text before the first ';' of an
// IN clause's connect string ("dBase 5.0;") or a connection's Extended
// Properties ("dbase 5.0"), compared without regard to case. No keyword means
// another Access database.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/isam/foreign_driver.h"

namespace kevra {

// "dBase 5.0;HDR=NO" -> "dBase 5.0"; blanks around it dropped.
std::string connectKeyword(std::string_view connect);

// The driver for `connect` (a keyword or a whole connect string). Throws
// EngineError naming the keyword when no driver serves it.
std::unique_ptr<ForeignDriver> makeForeignDriver(std::string_view connect);

// The keywords drivers are installed for, in the order they are listed.
std::vector<std::string> installedDriverKeywords();

}  // namespace kevra
