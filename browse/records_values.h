// Cell values of the records grid: how an engine value is shown, what a cell
// editor starts from, and the value an editor's result becomes. Text reaches
// the engine as UTF-8 and the engine converts it to the field's type.
#pragma once
#include <QLocale>
#include <QString>
#include <QVariant>

#include "engine/format/value.h"

namespace kevra::browse {

// The formats dates are shown and edited in: the locale's short date with
// a four-digit year, and that date with the locale's short time (seconds
// added when `seconds`).
QString gridDateFormat(const QLocale& locale);
QString gridDateTimeFormat(const QLocale& locale, bool seconds);

// The cell text, in the desktop's locale (QLocale()): a date without a time
// of day as a date, otherwise date and time; Currency with two decimals and
// the locale's grouping; Decimal with its scale and grouping; Single and
// Double with the locale's decimal sign (no grouping); other numbers and text
// as the engine writes them. Yes/No shows no text (the cell's check box shows
// it); an OLE object shows its size, "(OLE object, 22970 bytes)"; NULL shows
// "" (the grid's delegate shows it greyed as "(null)").
QString displayText(const kevra::Value& value, int fieldType);
// What an editor starts from: bool for Yes/No, QDateTime for dates (an
// invalid QVariant for NULL), Currency with every stored decimal (at least
// two), Decimal, Single and Double as shown, the text for everything else.
QVariant editText(const kevra::Value& value, int fieldType);
// An editor's result as the value handed to the engine: bool for Yes/No,
// "yyyy-MM-dd HH:mm:ss" text for a QDateTime or for a date typed as the
// cell shows it or in ISO, Currency, Decimal, Single and Double text in the
// locale's form made plain ("1,234.50" -> "1234.50"; a Single or Double typed
// with a point where the locale has a comma is taken as ISO), UTF-8 text
// otherwise; an empty text or an invalid QVariant is NULL.
kevra::Value valueFromEditor(const QVariant& edited, int fieldType);

}  // namespace kevra::browse
