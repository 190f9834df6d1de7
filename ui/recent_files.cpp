// The recent files list in the settings.
#include "ui/recent_files.h"

#include <QSettings>

#include "ui/error_display.h"

namespace kevra::ui {

namespace {
const QString kKey = QStringLiteral("recentFiles");
QSettings settings() { return QSettings(kApplicationTitle, kApplicationTitle); }
}  // namespace

QStringList RecentFiles::files() const {
  QStringList list = settings().value(kKey).toStringList();
  list.removeAll(QString());
  while (list.size() > kMaxFiles) list.removeLast();
  return list;
}

void RecentFiles::add(const QString& path) {
  QStringList list = files();
  list.removeAll(path);
  list.prepend(path);
  while (list.size() > kMaxFiles) list.removeLast();
  settings().setValue(kKey, list);
}

void RecentFiles::clear() { settings().remove(kKey); }

}  // namespace kevra::ui
