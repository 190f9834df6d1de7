// Small file helpers of the text drivers. New files that must appear whole
// are written through StagedFile (staged_file.h).
#pragma once
#include <string>
#include <string_view>

#include "engine/isam/folder_files.h"  // joinPath
#include "engine/storage/file_system.h"

namespace kevra {

// Replaces `path` with `bytes` through a temporary file and a rename, so a
// reader sees the old or the new content, never a mix. A symbolic link at
// `path` stays and its target is replaced; a device or pipe is written.
void replaceFileContents(const std::string& path, std::string_view bytes, FileSystem& fs = realFileSystem());

// Whether anything (a symbolic link included) has the name `path`.
bool fileExists(const std::string& path, FileSystem& fs = realFileSystem());
// Whether `path` is a folder (through a symbolic link or not).
bool folderExists(const std::string& path, FileSystem& fs = realFileSystem());
// The last part of a path.
std::string baseName(const std::string& path);

}  // namespace kevra
