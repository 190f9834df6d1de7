// Program start: --help and --version answered on the terminal; otherwise
// the application titled "Kevra", the main window centred and then
// maximised, and an optional database file named on the command line, opened
// as File > Open would open it.
#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/command_line.h"
#include "app/main_window.h"
#include "ui/error_display.h"

namespace {
int answerOnTerminal(const kevra::app::CommandLine& line) {
  using Action = kevra::app::CommandLine::Action;
  if (line.action == Action::ShowHelp) std::fputs(kevra::app::usageText().toLocal8Bit().constData(), stdout);
  if (line.action == Action::ShowVersion) std::fputs(kevra::app::versionText().toLocal8Bit().constData(), stdout);
  if (line.action == Action::Refuse) {
    std::fprintf(stderr, "kevra: %s\n", line.problem.toLocal8Bit().constData());
    std::fputs(kevra::app::usageText().toLocal8Bit().constData(), stderr);
    return 2;
  }
  return 0;
}
}  // namespace

int main(int argc, char* argv[]) {
  // Help, version and refusals need no display: the command line is read
  // before the toolkit starts, which fails without one.
  QStringList raw;
  for (int i = 1; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
  using Action = kevra::app::CommandLine::Action;
  if (const kevra::app::CommandLine early = kevra::app::parseCommandLine(kevra::app::withoutToolkitOptions(raw));
      early.action != Action::Run)
    return answerOnTerminal(early);

  QApplication app(argc, argv);
  // The toolkit has taken its own options (-style, -platform ...) by now.
  const kevra::app::CommandLine line = kevra::app::parseCommandLine(QApplication::arguments().mid(1));
  if (line.action != Action::Run) return answerOnTerminal(line);
  QApplication::setApplicationName(kevra::ui::kApplicationTitle);
  QApplication::setDesktopFileName(QStringLiteral("kevra"));

  kevra::app::MainWindow window;
  QApplication::setWindowIcon(window.windowIcon());
  if (const QScreen* screen = window.screen()) {
    // Without a window manager to maximise it, the window still fills most
    // of the desktop rather than keeping its design size.
    const QSize desktop = screen->availableGeometry().size();
    window.resize(std::max(window.width(), desktop.width() * 4 / 5),
                  std::max(window.height(), desktop.height() * 4 / 5));
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
  window.showMaximized();

  if (!line.file.isEmpty()) {
    const QString path = QFileInfo(line.file).absoluteFilePath();
    QTimer::singleShot(0, &window, [&window, path] {
      kevra::ui::runCommand(&window, [&window, &path] { window.openDatabaseFile(path); });
    });
  }
  return app.exec();
}
