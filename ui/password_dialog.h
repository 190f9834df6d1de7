// PasswordDialog: asks for the password of a protected database file. The
// file's name heads it, the entry is masked, and after a wrong password it
// says so above the entry, which is emptied for the next try.
#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;

namespace kevra::ui {

class PasswordDialog : public QDialog {
  Q_OBJECT
 public:
  // `fileName` is shown as it is (the name, not the whole path); `problem`,
  // when not empty, says what went wrong with the last try.
  PasswordDialog(const QString& fileName, const QString& problem, QWidget* parent = nullptr);

  QString password() const;

 private:
  QLabel* prompt_;
  QLabel* problem_;
  QLineEdit* entry_;
};

}  // namespace kevra::ui
