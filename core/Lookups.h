// Small shared routines of every report: rounding of amounts, two text routines, two
// path routines, binary search and sorting of key arrays, and the lookups over the
// program-wide account tables (G.AcctIDs and its companions, 1-based, slot 0 empty).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/Runtime.h"

namespace qvx {

// Rounds value in place to `decimals` places, half away from zero, in double
// arithmetic: Int(Abs(value * 10^n) + 0.5) * Sgn(value) / 10^n. A decimal half that
// binary cannot hold exactly may round down (1.005 to two places gives 1.00).
void RoundTo(double& value, int decimals);
// The same, the result stored back as money at the nearest ten-thousandth.
void RoundTo(Money& value, int decimals);

// result = text from its first character that is not "0" ("" for "", "000").
void StripLeadingZeros(const std::string& text, std::string& result);
// count = occurrences of the one-character text ch in text (case-sensitive).
void CountChar(const std::string& text, const std::string& ch, int32_t& count);
// Returns path with exactly one trailing "/" and removes every trailing "/" from the
// caller's path; an empty path gives "" and stays as it is.
std::string AddBackslash(std::string& path);
// Splits at the last "/": folder keeps it, file is what follows. Without a "/" both
// outputs keep their previous values.
void SplitPath(const std::string& path, std::string& folder, std::string& file);

// Index of an entry equal to value between lowerBound and last (default: the last
// entry), or lowerBound - 1 when there is none. The order (ascending or descending) is
// taken from the two end entries. Our key arrays keep slot 0, so the lower bound is 0
// and "not found" is any index below 1.
int32_t BinarySearch(const std::vector<int32_t>& keys, int32_t value, std::optional<int32_t> last = std::nullopt,
                     int32_t lowerBound = 0);
int32_t BinarySearch(const std::vector<std::string>& keys, const std::string& value,
                     std::optional<int32_t> last = std::nullopt, int32_t lowerBound = 0);

// Sorts keys[first .. first + count - 1] in place by character code, ascending (order
// "" or "A"), with an iterative quicksort. Not stable: equal keys end in the order
// this particular partitioning leaves them.
void SortArray(std::vector<std::string>& keys, int32_t first, int32_t count, const std::string& order = "");

// Looks an account identifier up in ids (binary when G.AccountsSorted, else the first
// match from 1), sets G.AccountIndex (below 1: not found) and gives the account's
// number and name from G.AcctNumbers and G.AcctNames, or "" and "".
void GetAccountDetails(const std::vector<int32_t>& ids, int32_t id, std::string& number, std::string& name);
// The same lookup alone, for a caller that reads the tables itself: sets and returns
// G.AccountIndex.
int32_t FindAccountIndex(const std::vector<int32_t>& ids, int32_t id);

// index = position of value in list(1..count); when absent the value is appended at
// count + 1 (the caller sizes the list) and count grows by one.
void FindOrAddIndex(int32_t value, std::vector<int32_t>& list, int32_t& index, int32_t& count);

}  // namespace qvx
