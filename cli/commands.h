// kevra-cli commands. Each returns the process exit code and throws
// kevra::EngineError (or UsageError) on failure.
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

namespace kevra::cli {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Arguments after the command name, with --options split out.
struct Arguments {
  std::vector<std::string> positional;
  std::string format;    // --format
  std::string output;    // --output
  std::string password;  // --password
  std::string codePage;  // --codepage: text code page of an Access 97 file
  std::string rows;      // --rows
  std::string seed;      // --seed
  std::string to;        // --to
  std::string schema;   // --schema
  std::string tables;   // --tables, comma-separated
  std::string report;   // --report
  std::string attachments;  // --attachments DIR
  bool replace = false;
  bool atomic = false;
  bool discardJournal = false;
  bool plan = false;     // --plan
  bool links = false;    // --links
};

Arguments parseArguments(const std::vector<std::string>& args);

int runTables(const Arguments& args);
int runSchema(const Arguments& args);
int runExport(const Arguments& args);
// export FILE TABLE --to FORMAT DIR: the table to a foreign file in DIR.
int runForeignExport(const Arguments& args);
int runImport(const Arguments& args);
int runCheck(const Arguments& args);
int runSql(const Arguments& args);
int runCreate(const Arguments& args);
int runGenerate(const Arguments& args);
int runCompact(const Arguments& args);
int runRecover(const Arguments& args);
int runUpsize(const Arguments& args);

const char* usageText();

}  // namespace kevra::cli
