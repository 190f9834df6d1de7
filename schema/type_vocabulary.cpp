// The type vocabulary table and its two lookups.
#include "schema/type_vocabulary.h"

#include <array>

#include "database/ado_types.h"

namespace kevra::schema {

namespace {

struct VocabularyEntry {
  const char* displayName;
  int typeCode;  // -1: no engine code
  const char* sqlWord;
};

using namespace kevra::db;

// Row order is the order of the type-box lists; NUMBER comes last.
constexpr std::array<VocabularyEntry, 14> kVocabulary{{
    {"SMALL INT", adSmallInt, "Short"},
    {"LONG INT", adInteger, "long"},
    {"AUTONUMBER", -1, "counter"},
    {"BYTE", adUnsignedTinyInt, "byte"},
    {"SINGLE", adSingle, "Single"},
    {"DOUBLE", adDouble, "Double"},
    {"CURRENCY", adCurrency, "Currency"},
    {"YES/NO", adBoolean, "bit"},
    {"GUID", adGUID, "GUID"},
    {"DATE/TIME", adDate, "DATETIME"},
    {"TEXT", adVarWChar, "text"},
    {"MEMO", adLongVarWChar, "MEMO"},
    {"OLE OBJECT", adLongVarBinary, "LONGBINARY"},
    {"NUMBER", adNumeric, "number"},
}};

}  // namespace

QString typeName(int typeCode) {
  if (typeCode >= 0)
    for (const VocabularyEntry& entry : kVocabulary)
      if (entry.typeCode == typeCode) return QString::fromLatin1(entry.displayName);
  // Types the engine reads that a new or changed field cannot take: named,
  // never offered.
  switch (typeCode) {
    case adWChar: return kTextType;  // fixed-length text
    case adBigInt: return QStringLiteral("LARGE NUMBER");
    case adDBTimeStamp: return QStringLiteral("DATE/TIME EXTENDED");
    case adBinary:
    case adVarBinary: return QStringLiteral("BINARY");
    default: return QStringLiteral("UNKNOWN");
  }
}

QString sqlTypeFor(const QString& displayName) {
  for (const VocabularyEntry& entry : kVocabulary)
    if (displayName == QLatin1String(entry.displayName)) return QString::fromLatin1(entry.sqlWord);
  return QStringLiteral("unknown");
}

const QStringList& offeredTypeNames() {
  static const QStringList names = [] {
    QStringList list;
    for (const VocabularyEntry& entry : kVocabulary)
      if (QLatin1String(entry.displayName) != QLatin1String("NUMBER")) list << QString::fromLatin1(entry.displayName);
    return list;
  }();
  return names;
}

}  // namespace kevra::schema
