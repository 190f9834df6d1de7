// Folder listing through std::filesystem, names compared ignoring ASCII case.
#include "engine/isam/folder_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "engine/util/error.h"

namespace kevra {
namespace {

bool equalIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::optional<std::string> findFileIgnoringCase(const std::string& folder, const std::string& fileName) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const std::string exact = joinPath(folder, fileName);
  if (fs::is_regular_file(exact, ec)) return exact;
  std::optional<std::string> found;
  for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (equalIgnoringAsciiCase(name, fileName) && it->is_regular_file(ec)) {
      if (!found || name < *found) found = name;
    }
  }
  if (!found) return std::nullopt;
  return joinPath(folder, *found);
}

std::vector<std::string> baseNamesWithExtension(const std::string& folder, const std::string& extension) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<std::string> names;
  fs::directory_iterator it(folder.empty() ? "." : folder, ec);
  if (ec) throw EngineError("Cannot read the folder '" + folder + "': " + ec.message() + ".");
  const std::string suffix = "." + extension;
  for (fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) throw EngineError("Cannot read the folder '" + folder + "': " + ec.message() + ".");
    const std::string name = it->path().filename().string();
    if (name.size() <= suffix.size() || name[0] == '.') continue;
    if (!equalIgnoringAsciiCase(name.substr(name.size() - suffix.size()), suffix)) continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    names.push_back(name.substr(0, name.size() - suffix.size()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::string> companionFile(const std::string& path, const std::string& extension) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto dot = name.rfind('.');
  const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  return findFileIgnoringCase(folder, base + "." + extension);
}

}  // namespace kevra
