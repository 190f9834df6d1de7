// The Upsize dialog: where to (a PostgreSQL server by its host, port,
// database, user, password and schema, or a SQLite file), which tables (all
// checked at first), whether to replace tables that exist there and whether
// to do it all in one transaction, and where the report goes. "Upsize" runs
// it with its progress box (upsize_run.h); on success the dialog closes with
// the outcome kept, on a refusal or cancel the message is shown and the
// dialog stays open with its choices.
#pragma once
#include <QDialog>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "database/upsize.h"

namespace Ui {
class UpsizeDialog;
}
namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::convert {

class UpsizeDialog : public QDialog {
  Q_OBJECT
 public:
  UpsizeDialog(ui::DatabaseSession& session, QWidget* parent = nullptr);
  ~UpsizeDialog() override;

  // The settings as chosen; throws EngineError naming what is missing.
  db::UpsizeSettings settings() const;
  // Set once an upsize finished.
  const std::optional<db::UpsizeOutcome>& outcome() const { return outcome_; }

 private:
  void upsizeClicked();
  void browseClicked();
  void targetChosen();

  std::unique_ptr<Ui::UpsizeDialog> form_;
  ui::DatabaseSession& session_;
  std::optional<db::UpsizeOutcome> outcome_;
};

// File > Upsize: the dialog on the open database, then the result in a
// message box. False when the dialog was closed without an upsize.
bool upsizeDatabase(QWidget* parent, ui::DatabaseSession& session);

}  // namespace kevra::convert
