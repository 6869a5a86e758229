#include "core/Lookups.h"

#include <cmath>
#include <utility>

#include "core/Globals.h"

namespace qvx {

namespace {

double Rounded(double value, int decimals) {
  static constexpr double kPowers[] = {1.0, 10.0, 100.0, 1000.0, 10000.0};
  const double scale = decimals >= 0 && decimals <= 4 ? kPowers[decimals] : std::pow(10.0, decimals);
  double sign = value > 0 ? 1.0 : value < 0 ? -1.0 : 0.0;
  return std::floor(std::fabs(value * scale) + 0.5) * sign / scale;
}

// Bounds-checked element access with the run-time library's error.
template <typename T>
const T& At(const std::vector<T>& v, int64_t i) {
  if (i < 0 || i >= static_cast<int64_t>(v.size())) Raise(err::SubscriptOutOfRange);
  return v[static_cast<size_t>(i)];
}

template <typename T>
int32_t Search(const std::vector<T>& keys, const T& value, std::optional<int32_t> last, int32_t lowerBound) {
  int64_t lo = lowerBound;
  int64_t hi = last.value_or(static_cast<int32_t>(keys.size()) - 1);
  int32_t result = lowerBound - 1;
  if (hi < lo) return result;
  bool descending = At(keys, lo) > At(keys, hi);
  // Both ends are in the array, and so is every entry between them.
  while (lo <= hi) {
    int64_t mid = (lo + hi) / 2;
    const T& entry = keys[static_cast<size_t>(mid)];
    if (entry == value) return static_cast<int32_t>(mid);
    if ((entry < value) != descending) lo = mid + 1;
    else hi = mid - 1;
  }
  return result;
}

}  // namespace

void RoundTo(double& value, int decimals) { value = Rounded(value, decimals); }

void RoundTo(Money& value, int decimals) {
  // Money is rounded once per posting, so the common case is worked in whole numbers.
  // The double arithmetic above errs by less than 4e-16 of the value; below 2^49
  // ten-thousandths that is less than one step of the rounded place, so the two agree
  // on everything but an exact half, which the double arithmetic may round either way
  // (1.005 gives 1.00): halves and large values keep to it.
  static constexpr int64_t kStep[] = {10000, 1000, 100, 10, 1};
  const int64_t raw = value.Raw();
  constexpr int64_t kExact = int64_t{1} << 49;
  if (decimals >= 0 && decimals <= 4 && raw > -kExact && raw < kExact) {
    const int64_t step = kStep[decimals];
    const int64_t rest = raw % step;  // the sign of raw
    const int64_t twice = rest < 0 ? -2 * rest : 2 * rest;
    if (twice != step) {
      int64_t whole = raw / step;
      if (twice > step) whole += raw < 0 ? -1 : 1;
      value = Money::FromRaw(whole * step);
      return;
    }
  }
  value = Money::FromDouble(Rounded(value.ToDouble(), decimals));
}

void StripLeadingZeros(const std::string& text, std::string& result) {
  size_t p = text.find_first_not_of('0');
  result = p == std::string::npos ? std::string() : text.substr(p);
}

void CountChar(const std::string& text, const std::string& ch, int32_t& count) {
  count = 0;
  if (ch.size() != 1) return;
  for (char c : text)
    if (c == ch[0]) ++count;
}

std::string AddBackslash(std::string& path) {
  if (path.empty()) return {};
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path + "/";
}

void SplitPath(const std::string& path, std::string& folder, std::string& file) {
  size_t p = path.rfind('/');
  if (p == std::string::npos) return;
  folder = path.substr(0, p + 1);
  file = path.substr(p + 1);
}

int32_t BinarySearch(const std::vector<int32_t>& keys, int32_t value, std::optional<int32_t> last,
                     int32_t lowerBound) {
  return Search(keys, value, last, lowerBound);
}

int32_t BinarySearch(const std::vector<std::string>& keys, const std::string& value, std::optional<int32_t> last,
                     int32_t lowerBound) {
  return Search(keys, value, last, lowerBound);
}

void SortArray(std::vector<std::string>& keys, int32_t first, int32_t count, const std::string& order) {
  (void)order;  // every caller sorts ascending ("" or "A")
  if (count < 2) return;
  int64_t lo = first, hi = static_cast<int64_t>(first) + count - 1;
  if (lo < 0 || hi >= static_cast<int64_t>(keys.size())) Raise(err::SubscriptOutOfRange);
  // Pending ranges never overlap and hold two entries or more: count / 2 pairs at most.
  std::vector<int64_t> stack(static_cast<size_t>(count) + 2);
  size_t sp = 1;
  for (;;) {
    while (lo < hi) {
      const std::string pivot = keys[static_cast<size_t>((lo + hi) / 2)];
      int64_t i = lo, j = hi;
      do {
        while (keys[static_cast<size_t>(i)] < pivot) ++i;
        while (keys[static_cast<size_t>(j)] > pivot) --j;
        if (i <= j) {
          if (i < j) std::swap(keys[static_cast<size_t>(i)], keys[static_cast<size_t>(j)]);
          ++i;
          --j;
        }
      } while (i <= j);
      if (i < hi) {
        stack[sp] = i;
        stack[sp + 1] = hi;
        sp += 2;
      }
      hi = j;
    }
    if (sp == 1) return;
    sp -= 2;
    lo = stack[sp];
    hi = stack[sp + 1];
  }
}

int32_t FindAccountIndex(const std::vector<int32_t>& ids, int32_t id) {
  G.AccountIndex = 0;
  if (G.NbrAccounts < 1) return 0;
  if (G.AccountsSorted) {
    G.AccountIndex = BinarySearch(ids, id, G.NbrAccounts);
  } else {
    for (int32_t i = 1; i <= G.NbrAccounts; ++i) {
      if (At(ids, i) == id) {
        G.AccountIndex = i;
        break;
      }
    }
  }
  return G.AccountIndex;
}

void GetAccountDetails(const std::vector<int32_t>& ids, int32_t id, std::string& number, std::string& name) {
  number.clear();
  name.clear();
  if (FindAccountIndex(ids, id) >= 1) {
    number = At(G.AcctNumbers, G.AccountIndex);
    name = At(G.AcctNames, G.AccountIndex);
  }
}

void FindOrAddIndex(int32_t value, std::vector<int32_t>& list, int32_t& index, int32_t& count) {
  index = 0;
  for (int32_t i = 1; i <= count; ++i) {
    if (At(list, i) == value) {
      index = i;
      return;
    }
  }
  if (static_cast<int64_t>(count) + 1 >= static_cast<int64_t>(list.size())) Raise(err::SubscriptOutOfRange);
  ++count;
  index = count;
  list[static_cast<size_t>(index)] = value;
}

}  // namespace qvx
