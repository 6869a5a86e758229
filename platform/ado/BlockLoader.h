// The reading of a command's rows into a recordset's columns.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ado/Ado.h"
#include "platform/ado/Columns.h"
#include "platform/ado/ConnectionImpl.h"
#include "platform/ado/StatementSlots.h"

namespace qvx::ado {

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

  void Execute();

  void Describe(SQLSMALLINT ncols);

  void Bind(size_t blockRows);

  // Fetches every row in blocks; false when the rows must be read again one by one.
  bool FetchBlocks();

  // Moves a block into the columns; false when a text did not fit its buffer or a
  // number its column's range.
  bool TakeBlock(size_t n);

  // The block's rows of a numeric column. A value of the column's own type goes straight
  // into its chunk while the chunk holds nothing else and the number fits the width the
  // column keeps; every other row (a null, a whole number beyond the column's type, the
  // first number beyond 32 bits) takes TakeValue's way. `plain` reads a value as the
  // column keeps it and says whether it is of the column's own type.
  template <class Plain>
  bool TakeNumbers(Column& col, const Buffer& b, size_t n, Plain plain);

  // Row r of the block (its value at p) into the column; false when a number does not fit
  // the currency range, which only a row-by-row read can keep.
  bool TakeValue(Column& col, const Buffer& b, const unsigned char* p, size_t r);

  static int64_t PackStamp(Fetch fetch, const SQL_TIMESTAMP_STRUCT& v);

  // One value with SQLGetData: false (with the tag of the refusal) when the driver could
  // not convert it, raising when the failure is not about the value.
  bool Get(SQLUSMALLINT n, SQLSMALLINT ctype, void* target, SQLLEN size, SQLLEN& ind, uint8_t& bad);

  void FetchRows();

  void Run();
};

}  // namespace qvx::ado
