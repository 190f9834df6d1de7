// Confirming and deleting a field, and the indexes that use it.
#include "schema/delete_field.h"

#include "ui/database_session.h"
#include "ui/message_boxes.h"

namespace kevra::schema {

QStringList indexesUsingField(ui::DatabaseSession& session, const QString& field) {
  QStringList names;
  const db::Indexes& indexes = session.selectedTable().Indexes();
  for (int i = 0; i < indexes.Count(); ++i) {
    const db::Index& index = indexes.Item(i);
    if (index.Foreign()) continue;
    for (int c = 0; c < index.Columns().Count(); ++c)
      if (QString::fromStdString(index.Columns().Item(c).Name()).compare(field, Qt::CaseInsensitive) == 0) {
        names << QString::fromStdString(index.Name());
        break;
      }
  }
  names.sort(Qt::CaseInsensitive);
  return names;
}

bool deleteField(QWidget* parent, ui::DatabaseSession& session, const QString& field, QStringList* droppedIndexes) {
  if (field.isEmpty()) return false;
  const QStringList indexes = indexesUsingField(session, field);
  QString loss = QStringLiteral("Selected field and all records in it will be deleted !");
  if (indexes.size() == 1)
    loss = QStringLiteral("Selected field, all records in it and the index '%1' that uses it will be deleted !")
               .arg(indexes.front());
  else if (indexes.size() > 1)
    loss = QStringLiteral("Selected field, all records in it and the indexes '%1' that use it will be deleted !")
               .arg(indexes.join(QStringLiteral("', '")));
  if (!ui::confirmLoss(parent, loss)) return false;
  if (indexes.isEmpty())
    session.selectedTable().Columns().Delete(field.toStdString());
  else
    session.selectedTable().Columns().DeleteWithIndexes(field.toStdString());
  if (droppedIndexes) *droppedIndexes = indexes;
  return true;
}

}  // namespace kevra::schema
