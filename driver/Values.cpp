#include "driver/Values.h"

#include "driver/Dialect.h"
#include "platform/sys/Text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace qvx::driver {

namespace {

constexpr int64_t kPow10[] = {1LL,
                              10LL,
                              100LL,
                              1000LL,
                              10000LL,
                              100000LL,
                              1000000LL,
                              10000000LL,
                              100000000LL,
                              1000000000LL,
                              10000000000LL,
                              100000000000LL,
                              1000000000000LL,
                              10000000000000LL,
                              100000000000000LL,
                              1000000000000000LL,
                              10000000000000000LL,
                              100000000000000000LL,
                              1000000000000000000LL};

// Length and scale written in a declared type: "VARCHAR(30)" gives 30, "DECIMAL(19,4)" 19 and 4.
void TypeArgs(std::string_view decl, SQLULEN& size, SQLSMALLINT& scale) {
  size_t open = decl.find('(');
  if (open == std::string_view::npos) return;
  unsigned a = 0;
  unsigned b = 0;
  const char* p = decl.data() + open + 1;
  const char* end = decl.data() + decl.size();
  auto r = std::from_chars(p, end, a);
  if (r.ec != std::errc()) return;
  size = a;
  p = r.ptr;
  while (p < end && *p == ' ') ++p;
  if (p < end && *p == ',') {
    ++p;
    while (p < end && *p == ' ') ++p;
    if (std::from_chars(p, end, b).ec == std::errc() && b <= 18) scale = static_cast<SQLSMALLINT>(b);
  }
}

// A numeric value read from the row: exact (mantissa and decimal scale) or a double.
struct Number {
  bool exact = true;
  int64_t mant = 0;
  int scale = 0;
  double dbl = 0;
  double AsDouble() const { return exact ? static_cast<double>(mant) / static_cast<double>(kPow10[scale]) : dbl; }
};

// Strict decimal text: optional sign, digits, optional point and digits (blanks around allowed).
bool ParseExactDecimal(std::string_view s, Number& out) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.empty()) return false;
  bool neg = false;
  if (s.front() == '-' || s.front() == '+') {
    neg = s.front() == '-';
    s.remove_prefix(1);
  }
  int64_t mant = 0;
  int scale = 0;
  int digits = 0;
  bool point = false;
  for (char c : s) {
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return false;
    if (++digits > 18) return false;
    mant = mant * 10 + (c - '0');
    if (point) ++scale;
  }
  if (digits == 0) return false;
  out.exact = true;
  out.mant = neg ? -mant : mant;
  out.scale = scale;
  return true;
}

bool ParseDouble(std::string_view s, double& out) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.empty()) return false;
  if (s.front() == '+') s.remove_prefix(1);
  auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// A double stored in a DECIMAL column of `scale` decimals as its exact number in units of
// the last decimal; false when it is too large for that.
bool ScaledDecimal(double d, int scale, int64_t& mant) {
  const double scaled = d * static_cast<double>(kPow10[scale]);
  if (!(std::fabs(scaled) < 9.0e18)) return false;
  mant = std::llround(scaled);
  return true;
}

// Reads the column as a number; false (with 22018 added) when its text is not one.
bool ReadNumber(Statement& s, int col, sqlite3_value* v, int type, Number& n) {
  const ColumnInfo& info = s.columns[static_cast<size_t>(col)];
  switch (type) {
    case SQLITE_INTEGER:
      n.exact = true;
      n.mant = sqlite3_value_int64(v);
      n.scale = 0;
      return true;
    case SQLITE_FLOAT: {
      double d = sqlite3_value_double(v);
      if (info.kind == ColKind::Decimal && ScaledDecimal(d, info.scale, n.mant)) {
        n.exact = true;
        n.scale = info.scale;
        return true;
      }
      n.exact = false;
      n.dbl = d;
      return true;
    }
    default: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
      std::string_view text(p ? p : "", static_cast<size_t>(sqlite3_value_bytes(v)));
      if (ParseExactDecimal(text, n)) return true;
      double d = 0;
      if (ParseDouble(text, d)) {
        n.exact = false;
        n.dbl = d;
        return true;
      }
      s.AddDiag("22018", "Invalid character value for the conversion: the value of column " +
                             std::to_string(col + 1) + " is not a number");
      return false;
    }
  }
}

// Brings an exact number to `scale` decimals (rounding half away from zero when fewer).
bool Rescale(Number& n, int scale) {
  if (!n.exact) return true;
  while (n.scale < scale) {
    if (n.mant > std::numeric_limits<int64_t>::max() / 10 || n.mant < std::numeric_limits<int64_t>::min() / 10)
      return false;
    n.mant *= 10;
    ++n.scale;
  }
  while (n.scale > scale) {
    int64_t q = n.mant / 10;
    int64_t r = n.mant % 10;
    if (r >= 5) ++q;
    if (r <= -5) --q;
    n.mant = q;
    --n.scale;
  }
  return true;
}

// Writes an exact number in plain decimal notation into buf; returns the length.
size_t FormatExact(const Number& n, char* buf) {
  char digits[32];
  uint64_t mag = n.mant < 0 ? static_cast<uint64_t>(-(n.mant + 1)) + 1 : static_cast<uint64_t>(n.mant);
  auto r = std::to_chars(digits, digits + sizeof digits, mag);
  size_t len = static_cast<size_t>(r.ptr - digits);
  size_t pos = 0;
  if (n.mant < 0) buf[pos++] = '-';
  if (n.scale == 0) {
    std::memcpy(buf + pos, digits, len);
    return pos + len;
  }
  size_t sc = static_cast<size_t>(n.scale);
  if (len <= sc) {
    buf[pos++] = '0';
    buf[pos++] = '.';
    for (size_t i = len; i < sc; ++i) buf[pos++] = '0';
    std::memcpy(buf + pos, digits, len);
    return pos + len;
  }
  std::memcpy(buf + pos, digits, len - sc);
  pos += len - sc;
  buf[pos++] = '.';
  std::memcpy(buf + pos, digits + len - sc, sc);
  return pos + sc;
}

// The column rendered as text: a view either into SQLite's row or into `scratch`.
bool RenderText(Statement& s, int col, sqlite3_value* v, int type, char* scratch, size_t scratchSize,
                std::string_view& out) {
  const ColumnInfo& info = s.columns[static_cast<size_t>(col)];
  if (info.kind == ColKind::Decimal && type != SQLITE_TEXT) {
    Number n;
    if (!ReadNumber(s, col, v, type, n)) return false;
    if (n.exact && Rescale(n, info.scale)) {
      out = std::string_view(scratch, FormatExact(n, scratch));
      return true;
    }
  }
  if (type == SQLITE_FLOAT) {
    double d = sqlite3_value_double(v);
    auto r = std::to_chars(scratch, scratch + scratchSize, d);
    out = std::string_view(scratch, static_cast<size_t>(r.ptr - scratch));
    return true;
  }
  if (type == SQLITE_INTEGER) {
    auto r = std::to_chars(scratch, scratch + scratchSize, sqlite3_value_int64(v));
    out = std::string_view(scratch, static_cast<size_t>(r.ptr - scratch));
    return true;
  }
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  out = std::string_view(p ? p : "", static_cast<size_t>(sqlite3_value_bytes(v)));
  return true;
}

bool ParseDate(std::string_view text, SQL_TIMESTAMP_STRUCT& ts) {
  // yyyy-mm-dd, optionally followed by a blank or 'T' and hh:mm[:ss[.fff]].
  auto num = [&](size_t pos, size_t len, int& v) {
    if (pos + len > text.size()) return false;
    v = 0;
    for (size_t i = pos; i < pos + len; ++i) {
      char c = text[i];
      if (c < '0' || c > '9') return false;
      v = v * 10 + (c - '0');
    }
    return true;
  };
  int y = 0, m = 0, d = 0;
  if (!num(0, 4, y) || text.size() < 10 || text[4] != '-' || !num(5, 2, m) || text[7] != '-' || !num(8, 2, d))
    return false;
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  if (m == 2 && d == 29 && !((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return false;
  ts = {};
  ts.year = static_cast<SQLSMALLINT>(y);
  ts.month = static_cast<SQLUSMALLINT>(m);
  ts.day = static_cast<SQLUSMALLINT>(d);
  if (text.size() == 10) return true;
  int hh = 0, mi = 0, ss = 0;
  if ((text[10] != ' ' && text[10] != 'T') || !num(11, 2, hh) || text.size() < 16 || text[13] != ':' ||
      !num(14, 2, mi))
    return false;
  if (text.size() >= 19 && text[16] == ':' && !num(17, 2, ss)) return false;
  if (hh > 23 || mi > 59 || ss > 59) return false;
  ts.hour = static_cast<SQLUSMALLINT>(hh);
  ts.minute = static_cast<SQLUSMALLINT>(mi);
  ts.second = static_cast<SQLUSMALLINT>(ss);
  return true;
}

SQLRETURN PutChars(Statement& s, std::string_view text, const Target& t) {
  SQLLEN off = t.offset ? *t.offset : 0;
  if (off > static_cast<SQLLEN>(text.size())) off = static_cast<SQLLEN>(text.size());
  size_t remaining = text.size() - static_cast<size_t>(off);
  if (t.indicator) *t.indicator = static_cast<SQLLEN>(remaining);
  if (t.bufferLength < 0) return s.AddDiag("HY090", "Invalid string or buffer length");
  auto* out = static_cast<char*>(t.buffer);
  if (out == nullptr || t.bufferLength == 0) {
    return remaining == 0 ? SQL_SUCCESS
                          : s.AddDiag("01004", "String data, right truncated", SQL_SUCCESS_WITH_INFO);
  }
  size_t room = static_cast<size_t>(t.bufferLength) - 1;
  size_t n = remaining < room ? remaining : room;
  std::memcpy(out, text.data() + off, n);
  out[n] = '\0';
  if (t.offset) *t.offset = off + static_cast<SQLLEN>(n);
  if (n < remaining) return s.AddDiag("01004", "String data, right truncated", SQL_SUCCESS_WITH_INFO);
  return SQL_SUCCESS;
}

// UTF-8 to UTF-16 code units (invalid bytes become U+FFFD).
void ToUtf16(std::string_view in, std::u16string& out) {
  out.clear();
  size_t i = 0;
  while (i < in.size()) {
    auto c = static_cast<unsigned char>(in[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 6 && i + 1 < in.size()) {
      cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(in[i + 1]) & 0x3Fu);
      len = 2;
    } else if ((c >> 4) == 14 && i + 2 < in.size()) {
      cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(in[i + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(in[i + 2]) & 0x3Fu);
      len = 3;
    } else if ((c >> 3) == 30 && i + 3 < in.size()) {
      cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(in[i + 1]) & 0x3Fu) << 12) |
           ((static_cast<unsigned char>(in[i + 2]) & 0x3Fu) << 6) | (static_cast<unsigned char>(in[i + 3]) & 0x3Fu);
      len = 4;
    }
    i += len;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp > 0x10FFFF ? 0xFFFD : cp);
    }
  }
}

SQLRETURN PutWideChars(Statement& s, std::string_view text, const Target& t) {
  std::u16string wide;
  ToUtf16(text, wide);
  const SQLLEN unit = static_cast<SQLLEN>(sizeof(SQLWCHAR));
  SQLLEN offUnits = t.offset ? *t.offset / unit : 0;
  if (offUnits > static_cast<SQLLEN>(wide.size())) offUnits = static_cast<SQLLEN>(wide.size());
  size_t remaining = wide.size() - static_cast<size_t>(offUnits);
  if (t.indicator) *t.indicator = static_cast<SQLLEN>(remaining) * unit;
  if (t.bufferLength < 0) return s.AddDiag("HY090", "Invalid string or buffer length");
  auto* out = static_cast<SQLWCHAR*>(t.buffer);
  size_t room = t.bufferLength >= unit ? static_cast<size_t>(t.bufferLength / unit) - 1 : 0;
  if (out == nullptr || t.bufferLength < unit) {
    return remaining == 0 ? SQL_SUCCESS
                          : s.AddDiag("01004", "String data, right truncated", SQL_SUCCESS_WITH_INFO);
  }
  size_t n = remaining < room ? remaining : room;
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<SQLWCHAR>(wide[static_cast<size_t>(offUnits) + i]);
  out[n] = 0;
  if (t.offset) *t.offset = (offUnits + static_cast<SQLLEN>(n)) * unit;
  if (n < remaining) return s.AddDiag("01004", "String data, right truncated", SQL_SUCCESS_WITH_INFO);
  return SQL_SUCCESS;
}

template <typename T>
SQLRETURN PutInteger(Statement& s, const Number& n, const Target& t) {
  SQLRETURN rc = SQL_SUCCESS;
  int64_t whole = 0;
  bool fraction = false;
  if (n.exact) {
    whole = n.mant / kPow10[n.scale];
    fraction = n.mant % kPow10[n.scale] != 0;
  } else {
    double tr = std::trunc(n.dbl);
    if (!std::isfinite(tr) || tr < -9.2e18 || tr > 9.2e18)
      return s.AddDiag("22003", "Numeric value out of range");
    whole = static_cast<int64_t>(tr);
    fraction = tr != n.dbl;
  }
  if constexpr (std::is_signed_v<T>) {
    if (whole < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
        whole > static_cast<int64_t>(std::numeric_limits<T>::max()))
      return s.AddDiag("22003", "Numeric value out of range");
  } else {
    if (whole < 0 || static_cast<uint64_t>(whole) > static_cast<uint64_t>(std::numeric_limits<T>::max()))
      return s.AddDiag("22003", "Numeric value out of range");
  }
  if (t.buffer) {
    T v = static_cast<T>(whole);
    std::memcpy(t.buffer, &v, sizeof v);
  }
  if (t.indicator) *t.indicator = sizeof(T);
  if (fraction) rc = s.AddDiag("01S07", "Fractional truncation", SQL_SUCCESS_WITH_INFO);
  return rc;
}

// An exact number of `scale` decimals as the ODBC numeric structure.
SQL_NUMERIC_STRUCT NumericOf(int64_t mant, int scale) {
  SQL_NUMERIC_STRUCT num{};
  num.precision = 19;
  num.scale = static_cast<SQLSCHAR>(scale);
  num.sign = mant < 0 ? 0 : 1;
  uint64_t mag = mant < 0 ? static_cast<uint64_t>(-(mant + 1)) + 1 : static_cast<uint64_t>(mant);
  for (int i = 0; i < 8; ++i) num.val[i] = static_cast<SQLCHAR>((mag >> (8 * i)) & 0xFF);
  return num;
}

SQLRETURN PutNumeric(Statement& s, Number n, int scale, const Target& t) {
  if (!n.exact) {
    double scaled = std::round(n.dbl * static_cast<double>(kPow10[scale]));
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18) return s.AddDiag("22003", "Numeric value out of range");
    n.exact = true;
    n.mant = static_cast<int64_t>(scaled);
    n.scale = scale;
  }
  if (!Rescale(n, scale)) return s.AddDiag("22003", "Numeric value out of range");
  const SQL_NUMERIC_STRUCT num = NumericOf(n.mant, scale);
  if (t.buffer) std::memcpy(t.buffer, &num, sizeof num);
  if (t.indicator) *t.indicator = sizeof num;
  return SQL_SUCCESS;
}

}  // namespace

ColumnInfo DescribeDeclared(std::string_view name, std::string_view declType) {
  ColumnInfo c;
  c.name = std::string(name);
  if (declType.empty()) return c;
  c.fromTable = true;
  std::string d = UpperAscii(declType);
  if (d.find("CHAR") != std::string::npos || d.find("TEXT") != std::string::npos ||
      d.find("CLOB") != std::string::npos) {
    c.kind = ColKind::Text;
    c.size = 255;
    TypeArgs(d, c.size, c.scale);
    c.scale = 0;
  } else if (d.find("SMALLINT") != std::string::npos) {
    c.kind = ColKind::SmallInt;
    c.size = 5;
  } else if (d.find("BIGINT") != std::string::npos) {
    c.kind = ColKind::BigInt;
    c.size = 19;
  } else if (d.find("INT") != std::string::npos) {
    c.kind = ColKind::Integer;
    c.size = 10;
  } else if (d.find("DEC") != std::string::npos || d.find("NUMERIC") != std::string::npos ||
             d.find("MONEY") != std::string::npos) {
    c.kind = ColKind::Decimal;
    c.size = 19;
    c.scale = 4;
    TypeArgs(d, c.size, c.scale);
    if (c.size > 19 || c.size == 0) c.size = 19;
  } else if (d.find("DATE") != std::string::npos) {
    c.kind = ColKind::Date;
    c.size = 10;
  } else if (d.find("DOUB") != std::string::npos || d.find("REAL") != std::string::npos ||
             d.find("FLOA") != std::string::npos) {
    c.kind = ColKind::Double;
    c.size = 15;
  } else {
    c.kind = ColKind::Text;
    c.size = 255;
  }
  return c;
}

SQLSMALLINT SqlTypeOf(const ColumnInfo& col, bool odbc3) {
  switch (col.kind) {
    case ColKind::Integer: return SQL_INTEGER;
    case ColKind::SmallInt: return SQL_SMALLINT;
    case ColKind::BigInt: return SQL_BIGINT;
    case ColKind::Decimal: return SQL_DECIMAL;
    case ColKind::Date: return odbc3 ? SQL_TYPE_DATE : SQL_DATE;
    case ColKind::Double: return SQL_DOUBLE;
    case ColKind::Text: return SQL_VARCHAR;
  }
  return SQL_VARCHAR;
}

const char* TypeNameOf(const ColumnInfo& col) {
  switch (col.kind) {
    case ColKind::Integer: return "INTEGER";
    case ColKind::SmallInt: return "SMALLINT";
    case ColKind::BigInt: return "BIGINT";
    case ColKind::Decimal: return "DECIMAL";
    case ColKind::Date: return "DATE";
    case ColKind::Double: return "DOUBLE";
    case ColKind::Text: return "VARCHAR";
  }
  return "VARCHAR";
}

SQLULEN DisplaySizeOf(const ColumnInfo& col) {
  switch (col.kind) {
    case ColKind::Integer: return 11;
    case ColKind::SmallInt: return 6;
    case ColKind::BigInt: return 20;
    case ColKind::Decimal: return col.size + 2;
    case ColKind::Date: return 10;
    case ColKind::Double: return 24;
    case ColKind::Text: return col.size;
  }
  return col.size;
}

SQLRETURN ConvertColumn(Statement& s, int col, const Target& t) {
  sqlite3_stmt* st = s.stmt.get();
  const ColumnInfo& info = s.columns[static_cast<size_t>(col)];
  // One call into the statement; the value is then read without further checks.
  sqlite3_value* v = sqlite3_column_value(st, col);
  const int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) {
    if (t.indicator == nullptr)
      return s.AddDiag("22002", "Indicator variable required but not supplied: column " + std::to_string(col + 1) +
                                    " is NULL");
    *t.indicator = SQL_NULL_DATA;
    return SQL_SUCCESS;
  }
  SQLSMALLINT ctype = t.cType;
  if (ctype == SQL_C_DEFAULT) {
    switch (info.kind) {
      case ColKind::Integer: ctype = SQL_C_SLONG; break;
      case ColKind::SmallInt: ctype = SQL_C_SSHORT; break;
      case ColKind::BigInt: ctype = SQL_C_SBIGINT; break;
      case ColKind::Decimal: ctype = SQL_C_CHAR; break;
      case ColKind::Date: ctype = SQL_C_TYPE_DATE; break;
      case ColKind::Double: ctype = SQL_C_DOUBLE; break;
      case ColKind::Text: ctype = SQL_C_CHAR; break;
    }
  }
  char scratch[64];
  switch (ctype) {
    case SQL_C_CHAR:
    case SQL_C_BINARY:
    case SQL_C_WCHAR: {
      std::string_view text;
      if (!RenderText(s, col, v, type, scratch, sizeof scratch, text)) return SQL_ERROR;
      // Company files written on Windows hold their texts in its code page: what is not
      // UTF-8 is read as Windows-1252, so that every text handed out is UTF-8.
      std::string decoded;
      if (type == SQLITE_TEXT && ctype != SQL_C_BINARY && !sys::IsUtf8(text)) {
        decoded = sys::FromCp1252(text);
        text = decoded;
      }
      if (ctype == SQL_C_WCHAR) return PutWideChars(s, text, t);
      if (ctype == SQL_C_BINARY) {
        SQLLEN off = t.offset ? *t.offset : 0;
        if (off > static_cast<SQLLEN>(text.size())) off = static_cast<SQLLEN>(text.size());
        size_t remaining = text.size() - static_cast<size_t>(off);
        if (t.indicator) *t.indicator = static_cast<SQLLEN>(remaining);
        size_t n = t.bufferLength > 0 ? std::min(remaining, static_cast<size_t>(t.bufferLength)) : 0;
        if (t.buffer && n) std::memcpy(t.buffer, text.data() + off, n);
        if (t.offset) *t.offset = off + static_cast<SQLLEN>(n);
        return n < remaining ? s.AddDiag("01004", "String data, right truncated", SQL_SUCCESS_WITH_INFO) : SQL_SUCCESS;
      }
      return PutChars(s, text, t);
    }
    case SQL_C_SLONG:
    case SQL_C_LONG:
    case SQL_C_ULONG:
    case SQL_C_SSHORT:
    case SQL_C_SHORT:
    case SQL_C_USHORT:
    case SQL_C_STINYINT:
    case SQL_C_TINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_BIT:
    case SQL_C_DOUBLE:
    case SQL_C_FLOAT:
    case SQL_C_NUMERIC: {
      if (info.kind == ColKind::Date) return s.AddDiag("07006", "Restricted data type attribute violation: a date is not a number");
      // The common cases first: a whole number into a 64-bit or 32-bit integer.
      if (type == SQLITE_INTEGER && ctype == SQL_C_SBIGINT) {
        SQLBIGINT i64 = sqlite3_value_int64(v);
        if (t.buffer) std::memcpy(t.buffer, &i64, sizeof i64);
        if (t.indicator) *t.indicator = sizeof i64;
        return SQL_SUCCESS;
      }
      if (type == SQLITE_INTEGER && (ctype == SQL_C_SLONG || ctype == SQL_C_LONG)) {
        sqlite3_int64 i64 = sqlite3_value_int64(v);
        if (i64 < INT32_MIN || i64 > INT32_MAX) return s.AddDiag("22003", "Numeric value out of range");
        auto v32 = static_cast<SQLINTEGER>(i64);
        if (t.buffer) std::memcpy(t.buffer, &v32, sizeof v32);
        if (t.indicator) *t.indicator = sizeof v32;
        return SQL_SUCCESS;
      }
      Number n;
      if (!ReadNumber(s, col, v, type, n)) return SQL_ERROR;
      switch (ctype) {
        case SQL_C_SLONG:
        case SQL_C_LONG: return PutInteger<SQLINTEGER>(s, n, t);
        case SQL_C_ULONG: return PutInteger<SQLUINTEGER>(s, n, t);
        case SQL_C_SSHORT:
        case SQL_C_SHORT: return PutInteger<SQLSMALLINT>(s, n, t);
        case SQL_C_USHORT: return PutInteger<SQLUSMALLINT>(s, n, t);
        case SQL_C_STINYINT:
        case SQL_C_TINYINT: return PutInteger<SQLSCHAR>(s, n, t);
        case SQL_C_UTINYINT: return PutInteger<SQLCHAR>(s, n, t);
        case SQL_C_SBIGINT: return PutInteger<SQLBIGINT>(s, n, t);
        case SQL_C_UBIGINT: return PutInteger<SQLUBIGINT>(s, n, t);
        case SQL_C_BIT: {
          double v = n.AsDouble();
          if (v < 0 || v >= 2) return s.AddDiag("22003", "Numeric value out of range");
          SQLCHAR b = v >= 1 ? 1 : 0;
          if (t.buffer) std::memcpy(t.buffer, &b, 1);
          if (t.indicator) *t.indicator = 1;
          return v != 0 && v != 1 ? s.AddDiag("01S07", "Fractional truncation", SQL_SUCCESS_WITH_INFO) : SQL_SUCCESS;
        }
        case SQL_C_DOUBLE: {
          SQLDOUBLE v = n.AsDouble();
          if (t.buffer) std::memcpy(t.buffer, &v, sizeof v);
          if (t.indicator) *t.indicator = sizeof v;
          return SQL_SUCCESS;
        }
        case SQL_C_FLOAT: {
          double d = n.AsDouble();
          if (std::fabs(d) > std::numeric_limits<float>::max()) return s.AddDiag("22003", "Numeric value out of range");
          auto v = static_cast<SQLREAL>(d);
          if (t.buffer) std::memcpy(t.buffer, &v, sizeof v);
          if (t.indicator) *t.indicator = sizeof v;
          return SQL_SUCCESS;
        }
        default: return PutNumeric(s, n, info.kind == ColKind::Decimal ? info.scale : (n.exact ? n.scale : 0), t);
      }
    }
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE:
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: {
      if (info.kind != ColKind::Date && info.kind != ColKind::Text)
        return s.AddDiag("07006", "Restricted data type attribute violation: column " + std::to_string(col + 1) +
                                      " is not a date");
      std::string_view text;
      if (!RenderText(s, col, v, type, scratch, sizeof scratch, text)) return SQL_ERROR;
      SQL_TIMESTAMP_STRUCT ts{};
      if (!ParseDate(text, ts))
        return s.AddDiag("22007", "Invalid datetime format: '" + std::string(text.substr(0, 40)) + "'");
      if (ctype == SQL_C_TYPE_DATE || ctype == SQL_C_DATE) {
        SQL_DATE_STRUCT d{ts.year, ts.month, ts.day};
        if (t.buffer) std::memcpy(t.buffer, &d, sizeof d);
        if (t.indicator) *t.indicator = sizeof d;
        return (ts.hour || ts.minute || ts.second)
                   ? s.AddDiag("01S07", "Fractional truncation", SQL_SUCCESS_WITH_INFO)
                   : SQL_SUCCESS;
      }
      if (t.buffer) std::memcpy(t.buffer, &ts, sizeof ts);
      if (t.indicator) *t.indicator = sizeof ts;
      return SQL_SUCCESS;
    }
    default:
      return s.AddDiag("HY003", "Program type out of range: C type " + std::to_string(ctype) + " is not supported");
  }
}

namespace {

// Bytes between two rows' values of a column bound column-wise: the buffer length for
// characters and bytes, the C type's own size otherwise.
SQLLEN ElementSize(const BoundColumn& b) {
  switch (b.targetType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY: return b.bufferLength;
    case SQL_C_SSHORT:
    case SQL_C_SHORT:
    case SQL_C_USHORT: return sizeof(SQLSMALLINT);
    case SQL_C_STINYINT:
    case SQL_C_TINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_BIT: return 1;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: return sizeof(SQLBIGINT);
    case SQL_C_DOUBLE: return sizeof(SQLDOUBLE);
    case SQL_C_FLOAT: return sizeof(SQLREAL);
    case SQL_C_NUMERIC: return sizeof(SQL_NUMERIC_STRUCT);
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
    case SQL_C_SLONG:
    case SQL_C_LONG:
    case SQL_C_ULONG: return sizeof(SQLINTEGER);
    default: return b.bufferLength;
  }
}

// The direct path of a column of kind col.kind bound as cType, or none.
DirectPath DirectPathOf(const ColumnInfo& col, SQLSMALLINT cType) {
  switch (cType) {
    case SQL_C_SBIGINT: return col.kind == ColKind::Date ? DirectPath::None : DirectPath::WholeToBigInt;
    case SQL_C_NUMERIC: return col.kind == ColKind::Decimal ? DirectPath::DecimalToNumeric : DirectPath::None;
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: return col.kind == ColKind::Date ? DirectPath::DateToDate : DirectPath::None;
    case SQL_C_CHAR: return col.kind == ColKind::Text ? DirectPath::TextToChar : DirectPath::None;
    default: return DirectPath::None;
  }
}

// Writes value v on the column's direct path; false, having written nothing, for a value
// the path does not take.
bool ConvertDirect(BoundTarget& d, const ColumnInfo& col, sqlite3_value* v, void* target, SQLLEN bufferLength,
                   SQLLEN* indicator) {
  const int type = sqlite3_value_type(v);
  switch (d.path) {
    case DirectPath::WholeToBigInt: {
      if (type != SQLITE_INTEGER) return false;
      const SQLBIGINT i64 = sqlite3_value_int64(v);
      std::memcpy(target, &i64, sizeof i64);
      *indicator = sizeof i64;
      return true;
    }
    case DirectPath::DecimalToNumeric: {
      int64_t mant = 0;
      if (type == SQLITE_FLOAT) {
        if (!ScaledDecimal(sqlite3_value_double(v), col.scale, mant)) return false;
      } else if (type == SQLITE_INTEGER) {
        const int64_t whole = sqlite3_value_int64(v);
        const int64_t limit = std::numeric_limits<int64_t>::max() / kPow10[col.scale];
        if (whole > limit || whole < -limit) return false;
        mant = whole * kPow10[col.scale];
      } else {
        return false;
      }
      const SQL_NUMERIC_STRUCT num = NumericOf(mant, col.scale);
      std::memcpy(target, &num, sizeof num);
      *indicator = sizeof num;
      return true;
    }
    case DirectPath::DateToDate: {
      if (type != SQLITE_TEXT) return false;
      const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
      const int n = sqlite3_value_bytes(v);
      if (p == nullptr || n != static_cast<int>(sizeof d.dateText)) return false;
      if (!d.haveDate || std::memcmp(p, d.dateText, sizeof d.dateText) != 0) {
        SQL_TIMESTAMP_STRUCT ts{};
        if (!ParseDate(std::string_view(p, sizeof d.dateText), ts)) return false;
        d.date = SQL_DATE_STRUCT{ts.year, ts.month, ts.day};
        std::memcpy(d.dateText, p, sizeof d.dateText);
        d.haveDate = true;
      }
      std::memcpy(target, &d.date, sizeof d.date);
      *indicator = sizeof d.date;
      return true;
    }
    case DirectPath::TextToChar: {
      if (type != SQLITE_TEXT) return false;
      const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
      const int n = sqlite3_value_bytes(v);
      if (p == nullptr || n >= bufferLength) return false;
      for (int i = 0; i < n; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
      std::memcpy(target, p, static_cast<size_t>(n));
      static_cast<char*>(target)[n] = '\0';
      *indicator = n;
      return true;
    }
    case DirectPath::None: return false;
  }
  return false;
}

}  // namespace

std::vector<BoundTarget> BoundTargets(const Statement& s) {
  std::vector<BoundTarget> targets(std::min(s.bound.size(), s.columns.size()));
  for (size_t i = 0; i < targets.size(); ++i) {
    const BoundColumn& b = s.bound[i];
    targets[i].stride = ElementSize(b);
    // A direct path writes a value and its indicator: a column bound without either
    // takes the general conversion, which minds that.
    if (b.target != nullptr && b.indicator != nullptr)
      targets[i].path = DirectPathOf(s.columns[i], b.targetType);
  }
  return targets;
}

SQLRETURN ConvertBound(Statement& s, std::vector<BoundTarget>& targets, SQLULEN row) {
  SQLRETURN result = SQL_SUCCESS;
  for (size_t i = 0; i < targets.size(); ++i) {
    const BoundColumn& b = s.bound[i];
    if (b.target == nullptr && b.indicator == nullptr) continue;
    BoundTarget& bt = targets[i];
    const SQLLEN offset = static_cast<SQLLEN>(row) * bt.stride;
    if (bt.path != DirectPath::None &&
        ConvertDirect(bt, s.columns[i], sqlite3_column_value(s.stmt.get(), static_cast<int>(i)),
                      static_cast<char*>(b.target) + offset, b.bufferLength, b.indicator + row))
      continue;
    Target t{b.targetType, b.target ? static_cast<char*>(b.target) + offset : nullptr, b.bufferLength,
             b.indicator ? b.indicator + row : nullptr, nullptr};
    SQLRETURN rc = ConvertColumn(s, static_cast<int>(i), t);
    if (rc == SQL_ERROR) result = SQL_ERROR;
    else if (rc == SQL_SUCCESS_WITH_INFO && result == SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
  }
  return result;
}

}  // namespace qvx::driver
