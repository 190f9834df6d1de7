// Finding the files of a folder-shaped data source (dBase, Paradox): a table
// is a file `<name>.<extension>`, matched without regard to letter case.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace kevra {

// `folder/name`, with exactly one separator.
std::string joinPath(const std::string& folder, const std::string& name);

// The path of the file in `folder` whose name equals `fileName` ignoring
// ASCII letter case (an exact match preferred); nullopt when there is none.
std::optional<std::string> findFileIgnoringCase(const std::string& folder, const std::string& fileName);

// Base names of the regular files in `folder` whose extension is
// `extension` (without the dot, any letter case), sorted. Throws EngineError
// naming the folder when it cannot be read.
std::vector<std::string> baseNamesWithExtension(const std::string& folder, const std::string& extension);

// The path of `base` + `extension` beside `path` (same folder and base name,
// other extension), found ignoring case; nullopt when there is none.
std::optional<std::string> companionFile(const std::string& path, const std::string& extension);

}  // namespace kevra
