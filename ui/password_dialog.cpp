// The password prompt's layout.
#include "ui/password_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/error_display.h"

namespace kevra::ui {

PasswordDialog::PasswordDialog(const QString& fileName, const QString& problem, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Password Required - ") + kApplicationTitle);
  auto* layout = new QVBoxLayout(this);
  prompt_ = new QLabel(QStringLiteral("'%1' is protected by a password.\nPassword:").arg(fileName), this);
  prompt_->setObjectName(QStringLiteral("passwordPrompt"));
  problem_ = new QLabel(problem, this);
  problem_->setObjectName(QStringLiteral("passwordProblem"));
  problem_->setStyleSheet(QStringLiteral("color: #b00020;"));
  problem_->setVisible(!problem.isEmpty());
  entry_ = new QLineEdit(this);
  entry_->setObjectName(QStringLiteral("passwordEntry"));
  entry_->setEchoMode(QLineEdit::Password);
  entry_->setMinimumWidth(260);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("passwordButtons"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(prompt_);
  layout->addWidget(problem_);
  layout->addWidget(entry_);
  layout->addWidget(buttons);
  entry_->setFocus();
}

QString PasswordDialog::password() const { return entry_->text(); }

}  // namespace kevra::ui
