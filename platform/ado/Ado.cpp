#include "platform/ado/Ado.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace qvx::ado {

namespace {

// The first diagnostic record of a handle: the driver's message, as the caller sees it
// in the error's description, with its SQLSTATE and native code.
struct Diagnostic {
  std::string message;
  std::string sqlState;
  long native = 0;
};

Diagnostic FirstDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle) {
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
  Diagnostic d;
  d.message = std::string(reinterpret_cast<const char*>(msg.data()),
                          std::min(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)), msg.size() - 1));
  d.sqlState = std::string(reinterpret_cast<const char*>(state), strnlen(reinterpret_cast<const char*>(state), 5));
  d.native = native;
  return d;
}

std::string DiagMessage(SQLSMALLINT handleType, SQLHANDLE handle) {
  return FirstDiagnostic(handleType, handle).message;
}

[[noreturn]] void RaiseDb(int number, SQLSMALLINT handleType, SQLHANDLE handle) {
  Diagnostic d = FirstDiagnostic(handleType, handle);
  if (d.message.empty()) d.message = ErrorDescription(number);
  if (ConnectionError::IsConnectionState(d.sqlState))
    throw ConnectionError(number, std::move(d.message), std::move(d.sqlState), d.native);
  throw DbError(number, std::move(d.message), std::move(d.sqlState), d.native);
}

// A statement handle in use is released however the fetch ends, unless it is given back
// to its connection after a command that succeeded.
struct StatementHandle {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~StatementHandle() {
    if (h != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
};

char FoldChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = FoldChar(c);
  return out;
}

}  // namespace

// The names of a command's columns, shared by every recordset of the same names in the
// same order: most commands are look-ups run again and again for other rows.
struct ColumnNames {
  struct Name {
    std::string name;
    std::string folded;  // the name in lower case, made once
    size_t first = 0;    // the first column whose name folds the same
  };
  std::vector<Name> names;
};

namespace {

// The block buffers of one column, in the statement's one allocation.
struct BlockBuffer {
  SQLSMALLINT ctype = 0;
  SQLLEN width = 0;
  unsigned char* data = nullptr;
  SQLLEN* ind = nullptr;
  bool operator==(const BlockBuffer&) const = default;
};

// What a connection keeps between commands of one shape: a statement handle, with the
// buffers its block fetches are bound to. Allocating a handle through the driver manager
// costs more than most of the one-row look-ups run on it, and so does binding each column
// anew. The handle is kept only after a command that succeeded, with its cursor closed.
// Its bindings stay: they point into `arena`, which lives as long as the slot, so a
// command of the same columns finds them made, and a command of other columns binds
// again (unbinding all first when it has fewer).
struct StatementSlot {
  // The names of the commands run, by their names joined with zeros, made once each.
  std::unordered_map<std::string, std::shared_ptr<const ColumnNames>> names;
  std::string nameKey;
  const std::shared_ptr<const ColumnNames>& NamesOf(const std::string& key, size_t count);

  SQLHSTMT h = SQL_NULL_HSTMT;
  std::vector<BlockBuffer> buffers;  // the current command's
  std::vector<BlockBuffer> bound;    // what the handle's columns are bound to
  SQLULEN boundRows = 0;             // the handle's row-array size (0: not set by a block fetch)
  SQLUSMALLINT* boundStatus = nullptr;
  std::unique_ptr<unsigned char[]> arena;  // left unfilled: the driver writes what is read
  size_t arenaSize = 0;
  SQLULEN fetched = 0;

  // What a handle new to the slot, or one unbound, has set.
  void ForgetBindings() {
    bound.clear();
    boundRows = 0;
    boundStatus = nullptr;
  }
  void Free() {
    if (h != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, h);
    h = SQL_NULL_HSTMT;
    ForgetBindings();
  }
};

// A connection's slots, one per shape of command text: the text up to its first digit,
// so that a look-up run again for other rows takes the slot it left bound for its
// columns. The shape only decides what has to be set again, never what is read: a slot
// whose handle was bound for other columns binds them anew.
struct StatementSlots {
  static constexpr size_t kMostShapes = 64;
  std::unordered_map<size_t, StatementSlot> byShape;

  StatementSlot& For(std::string_view source) {
    size_t digit = 0;
    while (digit < source.size() && (source[digit] < '0' || source[digit] > '9')) ++digit;
    const size_t shape = std::hash<std::string_view>()(source.substr(0, digit));
    auto it = byShape.find(shape);
    if (it != byShape.end()) return it->second;
    // A program that makes its commands up as it goes starts over rather than keeping
    // a handle for each.
    if (byShape.size() >= kMostShapes) FreeAll();
    return byShape[shape];
  }
  void FreeAll() {
    for (auto& [shape, slot] : byShape) slot.Free();
    byShape.clear();
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
  StatementSlots statements;

  void FreeDbc() {
    statements.FreeAll();
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    dbc = SQL_NULL_HDBC;
  }
  ~Impl() {
    if (ProcessEnd::Instance().reached) return;
    statements.FreeAll();
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
  impl_->statements.FreeAll();
  SQLDisconnect(impl_->dbc);
  impl_->FreeDbc();
  impl_->open = false;
}

int Connection::State() const { return impl_->open ? adStateOpen : adStateClosed; }
const std::string& Connection::ConnectionString() const { return impl_->connectionString; }

// ------------------------------------------------------------------ Recordset

FetchBlockRows& BlockRows() {
  static FetchBlockRows rows;
  return rows;
}

namespace {

// Rows are kept in chunks of a fixed count, so that a growing recordset never copies
// what it already holds and never holds much more room than it uses.
constexpr size_t kChunkShift = 12;
constexpr size_t kChunkRows = size_t{1} << kChunkShift;
constexpr size_t kChunkMask = kChunkRows - 1;

// Row tags beside the value types: a value the driver could not convert to the column's
// type, raised as a type mismatch or an overflow when it is read.
constexpr uint8_t kBadType = 0xF0;
constexpr uint8_t kBadOverflow = 0xF1;

// Dates without a time of day fit 32 bits.
int32_t PackDay(int year, int month, int day) { return (year * 13 + month) * 32 + day; }

Date UnpackDay(int64_t v) {
  Date d;
  d.day = static_cast<int>(v % 32), v /= 32;
  d.month = static_cast<int>(v % 13), v /= 13;
  d.year = static_cast<int>(v);
  return d;
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

const std::shared_ptr<const ColumnNames>& StatementSlot::NamesOf(const std::string& key, size_t count) {
  auto it = names.find(key);
  if (it != names.end()) return it->second;
  // A program runs a few dozen different commands; a bound keeps one that makes its
  // commands up as it goes from growing without end.
  if (names.size() >= 512) names.clear();
  auto made = std::make_shared<ColumnNames>();
  made->names.resize(count);
  std::string_view rest = key;
  for (size_t i = 0; i < count; ++i) {
    ColumnNames::Name& n = made->names[i];
    const size_t end = rest.find('\0');
    n.name.assign(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    n.folded = Folded(n.name);
    n.first = i;
    for (size_t j = 0; j < i; ++j)
      if (made->names[j].folded == n.folded) {
        n.first = j;
        break;
      }
  }
  return names.emplace(key, std::move(made)).first->second;
}

struct Recordset::Column {
  struct Chunk {
    std::vector<int32_t> n32;    // whole numbers, truth values, days, until the column widens
    std::vector<int64_t> n64;    // money, doubles by bits, date-times, whole numbers once wide
    std::vector<uint8_t> tags;   // each row's tag; empty while every row has the column's type
    std::vector<uint32_t> ends;  // texts: where each row's text ends in the pool
    std::string pool;
  };

  VarType type = VarType::String;
  Fetch fetch = Fetch::Text;
  bool wide = false;
  // The first chunk is held in the column itself: most answers are a row or a few.
  Chunk head;
  std::vector<Chunk> more;  // the chunks after the first
  size_t chunkCount = 0;

  Chunk& At(size_t index) { return index == 0 ? head : more[index - 1]; }
  const Chunk& At(size_t index) const { return index == 0 ? head : more[index - 1]; }
  void Clear() {
    head = Chunk();
    more.clear();
    chunkCount = 0;
  }

  uint8_t OwnTag() const { return static_cast<uint8_t>(type); }

  Chunk& ChunkOf(size_t row) {
    const size_t index = row >> kChunkShift;
    if (index == chunkCount) {
      Chunk& c = index == 0 ? head : more.emplace_back();
      ++chunkCount;
      // Later chunks are filled whole: their room is taken at once.
      if (index > 0) {
        if (type == VarType::String) c.ends.reserve(kChunkRows);
        else if (wide) c.n64.reserve(kChunkRows);
        else c.n32.reserve(kChunkRows);
      }
    }
    return At(index);
  }

  void Tag(Chunk& c, size_t row, uint8_t tag) {
    if (c.tags.empty()) {
      if (tag == OwnTag()) return;
      c.tags.assign(row & kChunkMask, OwnTag());
    }
    c.tags.push_back(tag);
  }

  // Moves the numbers to 64 bits when a value does not fit 32.
  void Widen() {
    for (size_t i = 0; i < chunkCount; ++i) {
      Chunk& c = At(i);
      c.n64.assign(c.n32.begin(), c.n32.end());
      std::vector<int32_t>().swap(c.n32);
    }
    wide = true;
  }

  void AddNumber(size_t row, uint8_t tag, int64_t number) {
    if (!wide && (number < INT32_MIN || number > INT32_MAX)) Widen();
    Chunk& c = ChunkOf(row);
    Tag(c, row, tag);
    if (wide) c.n64.push_back(number);
    else c.n32.push_back(static_cast<int32_t>(number));
  }

  void AddText(size_t row, uint8_t tag, std::string_view text) {
    Chunk& c = ChunkOf(row);
    Tag(c, row, tag);
    if (c.pool.size() + text.size() > UINT32_MAX) Raise(err::OutOfMemory);
    c.pool.append(text);
    c.ends.push_back(static_cast<uint32_t>(c.pool.size()));
  }

  void AddNull(size_t row) {
    if (type == VarType::String) AddText(row, static_cast<uint8_t>(VarType::Null), {});
    else AddNumber(row, static_cast<uint8_t>(VarType::Null), 0);
  }

  // A whole number as the column keeps it: a value beyond the column's type moves to
  // the next wider type (a 16-bit column's to Long, beyond 32 bits to Double).
  void AddWhole(size_t row, int64_t v) {
    uint8_t tag = OwnTag();
    if (fetch == Fetch::Integer && (v < INT16_MIN || v > INT16_MAX)) tag = static_cast<uint8_t>(VarType::Long);
    if (v < INT32_MIN || v > INT32_MAX) {
      AddNumber(row, static_cast<uint8_t>(VarType::Double), std::bit_cast<int64_t>(static_cast<double>(v)));
      return;
    }
    AddNumber(row, tag, v);
  }

  void AddDouble(size_t row, double v) { AddNumber(row, static_cast<uint8_t>(VarType::Double), std::bit_cast<int64_t>(v)); }
};

// Fetches a command's rows into the columns: in blocks of bound, typed arrays; or, when
// a value of a block cannot be converted or a text is longer than its buffer, again from
// the start row by row, where each value that cannot be converted is kept as such and
// raised when read.
struct Recordset::Loader {
  Loader(SQLHSTMT h, StatementSlot& slot, const std::string& text, std::vector<Column>& into)
      : stmt(h), slot(slot), source(text), columns(into), buffers(slot.buffers), arena(slot.arena),
        arenaSize(slot.arenaSize), fetched(slot.fetched) {}

  SQLHSTMT stmt;
  StatementSlot& slot;
  const std::string& source;
  std::vector<Column>& columns;
  std::shared_ptr<const ColumnNames> names;
  size_t rows = 0;

  using Buffer = BlockBuffer;
  std::vector<Buffer>& buffers;
  std::unique_ptr<unsigned char[]>& arena;
  size_t& arenaSize;
  SQLUSMALLINT* status = nullptr;
  SQLULEN& fetched;

  [[noreturn]] void Fail() { RaiseDb(err::DbCommandFailed, SQL_HANDLE_STMT, stmt); }

  void Execute() {
    // The driver manager only reads the text; its terminating zero is the string's own.
    SQLCHAR* text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(source.c_str()));
    SQLRETURN rc = SQLExecDirect(stmt, text, static_cast<SQLINTEGER>(source.size()));
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) Fail();
  }

  void Describe(SQLSMALLINT ncols) {
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

  void Bind(size_t blockRows) {
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
  bool FetchBlocks() {
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
  bool TakeBlock(size_t n) {
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
  bool TakeNumbers(Column& col, const Buffer& b, size_t n, Plain plain) {
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
  bool TakeValue(Column& col, const Buffer& b, const unsigned char* p, size_t r) {
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

  static int64_t PackStamp(Fetch fetch, const SQL_TIMESTAMP_STRUCT& v) {
    Date d;
    if (fetch == Fetch::Timestamp) d.year = v.year, d.month = v.month, d.day = v.day;
    d.hour = v.hour, d.minute = v.minute, d.second = v.second;
    return PackDate(d);
  }

  // One value with SQLGetData: false (with the tag of the refusal) when the driver could
  // not convert it, raising when the failure is not about the value.
  bool Get(SQLUSMALLINT n, SQLSMALLINT ctype, void* target, SQLLEN size, SQLLEN& ind, uint8_t& bad) {
    if (SQL_SUCCEEDED(SQLGetData(stmt, n, ctype, target, size, &ind))) return true;
    bad = BadValueTag(FirstDiagnostic(SQL_HANDLE_STMT, stmt).sqlState);
    if (bad == 0) Fail();
    return false;
  }

  void FetchRows() {
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

  void Run() {
    Execute();
    SQLSMALLINT ncols = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &ncols))) Fail();
    Describe(ncols);
    if (columns.empty()) return;
    if (!FetchBlocks()) FetchRows();
  }
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
  if (source.size() > static_cast<size_t>(std::numeric_limits<SQLINTEGER>::max()))
    Raise(err::DbCommandFailed, "The command text is too long.");
  Connection::Impl& c = *connection.impl_;
  StatementSlot& slot = c.statements.For(source);
  // The slot's kept handle is out of its keeping while the command runs: should the
  // command fail, the handle is freed rather than used again.
  StatementHandle stmt;
  stmt.h = std::exchange(slot.h, static_cast<SQLHSTMT>(SQL_NULL_HSTMT));
  if (stmt.h == SQL_NULL_HSTMT) {
    slot.ForgetBindings();
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &stmt.h))) {
      stmt.h = SQL_NULL_HSTMT;
      RaiseDb(err::DbCommandFailed, SQL_HANDLE_DBC, c.dbc);
    }
  }
  std::vector<Column> columns;
  Loader loader(stmt.h, slot, source, columns);
  loader.Run();
  if (SQL_SUCCEEDED(SQLFreeStmt(stmt.h, SQL_CLOSE))) slot.h = std::exchange(stmt.h, static_cast<SQLHSTMT>(SQL_NULL_HSTMT));
  columns_ = std::move(columns);
  names_ = std::move(loader.names);
  rows_ = static_cast<long>(loader.rows);
  pos_ = 0;
  open_ = true;
}

void Recordset::Close() {
  CheckOpen();
  columns_.clear();
  names_.reset();
  rows_ = 0;
  pos_ = 0;
  open_ = false;
}

int Recordset::State() const { return open_ ? adStateOpen : adStateClosed; }

void Recordset::RaiseClosed() { Raise(adoerr::ObjectClosed, "Operation is not allowed when the object is closed."); }

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
  // Callers mostly write a name as the query does: that is found without folding.
  const std::vector<ColumnNames::Name>& names = names_->names;
  for (const ColumnNames::Name& n : names)
    if (n.name == name) return n.first;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& folded = names[i].folded;
    if (folded.size() != name.size()) continue;
    size_t k = 0;
    while (k < name.size() && FoldChar(name[k]) == folded[k]) ++k;
    if (k == name.size()) return i;
  }
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
  const auto row = static_cast<size_t>(pos_);
  const Column::Chunk& c = col.At(row >> kChunkShift);
  const size_t i = row & kChunkMask;
  const uint8_t tag = c.tags.empty() ? col.OwnTag() : c.tags[i];
  if (tag == kBadType) Raise(err::TypeMismatch);
  if (tag == kBadOverflow) Raise(err::Overflow);
  if (tag == static_cast<uint8_t>(VarType::Null)) return Variant::Null();
  if (col.type == VarType::String) {
    const uint32_t from = i == 0 ? 0 : c.ends[i - 1];
    return Variant(c.pool.substr(from, c.ends[i] - from));
  }
  const int64_t v = col.wide ? c.n64[i] : c.n32[i];
  switch (static_cast<VarType>(tag)) {
    case VarType::Integer: return Variant(static_cast<int16_t>(v));
    case VarType::Long: return Variant(static_cast<int32_t>(v));
    case VarType::Double: return Variant(std::bit_cast<double>(v));
    case VarType::Currency: return Variant(Money::FromRaw(v));
    case VarType::Date: return Variant(col.fetch == Fetch::Date ? UnpackDay(v) : UnpackDate(v));
    case VarType::Boolean: return Variant(v != 0);
    default: return Variant();
  }
}

const std::string& Field::Name() const {
  rs_->CheckOpen();
  return rs_->names_->names[column_].name;
}

VarType Field::Type() const {
  rs_->CheckOpen();
  return rs_->columns_[column_].type;
}
Variant Field::Value() const { return rs_->Cell(column_); }

}  // namespace qvx::ado
