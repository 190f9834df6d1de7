// A file dialog as the window keeps it: its filter, initial folder and the file
// name of its last run, which later commands read back (the path of the open
// database is the Open dialog's file name).
#pragma once
#include <QString>

#include "app/dialog_seam.h"

class QWidget;

namespace kevra::ui {

class FileDialog {
 public:
  FileDialog(FileDialogKind kind, QString filter, QString initialDirectory = {})
      : kind_(kind), filter_(std::move(filter)), initialDirectory_(std::move(initialDirectory)) {}

  // Runs the dialog through the seam; the chosen name (or "" for a cancel)
  // becomes FileName. Returns true when a name was chosen.
  bool Execute(QWidget* parent);

  const QString& FileName() const { return fileName_; }
  void setFileName(const QString& name) { fileName_ = name; }
  const QString& Filter() const { return filter_; }
  const QString& InitialDir() const { return initialDirectory_; }

 private:
  FileDialogKind kind_;
  QString filter_;
  QString initialDirectory_;  // as written by the command, e.g. "c:\"
  QString fileName_;
};

}  // namespace kevra::ui
