// The application's one error display: every failure a command raises ends
// here, as a message box titled with the application title and an error icon.
#pragma once
#include <QString>
#include <exception>
#include <utility>

class QWidget;

namespace kevra::ui {

inline const QString kApplicationTitle = QStringLiteral("Kevra");

// The text shown for a failure message: "." is appended when its last
// character sorts after "." ("File not found" gains one; "Done.", "Stop!" and
// "(x)" are shown as they are, since '.', '!' and ')' sort before or at '.').
QString errorDisplayText(const QString& message);

// Shows the message of `error` in the error display.
void showError(QWidget* parent, const std::exception& error);

// Runs one command; a failure ends the command and goes to the error display.
template <class Command>
void runCommand(QWidget* parent, Command&& command) {
  try {
    std::forward<Command>(command)();
  } catch (const std::exception& error) {
    showError(parent, error);
  }
}

}  // namespace kevra::ui
