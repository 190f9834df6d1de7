// Wording of the cascade warning.
#include "browse/cascade_warning.h"

#include <QLocale>
#include <QStringList>

namespace kevra::browse {

namespace {
QString records(long count) {
  return QLocale().toString(qlonglong(count)) + (count == 1 ? QStringLiteral(" record") : QStringLiteral(" records"));
}
}  // namespace

QString cascadeWarning(const std::vector<kevra::db::Recordset::CascadeCount>& effects, bool deleting) {
  QStringList parts;
  for (const auto& effect : effects) {
    const QString table = QString::fromStdString(effect.table);
    if (effect.deleted > 0) parts << QStringLiteral("delete %1 in table '%2'").arg(records(effect.deleted), table);
    if (effect.changed > 0) parts << QStringLiteral("change %1 in table '%2'").arg(records(effect.changed), table);
  }
  if (parts.isEmpty()) return {};
  QString list = parts.takeLast();
  if (!parts.isEmpty()) list = parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + list;
  const QString change =
      deleting ? QStringLiteral("Deleting this record will also ") : QStringLiteral("Changing this record will also ");
  return change + list + QLatin1Char('.');
}

}  // namespace kevra::browse
