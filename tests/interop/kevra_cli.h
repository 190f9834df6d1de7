// Our side of the interop comparison: kevra-cli run as a separate process,
// exactly as a user runs it, with its output parsed.
#pragma once
#include <string>
#include <vector>

#include "json_lite.h"
#include "mdb_oracle.h"
#include "process.h"

namespace kevra::interop {

// The password of the password-protected sample (v2000_with-password.mdb).
inline constexpr const char* kSamplePassword = "password";

// Options a command needs to open `sample`: --password for the protected files, else none.
std::vector<std::string> passwordArgs(const SampleFile& sample);

// kevra-cli with the given arguments.
ProcessResult runCli(const std::vector<std::string>& args, int timeoutSeconds = 300);

// Each throws std::runtime_error with the CLI's stderr when it exits non-zero.
std::vector<std::string> cliTables(const SampleFile& sample);
Json cliSchema(const SampleFile& sample);  // {"tables":[...]}
std::vector<Json> cliJsonRows(const SampleFile& sample, const std::string& table);
std::string cliCsv(const SampleFile& sample, const std::string& table);

// The table object named `name` in a schema document; nullptr when absent.
const Json* schemaTable(const Json& schema, const std::string& name);

}  // namespace kevra::interop
