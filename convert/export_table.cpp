// The export command.
#include "convert/export_table.h"

#include "convert/export_dialog.h"

namespace kevra::convert {

void exportTable(QWidget* parent, ui::DatabaseSession& session, const QString& table) {
  if (table.isEmpty()) return;  // no table chosen in the tree: nothing to export
  ExportDialog dialog(session, table, parent);
  dialog.exec();
}

}  // namespace kevra::convert
