// The type vocabulary: the fourteen display type names of a field, the engine
// type codes (DataTypeEnum) they stand for and the SQL type words that DDL
// statements take. Display names are compared exactly, letter case included.
#pragma once
#include <QString>
#include <QStringList>

namespace kevra::schema {

// Engine type code to display type name, also for the types that are read
// but not offered (LARGE NUMBER, DATE/TIME EXTENDED, BINARY); "UNKNOWN" for
// any other code. AUTONUMBER has no code (it is a column property), nor have
// ATTACHMENT and MULTIPLE VALUES (complex columns, known by their property).
QString typeName(int typeCode);

// Display type name to SQL type word; "unknown" for any other text.
QString sqlTypeFor(const QString& displayName);

// The thirteen names a type box offers, "SMALL INT" to "OLE OBJECT". NUMBER is
// not among them: only an existing NUMBER field gets it as a fourteenth entry.
const QStringList& offeredTypeNames();

inline const QString kTextType = QStringLiteral("TEXT");
inline const QString kNumberType = QStringLiteral("NUMBER");
inline const QString kAutonumberType = QStringLiteral("AUTONUMBER");
inline const QString kAttachmentType = QStringLiteral("ATTACHMENT");
inline const QString kMultipleValuesType = QStringLiteral("MULTIPLE VALUES");
inline const QString kDefaultTextLength = QStringLiteral("50");

}  // namespace kevra::schema
