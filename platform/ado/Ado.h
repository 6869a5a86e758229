// The data-access layer over unixODBC: one connection opened with a connection string,
// and static, read-only recordsets that hold all their rows, know their record count and
// stand on their first row. Failures are raised as run-time errors carrying the driver's
// message: a refused open as 0x80004005, a failed command as 0x80040E14.
//
//   Connection.cpp      opening and closing, the driver's diagnostics as run-time errors
//   StatementSlots.cpp  the statement handles a connection keeps between commands
//   BlockLoader.cpp     reading a command's rows, in bound blocks or row by row
//   Recordset.cpp       the rows as the caller moves over them and reads their fields
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ado/Variant.h"
#include "platform/runtime/Runtime.h"

namespace qvx::ado {

// Error numbers of the data-access library itself.
namespace adoerr {
inline constexpr int NoCurrentRecord = static_cast<int>(0x800A0BCDu);      // 3021
inline constexpr int ItemNotFound = static_cast<int>(0x800A0CC1u);         // 3265
inline constexpr int ObjectClosed = static_cast<int>(0x800A0E78u);         // 3704
inline constexpr int ObjectOpen = static_cast<int>(0x800A0E79u);           // 3705
inline constexpr int ConnectionNotUsable = static_cast<int>(0x800A0E7Du);  // 3709
}  // namespace adoerr

// A failure reported by the driver: the run-time error (its number and the driver's
// message) with the diagnostic's SQLSTATE and native code, so that a caller can tell a
// refusal of access from any other failure.
class DbError : public VbError {
 public:
  DbError(int number, std::string description, std::string sqlState, long nativeError)
      : VbError(number, std::move(description)), sqlState_(std::move(sqlState)), native_(nativeError) {}
  const std::string& SqlState() const { return sqlState_; }
  long NativeError() const { return native_; }
  // The driver refused access: bad credentials, or a table or change the user may not have.
  bool AccessDenied() const { return sqlState_ == "28000" || native_ == kNativeAccessDenied; }
  static constexpr long kNativeAccessDenied = 23;

 private:
  std::string sqlState_;
  long native_ = 0;
};

// A failure of the connection itself rather than of one statement: SQLSTATE class 08 (the
// company file is gone, replaced, truncated or changed under the driver) or HYT00 (it
// stayed locked past the driver's wait). No later read on that connection can be trusted
// to give right figures, so callers that read for a report end the report on it.
class ConnectionError : public DbError {
 public:
  using DbError::DbError;
  static bool IsConnectionState(std::string_view sqlState) {
    return sqlState.starts_with("08") || sqlState == "HYT00";
  }
};

inline constexpr int adUseServer = 2;
inline constexpr int adUseClient = 3;
inline constexpr int adOpenForwardOnly = 0;
inline constexpr int adOpenStatic = 3;
inline constexpr int adLockReadOnly = 1;
inline constexpr int adOptionUnspecified = -1;
inline constexpr int adStateClosed = 0;
inline constexpr int adStateOpen = 1;

class Recordset;
struct ColumnNames;

// Rows asked of the driver per fetch: a small first block, so that the many one-row
// look-ups stay cheap, then larger blocks. Tests set them to exercise the block edges.
struct FetchBlockRows {
  size_t first = 8;
  size_t next = 1024;
};
FetchBlockRows& BlockRows();

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Kept for the caller's sake: every recordset is fetched whole on the client.
  int CursorLocation = adUseClient;
  // Asked while the driver waits for another program's lock on the company file, the
  // open's own wait included: once it returns other than 0 the wait ends, as one that ran
  // out of patience ends. Given to the driver as the connection opens.
  int (*StopWaiting)() = nullptr;

  // Opens through the driver manager without prompting. A user ID or password given
  // here is added to the string as UID= and PWD=. Raises 0x80004005 with the driver's
  // message when refused, 0x800A0E79 when already open.
  void Open(const std::string& connectionString, const std::string& userId = {},
            const std::string& password = {}, int options = adOptionUnspecified);
  void Close();  // raises 0x800A0E78 when not open
  int State() const;
  const std::string& ConnectionString() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  friend class Recordset;
};

class Field {
 public:
  const std::string& Name() const;
  VarType Type() const;    // the type of the column's values
  Variant Value() const;   // at the current row; 0x800A0BCD at EOF or BOF
  operator Variant() const { return Value(); }

 private:
  Field(const Recordset* rs, size_t column) : rs_(rs), column_(column) {}
  const Recordset* rs_;
  size_t column_;
  friend class Recordset;
};

class Recordset {
 public:
  Recordset();
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // Runs the command on the connection and fetches every row. Raises 0x80040E14 with the
  // driver's message when the command fails, 0x800A0E7D when the connection is not open.
  void Open(const std::string& source, Connection& connection, int cursorType = adOpenStatic,
            int lockType = adLockReadOnly, int options = adOptionUnspecified);
  void Close();  // raises 0x800A0E78 when not open
  int State() const;

  // End and beginning of file (named so that the C library's EOF macro cannot clash).
  bool Eof() const;
  bool Bof() const;
  long RecordCount() const;
  void MoveFirst();
  void MoveNext();
  void MoveLast();
  void MovePrevious();

  // Fields by name (letter case ignored; the first column of that name) or by index
  // from 0; 0x800A0CC1 when there is none.
  Field Fields(std::string_view name) const;
  Field Fields(long index) const;
  long FieldCount() const;
  // rs["Name"]: the value of that field at the current row.
  Variant operator[](std::string_view name) const { return Fields(name).Value(); }

 private:
  struct Column;
  struct Loader;
  void CheckOpen() const {
    if (!open_) RaiseClosed();
  }
  [[noreturn]] static void RaiseClosed();
  size_t FindColumn(std::string_view name) const;
  Variant Cell(size_t column) const;

  bool open_ = false;
  std::vector<Column> columns_;
  std::shared_ptr<const ColumnNames> names_;  // shared with the recordsets of the same columns
  long rows_ = 0;
  long pos_ = 0;  // -1: before the first row; rows_: after the last
  friend class Field;
};

}  // namespace qvx::ado
