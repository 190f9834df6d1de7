// kevra-cli: the engine from the command line.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "engine/util/error.h"

int main(int argc, char** argv) {
  using namespace kevra::cli;
  std::vector<std::string> words(argv + 1, argv + argc);
  for (const auto& w : words)
    if (w == "--help" || w == "-h") {
      std::fputs(usageText(), stdout);
      return 0;
    }
  if (words.empty()) {
    std::fputs(usageText(), stderr);
    return 2;
  }
  std::string command = words[0];
  words.erase(words.begin());
  try {
    Arguments args = parseArguments(words);
    if (command == "tables") return runTables(args);
    if (command == "schema") return runSchema(args);
    if (command == "export") return args.to.empty() ? runExport(args) : runForeignExport(args);
    if (command == "import") return runImport(args);
    if (command == "check") return runCheck(args);
    if (command == "sql") return runSql(args);
    if (command == "create") return runCreate(args);
    if (command == "generate") return runGenerate(args);
    if (command == "compact") return runCompact(args);
    if (command == "upsize") return runUpsize(args);
    if (command == "recover") return runRecover(args);
    throw UsageError("Unknown command '" + command + "'; see kevra-cli --help.");
  } catch (const UsageError& e) {
    std::fprintf(stderr, "kevra-cli: %s\n", e.what());
    return 2;
  } catch (const kevra::PasswordRequiredError& e) {
    std::fprintf(stderr, "kevra-cli: '%s' is protected by a database password; give it with --password PW.\n",
                 kevra::printableMessage(e.fileName()).c_str());
    return 1;
  } catch (const std::bad_alloc&) {
    std::string what = command;
    if (!words.empty()) what += " " + words[0];
    std::fprintf(stderr,
                 "kevra-cli: ran out of memory during '%s'; the command was stopped, and any change it was "
                 "making was undone.\n",
                 kevra::printableMessage(what).c_str());
    return 1;
  } catch (const std::exception& e) {
    std::string message = e.what();
    for (char& c : message)
      if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "kevra-cli: %s\n", message.c_str());
    return 1;
  }
}
