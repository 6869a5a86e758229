#include "platform/ado/Ado.h"

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <bit>
#include <cstdlib>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

namespace qvx::ado {

namespace {

// The first diagnostic record of a handle: the driver's message, as the caller sees it
// in the error's description.
std::string DiagMessage(SQLSMALLINT handleType, SQLHANDLE handle) {
  if (handle == SQL_NULL_HANDLE) return {};
  SQLCHAR state[8] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  std::vector<SQLCHAR> msg(1024);
  SQLRETURN rc = SQLGetDiagRec(handleType, handle, 1, state, &native, msg.data(),
                               static_cast<SQLSMALLINT>(msg.size()), &len);
  if (rc == SQL_SUCCESS_WITH_INFO && len >= static_cast<SQLSMALLINT>(msg.size())) {
    msg.resize(static_cast<size_t>(len) + 1);
    rc = SQLGetDiagRec(handleType, handle, 1, state, &native, msg.data(),
                       static_cast<SQLSMALLINT>(msg.size()), &len);
  }
  if (!SQL_SUCCEEDED(rc)) return {};
  return std::string(reinterpret_cast<const char*>(msg.data()),
                     std::min(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)), msg.size() - 1));
}

[[noreturn]] void RaiseDb(int number, SQLSMALLINT handleType, SQLHANDLE handle) {
  std::string message = DiagMessage(handleType, handle);
  if (message.empty()) message = ErrorDescription(number);
  Raise(number, std::move(message));
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Statement handles are released however the fetch ends.
struct StatementHandle {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~StatementHandle() {
    if (h != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
};

int64_t PackDate(const Date& d) {
  return ((((static_cast<int64_t>(d.year) * 13 + d.month) * 32 + d.day) * 24 + d.hour) * 60 + d.minute) * 60 +
         d.second;
}

Date UnpackDate(int64_t v) {
  Date d;
  d.second = static_cast<int>(v % 60), v /= 60;
  d.minute = static_cast<int>(v % 60), v /= 60;
  d.hour = static_cast<int>(v % 24), v /= 24;
  d.day = static_cast<int>(v % 32), v /= 32;
  d.month = static_cast<int>(v % 13), v /= 13;
  d.year = static_cast<int>(v);
  return d;
}

// How a column is fetched.
enum class Fetch { Integer, Long, BigInt, Double, Decimal, Date, Timestamp, Time, Boolean, Text };

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

}  // namespace

// ------------------------------------------------------------------ Connection

// A driver loaded by the driver manager tears its handles down with its own static
// objects when the process ends, before the program's; a connection still open then is
// left to the end of the process rather than closed through a driver that is gone. Each
// successful open registers the mark anew, so that it is set before the static objects
// of a driver loaded by that open are destroyed.
struct ProcessEnd {
  std::atomic<bool> reached{false};
  static ProcessEnd& Instance() {
    static ProcessEnd state;
    return state;
  }
  static void Mark() { Instance().reached = true; }
};

struct Connection::Impl {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool open = false;
  std::string connectionString;

  void FreeDbc() {
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    dbc = SQL_NULL_HDBC;
  }
  ~Impl() {
    if (ProcessEnd::Instance().reached) return;
    if (open) SQLDisconnect(dbc);
    FreeDbc();
    if (env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
};

Connection::Connection() : impl_(std::make_unique<Impl>()) {}
Connection::~Connection() = default;

void Connection::Open(const std::string& connectionString, const std::string& userId,
                      const std::string& password, int /*options*/) {
  if (impl_->open) Raise(adoerr::ObjectOpen, "Operation is not allowed when the object is open.");
  Impl& c = *impl_;
  if (c.env == SQL_NULL_HENV) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &c.env))) {
      c.env = SQL_NULL_HENV;
      Raise(err::DbOpenFailed, "The ODBC driver manager could not be started.");
    }
    SQLSetEnvAttr(c.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  }
  c.FreeDbc();
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, c.env, &c.dbc))) {
    c.dbc = SQL_NULL_HDBC;
    RaiseDb(err::DbOpenFailed, SQL_HANDLE_ENV, c.env);
  }
  std::string full = connectionString;
  if (!userId.empty()) full += "UID=" + userId + ";";
  if (!password.empty()) full += "PWD=" + password + ";";
  if (full.size() > static_cast<size_t>(std::numeric_limits<SQLSMALLINT>::max()))
    Raise(err::DbOpenFailed, "The connection string is too long.");
  SQLCHAR out[1024];
  SQLSMALLINT outLen = 0;
  std::vector<SQLCHAR> in(full.begin(), full.end());
  in.push_back(0);
  SQLRETURN rc = SQLDriverConnect(c.dbc, nullptr, in.data(), static_cast<SQLSMALLINT>(full.size()), out,
                                  sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    std::string message = DiagMessage(SQL_HANDLE_DBC, c.dbc);
    c.FreeDbc();
    Raise(err::DbOpenFailed, message.empty() ? ErrorDescription(err::DbOpenFailed) : message);
  }
  c.open = true;
  c.connectionString = connectionString;
  ProcessEnd::Instance();
  std::atexit(ProcessEnd::Mark);
}

void Connection::Close() {
  if (!impl_->open) Raise(adoerr::ObjectClosed, "Operation is not allowed when the object is closed.");
  SQLDisconnect(impl_->dbc);
  impl_->FreeDbc();
  impl_->open = false;
}

int Connection::State() const { return impl_->open ? adStateOpen : adStateClosed; }
const std::string& Connection::ConnectionString() const { return impl_->connectionString; }

// ------------------------------------------------------------------ Recordset

struct Recordset::Column {
  std::string name;
  VarType type = VarType::String;
  std::vector<uint8_t> tags;     // VarType of each row's value (Null, or the column's type)
  std::vector<int64_t> numbers;  // numbers, money, truth values, dates and doubles by bits
  std::vector<std::string> texts;
};

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::Open(const std::string& source, Connection& connection, int /*cursorType*/,
                     int /*lockType*/, int /*options*/) {
  if (open_) Raise(adoerr::ObjectOpen, "Operation is not allowed when the object is open.");
  if (!connection.impl_->open)
    Raise(adoerr::ConnectionNotUsable,
          "The connection cannot be used to perform this operation. It is either closed or invalid in this "
          "context.");
  SQLHDBC dbc = connection.impl_->dbc;
  StatementHandle stmt;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt.h))) {
    stmt.h = SQL_NULL_HSTMT;
    RaiseDb(err::DbCommandFailed, SQL_HANDLE_DBC, dbc);
  }
  std::vector<SQLCHAR> text(source.begin(), source.end());
  text.push_back(0);
  if (source.size() > static_cast<size_t>(std::numeric_limits<SQLINTEGER>::max()))
    Raise(err::DbCommandFailed, "The command text is too long.");
  SQLRETURN rc = SQLExecDirect(stmt.h, text.data(), static_cast<SQLINTEGER>(source.size()));
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) RaiseDb(err::DbCommandFailed, SQL_HANDLE_STMT, stmt.h);

  SQLSMALLINT ncols = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(stmt.h, &ncols))) RaiseDb(err::DbCommandFailed, SQL_HANDLE_STMT, stmt.h);
  std::vector<Column> columns(static_cast<size_t>(std::max<SQLSMALLINT>(ncols, 0)));
  std::vector<Fetch> fetch(columns.size());
  for (SQLUSMALLINT i = 0; i < columns.size(); ++i) {
    SQLCHAR name[512];
    SQLSMALLINT nameLen = 0, sqlType = 0, decimals = 0, nullable = 0;
    SQLULEN size = 0;
    if (!SQL_SUCCEEDED(SQLDescribeCol(stmt.h, static_cast<SQLUSMALLINT>(i + 1), name, sizeof name, &nameLen,
                                      &sqlType, &size, &decimals, &nullable)))
      RaiseDb(err::DbCommandFailed, SQL_HANDLE_STMT, stmt.h);
    columns[i].name.assign(reinterpret_cast<const char*>(name),
                           std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLen, 0)), sizeof name - 1));
    fetch[i] = FetchOf(sqlType, decimals);
    columns[i].type = TypeOf(fetch[i]);
  }

  long rows = 0;
  std::string textValue;
  char buf[1024];
  while (!columns.empty()) {
    rc = SQLFetch(stmt.h);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) RaiseDb(err::DbCommandFailed, SQL_HANDLE_STMT, stmt.h);
    for (size_t i = 0; i < columns.size(); ++i) {
      Column& col = columns[i];
      SQLUSMALLINT n = static_cast<SQLUSMALLINT>(i + 1);
      SQLLEN ind = 0;
      VarType tag = col.type;
      int64_t number = 0;
      auto get = [&](SQLSMALLINT ctype, void* target, SQLLEN size) {
        if (!SQL_SUCCEEDED(SQLGetData(stmt.h, n, ctype, target, size, &ind)))
          RaiseDb(err::DbCommandFailed, SQL_HANDLE_STMT, stmt.h);
      };
      switch (fetch[i]) {
        case Fetch::Integer:
        case Fetch::Long:
        case Fetch::BigInt: {
          SQLBIGINT v = 0;
          get(SQL_C_SBIGINT, &v, 0);
          number = v;
          if (fetch[i] == Fetch::Integer && (v < INT16_MIN || v > INT16_MAX)) tag = VarType::Long;
          if (v < INT32_MIN || v > INT32_MAX) {
            tag = VarType::Double;
            number = std::bit_cast<int64_t>(static_cast<double>(v));
          }
          break;
        }
        case Fetch::Double: {
          double v = 0;
          get(SQL_C_DOUBLE, &v, 0);
          number = std::bit_cast<int64_t>(v);
          break;
        }
        case Fetch::Boolean: {
          unsigned char v = 0;
          get(SQL_C_BIT, &v, 0);
          number = v ? 1 : 0;
          break;
        }
        case Fetch::Date: {
          SQL_DATE_STRUCT v{};
          get(SQL_C_TYPE_DATE, &v, sizeof v);
          Date d;
          d.year = v.year, d.month = v.month, d.day = v.day;
          number = PackDate(d);
          break;
        }
        case Fetch::Timestamp:
        case Fetch::Time: {
          SQL_TIMESTAMP_STRUCT v{};
          get(SQL_C_TYPE_TIMESTAMP, &v, sizeof v);
          Date d;
          if (fetch[i] == Fetch::Timestamp) d.year = v.year, d.month = v.month, d.day = v.day;
          d.hour = v.hour, d.minute = v.minute, d.second = v.second;
          number = PackDate(d);
          break;
        }
        case Fetch::Decimal:
        case Fetch::Text: {
          textValue.clear();
          for (;;) {
            rc = SQLGetData(stmt.h, n, SQL_C_CHAR, buf, sizeof buf, &ind);
            if (rc == SQL_NO_DATA) break;
            if (!SQL_SUCCEEDED(rc)) RaiseDb(err::DbCommandFailed, SQL_HANDLE_STMT, stmt.h);
            if (ind == SQL_NULL_DATA) break;
            size_t got = (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf))
                             ? std::strlen(buf)
                             : static_cast<size_t>(ind);
            textValue.append(buf, got);
            if (rc == SQL_SUCCESS) break;
          }
          if (ind != SQL_NULL_DATA && fetch[i] == Fetch::Decimal) {
            try {
              number = Money::Parse(textValue).Raw();
            } catch (const VbError&) {
              tag = VarType::Double;
              number = std::bit_cast<int64_t>(std::strtod(textValue.c_str(), nullptr));
            }
          }
          break;
        }
      }
      if (ind == SQL_NULL_DATA) tag = VarType::Null, number = 0;
      col.tags.push_back(static_cast<uint8_t>(tag));
      if (col.type == VarType::String) {
        col.texts.push_back(tag == VarType::Null ? std::string() : textValue);
      } else {
        col.numbers.push_back(number);
      }
    }
    ++rows;
  }
  columns_ = std::move(columns);
  rows_ = rows;
  pos_ = 0;
  open_ = true;
}

void Recordset::Close() {
  CheckOpen();
  columns_.clear();
  rows_ = 0;
  pos_ = 0;
  open_ = false;
}

int Recordset::State() const { return open_ ? adStateOpen : adStateClosed; }

void Recordset::CheckOpen() const {
  if (!open_) Raise(adoerr::ObjectClosed, "Operation is not allowed when the object is closed.");
}

bool Recordset::Eof() const {
  CheckOpen();
  return rows_ == 0 || pos_ >= rows_;
}

bool Recordset::Bof() const {
  CheckOpen();
  return rows_ == 0 || pos_ < 0;
}

long Recordset::RecordCount() const {
  CheckOpen();
  return rows_;
}

namespace {
[[noreturn]] void NoCurrentRecord() {
  Raise(adoerr::NoCurrentRecord,
        "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
        "current record.");
}
}  // namespace

void Recordset::MoveFirst() {
  CheckOpen();
  pos_ = 0;
}

void Recordset::MoveLast() {
  CheckOpen();
  pos_ = rows_ == 0 ? 0 : rows_ - 1;
}

void Recordset::MoveNext() {
  CheckOpen();
  if (pos_ >= rows_) NoCurrentRecord();
  ++pos_;
}

void Recordset::MovePrevious() {
  CheckOpen();
  if (pos_ < 0) NoCurrentRecord();
  --pos_;
}

long Recordset::FieldCount() const {
  CheckOpen();
  return static_cast<long>(columns_.size());
}

size_t Recordset::FindColumn(std::string_view name) const {
  CheckOpen();
  for (size_t i = 0; i < columns_.size(); ++i)
    if (EqualNoCase(columns_[i].name, name)) return i;
  Raise(adoerr::ItemNotFound, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

Field Recordset::Fields(std::string_view name) const { return Field(this, FindColumn(name)); }

Field Recordset::Fields(long index) const {
  CheckOpen();
  if (index < 0 || static_cast<size_t>(index) >= columns_.size())
    Raise(adoerr::ItemNotFound, "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  return Field(this, static_cast<size_t>(index));
}

Variant Recordset::Cell(size_t column) const {
  CheckOpen();
  if (pos_ < 0 || pos_ >= rows_) NoCurrentRecord();
  const Column& col = columns_[column];
  size_t row = static_cast<size_t>(pos_);
  VarType tag = static_cast<VarType>(col.tags[row]);
  if (tag == VarType::Null) return Variant::Null();
  if (col.type == VarType::String) return Variant(col.texts[row]);
  int64_t v = col.numbers[row];
  switch (tag) {
    case VarType::Integer: return Variant(static_cast<int16_t>(v));
    case VarType::Long: return Variant(static_cast<int32_t>(v));
    case VarType::Double: return Variant(std::bit_cast<double>(v));
    case VarType::Currency: return Variant(Money::FromRaw(v));
    case VarType::Date: return Variant(UnpackDate(v));
    case VarType::Boolean: return Variant(v != 0);
    default: return Variant();
  }
}

const std::string& Field::Name() const {
  rs_->CheckOpen();
  return rs_->columns_[column_].name;
}

VarType Field::Type() const {
  rs_->CheckOpen();
  return rs_->columns_[column_].type;
}
Variant Field::Value() const { return rs_->Cell(column_); }

}  // namespace qvx::ado
