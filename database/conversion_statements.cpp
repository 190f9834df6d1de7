// Import sources and conversion statements, built by plain concatenation.
#include "database/conversion_statements.h"

#include <cctype>

#include "engine/isam/table_file_name.h"

namespace kevra::db {
namespace {

std::string lowerCase(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool endsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

std::string joined(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

}  // namespace

std::optional<ImportSource> importSourceFor(const std::string& fileName) {
  struct Ending {
    const char* end;
    ImportKind kind;
    bool folder;
    const char* suffix;
    const char* user;
  };
  static const Ending kEndings[] = {
      {".dbf", ImportKind::Dbase, true, ";Extended Properties=dbase 5.0;Persist Security Info=False", ""},
      {".htm", ImportKind::Html, false, ";Extended Properties=HTML Import;Persist Security Info=False", ""},
      {".html", ImportKind::Html, false, ";Extended Properties=HTML Import;Persist Security Info=False", ""},
      {".db", ImportKind::Paradox, true, ";Extended Properties=Paradox 7.x;Persist Security Info=False", ""},
      {".txt", ImportKind::Text, true, ";Extended Properties=Text;Persist Security Info=False", ""},
      {".csv", ImportKind::Text, true, ";Extended Properties=Text;Persist Security Info=False", ""},
      {".mdb", ImportKind::Access, false, ";Persist Security Info=False", "admin"},
      {".xls", ImportKind::Excel, false, ";Extended Properties=Excel 8.0;Persist Security Info=False", "admin"},
  };
  const std::string lower = lowerCase(fileName);
  const size_t slash = fileName.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : fileName.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  for (const Ending& e : kEndings) {
    const std::string end = e.end;
    if (!endsWith(lower, end)) continue;
    ImportSource s;
    s.kind = e.kind;
    s.connectionString =
        std::string("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + (e.folder ? folder : fileName) + e.suffix;
    s.user = e.user;
    s.baseName = name.size() >= end.size() ? name.substr(0, name.size() - end.size()) : "";
    s.choosesTables = e.kind == ImportKind::Access || e.kind == ImportKind::Excel;
    if (!s.choosesTables) {
      s.sourceTable = s.baseName;
      if (e.kind == ImportKind::Text) s.sourceTable += "#" + fileName.substr(fileName.size() - 3);
    }
    return s;
  }
  return std::nullopt;
}

std::string importStatement(const std::string& table, const std::string& sourceTable, const std::string& targetPath) {
  return "select * into [" + table + "] in \"" + targetPath + "\" from [" + sourceTable + "]";
}

std::optional<std::string> exportStatement(const std::string& format, const std::string& t, const std::string& d) {
  // The new file is named after the table: characters no file name in the
  // folder may hold become '_' (see table_file_name.h).
  const std::string f = kevra::fileNameSafeTableName(t);
  if (format == "dBase") return "select * into [" + f + "] in \"" + d + "\" \"dBase 5.0;\" from [" + t + "]";
  if (format == "HTML") return "select * into [" + f + ".html] in \"" + d + "\" \"HTML Export;\" from [" + t + "]";
  if (format == "Paradox") return "select * into [" + f + "] in \"" + d + "\" \"Paradox 7.x;\" from [" + t + "]";
  if (format == "Excel")
    return "select * into [" + t + "] in \"" + joined(d, f) + ".xls\" \"Excel 8.0;\" from [" + t + "]";
  if (format == "Text") return "select * into [" + f + "#txt] in \"" + d + "\" \"Text;\" from [" + t + "]";
  return std::nullopt;
}

std::optional<std::string> exportedFileName(const std::string& format, const std::string& t, const std::string& d) {
  const std::string f = kevra::fileNameSafeTableName(t);
  if (format == "dBase") return joined(d, f + ".dbf");
  if (format == "HTML") return joined(d, f + ".html");
  if (format == "Paradox") return joined(d, f + ".db");
  if (format == "Excel") return joined(d, f + ".xls");
  if (format == "Text") return joined(d, f + ".txt");
  return std::nullopt;
}

}  // namespace kevra::db
