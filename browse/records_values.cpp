// Conversions between engine values and the grid's cells and editors. Cells
// read as people read them in the desktop's locale: a date with no time of
// day as a date, otherwise date and time; Currency with two decimals and the
// locale's grouping; Decimal with its scale. Editors take those forms back,
// and the exact ISO forms exports and the command line write.
#include "browse/records_values.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include "database/ado_types.h"
#include "database/properties.h"

namespace kevra::browse {

namespace {
bool isBinaryType(int fieldType) {
  return fieldType == kevra::db::adLongVarBinary || fieldType == kevra::db::adVarBinary ||
         fieldType == kevra::db::adBinary;
}
bool isDecimalType(int fieldType) {
  return fieldType == kevra::db::adCurrency || fieldType == kevra::db::adNumeric || fieldType == kevra::db::adSingle ||
         fieldType == kevra::db::adDouble;
}

// A Single or Double in the engine's shortest exact form ("444.555",
// "1.5E+20") with the locale's decimal point; no grouping, as typed.
QString localizedFloat(const kevra::Value& value, const QLocale& locale) {
  QString text = QString::fromStdString(kevra::db::propertyText(value));
  text.replace(QLatin1Char('.'), locale.decimalPoint());
  if (locale.negativeSign() != QStringLiteral("-") && text.startsWith(QLatin1Char('-')))
    text.replace(0, 1, locale.negativeSign());
  return text;
}
bool isFloat(const kevra::Value& value) {
  return std::holds_alternative<float>(value) || std::holds_alternative<double>(value);
}

// Stored dates read "2024-01-31T13:45:00[.mmm]"; dates the engine cannot
// place on the calendar read as their serial number and stay so.
QDateTime storedDateTime(const kevra::Value& value) {
  const QString text = QString::fromStdString(kevra::db::propertyText(value));
  QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
  if (!when.isValid()) when = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  if (!when.isValid()) when = QDateTime(QDate::fromString(text, QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
  return when;
}

// "123456.78" as the locale writes it with `scale` decimals: "123,456.7800".
QString localizedDecimal(const QString& plain, int scale, const QLocale& locale) {
  QString digits = plain;
  const bool negative = digits.startsWith(QLatin1Char('-'));
  if (negative) digits.remove(0, 1);
  const qsizetype point = digits.indexOf(QLatin1Char('.'));
  const QString whole = point < 0 ? digits : digits.left(point);
  QString fraction = point < 0 ? QString() : digits.mid(point + 1);
  if (fraction.size() < scale) fraction += QString(scale - fraction.size(), QLatin1Char('0'));
  bool ok = false;
  const qulonglong wholeValue = whole.toULongLong(&ok);
  if (!ok) return plain;  // beyond 64 bits: the exact digits as they are
  QString text = locale.toString(wholeValue);
  if (!fraction.isEmpty()) text += locale.decimalPoint() + fraction;
  return negative ? locale.negativeSign() + text : text;
}

// Currency with two decimals, rounded half away from zero from its four.
QString currencyText(kevra::Currency value, const QLocale& locale, int decimals) {
  const bool negative = value.scaled < 0;
  // Four stored decimals, of which `decimals` are kept.
  unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value.scaled)
                                          : static_cast<unsigned long long>(value.scaled);
  unsigned long long divisor = 1;
  for (int i = decimals; i < 4; ++i) divisor *= 10;
  magnitude = (magnitude + divisor / 2) / divisor;
  unsigned long long unit = 1;
  for (int i = 0; i < decimals; ++i) unit *= 10;
  QString text = locale.toString(qulonglong(magnitude / unit));
  if (decimals > 0)
    text += locale.decimalPoint() + QStringLiteral("%1").arg(qulonglong(magnitude % unit), decimals, 10, QLatin1Char('0'));
  return negative && magnitude != 0 ? locale.negativeSign() + text : text;
}

// The editor's text of a decimal number: the locale's grouping and point
// taken out, so the engine reads it ("1,234.50" or "1.234,50" -> "1234.50");
// text in the plain form is kept as typed.
QString plainDecimal(const QString& typed, const QLocale& locale) {
  const QString text = typed.trimmed();
  static const QRegularExpression plain(QStringLiteral("^[-+]?\\d*(\\.\\d*)?([eE][-+]?\\d+)?$"));
  bool ok = false;
  locale.toDouble(text, &ok);
  if (!ok) return text;  // the engine judges it, plain or not
  QString stripped = text;
  stripped.remove(locale.groupSeparator());
  stripped.replace(locale.decimalPoint(), QStringLiteral("."));
  if (locale.negativeSign() != QStringLiteral("-")) stripped.replace(locale.negativeSign(), QStringLiteral("-"));
  // The same digits read two ways (a point that is the locale's grouping):
  // the locale's reading wins, as the grid shows it that way.
  return plain.match(stripped).hasMatch() ? stripped : text;
}

// A date or date and time typed in the locale's short or long forms, or ISO.
QDateTime typedDateTime(const QString& typed, const QLocale& locale) {
  const QString text = typed.trimmed();
  for (const QString& format : {QStringLiteral("yyyy-MM-ddTHH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm:ss"),
                                QStringLiteral("yyyy-MM-dd HH:mm"), QStringLiteral("yyyy-MM-dd")}) {
    const QDateTime when = QDateTime::fromString(text, format);
    if (when.isValid()) return when;
  }
  for (const QString& format : {gridDateTimeFormat(locale, true), gridDateTimeFormat(locale, false),
                                locale.dateTimeFormat(QLocale::ShortFormat), locale.dateTimeFormat(QLocale::LongFormat)}) {
    const QDateTime when = locale.toDateTime(text, format);
    if (when.isValid()) return when;
  }
  for (const QString& format : {gridDateFormat(locale), locale.dateFormat(QLocale::ShortFormat),
                                locale.dateFormat(QLocale::LongFormat)}) {
    const QDate day = locale.toDate(text, format);
    if (day.isValid()) return QDateTime(day, QTime(0, 0));
  }
  return {};
}
}  // namespace

QString gridDateFormat(const QLocale& locale) {
  // The locale's short date with the year written out, so no century is guessed.
  QString format = locale.dateFormat(QLocale::ShortFormat);
  if (!format.contains(QStringLiteral("yyyy"))) format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
  return format;
}

QString gridDateTimeFormat(const QLocale& locale, bool seconds) {
  QString time = locale.timeFormat(QLocale::ShortFormat);
  if (seconds && !time.contains(QStringLiteral("ss"))) time.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
  return gridDateFormat(locale) + QLatin1Char(' ') + time;
}

QString displayText(const kevra::Value& value, int fieldType) {
  if (kevra::isNull(value) || fieldType == kevra::db::adBoolean) return {};
  if (const auto* bytes = std::get_if<kevra::Binary>(&value)) {
    const QString size = QString::number(qulonglong(bytes->size()));
    return fieldType == kevra::db::adLongVarBinary ? QStringLiteral("(OLE object, %1 bytes)").arg(size)
                                                   : QStringLiteral("(binary data, %1 bytes)").arg(size);
  }
  const QLocale locale;
  if (std::holds_alternative<kevra::DateTime>(value)) {
    const QDateTime when = storedDateTime(value);
    // A serial number no calendar date stands for (other programs store
    // them): shown as the number, marked, never as some other date.
    if (!when.isValid())
      return QStringLiteral("%1 (date out of range)").arg(QString::fromStdString(kevra::db::propertyText(value)));
    const QTime time = when.time();
    if (time == QTime(0, 0)) return locale.toString(when.date(), gridDateFormat(locale));
    return locale.toString(when, gridDateTimeFormat(locale, time.second() != 0));
  }
  if (const auto* money = std::get_if<kevra::Currency>(&value)) return currencyText(*money, locale, 2);
  if (const auto* number = std::get_if<kevra::Decimal>(&value))
    return localizedDecimal(QString::fromStdString(kevra::db::propertyText(value)), number->scale, locale);
  if (isFloat(value)) return localizedFloat(value, locale);
  return QString::fromStdString(kevra::db::propertyText(value));
}

QVariant editText(const kevra::Value& value, int fieldType) {
  if (fieldType == kevra::db::adBoolean) return std::holds_alternative<bool>(value) && std::get<bool>(value);
  if (kevra::isNull(value)) return fieldType == kevra::db::adDate ? QVariant() : QVariant(QString());
  if (fieldType == kevra::db::adDate) {
    const QDateTime when = storedDateTime(value);
    return when.isValid() ? QVariant(when) : QVariant();
  }
  if (isBinaryType(fieldType)) return {};
  // Every stored decimal of a Currency, in the form the cell shows.
  if (const auto* money = std::get_if<kevra::Currency>(&value)) {
    const QLocale locale;
    const QString four = currencyText(*money, locale, 4);
    return four.endsWith(QStringLiteral("00")) ? currencyText(*money, locale, 2) : four;
  }
  if (std::holds_alternative<kevra::Decimal>(value) || isFloat(value)) return displayText(value, fieldType);
  return QString::fromStdString(kevra::db::propertyText(value));
}

kevra::Value valueFromEditor(const QVariant& edited, int fieldType) {
  if (fieldType == kevra::db::adBoolean) {
    if (edited.typeId() == QMetaType::QString) {
      const QString text = edited.toString().trimmed().toLower();
      if (text.isEmpty()) return false;
      return !(text == QStringLiteral("0") || text == QStringLiteral("false") || text == QStringLiteral("no"));
    }
    return edited.toBool();
  }
  if (!edited.isValid() || edited.isNull()) return std::monostate{};
  if (edited.typeId() == QMetaType::QDateTime || edited.typeId() == QMetaType::QDate) {
    const QDateTime when = edited.toDateTime();
    if (!when.isValid()) return std::monostate{};
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
  }
  const QString text = edited.toString();
  if (text.isEmpty()) return std::monostate{};
  const QLocale locale;
  if (fieldType == kevra::db::adDate) {
    // Typed as the cell shows it or in ISO; anything else goes to the
    // engine as typed, which names what is wrong with it.
    const QDateTime when = typedDateTime(text, locale);
    if (when.isValid()) return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
    return text.toStdString();
  }
  // A Single or Double is shown without grouping, so a point typed where
  // the locale's decimal sign is another is the ISO decimal point.
  const bool floatType = fieldType == kevra::db::adSingle || fieldType == kevra::db::adDouble;
  if (floatType && locale.decimalPoint() != QStringLiteral(".") && !text.contains(locale.decimalPoint()) &&
      text.contains(QLatin1Char('.')))
    return text.trimmed().toStdString();
  if (isDecimalType(fieldType)) return plainDecimal(text, locale).toStdString();
  return text.toStdString();
}

}  // namespace kevra::browse
