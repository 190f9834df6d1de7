// Creating, replacing and removing the primary key.
#include "schema/primary_key.h"

#include <QRegularExpression>
#include <optional>
#include <stdexcept>

#include "schema/column_clause.h"
#include "ui/database_session.h"

namespace kevra::schema {

namespace {

struct PresentKey {
  QString name;  // the key index's own name, whatever it is
  QStringList fields;
};

std::optional<PresentKey> presentKey(const ui::DatabaseSession& session) {
  const db::Indexes& indexes = session.selectedTable().Indexes();
  for (int i = 0; i < indexes.Count(); ++i) {
    const db::Index& index = indexes.Item(i);
    if (!index.PrimaryKey()) continue;
    PresentKey key{QString::fromStdString(index.Name()), {}};
    for (int c = 0; c < index.Columns().Count(); ++c)
      key.fields << QString::fromStdString(index.Columns().Item(c).Name());
    return key;
  }
  return std::nullopt;
}

// A constraint name in a statement: bare when it is one plain word (as
// "PrimaryKey" is), bracketed otherwise.
QString constraintName(const QString& name) {
  static const QRegularExpression word(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
  return word.match(name).hasMatch() ? name : QStringLiteral("[") + name + QStringLiteral("]");
}

QString addKeyStatement(const QString& table, const QString& name, const QStringList& fields) {
  return QStringLiteral("alter table [") + table + QStringLiteral("] add constraint ") + constraintName(name) +
         QStringLiteral(" primary key (") + bracketedList(fields) + QStringLiteral(")");
}

const QString kKeyName = QStringLiteral("PrimaryKey");

}  // namespace

void selectPrimaryKey(ui::DatabaseSession& session, const QString& table, const QStringList& wanted) {
  const std::optional<PresentKey> present = presentKey(session);
  if (!present) {
    if (!wanted.isEmpty()) session.runStatement(addKeyStatement(table, kKeyName, wanted).toStdString());
    return;
  }
  if (present->fields.isEmpty() || present->fields == wanted) return;
  if (wanted.isEmpty()) {
    session.selectedTable().Indexes().Delete(present->name.toStdString());
    return;
  }
  session.runStatement(
      (QStringLiteral("alter table [") + table + QStringLiteral("] drop constraint ") + constraintName(present->name))
          .toStdString());
  try {
    session.runStatement(addKeyStatement(table, kKeyName, wanted).toStdString());
  } catch (const std::exception& refusal) {
    // The old key back, under its own name, so the table is not left without one.
    try {
      session.runStatement(addKeyStatement(table, present->name, present->fields).toStdString());
    } catch (const std::exception& error) {
      throw std::runtime_error(std::string(refusal.what()) + " The primary key '" + present->name.toStdString() +
                               "' was deleted and could not be made again: " + error.what());
    }
    throw;
  }
}

}  // namespace kevra::schema
