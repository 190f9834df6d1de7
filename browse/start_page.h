// StartPage: what the window shows while no database is open: what can be
// done (open a file or create one) and the files opened last, each a click
// away.
#pragma once
#include <QStringList>
#include <QWidget>

class QListWidget;

namespace kevra::browse {

class StartPage : public QWidget {
  Q_OBJECT
 public:
  explicit StartPage(QWidget* parent = nullptr);
  void setRecentFiles(const QStringList& paths);

 signals:
  void openRequested();
  void createRequested();
  void recentFileChosen(const QString& path);

 private:
  QListWidget* recentList_;
};

}  // namespace kevra::browse
