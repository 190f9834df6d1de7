// A file dialog as the window keeps it: its filter, initial folder and the file
// name of its last run, which later commands read back.
#pragma once
#include <QString>

#include "ui/dialog_seam.h"

class QWidget;

namespace kevra::ui {

class FileDialog {
 public:
  FileDialog(FileDialogKind kind, QString filter, QString initialDirectory = {})
      : kind_(kind), filter_(std::move(filter)), initialDirectory_(std::move(initialDirectory)) {}

  // Runs the dialog through the seam; the chosen name (or "" for a cancel)
  // becomes fileName(). Returns true when a name was chosen.
  bool run(QWidget* parent);

  const QString& fileName() const { return fileName_; }
  void setFileName(const QString& name) { fileName_ = name; }
  const QString& filter() const { return filter_; }
  const QString& initialDirectory() const { return initialDirectory_; }

 private:
  FileDialogKind kind_;
  QString filter_;
  QString initialDirectory_;  // as the command writes it, e.g. "c:\"
  QString fileName_;
};

}  // namespace kevra::ui
