// Column description and value conversion of the company-file driver.
#pragma once

#include "driver/Handles.h"

#include <string_view>
#include <vector>

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

// The pairs of column kind and bound C type that a block fetch of the journal meets on
// every row, each with a conversion of its own that skips ConvertColumn's dispatch.
enum class DirectPath : uint8_t { None, WholeToBigInt, DecimalToNumeric, DateToDate, TextToChar };

// A bound column as one fetch writes it: the distance between two rows' values, its
// direct path, and what that path keeps from row to row: the last date text and its
// date, since a read in date order meets each date on many rows.
struct BoundTarget {
  SQLLEN stride = 0;
  DirectPath path = DirectPath::None;
  bool haveDate = false;
  char dateText[10] = {};
  SQL_DATE_STRUCT date{};
};

// The bound columns of the statement as a fetch about to begin writes them.
std::vector<BoundTarget> BoundTargets(const Statement& s);

// Converts the current row into element `row` of every bound column: a value on its
// column's direct path there, any other (a null, another storage class, a date with a
// time of day, a number beyond the type, a text with other than printable ASCII or longer
// than its buffer) through ConvertColumn, which gives the same value and the diagnostics.
SQLRETURN ConvertBound(Statement& s, std::vector<BoundTarget>& targets, SQLULEN row);

}  // namespace qvx::driver
