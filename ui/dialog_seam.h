// The seam between commands and the modal boxes they show: message boxes and
// the standard file dialogs. The program installs QtDialogSeam, which shows
// real Qt dialogs; tests install a scripted seam that answers by itself and
// records what was asked.
#pragma once
#include <QMap>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QWidget;

namespace kevra::ui {

// One message box as a command asks for it.
struct MessageRequest {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title;
  QString text;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  // Captions for buttons whose standard one does not say what they do
  // (Open -> "Open Read-Only").
  QMap<QMessageBox::StandardButton, QString> buttonTexts;
};

enum class FileDialogKind { Open, Save, Folder };  // Folder: an existing folder is chosen

// One run of a file dialog. `filter` uses the pipe form
// "Description|pattern|Description|pattern"; an empty result is a cancel.
struct FileRequest {
  FileDialogKind kind = FileDialogKind::Open;
  QString filter;
  QString initialDirectory;  // already mapped to this machine ("" = current)
};

class DialogSeam {
 public:
  virtual ~DialogSeam() = default;
  virtual QMessageBox::StandardButton message(QWidget* parent, const MessageRequest& request) = 0;
  virtual QString fileName(QWidget* parent, const FileRequest& request) = 0;
  // Asks for the password of the database file `fileName`; `problem` says
  // what was wrong with the last try. nullopt when the user cancels.
  virtual std::optional<QString> password(QWidget* parent, const QString& fileName, const QString& problem) = 0;
  // One of `items`, `current` chosen at first; nullopt when the user cancels.
  virtual std::optional<QString> choose(QWidget* parent, const QString& title, const QString& label,
                                        const QStringList& items, int current);
};

// Real dialogs.
class QtDialogSeam : public DialogSeam {
 public:
  QMessageBox::StandardButton message(QWidget* parent, const MessageRequest& request) override;
  QString fileName(QWidget* parent, const FileRequest& request) override;
  std::optional<QString> password(QWidget* parent, const QString& fileName, const QString& problem) override;
};

// The seam in use. Never null; starts as QtDialogSeam.
DialogSeam& dialogs();
// Replaces the seam in use and returns the previous one.
std::unique_ptr<DialogSeam> installDialogs(std::unique_ptr<DialogSeam> seam);

// "Description|pattern;pattern|..." to Qt's "Description (pattern pattern);;...".
QString qtFileFilter(const QString& pipeFilter);
// A Windows-style initial directory to one of this machine: "c:\" is the
// user's home folder, backslashes become slashes.
QString localDirectory(const QString& windowsDirectory);

}  // namespace kevra::ui
