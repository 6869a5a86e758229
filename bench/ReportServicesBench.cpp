// Sorting and searching a million keys, and formatting amounts, as the reports do.
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/Globals.h"
#include "core/Lookups.h"
#include "core/NumberFormat.h"

namespace {

using namespace qvx;

constexpr int32_t kKeys = 1000000;

// Report line keys: an account number and a line number, slot 0 empty, many repeats
// of the account part.
std::vector<std::string> LineKeys() {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> account(10000, 19999);
  std::vector<std::string> keys(kKeys + 1);
  for (int32_t i = 1; i <= kKeys; ++i) keys[static_cast<size_t>(i)] = std::to_string(account(rng)) + "-" + std::to_string(i % 97);
  return keys;
}

void BM_SortArray(benchmark::State& state) {
  const std::vector<std::string> unsorted = LineKeys();
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::string> keys = unsorted;
    state.ResumeTiming();
    SortArray(keys, 1, kKeys, "A");
    benchmark::DoNotOptimize(keys.data());
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_SortArray)->Unit(benchmark::kMillisecond);

void BM_BinarySearchLong(benchmark::State& state) {
  std::vector<int32_t> ids(kKeys + 1);
  for (int32_t i = 1; i <= kKeys; ++i) ids[static_cast<size_t>(i)] = i * 3;
  int32_t probe = 0;
  for (auto _ : state) {
    probe = (probe + 7919) % (3 * kKeys + 3);
    benchmark::DoNotOptimize(BinarySearch(ids, probe));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BinarySearchLong);

void BM_BinarySearchString(benchmark::State& state) {
  std::vector<std::string> keys = LineKeys();
  SortArray(keys, 1, kKeys, "A");
  size_t next = 1;
  for (auto _ : state) {
    next = (next + 7919) % kKeys + 1;
    benchmark::DoNotOptimize(BinarySearch(keys, keys[next]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BinarySearchString);

void BM_FormatAmount(benchmark::State& state) {
  const char* amounts[] = {"1234.5", "-1234.5", "0", "12345678.9", "-0.5", "999.995", "123456789", "42.1"};
  G.AmtWidth = 12;
  size_t i = 0;
  for (auto _ : state) {
    G.CellText = amounts[i++ % 8];
    G.DollarSign = static_cast<int16_t>(i % 3 == 0 ? kTrue : kFalse);
    FormatAmount();
    benchmark::DoNotOptimize(G.CellText.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatAmount);

}  // namespace

BENCHMARK_MAIN();
