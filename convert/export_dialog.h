// The Export Database dialog: a directory list (starting at the process's
// current directory), the format box ("dBase", "Excel", "HTML", "Paradox",
// "Text") and "Export", which writes the table with one select-into statement
// on the shared connection. On success the dialog closes; a refusal is shown
// and the dialog stays open with its choices.
#pragma once
#include <QDialog>
#include <QString>
#include <memory>

class QFileSystemModel;

namespace Ui {
class ExportDialog;
}
namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::convert {

class ExportDialog : public QDialog {
  Q_OBJECT
 public:
  ExportDialog(ui::DatabaseSession& session, QString table, QWidget* parent = nullptr);
  ~ExportDialog() override;

  // The chosen directory: a full path without a closing '/', except "/".
  QString directory() const;
  void setDirectory(const QString& path);
  QString format() const;

 private:
  void exportClicked();

  std::unique_ptr<Ui::ExportDialog> form_;
  QFileSystemModel* folders_ = nullptr;
  ui::DatabaseSession& session_;
  QString table_;
};

}  // namespace kevra::convert
