// Reading the command line.
#include "app/command_line.h"

namespace kevra::app {

CommandLine parseCommandLine(const QStringList& arguments) {
  CommandLine line;
  bool optionsEnd = false;
  for (const QString& argument : arguments) {
    if (!optionsEnd && argument == QStringLiteral("--")) {
      optionsEnd = true;
    } else if (!optionsEnd && (argument == QStringLiteral("--help") || argument == QStringLiteral("-h"))) {
      return {CommandLine::Action::ShowHelp, {}, {}};
    } else if (!optionsEnd && (argument == QStringLiteral("--version") || argument == QStringLiteral("-v"))) {
      return {CommandLine::Action::ShowVersion, {}, {}};
    } else if (!optionsEnd && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
      return {CommandLine::Action::Refuse, {}, QStringLiteral("unknown option '%1'").arg(argument)};
    } else if (!line.file.isEmpty()) {
      return {CommandLine::Action::Refuse, {}, QStringLiteral("only one database file can be opened")};
    } else {
      line.file = argument;
    }
  }
  return line;
}

QString usageText() {
  return QStringLiteral(
      "Usage: kevra [FILE]\n"
      "Browse and edit Microsoft Access databases (.mdb).\n"
      "\n"
      "  FILE           a database to open at start\n"
      "  -h, --help     show this help and exit\n"
      "  -v, --version  show the version and exit\n");
}

QString versionText() { return QStringLiteral("Kevra 0.8.0\n"); }

}  // namespace kevra::app
