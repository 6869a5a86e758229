// A big chart of accounts for the output benchmarks: about 1,200 or 5,000 profit and
// loss accounts, every detail account with a journal line and a budget in each month of
// the financial years 2025 and 2026, built once into the temporary folder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>
#include <unistd.h>

#include "samples/CompanyFile.h"
#include "samples/SampleBooks.h"

namespace qvx::bench {

// "<stem><accounts>-<revision>.MYO" in the temporary folder; the last letter changes with
// the chart built below.
inline std::string ChartFile(int accounts) {
  return (std::filesystem::temp_directory_path() /
          ("qvx-bench-chart-" + std::to_string(accounts) + "-" + samples::kBooksRevision + "b.MYO"))
      .string();
}

// Five sections of equal size, each a header over groups of a header and 19 detail
// accounts; each month of the financial years 2025 and 2026 one general journal with a
// line on every detail account (income credited, costs debited, the bank the balance),
// and a budget on each for each month. Amounts run from cents to twenty thousand dollars,
// so that every total keeps to its column as an ordinary business's does.
inline void BuildChart(const std::string& path, int accounts) {
  samples::CompanySetup setup;
  setup.companyName = "Big Chart Pty Ltd";
  setup.currentFinancialYear = 2026;
  setup.lastMonthInFinancialYear = 6;
  samples::CompanyFile f(path, setup);
  const int bank = f.AddAccount({.number = "1-1110", .name = "Cheque Account", .type = 'D', .level = 2});
  const std::pair<char, const char*> sections[] = {
      {'4', "Income"}, {'5', "Cost of Sales"}, {'6', "Expenses"}, {'8', "Other Income"}, {'9', "Other Expenses"}};
  const int groups = std::max(1, (accounts / 5 - 1 + 10) / 20);
  struct Detail {
    int id;
    bool credit;
  };
  std::vector<Detail> details;
  for (const auto& [digit, name] : sections) {
    const std::string cls(1, digit);
    const int top = f.AddAccount({.number = cls + "-0000", .name = name, .type = 'H', .level = 1});
    for (int g = 1; g <= groups; ++g) {
      char number[16];
      std::snprintf(number, sizeof number, "%c-%02d00", digit, g);
      const std::string group = std::string(name) + " Group " + std::to_string(g);
      const int header = f.AddAccount({.number = number, .name = group, .type = 'H', .level = 2, .parent = top});
      for (int d = 1; d <= 19; ++d) {
        std::snprintf(number, sizeof number, "%c-%02d%02d", digit, g, d);
        const std::string account = std::string(name) + " Account " + number;
        const int id = f.AddAccount({.number = number, .name = account, .type = 'D', .level = 3, .parent = header});
        details.push_back({id, digit == '4' || digit == '8'});
      }
    }
  }
  uint64_t seed = 12345;
  auto next = [&] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int64_t>(seed >> 33);
  };
  // In cents, as a raw amount (ten-thousandths of a dollar).
  auto amount = [&] {
    static const int64_t kTops[] = {100, 10000, 100000, 2000000};
    return (next() % kTops[next() % 4] + 1) * 100;
  };
  for (int year : {2025, 2026})
    for (int period = 1; period <= 12; ++period) {
      const int month = (period + 5) % 12 + 1, calendarYear = month >= 7 ? year - 1 : year;
      char date[16];
      std::snprintf(date, sizeof date, "%04d-%02d-15", calendarYear, month);
      samples::Journal j;
      j.date = date;
      Money balance;
      for (const Detail& d : details) {
        const Money m = Money::FromRaw(d.credit ? -amount() : amount());
        j.lines.push_back({.account = d.id, .amount = m});
        balance -= m;
        f.AddBudget(d.id, year, period, Money::FromRaw(amount()));
      }
      j.lines.push_back({.account = bank, .amount = balance});
      f.AddGeneralJournal(j);
    }
  f.Finish();
}

// Builds the charts that are missing, each under a name of this process's own and then
// renamed, so that a build cut short, or one of another benchmark at the same time, is
// never measured.
inline void BuildBigCharts() {
  for (int accounts : {1200, 5000}) {
    const std::string path = ChartFile(accounts);
    if (std::filesystem::exists(path)) continue;
    const std::string part = path + "." + std::to_string(::getpid());
    BuildChart(part, accounts);
    std::filesystem::rename(part, path);
  }
}

}  // namespace qvx::bench
