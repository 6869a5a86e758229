#include "platform/ado/BlockLoader.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace qvx::ado {

namespace {

Fetch FetchOf(SQLSMALLINT sqlType, SQLSMALLINT decimals) {
  switch (sqlType) {
    case SQL_SMALLINT:
    case SQL_TINYINT: return Fetch::Integer;
    case SQL_INTEGER: return Fetch::Long;
    case SQL_BIGINT: return Fetch::BigInt;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: return Fetch::Double;
    case SQL_DECIMAL:
    case SQL_NUMERIC: return decimals <= 4 ? Fetch::Decimal : Fetch::Double;
    case SQL_TYPE_DATE:
    case SQL_DATE: return Fetch::Date;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return Fetch::Timestamp;
    case SQL_TYPE_TIME:
    case SQL_TIME: return Fetch::Time;
    case SQL_BIT: return Fetch::Boolean;
    default: return Fetch::Text;
  }
}

VarType TypeOf(Fetch f) {
  switch (f) {
    case Fetch::Integer: return VarType::Integer;
    case Fetch::Long:
    case Fetch::BigInt: return VarType::Long;
    case Fetch::Double: return VarType::Double;
    case Fetch::Decimal: return VarType::Currency;
    case Fetch::Date:
    case Fetch::Timestamp:
    case Fetch::Time: return VarType::Date;
    case Fetch::Boolean: return VarType::Boolean;
    case Fetch::Text: return VarType::String;
  }
  return VarType::String;
}

constexpr int64_t kScaleUp[] = {10000, 1000, 100, 10, 1};

// An exact numeric of at most four decimals as ten-thousandths; false when it does not fit.
bool NumericToRaw(const SQL_NUMERIC_STRUCT& n, int64_t& raw) {
  for (int i = 8; i < SQL_MAX_NUMERIC_LEN; ++i)
    if (n.val[i] != 0) return false;
  if (n.scale < 0 || n.scale > 4) return false;
  uint64_t mag = 0;
  for (int i = 7; i >= 0; --i) mag = (mag << 8) | n.val[i];
  const uint64_t factor = static_cast<uint64_t>(kScaleUp[n.scale]);
  const uint64_t limit = n.sign ? static_cast<uint64_t>(INT64_MAX) : static_cast<uint64_t>(INT64_MAX) + 1;
  if (mag > limit / factor) return false;
  mag *= factor;
  if (mag > limit) return false;
  raw = n.sign ? static_cast<int64_t>(mag) : static_cast<int64_t>(0 - mag);
  return true;
}

// The tag of a value the driver refused to convert, or 0 when the failure is not about
// the value (the command itself failed).
uint8_t BadValueTag(const std::string& state) {
  if (state == "22003") return kBadOverflow;
  if (state.rfind("22", 0) == 0 || state == "07006") return kBadType;
  return 0;
}

}  // namespace

void Recordset::Loader::Execute() {
  // The driver manager only reads the text; its terminating zero is the string's own.
  SQLCHAR* text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(source.c_str()));
  SQLRETURN rc = SQLExecDirect(stmt, text, static_cast<SQLINTEGER>(source.size()));
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) Fail();
}

void Recordset::Loader::Describe(SQLSMALLINT ncols) {
  columns.resize(static_cast<size_t>(std::max<SQLSMALLINT>(ncols, 0)));
  buffers.resize(columns.size());
  slot.nameKey.clear();
  for (SQLUSMALLINT i = 0; i < columns.size(); ++i) {
    SQLCHAR name[512];
    SQLSMALLINT nameLen = 0, sqlType = 0, decimals = 0, nullable = 0;
    SQLULEN size = 0;
    if (!SQL_SUCCEEDED(SQLDescribeCol(stmt, static_cast<SQLUSMALLINT>(i + 1), name, sizeof name, &nameLen, &sqlType,
                                      &size, &decimals, &nullable)))
      Fail();
    slot.nameKey.append(reinterpret_cast<const char*>(name),
                        strnlen(reinterpret_cast<const char*>(name),
                                std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLen, 0)),
                                                 sizeof name - 1)));
    slot.nameKey.push_back('\0');
    Column& col = columns[i];
    col.fetch = FetchOf(sqlType, decimals);
    col.type = TypeOf(col.fetch);
    col.wide = col.fetch == Fetch::Double || col.fetch == Fetch::Decimal || col.fetch == Fetch::Timestamp ||
               col.fetch == Fetch::Time;
    Buffer& b = buffers[i];
    switch (col.fetch) {
      case Fetch::Integer:
      case Fetch::Long:
      case Fetch::BigInt: b.ctype = SQL_C_SBIGINT, b.width = sizeof(SQLBIGINT); break;
      case Fetch::Double: b.ctype = SQL_C_DOUBLE, b.width = sizeof(SQLDOUBLE); break;
      case Fetch::Boolean: b.ctype = SQL_C_BIT, b.width = 1; break;
      case Fetch::Decimal: b.ctype = SQL_C_NUMERIC, b.width = sizeof(SQL_NUMERIC_STRUCT); break;
      case Fetch::Date: b.ctype = SQL_C_TYPE_DATE, b.width = sizeof(SQL_DATE_STRUCT); break;
      case Fetch::Timestamp:
      case Fetch::Time: b.ctype = SQL_C_TYPE_TIMESTAMP, b.width = sizeof(SQL_TIMESTAMP_STRUCT); break;
      case Fetch::Text:
        // Room for the declared length; a longer text sends the read row by row.
        b.ctype = SQL_C_CHAR;
        b.width = static_cast<SQLLEN>(std::clamp<SQLULEN>(size, 16, 4096) + 1);
        break;
    }
  }
  names = slot.NamesOf(slot.nameKey, columns.size());
}

void Recordset::Loader::Bind(size_t blockRows) {
  // Indicators first, then the row states, then each column's values, each part
  // starting on an 8-byte boundary.
  auto up8 = [](size_t n) { return (n + 7) & ~size_t{7}; };
  size_t size = up8(buffers.size() * blockRows * sizeof(SQLLEN)) + up8(blockRows * sizeof(SQLUSMALLINT));
  for (const Buffer& b : buffers) size += up8(blockRows * static_cast<size_t>(b.width));
  if (size > arenaSize) {
    arena.reset(new unsigned char[size]);
    arenaSize = size;
  }
  unsigned char* p = arena.get();
  for (Buffer& b : buffers) {
    b.ind = reinterpret_cast<SQLLEN*>(p);
    p += blockRows * sizeof(SQLLEN);
  }
  p = arena.get() + up8(buffers.size() * blockRows * sizeof(SQLLEN));
  status = reinterpret_cast<SQLUSMALLINT*>(p);
  p += up8(blockRows * sizeof(SQLUSMALLINT));
  for (Buffer& b : buffers) {
    b.data = p;
    p += up8(blockRows * static_cast<size_t>(b.width));
  }
  // Only what differs from the handle's settings is set.
  if (blockRows != slot.boundRows || status != slot.boundStatus) {
    slot.boundRows = 0;
    if (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(blockRows), 0)) ||
        !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0)) ||
        !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0)))
      Fail();
    slot.boundRows = blockRows;
    slot.boundStatus = status;
  }
  if (slot.bound.size() > buffers.size()) {
    slot.bound.clear();
    if (!SQL_SUCCEEDED(SQLFreeStmt(stmt, SQL_UNBIND))) Fail();
  }
  for (size_t i = 0; i < buffers.size(); ++i) {
    Buffer& b = buffers[i];
    if (i < slot.bound.size() && slot.bound[i] == b) continue;
    slot.bound.resize(i);
    if (!SQL_SUCCEEDED(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(i + 1), b.ctype, b.data, b.width, b.ind)))
      Fail();
    slot.bound.push_back(b);
  }
}

// Fetches every row in blocks; false when the rows must be read again one by one.
bool Recordset::Loader::FetchBlocks() {
  const FetchBlockRows sizes = BlockRows();
  size_t blockRows = std::max<size_t>(sizes.first, 1);
  Bind(blockRows);
  for (;;) {
    fetched = 0;
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) return true;
    if (rc == SQL_ERROR) {
      if (BadValueTag(FirstDiagnostic(SQL_HANDLE_STMT, stmt).sqlState) != 0) return false;
      Fail();
    }
    if (!SQL_SUCCEEDED(rc)) Fail();
    for (SQLULEN r = 0; r < fetched; ++r)
      if (status[r] == SQL_ROW_ERROR) return false;
    if (!TakeBlock(static_cast<size_t>(fetched))) return false;
    if (fetched < blockRows) return true;
    const size_t next = std::max<size_t>(sizes.next, 1);
    if (next != blockRows) {
      blockRows = next;
      Bind(blockRows);
    }
  }
}

// Moves a block into the columns; false when a text did not fit its buffer or a
// number its column's range.
bool Recordset::Loader::TakeBlock(size_t n) {
  for (size_t i = 0; i < columns.size(); ++i) {
    const Buffer& b = buffers[i];
    if (b.ctype != SQL_C_CHAR) continue;
    for (size_t r = 0; r < n; ++r)
      if (b.ind[r] != SQL_NULL_DATA && (b.ind[r] < 0 || b.ind[r] >= b.width)) return false;
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    Column& col = columns[i];
    const Buffer& b = buffers[i];
    bool ok = true;
    switch (col.fetch) {
      case Fetch::Integer:
      case Fetch::Long:
      case Fetch::BigInt: {
        // A whole number of a small-integer column is of its type within 16 bits, of
        // any other within 32.
        const int64_t limit = col.fetch == Fetch::Integer ? INT16_MAX : INT32_MAX;
        ok = TakeNumbers(col, b, n, [limit](const unsigned char* p, int64_t& v) {
          SQLBIGINT x;
          std::memcpy(&x, p, sizeof x);
          v = x;
          return x >= -limit - 1 && x <= limit;
        });
        break;
      }
      case Fetch::Double:
        ok = TakeNumbers(col, b, n, [](const unsigned char* p, int64_t& v) {
          double x;
          std::memcpy(&x, p, sizeof x);
          v = std::bit_cast<int64_t>(x);
          return true;
        });
        break;
      case Fetch::Boolean:
        ok = TakeNumbers(col, b, n, [](const unsigned char* p, int64_t& v) {
          v = *p ? 1 : 0;
          return true;
        });
        break;
      case Fetch::Decimal:
        ok = TakeNumbers(col, b, n, [](const unsigned char* p, int64_t& v) {
          SQL_NUMERIC_STRUCT x;
          std::memcpy(&x, p, sizeof x);
          return NumericToRaw(x, v);
        });
        break;
      case Fetch::Date:
        ok = TakeNumbers(col, b, n, [](const unsigned char* p, int64_t& v) {
          SQL_DATE_STRUCT x;
          std::memcpy(&x, p, sizeof x);
          v = PackDay(x.year, x.month, x.day);
          return true;
        });
        break;
      case Fetch::Timestamp:
      case Fetch::Time:
        ok = TakeNumbers(col, b, n, [fetch = col.fetch](const unsigned char* p, int64_t& v) {
          SQL_TIMESTAMP_STRUCT x;
          std::memcpy(&x, p, sizeof x);
          v = PackStamp(fetch, x);
          return true;
        });
        break;
      case Fetch::Text: {
        const unsigned char* p = b.data;
        for (size_t r = 0; r < n; ++r, p += b.width) TakeValue(col, b, p, r);
        break;
      }
    }
    if (!ok) return false;
  }
  rows += n;
  return true;
}

// The block's rows of a numeric column. A value of the column's own type goes straight
// into its chunk while the chunk holds nothing else and the number fits the width the
// column keeps; every other row (a null, a whole number beyond the column's type, the
// first number beyond 32 bits) takes TakeValue's way. `plain` reads a value as the
// column keeps it and says whether it is of the column's own type.
template <class Plain>
bool Recordset::Loader::TakeNumbers(Column& col, const Buffer& b, size_t n, Plain plain) {
  const unsigned char* p = b.data;
  for (size_t r = 0; r < n;) {
    Column::Chunk& c = col.ChunkOf(rows + r);
    const size_t end = std::min(n, r + kChunkRows - ((rows + r) & kChunkMask));
    for (; r < end; ++r, p += b.width) {
      int64_t v = 0;
      if (b.ind[r] != SQL_NULL_DATA && c.tags.empty() && plain(p, v)) {
        if (col.wide) {
          c.n64.push_back(v);
          continue;
        }
        if (v >= INT32_MIN && v <= INT32_MAX) {
          c.n32.push_back(static_cast<int32_t>(v));
          continue;
        }
      }
      if (!TakeValue(col, b, p, r)) return false;
    }
  }
  return true;
}

// Row r of the block (its value at p) into the column; false when a number does not fit
// the currency range, which only a row-by-row read can keep.
bool Recordset::Loader::TakeValue(Column& col, const Buffer& b, const unsigned char* p, size_t r) {
  const size_t row = rows + r;
  if (b.ind[r] == SQL_NULL_DATA) {
    col.AddNull(row);
    return true;
  }
  switch (col.fetch) {
    case Fetch::Integer:
    case Fetch::Long:
    case Fetch::BigInt: {
      SQLBIGINT v;
      std::memcpy(&v, p, sizeof v);
      col.AddWhole(row, v);
      break;
    }
    case Fetch::Double: {
      double v;
      std::memcpy(&v, p, sizeof v);
      col.AddDouble(row, v);
      break;
    }
    case Fetch::Boolean: col.AddNumber(row, col.OwnTag(), *p ? 1 : 0); break;
    case Fetch::Decimal: {
      SQL_NUMERIC_STRUCT v;
      std::memcpy(&v, p, sizeof v);
      int64_t raw = 0;
      // Beyond the currency range the value can only be a double: row by row.
      if (!NumericToRaw(v, raw)) return false;
      col.AddNumber(row, col.OwnTag(), raw);
      break;
    }
    case Fetch::Date: {
      SQL_DATE_STRUCT v;
      std::memcpy(&v, p, sizeof v);
      col.AddNumber(row, col.OwnTag(), PackDay(v.year, v.month, v.day));
      break;
    }
    case Fetch::Timestamp:
    case Fetch::Time: {
      SQL_TIMESTAMP_STRUCT v;
      std::memcpy(&v, p, sizeof v);
      col.AddNumber(row, col.OwnTag(), PackStamp(col.fetch, v));
      break;
    }
    case Fetch::Text:
      col.AddText(row, col.OwnTag(), std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(b.ind[r])));
      break;
  }
  return true;
}

int64_t Recordset::Loader::PackStamp(Fetch fetch, const SQL_TIMESTAMP_STRUCT& v) {
  Date d;
  if (fetch == Fetch::Timestamp) d.year = v.year, d.month = v.month, d.day = v.day;
  d.hour = v.hour, d.minute = v.minute, d.second = v.second;
  return PackDate(d);
}

// One value with SQLGetData: false (with the tag of the refusal) when the driver could
// not convert it, raising when the failure is not about the value.
bool Recordset::Loader::Get(SQLUSMALLINT n, SQLSMALLINT ctype, void* target, SQLLEN size, SQLLEN& ind, uint8_t& bad) {
  if (SQL_SUCCEEDED(SQLGetData(stmt, n, ctype, target, size, &ind))) return true;
  bad = BadValueTag(FirstDiagnostic(SQL_HANDLE_STMT, stmt).sqlState);
  if (bad == 0) Fail();
  return false;
}

void Recordset::Loader::FetchRows() {
  // Back to one row per fetch, nothing bound, from the first row.
  slot.ForgetBindings();
  SQLFreeStmt(stmt, SQL_CLOSE);
  SQLFreeStmt(stmt, SQL_UNBIND);
  if (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0)) ||
      !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0)) ||
      !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0)))
    Fail();
  for (Column& col : columns) {
    col.Clear();
    col.wide = col.fetch == Fetch::Double || col.fetch == Fetch::Decimal || col.fetch == Fetch::Timestamp ||
               col.fetch == Fetch::Time;
  }
  rows = 0;
  Execute();
  std::string text;
  char buf[1024];
  for (;;) {
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) Fail();
    for (size_t i = 0; i < columns.size(); ++i) {
      Column& col = columns[i];
      const auto n = static_cast<SQLUSMALLINT>(i + 1);
      SQLLEN ind = 0;
      uint8_t bad = 0;
      switch (col.fetch) {
        case Fetch::Integer:
        case Fetch::Long:
        case Fetch::BigInt: {
          SQLBIGINT v = 0;
          if (!Get(n, SQL_C_SBIGINT, &v, 0, ind, bad)) break;
          if (ind != SQL_NULL_DATA) col.AddWhole(rows, v);
          break;
        }
        case Fetch::Double: {
          double v = 0;
          if (!Get(n, SQL_C_DOUBLE, &v, 0, ind, bad)) break;
          if (ind != SQL_NULL_DATA) col.AddDouble(rows, v);
          break;
        }
        case Fetch::Boolean: {
          unsigned char v = 0;
          if (!Get(n, SQL_C_BIT, &v, 0, ind, bad)) break;
          if (ind != SQL_NULL_DATA) col.AddNumber(rows, col.OwnTag(), v ? 1 : 0);
          break;
        }
        case Fetch::Decimal: {
          SQL_NUMERIC_STRUCT v{};
          int64_t raw = 0;
          bool got = Get(n, SQL_C_NUMERIC, &v, sizeof v, ind, bad);
          if (got && ind == SQL_NULL_DATA) break;
          if (got && NumericToRaw(v, raw)) {
            col.AddNumber(rows, col.OwnTag(), raw);
            break;
          }
          // A number beyond the currency range is kept as a double.
          if (!got && bad != kBadOverflow) break;
          bad = 0;
          double d = 0;
          if (Get(n, SQL_C_DOUBLE, &d, 0, ind, bad)) col.AddDouble(rows, d);
          break;
        }
        case Fetch::Date: {
          SQL_DATE_STRUCT v{};
          if (!Get(n, SQL_C_TYPE_DATE, &v, sizeof v, ind, bad)) break;
          if (ind != SQL_NULL_DATA) col.AddNumber(rows, col.OwnTag(), PackDay(v.year, v.month, v.day));
          break;
        }
        case Fetch::Timestamp:
        case Fetch::Time: {
          SQL_TIMESTAMP_STRUCT v{};
          if (!Get(n, SQL_C_TYPE_TIMESTAMP, &v, sizeof v, ind, bad)) break;
          if (ind != SQL_NULL_DATA) col.AddNumber(rows, col.OwnTag(), PackStamp(col.fetch, v));
          break;
        }
        case Fetch::Text: {
          text.clear();
          for (;;) {
            rc = SQLGetData(stmt, n, SQL_C_CHAR, buf, sizeof buf, &ind);
            if (rc == SQL_NO_DATA) break;
            if (!SQL_SUCCEEDED(rc)) Fail();
            if (ind == SQL_NULL_DATA) break;
            size_t got = (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf))
                             ? std::strlen(buf)
                             : static_cast<size_t>(ind);
            text.append(buf, got);
            if (rc == SQL_SUCCESS) break;
          }
          if (ind != SQL_NULL_DATA) col.AddText(rows, col.OwnTag(), text);
          break;
        }
      }
      if (bad != 0) {
        if (col.type == VarType::String) col.AddText(rows, bad, {});
        else col.AddNumber(rows, bad, 0);
      } else if (ind == SQL_NULL_DATA) {
        col.AddNull(rows);
      }
    }
    ++rows;
  }
}

void Recordset::Loader::Run() {
  Execute();
  SQLSMALLINT ncols = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &ncols))) Fail();
  Describe(ncols);
  if (columns.empty()) return;
  if (!FetchBlocks()) FetchRows();
}

}  // namespace qvx::ado
