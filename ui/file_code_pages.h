// FileCodePages: the code page the user chose for reading a file's text (an
// Access 97 file whose header names another than its text is in), kept per
// file in the user's settings so the file opens the same way next time.
#pragma once
#include <QList>
#include <QPair>
#include <QString>

namespace kevra::ui {

class FileCodePages {
 public:
  // The code pages the engine reads, with a name for people:
  // {1251, "1251 (Cyrillic)"}, ...
  static const QList<QPair<int, QString>>& choices();

  // The code page chosen for `path`; 0 when none was (the file's own).
  int codePageOf(const QString& path) const;
  // Remembers `codePage` for `path`; 0 forgets it.
  void remember(const QString& path, int codePage);
};

}  // namespace kevra::ui
