// The Upsize dialog's choices, its run and the result message.
#include "convert/upsize_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPushButton>
#include <stdexcept>

#include "convert/upsize_run.h"
#include "database/catalog.h"
#include "ui/database_session.h"
#include "ui/dialog_seam.h"
#include "ui/error_display.h"
#include "ui_upsize_dialog.h"

namespace kevra::convert {

UpsizeDialog::UpsizeDialog(ui::DatabaseSession& session, QWidget* parent)
    : QDialog(parent), form_(std::make_unique<Ui::UpsizeDialog>()), session_(session) {
  form_->setupUi(this);
  QPushButton* upsize = form_->buttons->addButton(QStringLiteral("&Upsize"), QDialogButtonBox::AcceptRole);
  upsize->setObjectName(QStringLiteral("upsizeButton"));
  upsize->setDefault(true);
  // Accepting is the upsize's to do, once it has finished.
  disconnect(form_->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(upsize, &QPushButton::clicked, this, [this] { upsizeClicked(); });
  connect(form_->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(form_->browseButton, &QPushButton::clicked, this, [this] { browseClicked(); });
  connect(form_->postgresChoice, &QRadioButton::toggled, this, [this] { targetChosen(); });

  const db::Tables& tables = session_.catalog().Tables();
  for (int i = 0; i < tables.Count(); ++i) {
    if (tables.Item(i).Type() != "TABLE") continue;
    auto* item = new QListWidgetItem(QString::fromStdString(tables.Item(i).Name()), form_->tableList);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
  }
  const QFileInfo file(session_.path());
  form_->sqliteFileBox->setText(file.dir().filePath(file.completeBaseName() + QStringLiteral(".sqlite")));
  form_->reportBox->setText(session_.path() + QStringLiteral(".upsize-report.txt"));
  targetChosen();
  resize(480, sizeHint().height());
}

UpsizeDialog::~UpsizeDialog() = default;

void UpsizeDialog::targetChosen() {
  const bool postgres = form_->postgresChoice->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(form_->hostBox), static_cast<QWidget*>(form_->portBox),
                     static_cast<QWidget*>(form_->databaseBox), static_cast<QWidget*>(form_->userBox),
                     static_cast<QWidget*>(form_->passwordBox), static_cast<QWidget*>(form_->schemaBox)})
    w->setEnabled(postgres);
  form_->sqliteFileBox->setEnabled(!postgres);
  form_->browseButton->setEnabled(!postgres);
}

void UpsizeDialog::browseClicked() {
  ui::FileRequest request;
  request.kind = ui::FileDialogKind::Save;
  request.filter = QStringLiteral("SQLite Database (*.sqlite,*.db)|*.sqlite;*.db|All Files (*.*)|*.*");
  const QString chosen = ui::dialogs().fileName(this, request);
  if (!chosen.isEmpty()) form_->sqliteFileBox->setText(chosen);
}

db::UpsizeSettings UpsizeDialog::settings() const {
  db::UpsizeSettings s;
  if (form_->postgresChoice->isChecked()) {
    if (form_->databaseBox->text().trimmed().isEmpty())
      throw std::runtime_error("Give the PostgreSQL database to upsize into.");
    s.target = db::postgresConnectionString(
        form_->hostBox->text().trimmed().toStdString(), form_->portBox->text().trimmed().toStdString(),
        form_->databaseBox->text().trimmed().toStdString(), form_->userBox->text().trimmed().toStdString(),
        form_->passwordBox->text().toStdString());
    s.schema = form_->schemaBox->text().trimmed().toStdString();
  } else {
    const QString file = form_->sqliteFileBox->text().trimmed();
    if (file.isEmpty()) throw std::runtime_error("Give the SQLite file to upsize into.");
    s.target = "sqlite:" + file.toStdString();
  }
  for (int i = 0; i < form_->tableList->count(); ++i)
    if (form_->tableList->item(i)->checkState() == Qt::Checked)
      s.tables.push_back(form_->tableList->item(i)->text().toStdString());
  if (s.tables.empty()) throw std::runtime_error("Choose at least one table to upsize.");
  s.replace = form_->replaceCheck->isChecked();
  s.atomic = form_->atomicCheck->isChecked();
  s.reportPath = form_->reportBox->text().trimmed().toStdString();
  return s;
}

void UpsizeDialog::upsizeClicked() {
  ui::runCommand(this, [this] {
    const db::UpsizeSettings chosen = settings();
    const uint64_t total = db::storedRowCount(session_.connectionString(), chosen.tables);
    outcome_ = runUpsize(this, session_.connectionString(), chosen, total);
    accept();
  });
}

bool upsizeDatabase(QWidget* parent, ui::DatabaseSession& session) {
  UpsizeDialog dialog(session, parent);
  if (dialog.exec() != QDialog::Accepted || !dialog.outcome()) return false;
  const db::UpsizeOutcome& outcome = *dialog.outcome();
  uint64_t rows = 0;
  for (const auto& t : outcome.tables) rows += t.rows;
  const QLocale locale;
  ui::MessageRequest result;
  result.title = QStringLiteral("Upsize");
  result.text = QStringLiteral("%1 tables with %2 rows upsized into %3.")
                    .arg(locale.toString(qulonglong(outcome.tables.size())), locale.toString(qulonglong(rows)),
                         QString::fromStdString(outcome.target));
  if (outcome.verified) {
    result.icon = QMessageBox::Information;
    result.text += QStringLiteral(" Every table was checked on the target and matches.");
  } else {
    result.icon = QMessageBox::Warning;
    result.text += QStringLiteral(" Checking them on the target found differences: see the report.");
  }
  const db::UpsizeSettings chosen = dialog.settings();
  if (!chosen.reportPath.empty()) result.text += QStringLiteral("\nReport: ") + QString::fromStdString(chosen.reportPath);
  ui::dialogs().message(parent, result);
  return true;
}

}  // namespace kevra::convert
