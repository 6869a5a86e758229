#include <sql.h>
#include <sqlext.h>

#include <limits>
#include <utility>

#include "platform/ado/Ado.h"
#include "platform/ado/BlockLoader.h"
#include "platform/ado/Columns.h"
#include "platform/ado/ConnectionImpl.h"
#include "platform/ado/StatementSlots.h"

namespace qvx::ado {

FetchBlockRows& BlockRows() {
  static FetchBlockRows rows;
  return rows;
}

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
