// Confirming and dropping a table.
#include "schema/drop_table.h"

#include "ui/database_session.h"
#include "ui/message_boxes.h"

namespace kevra::schema {

bool dropTable(QWidget* parent, ui::DatabaseSession& session, const QString& table) {
  if (!ui::confirmLoss(parent, QStringLiteral("Selected table will be dropped !"))) return false;
  session.catalog().Tables().Delete(table.toStdString());
  return true;
}

}  // namespace kevra::schema
