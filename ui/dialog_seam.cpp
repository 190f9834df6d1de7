// Real Qt dialogs behind the dialog seam, and the filter and folder mapping
// from the Windows forms the commands are written in.
#include "ui/dialog_seam.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QRegularExpression>
#include <QStringList>

#include "ui/password_dialog.h"

namespace kevra::ui {

namespace {
std::unique_ptr<DialogSeam>& current() {
  static std::unique_ptr<DialogSeam> seam = std::make_unique<QtDialogSeam>();
  return seam;
}
}  // namespace

DialogSeam& dialogs() { return *current(); }

std::unique_ptr<DialogSeam> installDialogs(std::unique_ptr<DialogSeam> seam) {
  std::unique_ptr<DialogSeam> previous = std::move(current());
  current() = seam ? std::move(seam) : std::make_unique<QtDialogSeam>();
  return previous;
}

QString qtFileFilter(const QString& pipeFilter) {
  const QStringList parts = pipeFilter.split('|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    // Qt reads the patterns from the last parenthesis, so the pattern part of
    // the description is replaced by the real patterns.
    description.remove(QRegularExpression(QStringLiteral("\\s*\\([^()]*\\)\\s*$")));
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (QString& p : patterns) {
      p = p.trimmed();
      if (p == QStringLiteral("*.*")) p = QStringLiteral("*");  // every file, with or without a dot
    }
    entries << description + QStringLiteral(" (") + patterns.join(' ') + QStringLiteral(")");
  }
  return entries.join(QStringLiteral(";;"));
}

QString localDirectory(const QString& windowsDirectory) {
  if (windowsDirectory.isEmpty()) return {};
  QString path = windowsDirectory;
  path.replace('\\', '/');
  static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:/?"));
  const auto match = drive.match(path);
  if (match.hasMatch()) {
    const QString rest = path.mid(match.capturedLength());
    return rest.isEmpty() ? QDir::homePath() : QDir::home().filePath(rest);
  }
  return path;
}

QMessageBox::StandardButton QtDialogSeam::message(QWidget* parent, const MessageRequest& request) {
  // Texts are written with Windows line breaks; a lone "\n" is a break here.
  QString text = request.text;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(request.icon, request.title, text, request.buttons, parent);
  if (request.defaultButton != QMessageBox::NoButton) box.setDefaultButton(request.defaultButton);
  for (auto it = request.buttonTexts.begin(); it != request.buttonTexts.end(); ++it)
    if (QAbstractButton* button = box.button(it.key())) button->setText(it.value());
  return QMessageBox::StandardButton(box.exec());
}

std::optional<QString> DialogSeam::choose(QWidget* parent, const QString& title, const QString& label,
                                         const QStringList& items, int current) {
  bool ok = false;
  const QString chosen = QInputDialog::getItem(parent, title, label, items, current, false, &ok);
  return ok ? std::optional<QString>(chosen) : std::nullopt;
}

QString QtDialogSeam::fileName(QWidget* parent, const FileRequest& request) {
  QFileDialog dialog(parent, QString(), request.initialDirectory, qtFileFilter(request.filter));
  dialog.setAcceptMode(request.kind == FileDialogKind::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // The file need not exist, nothing is asked before a name is reused and no
  // extension is added: the engine judges the name.
  dialog.setFileMode(request.kind == FileDialogKind::Folder ? QFileDialog::Directory : QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return QDir::fromNativeSeparators(dialog.selectedFiles().first());
}

}  // namespace kevra::ui

namespace kevra::ui {

std::optional<QString> QtDialogSeam::password(QWidget* parent, const QString& fileName, const QString& problem) {
  PasswordDialog dialog(fileName, problem, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.password();
}

}  // namespace kevra::ui
