// The statement handles a connection keeps between commands, with their bound block
// buffers and the names of the columns of the commands run on them.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qvx::ado {

// A statement handle in use is released however the fetch ends, unless it is given back
// to its connection after a command that succeeded.
struct StatementHandle {
  SQLHSTMT h = SQL_NULL_HSTMT;
  ~StatementHandle() {
    if (h != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
};

inline char FoldChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

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

}  // namespace qvx::ado
