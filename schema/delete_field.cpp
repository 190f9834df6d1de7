// Confirming and deleting a field.
#include "schema/delete_field.h"

#include "ui/database_session.h"
#include "ui/message_boxes.h"

namespace kevra::schema {

bool deleteField(QWidget* parent, ui::DatabaseSession& session, const QString& field) {
  if (field.isEmpty()) return false;
  if (!ui::confirmLoss(parent, QStringLiteral("Selected field and all records in it will be deleted !"))) return false;
  session.selectedTable().Columns().Delete(field.toStdString());
  return true;
}

}  // namespace kevra::schema
