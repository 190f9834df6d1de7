// RecentFiles: the database files opened last, newest first, at most eight,
// kept in the user's settings (QSettings) from one run to the next.
#pragma once
#include <QString>
#include <QStringList>

namespace kevra::ui {

class RecentFiles {
 public:
  static constexpr int kMaxFiles = 8;

  QStringList files() const;
  // `path` moves to the front (added when new); the oldest beyond eight go.
  void add(const QString& path);
  void clear();
};

}  // namespace kevra::ui
