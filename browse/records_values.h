// Cell values of the records grid: how an engine value is shown, what a cell
// editor starts from, and the value an editor's result becomes. Text reaches
// the engine as UTF-8 and the engine converts it to the field's type.
#pragma once
#include <QString>
#include <QVariant>

#include "engine/format/value.h"

namespace kevra::browse {

// The cell text. Yes/No shows no text (the cell's check box shows it); an OLE
// object shows its size, "(OLE object, 22970 bytes)"; NULL shows "".
QString displayText(const kevra::Value& value, int fieldType);
// What an editor starts from: bool for Yes/No, QDateTime for dates (an
// invalid QVariant for NULL), the text for everything else.
QVariant editText(const kevra::Value& value, int fieldType);
// An editor's result as the value handed to the engine: bool for Yes/No,
// "yyyy-MM-dd HH:mm:ss" text for a QDateTime, UTF-8 text otherwise; an empty
// text or an invalid QVariant is NULL.
kevra::Value valueFromEditor(const QVariant& edited, int fieldType);

}  // namespace kevra::browse
