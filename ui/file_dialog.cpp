// Runs a kept file dialog through the dialog seam.
#include "ui/file_dialog.h"

namespace kevra::ui {

bool FileDialog::run(QWidget* parent) {
  FileRequest request;
  request.kind = kind_;
  request.filter = filter_;
  request.initialDirectory = localDirectory(initialDirectory_);
  fileName_ = dialogs().fileName(parent, request);
  return !fileName_.isEmpty();
}

}  // namespace kevra::ui
