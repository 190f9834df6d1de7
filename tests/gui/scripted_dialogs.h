// Test double for the dialog seam: file dialogs answer from a script, message
// boxes are recorded and answered with a fixed button. Installed for the life
// of a ScriptedDialogs::Scope.
#pragma once
#include <QList>
#include <QStringList>
#include <memory>

#include "ui/dialog_seam.h"

class ScriptedDialogs : public kevra::ui::DialogSeam {
 public:
  QStringList fileAnswers;  // taken from the front; none left answers "" (cancel)
  QList<kevra::ui::FileRequest> fileRequests;
  QList<kevra::ui::MessageRequest> messages;
  QMessageBox::StandardButton messageAnswer = QMessageBox::Ok;
  // Passwords typed, from the front; nullopt or none left cancels. Each ask
  // is recorded with the problem it showed.
  QList<std::optional<QString>> passwordAnswers;
  QStringList passwordProblems;

  QMessageBox::StandardButton message(QWidget*, const kevra::ui::MessageRequest& request) override {
    messages << request;
    return messageAnswer;
  }
  QString fileName(QWidget*, const kevra::ui::FileRequest& request) override {
    fileRequests << request;
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
  }

  // Choices made, from the front; none left cancels. Each list offered is recorded.
  QStringList choiceAnswers;
  QList<QStringList> choiceRequests;
  std::optional<QString> choose(QWidget*, const QString&, const QString&, const QStringList& items, int) override {
    choiceRequests << items;
    return choiceAnswers.isEmpty() ? std::nullopt : std::optional<QString>(choiceAnswers.takeFirst());
  }

  std::optional<QString> password(QWidget*, const QString&, const QString& problem) override {
    passwordProblems << problem;
    return passwordAnswers.isEmpty() ? std::nullopt : passwordAnswers.takeFirst();
  }

  class Scope {
   public:
    Scope() {
      auto seam = std::make_unique<ScriptedDialogs>();
      dialogs_ = seam.get();
      previous_ = kevra::ui::installDialogs(std::move(seam));
    }
    ~Scope() { kevra::ui::installDialogs(std::move(previous_)); }
    ScriptedDialogs* operator->() const { return dialogs_; }
    ScriptedDialogs& operator*() const { return *dialogs_; }

   private:
    ScriptedDialogs* dialogs_;
    std::unique_ptr<kevra::ui::DialogSeam> previous_;
  };
};

inline QString samplePath(const char* name) {
  return QString::fromUtf8(KEVRA_SHARED_DIR "/samples/") + QString::fromUtf8(name);
}
