// Runs a program with arguments (no shell) and collects what it printed, so
// the interop tests can drive kevra-cli and the mdbtools commands side by side.
#pragma once
#include <string>
#include <vector>

namespace kevra::interop {

struct ProcessResult {
  int exitCode = -1;  // -1 when the program could not be started or was killed
  bool timedOut = false;
  std::string out;
  std::string err;
};

// Runs argv[0] (looked up in PATH) with the other elements as arguments.
// A program still running after `timeoutSeconds` is killed.
ProcessResult runProcess(const std::vector<std::string>& argv, int timeoutSeconds = 120);

// Splits text into lines, dropping the line ends ("\n" or "\r\n") and a final empty line.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace kevra::interop
