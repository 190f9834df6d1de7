// Codes the data-access objects report: ADO DataTypeEnum, column attributes,
// key types and object states, with the numeric values callers rely on.
#pragma once

namespace kevra::db {

enum DataTypeEnum : int {
  adEmpty = 0,
  adSmallInt = 2,
  adInteger = 3,
  adSingle = 4,
  adDouble = 5,
  adCurrency = 6,
  adDate = 7,
  adBoolean = 11,
  adUnsignedTinyInt = 17,
  adBigInt = 20,
  adGUID = 72,
  adBinary = 128,
  adWChar = 130,
  adNumeric = 131,
  adDBTimeStamp = 135,
  adVarWChar = 202,
  adLongVarWChar = 203,
  adVarBinary = 204,
  adLongVarBinary = 205,
};

enum ColumnAttributesEnum : int { adColFixed = 1, adColNullable = 2 };

enum KeyTypeEnum : int { adKeyPrimary = 1, adKeyForeign = 2, adKeyUnique = 3 };

enum ObjectStateEnum : int { adStateClosed = 0, adStateOpen = 1 };

enum SortOrderEnum : int { adSortAscending = 1, adSortDescending = 2 };

}  // namespace kevra::db
