// Apply Changes: rename, default value, dropping the old relation and the
// ALTER COLUMN statement.
#include "schema/apply_field_changes.h"

#include <QStringList>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/ado_types.h"
#include "schema/column_clause.h"
#include "ui/database_session.h"

namespace kevra::schema {

namespace {

enum SnapshotEntry { kName, kType, kLength, kNullable, kDefault, kRelated, kEntries };

// The column of the selected table named `name`, by a walk over the columns;
// null when none has it.
db::Column* columnNamed(ui::DatabaseSession& session, const std::string& name) {
  db::Columns& columns = session.selectedTable().Columns();
  const int count = columns.Count();
  for (int position = 0; position < count; ++position)
    if (columns.Item(position).Name() == name) return &columns.Item(position);
  return nullptr;
}

// A foreign key as it was before it was dropped, enough to make it again.
struct DroppedRelation {
  std::string name;
  std::string relatedTable;
  QStringList fields;
  QStringList relatedFields;
};

// Drops the foreign keys of the selected table whose first field is `field`.
// Only keys that refer to another table: a primary or unique key that starts
// with the field is a constraint the user did not touch.
std::vector<DroppedRelation> dropRelationsOf(ui::DatabaseSession& session, const std::string& field) {
  // Read afresh: a rename earlier in this command changed the keys' fields.
  session.rereadCatalog();
  std::vector<DroppedRelation> relations;
  const db::Keys& keys = session.selectedTable().Keys();
  for (int k = 0; k < keys.Count(); ++k) {
    const db::Key& key = keys.Item(k);
    if (key.Type() != db::adKeyForeign || key.Columns().Count() == 0 || key.Columns().Item(0).Name() != field) continue;
    DroppedRelation relation{key.Name(), key.RelatedTable(), {}, {}};
    for (int c = 0; c < key.Columns().Count(); ++c) {
      relation.fields << QString::fromStdString(key.Columns().Item(c).Name());
      relation.relatedFields << QString::fromStdString(key.Columns().Item(c).RelatedColumn());
    }
    relations.push_back(std::move(relation));
  }
  // Collected first, so no deletion shifts the walk.
  for (const DroppedRelation& relation : relations) session.selectedTable().Keys().Delete(relation.name);
  return relations;
}

// Makes the dropped relations again after the statement was refused. A
// relation that cannot be made again is named in the error thrown.
void restoreRelations(ui::DatabaseSession& session, const QString& table, const std::vector<DroppedRelation>& relations,
                      const std::exception& refusal) {
  for (const DroppedRelation& relation : relations) {
    const QString sql = QStringLiteral("ALTER TABLE [") + table + QStringLiteral("] ADD CONSTRAINT [") +
                        QString::fromStdString(relation.name) + QStringLiteral("] FOREIGN KEY (") +
                        bracketedList(relation.fields) + QStringLiteral(") REFERENCES [") +
                        QString::fromStdString(relation.relatedTable) + QStringLiteral("](") +
                        bracketedList(relation.relatedFields) + QStringLiteral(")");
    try {
      session.runStatement(sql.toStdString());
    } catch (const std::exception& error) {
      throw std::runtime_error(std::string(refusal.what()) + " The relationship '" + relation.name +
                               "' was deleted and could not be made again: " + error.what());
    }
  }
}

}  // namespace

bool applyFieldChanges(ui::DatabaseSession& session, const QString& table, const FieldEdits& edits,
                       const FieldRenamed& renamed) {
  std::vector<std::string> snapshot = session.fieldSnapshot();
  snapshot.resize(kEntries);

  // 1. Rename, through the catalog, at once.
  const std::string name = edits.name.toStdString();
  if (name != snapshot[kName]) {
    if (db::Column* column = columnNamed(session, snapshot[kName])) {
      const QString from = QString::fromStdString(snapshot[kName]);
      column->Name(name);
      snapshot[kName] = name;
      session.setFieldSnapshot(snapshot);
      if (renamed) renamed(from, edits.name);
    }
  }

  // 2. Default value, through the catalog, at once; an empty text removes it.
  const std::string defaultValue = edits.defaultValue.toStdString();
  if (defaultValue != snapshot[kDefault]) {
    if (db::Column* column = columnNamed(session, snapshot[kName])) {
      column->SetProperty("default", kevra::Value(defaultValue));
      snapshot[kDefault] = defaultValue;
      session.setFieldSnapshot(snapshot);
    }
  }

  // 3. Anything else changed? The name and default entries are up to date now.
  const std::vector<std::string> current{
      name,         edits.type.toStdString(),        edits.length.toStdString(), edits.nullable ? "-1" : "0",
      defaultValue, edits.relatedField.toStdString()};
  if (current == snapshot) return false;

  // 4. The whole column restated.
  QString sql = QStringLiteral("ALTER TABLE [") + table + QStringLiteral("] ALTER COLUMN ") + QStringLiteral(" [") +
                edits.name + QStringLiteral("] ") + columnTypeClause(edits.type, edits.length, edits.nullable);

  // 5 and 6. The old relation goes; a chosen one is stated anew.
  std::vector<DroppedRelation> dropped;
  if (!snapshot[kRelated].empty()) dropped = dropRelationsOf(session, snapshot[kName]);
  if (!edits.relatedField.isEmpty()) {
    QString related = edits.relatedField;
    related.replace(QStringLiteral("->"), QStringLiteral("](["));
    sql += QStringLiteral(" REFERENCES [") + related + QStringLiteral("]) ");
  }

  // 7. The statement; a refusal puts the dropped relations back.
  try {
    session.runStatement(sql.toStdString());
  } catch (const std::exception& refusal) {
    restoreRelations(session, table, dropped, refusal);
    throw;
  }
  return true;
}

}  // namespace kevra::schema
