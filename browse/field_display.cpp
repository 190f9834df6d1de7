// Formatted cell texts: the engine's formatter fed the desktop locale's signs.
#include "browse/field_display.h"

#include "browse/records_values.h"
#include "database/ado_types.h"
#include "database/catalog.h"
#include "database/properties.h"
#include "engine/expr/hyperlink_text.h"

namespace kevra::browse {

QHash<QString, FieldDisplay> fieldDisplaysOf(const kevra::db::Columns& columns) {
  QHash<QString, FieldDisplay> displays;
  for (int i = 0; i < columns.Count(); ++i) {
    const kevra::db::Column& column = columns.Item(i);
    FieldDisplay display;
    if (const kevra::db::Property* format = column.Properties().find("Format"))
      display.format = kevra::db::propertyText(format->Value);
    if (const kevra::db::Property* link = column.Properties().find("Jet OLEDB:Hyperlink"))
      display.hyperlink = std::holds_alternative<bool>(link->Value) && std::get<bool>(link->Value);
    if (!display.format.empty() || display.hyperlink) displays.insert(QString::fromStdString(column.Name()), display);
  }
  return displays;
}

kevra::expr::FormatSymbols formatSymbols(const QLocale& locale) {
  kevra::expr::FormatSymbols symbols;
  symbols.decimalPoint = locale.decimalPoint().toStdString();
  symbols.groupSeparator = locale.groupSeparator().toStdString();
  symbols.currencySymbol = locale.currencySymbol().toStdString();
  for (int month = 1; month <= 12; ++month) {
    symbols.monthNames[size_t(month - 1)] = locale.standaloneMonthName(month, QLocale::LongFormat).toStdString();
    symbols.monthAbbreviations[size_t(month - 1)] =
        locale.standaloneMonthName(month, QLocale::ShortFormat).toStdString();
  }
  for (int day = 0; day < 7; ++day) {
    const int qtDay = day == 0 ? 7 : day;  // Qt counts from Monday, Sunday is 7
    symbols.dayNames[size_t(day)] = locale.dayName(qtDay, QLocale::LongFormat).toStdString();
    symbols.dayAbbreviations[size_t(day)] = locale.dayName(qtDay, QLocale::ShortFormat).toStdString();
  }
  return symbols;
}

QString shownText(const kevra::Value& value, int fieldType, const FieldDisplay& display) {
  if (display.hyperlink) {
    if (const auto* text = std::get_if<std::string>(&value))
      return QString::fromStdString(kevra::expr::splitHyperlink(*text).shown());
  }
  // A Yes/No field shows its check box alone, whatever its format says.
  if (!display.format.empty() && fieldType != kevra::db::adBoolean) {
    // The locale's symbols, made again only when the locale changes.
    static QLocale symbolsLocale;
    static kevra::expr::FormatSymbols symbols = formatSymbols(symbolsLocale);
    if (const QLocale locale; locale != symbolsLocale) {
      symbolsLocale = locale;
      symbols = formatSymbols(locale);
    }
    if (const std::optional<std::string> text = kevra::expr::formatValue(value, display.format, symbols))
      return QString::fromStdString(*text);
  }
  return displayText(value, fieldType);
}

QString hyperlinkAddress(const kevra::Value& value) {
  const auto* text = std::get_if<std::string>(&value);
  if (!text) return {};
  const kevra::expr::HyperlinkParts parts = kevra::expr::splitHyperlink(*text);
  QString address = QString::fromStdString(parts.address);
  if (!parts.subAddress.empty()) address += QLatin1Char('#') + QString::fromStdString(parts.subAddress);
  return address;
}

}  // namespace kevra::browse
