// Conversions between engine values and the grid's cells and editors.
#include "browse/records_values.h"

#include <QDateTime>

#include "database/ado_types.h"
#include "database/properties.h"

namespace kevra::browse {

namespace {
bool isBinaryType(int fieldType) {
  return fieldType == kevra::db::adLongVarBinary || fieldType == kevra::db::adVarBinary ||
         fieldType == kevra::db::adBinary;
}
}  // namespace

QString displayText(const kevra::Value& value, int fieldType) {
  if (kevra::isNull(value) || fieldType == kevra::db::adBoolean) return {};
  if (const auto* bytes = std::get_if<kevra::Binary>(&value)) {
    const QString size = QString::number(qulonglong(bytes->size()));
    return fieldType == kevra::db::adLongVarBinary ? QStringLiteral("(OLE object, %1 bytes)").arg(size)
                                                   : QStringLiteral("(binary data, %1 bytes)").arg(size);
  }
  return QString::fromStdString(kevra::db::propertyText(value));
}

QVariant editText(const kevra::Value& value, int fieldType) {
  if (fieldType == kevra::db::adBoolean) return std::holds_alternative<bool>(value) && std::get<bool>(value);
  if (kevra::isNull(value)) return fieldType == kevra::db::adDate ? QVariant() : QVariant(QString());
  if (fieldType == kevra::db::adDate) {
    // Stored dates read "2024-01-31T13:45:00"; a pending edit holds the text
    // its editor gave, "2024-01-31 13:45:00".
    const QString text = QString::fromStdString(kevra::db::propertyText(value));
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!when.isValid()) when = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!when.isValid()) when = QDateTime(QDate::fromString(text, QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
    return when.isValid() ? QVariant(when) : QVariant();
  }
  if (isBinaryType(fieldType)) return {};
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
  return text.toStdString();
}

}  // namespace kevra::browse
