// Column description and value conversion of the company-file driver.
#pragma once

#include "driver/Handles.h"

#include <string_view>

namespace qvx::driver {

// Describes a column from its declared type (empty when the column is an expression).
ColumnInfo DescribeDeclared(std::string_view name, std::string_view declType);

// The ODBC SQL type a column reports (SQL_TYPE_DATE or, for ODBC 2 clients, SQL_DATE).
SQLSMALLINT SqlTypeOf(const ColumnInfo& col, bool odbc3);
const char* TypeNameOf(const ColumnInfo& col);
SQLULEN DisplaySizeOf(const ColumnInfo& col);

// Where a conversion writes and how much of a character value was already handed out.
struct Target {
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLPOINTER buffer = nullptr;
  SQLLEN bufferLength = 0;
  SQLLEN* indicator = nullptr;
  SQLLEN* offset = nullptr;  // SQLGetData's running offset for character data, or null
};

// Converts column `col` (0-based) of the current row into the target, adding diagnostics
// (01004 truncation, 01S07 fractional truncation, 22003, 22018, 22007, 07006, 22002) to `s`.
SQLRETURN ConvertColumn(Statement& s, int col, const Target& t);

}  // namespace qvx::driver
