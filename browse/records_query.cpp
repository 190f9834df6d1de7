// Building the grid's statement and the conditions of Filter by Selection.
#include "browse/records_query.h"

#include "database/properties.h"

namespace kevra::browse {

namespace {
QString bracketed(const QString& name) { return QLatin1Char('[') + name + QLatin1Char(']'); }
}  // namespace

std::string RecordsQuery::commandText() const {
  QString text = QStringLiteral("select * from ") + bracketed(table);
  if (filtered()) text += QStringLiteral(" where ") + filter.trimmed();
  if (order != Order::Storage && !sortField.isEmpty())
    text += QStringLiteral(" order by ") + bracketed(sortField) +
            (order == Order::Ascending ? QStringLiteral(" asc") : QStringLiteral(" desc"));
  return text.toStdString();
}

void RecordsQuery::cycleSort(const QString& field) {
  if (field != sortField || order == Order::Storage) {
    sortField = field;
    order = Order::Ascending;
  } else if (order == Order::Ascending) {
    order = Order::Descending;
  } else {
    sortField.clear();
    order = Order::Storage;
  }
}

QString equalsCondition(const QString& field, const kevra::Value& value) {
  if (kevra::isNull(value)) return bracketed(field) + QStringLiteral(" Is Null");
  const QString text = QString::fromStdString(kevra::db::propertyText(value));
  QString literal;
  if (std::holds_alternative<std::string>(value)) {
    literal = QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
  } else if (std::holds_alternative<bool>(value)) {
    literal = std::get<bool>(value) ? QStringLiteral("True") : QStringLiteral("False");
  } else if (std::holds_alternative<kevra::DateTime>(value)) {
    literal = QLatin1Char('#') + QString(text).replace(QLatin1Char('T'), QLatin1Char(' ')) + QLatin1Char('#');
  } else if (std::holds_alternative<kevra::Guid>(value)) {
    literal = QLatin1Char('\'') + text + QLatin1Char('\'');
  } else {
    literal = text;  // numbers in their exact plain form
  }
  return bracketed(field) + QStringLiteral(" = ") + literal;
}

}  // namespace kevra::browse
