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

QStringList withoutToolkitOptions(const QStringList& arguments) {
  // The toolkit's own options, with or without a value of their own.
  static const QStringList withValue{
      QStringLiteral("platform"),  QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
      QStringLiteral("plugin"),    QStringLiteral("style"),              QStringLiteral("stylesheet"),
      QStringLiteral("session"),   QStringLiteral("display"),            QStringLiteral("geometry"),
      QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),  QStringLiteral("qwindowtitle"),
      QStringLiteral("title"),     QStringLiteral("name"),               QStringLiteral("font"),
      QStringLiteral("fn"),        QStringLiteral("bg"),                 QStringLiteral("background"),
      QStringLiteral("fg"),        QStringLiteral("foreground"),         QStringLiteral("btn"),
      QStringLiteral("button"),    QStringLiteral("im"),                 QStringLiteral("visual"),
      QStringLiteral("ncols"),     QStringLiteral("qmljsdebugger")};
  static const QStringList alone{QStringLiteral("reverse"), QStringLiteral("widgetcount"), QStringLiteral("nograb"),
                                 QStringLiteral("dograb"), QStringLiteral("sync"), QStringLiteral("cmap"),
                                 QStringLiteral("testability")};
  QStringList kept;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QStringLiteral("--")) {
      kept << arguments.mid(i);
      break;
    }
    // "-name" and "--name" both reach the toolkit, "-name=value" too.
    QString option = argument;
    if (option.startsWith(QStringLiteral("--")))
      option.remove(0, 2);
    else if (option.startsWith(QLatin1Char('-')))
      option.remove(0, 1);
    else {
      kept << argument;
      continue;
    }
    const qsizetype equals = option.indexOf(QLatin1Char('='));
    const QString name = equals < 0 ? option : option.left(equals);
    if (withValue.contains(name)) {
      if (equals < 0) ++i;  // its value follows
      continue;
    }
    if (alone.contains(name) && equals < 0) continue;
    kept << argument;
  }
  return kept;
}

QString usageText() {
  return QStringLiteral(
      "Usage: kevra [FILE]\n"
      "Browse and edit Microsoft Access databases (.mdb, .accdb).\n"
      "\n"
      "  FILE           a database to open at start\n"
      "  -h, --help     show this help and exit\n"
      "  -v, --version  show the version and exit\n");
}

QString versionText() { return QStringLiteral("Kevra 0.8.0\n"); }

}  // namespace kevra::app
