// How the grid shows a field's values beyond their type: the field's Format
// property (a named or custom format, in the desktop's locale's signs and
// names) and hyperlink fields, which show their display text. Display only:
// editors keep starting from the plain value.
#pragma once
#include <QHash>
#include <QLocale>
#include <QString>

#include "engine/expr/format_text.h"
#include "engine/format/value.h"

namespace kevra::db {
class Columns;
}

namespace kevra::browse {

struct FieldDisplay {
  std::string format;  // the Format property; empty for none
  bool hyperlink = false;
};

// The display of each column of a table that has one, by field name.
QHash<QString, FieldDisplay> fieldDisplaysOf(const kevra::db::Columns& columns);

// The signs and names a format writes in `locale`.
kevra::expr::FormatSymbols formatSymbols(const QLocale& locale);

// The cell text of `value` in a field shown as `display`: the format's text
// where the format applies to the value, a hyperlink's display text, and
// otherwise the plain cell text (displayText). Yes/No fields show no text
// (their check box shows them), whatever their format.
QString shownText(const kevra::Value& value, int fieldType, const FieldDisplay& display);

// The address a hyperlink cell opens ("" when the value has none), with
// "#subaddress" appended where there is one.
QString hyperlinkAddress(const kevra::Value& value);

}  // namespace kevra::browse
