// Program start: the application titled "Kevra", the main window centred and
// then maximised, and an optional database file named on the command line,
// opened as File > Open would open it.
#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>

#include "app/main_window.h"
#include "ui/error_display.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(kevra::ui::kApplicationTitle);
  QApplication::setDesktopFileName(QStringLiteral("kevra"));

  kevra::app::MainWindow window;
  QApplication::setWindowIcon(window.windowIcon());
  if (const QScreen* screen = window.screen()) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
  window.showMaximized();

  const QStringList arguments = QApplication::arguments();
  if (arguments.size() == 2) {
    const QString path = QFileInfo(arguments[1]).absoluteFilePath();
    QTimer::singleShot(0, &window, [&window, path] {
      kevra::ui::runCommand(&window, [&window, &path] { window.openDatabaseFile(path); });
    });
  }
  return app.exec();
}
