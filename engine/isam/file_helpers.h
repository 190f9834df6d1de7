// Small file helpers of the text drivers. New files that must appear whole
// are written through StagedFile (staged_file.h).
#pragma once
#include <string>
#include <string_view>

#include "engine/isam/folder_files.h"  // joinPath

namespace kevra {

// Replaces `path` with `bytes` through a temporary file and a rename, so a
// reader sees the old or the new content, never a mix.
void replaceFileContents(const std::string& path, std::string_view bytes);

bool fileExists(const std::string& path);
// The last part of a path.
std::string baseName(const std::string& path);

}  // namespace kevra
