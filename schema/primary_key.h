// Primary key Select: makes the checked fields of the key field list the
// selected table's primary key. The key is created, replaced or removed as
// the checked fields differ from the present key's fields (same fields in
// the same order count as equal); a key made here is named "PrimaryKey".
#pragma once
#include <QString>
#include <QStringList>

namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::schema {

// `wanted`: the checked fields from the top of the list down. Replacing runs
// a drop and an add statement; when the add is refused, the old key is made
// again before the refusal is thrown, so the table keeps a key.
void selectPrimaryKey(ui::DatabaseSession& session, const QString& table, const QStringList& wanted);

}  // namespace kevra::schema
