// One line per warning.
#include "convert/import_warnings.h"

#include <QString>

#include "database/table_import.h"
#include "ui/message_boxes.h"

namespace kevra::convert {

void showImportWarnings(QWidget* parent, const db::ImportOutcome& outcome) {
  if (outcome.warnings.empty()) return;
  QString text;
  for (const std::string& w : outcome.warnings) text += QString::fromStdString(w) + QStringLiteral("\n");
  ui::showInformation(parent, text.trimmed());
}

}  // namespace kevra::convert
