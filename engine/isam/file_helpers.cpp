// Small file helpers of the text drivers: whole-file replacement by the
// write-target rule, existence, base names.
#include "engine/isam/file_helpers.h"

#include "engine/storage/write_target.h"

namespace kevra {

bool fileExists(const std::string& path, FileSystem& fs) { return fs.kindOf(path).has_value(); }

bool folderExists(const std::string& path, FileSystem& fs) {
  return fs.kindOf(path.empty() ? "." : path, true) == FileKind::Folder;
}

std::string baseName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void replaceFileContents(const std::string& path, std::string_view bytes, FileSystem& fs) {
  TargetFile file(fs, path, ExistingTarget::Replace);
  file.append(bytes.data(), bytes.size());
  file.commit();
}

}  // namespace kevra
