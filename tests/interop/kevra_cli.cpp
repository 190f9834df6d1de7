#include "kevra_cli.h"

#include <stdexcept>

#ifndef KEVRA_CLI_PATH
#error "KEVRA_CLI_PATH must name the kevra-cli binary"
#endif

namespace kevra::interop {

namespace {

std::string checked(const std::vector<std::string>& args) {
  ProcessResult r = runCli(args);
  if (r.exitCode != 0) {
    std::string cmd = "kevra-cli";
    for (const auto& a : args) cmd += " " + a;
    throw std::runtime_error(cmd + " failed (exit " + std::to_string(r.exitCode) + (r.timedOut ? ", timed out" : "") +
                             "): " + r.err.substr(0, 500));
  }
  return r.out;
}

}  // namespace

std::vector<std::string> passwordArgs(const SampleFile& sample) {
  // The passwords the samples' notes give.
  if (sample.name == "v2000_with-password.mdb") return {"--password", kSamplePassword};
  if (sample.name == "v2010-office-agile-4.4.accdb") return {"--password", "password"};
  if (sample.name == "v2007-db2007-oldenc.accdb") return {"--password", "Test123"};
  return {};
}

ProcessResult runCli(const std::vector<std::string>& args, int timeoutSeconds) {
  std::vector<std::string> argv{KEVRA_CLI_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return runProcess(argv, timeoutSeconds);
}

std::vector<std::string> cliTables(const SampleFile& sample) {
  std::vector<std::string> args{"tables", sample.path};
  for (auto& a : passwordArgs(sample)) args.push_back(a);
  return splitLines(checked(args));
}

Json cliSchema(const SampleFile& sample) {
  std::vector<std::string> args{"schema", sample.path};
  for (auto& a : passwordArgs(sample)) args.push_back(a);
  return parseJson(checked(args));
}

std::vector<Json> cliJsonRows(const SampleFile& sample, const std::string& table) {
  std::vector<std::string> args{"export", sample.path, table, "--format", "jsonl"};
  for (auto& a : passwordArgs(sample)) args.push_back(a);
  std::vector<Json> rows;
  for (const auto& line : splitLines(checked(args))) rows.push_back(parseJson(line));
  return rows;
}

std::string cliCsv(const SampleFile& sample, const std::string& table) {
  std::vector<std::string> args{"export", sample.path, table, "--format", "csv"};
  for (auto& a : passwordArgs(sample)) args.push_back(a);
  return checked(args);
}

const Json* schemaTable(const Json& schema, const std::string& name) {
  const Json* tables = schema.find("tables");
  if (!tables || !tables->isArray()) return nullptr;
  for (const auto& t : tables->items) {
    const Json* n = t.find("name");
    if (n && n->isString() && n->text == name) return &t;
  }
  return nullptr;
}

}  // namespace kevra::interop
