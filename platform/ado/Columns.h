// How a recordset keeps its rows: each column's values in chunks of a fixed count of
// rows, numbers packed by type, with a tag per row only where a row differs from the
// column's type.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/Ado.h"

namespace qvx::ado {

inline int64_t PackDate(const Date& d) {
  return ((((static_cast<int64_t>(d.year) * 13 + d.month) * 32 + d.day) * 24 + d.hour) * 60 + d.minute) * 60 +
         d.second;
}

inline Date UnpackDate(int64_t v) {
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
inline int32_t PackDay(int year, int month, int day) { return (year * 13 + month) * 32 + day; }

inline Date UnpackDay(int64_t v) {
  Date d;
  d.day = static_cast<int>(v % 32), v /= 32;
  d.month = static_cast<int>(v % 13), v /= 13;
  d.year = static_cast<int>(v);
  return d;
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

}  // namespace qvx::ado
