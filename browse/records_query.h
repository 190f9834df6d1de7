// The statement behind the records grid: the whole rows of one table,
// narrowed by a filter condition and put in order by one field, as SQL the
// engine runs ("select * from [T] where ... order by [F] desc"). Sorting and
// filtering happen in the engine, never in the grid.
#pragma once
#include <QString>

#include "engine/format/value.h"

namespace kevra::browse {

struct RecordsQuery {
  enum class Order { Storage, Ascending, Descending };

  QString table;
  QString filter;  // a condition in SQL; empty for every row
  QString sortField;
  Order order = Order::Storage;

  std::string commandText() const;
  bool filtered() const { return !filter.trimmed().isEmpty(); }
  // A header click on `field`: ascending, then descending, then storage order;
  // another field starts again at ascending.
  void cycleSort(const QString& field);
};

// "[field] = literal" for the value `value` of a field, "[field] Is Null"
// for NULL: the condition "Filter by Selection" sets.
QString equalsCondition(const QString& field, const kevra::Value& value);

}  // namespace kevra::browse
