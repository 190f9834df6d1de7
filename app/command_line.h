// The program's command line: an optional database file to open, or --help
// and --version, answered on the terminal without opening a window.
#pragma once
#include <QString>
#include <QStringList>

namespace kevra::app {

struct CommandLine {
  enum class Action { Run, ShowHelp, ShowVersion, Refuse };
  Action action = Action::Run;
  QString file;     // Run: the database to open; empty for none
  QString problem;  // Refuse: what is wrong, for the terminal
};

// `arguments` without the program's name and without the options the
// toolkit takes for itself.
CommandLine parseCommandLine(const QStringList& arguments);

// `arguments` without the options the toolkit takes for itself (-platform
// xcb, -style=fusion, -reverse ...), so the command line can be read before
// the toolkit starts, which needs a display: a bad option is refused on the
// terminal even where there is none.
QStringList withoutToolkitOptions(const QStringList& arguments);

QString usageText();
QString versionText();

}  // namespace kevra::app
