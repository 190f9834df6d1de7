// Confirming and deleting an index.
#include "schema/delete_index.h"

#include "ui/database_session.h"
#include "ui/message_boxes.h"

namespace kevra::schema {

bool deleteIndex(QWidget* parent, ui::DatabaseSession& session, const QString& index) {
  if (index.isEmpty()) return false;
  if (!ui::confirmLoss(parent, QStringLiteral("Selected index will be deleted !"))) return false;
  session.selectedTable().Indexes().Delete(index.toStdString());
  return true;
}

}  // namespace kevra::schema
