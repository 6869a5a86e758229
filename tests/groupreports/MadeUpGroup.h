// Made-up group tables for tests of the report's figures and drawing: accounts added file
// by file and merged into the combined table by number, class code and type, as the
// reading of company files does; each file's accounts are its chart, in its order.
#pragma once

#include <string>
#include <vector>

#include "groupreports/ConsolidationData.h"

namespace qvx::test {

inline Money M(double v) { return Money::FromDouble(v); }

struct MadeUpAccount {
  std::string number;
  std::string name;
  std::string cls;      // "04IN"
  double balance = 0;   // already weighted
  std::string type = "D";
  int16_t level = 2;
};

struct MadeUpFile {
  double percent = 100;
  std::string shortName;
  float employees = 0;
  std::vector<MadeUpAccount> accounts;
};

inline ConsolidationData MadeUpGroup(const std::vector<MadeUpFile>& files, bool commonHeaders = false) {
  ConsolidationData d;
  d.CommonHeaders = commonHeaders;
  d.GroupColSide = "L";
  for (const MadeUpFile& file : files) {
    const int16_t f = ++d.PercentFileCount;
    ++d.ConsFileCount;
    const size_t fi = static_cast<size_t>(f);
    d.ConsFileName[fi] = "FILE" + std::to_string(f) + ".MYO";
    d.FilePercent[fi] = file.percent;
    d.FileShortName[fi] = file.shortName;
    d.FileEmployees[fi] = file.employees;
    ChartHeaders headers;  // the accounts are the file's chart, in its order
    for (const MadeUpAccount& a : file.accounts) {
      const int32_t holder = headers.HolderOf(a.level, a.cls);
      while (d.FileAccCount[fi] + 1 > d.AccountArraySize || d.ConsAccCount + 1 > d.AccountArraySize)
        d.GrowAccountArrays();
      int32_t entry = 0;
      for (int32_t i = 1; i <= d.ConsAccCount && entry == 0; ++i) {
        const size_t ii = static_cast<size_t>(i);
        if (d.ConsAccNumber[ii] == a.number && d.ConsAccClass[ii] == a.cls && d.ConsAccType[ii] == a.type) entry = i;
      }
      if (entry == 0) {
        entry = ++d.ConsAccCount;
        const size_t e = static_cast<size_t>(entry);
        d.ConsAccNumber[e] = a.number;
        d.ConsAccName[e] = a.name;
        d.ConsAccType[e] = a.type;
        d.ConsAccLevel[e] = a.level;
        d.ConsAccClass[e] = a.cls;
        d.ConsAccHolder[e] = holder;
      }
      if (a.type == "UH") headers.Open(a.level, a.cls, entry);
      d.ConsAccFileCount[static_cast<size_t>(entry)] += 1;
      const size_t r = static_cast<size_t>(++d.FileAccCount[fi]);
      d.FileAccID[fi][r] = static_cast<int32_t>(r);
      d.FileAccNumber[fi][r] = a.number;
      d.FileAccName[fi][r] = a.name;
      d.FileAccType[fi][r] = a.type;
      d.FileAccClass[fi][r] = a.cls;
      d.FileAccBalance[fi][r] = Money::FromDouble(a.balance);
    }
  }
  return d;
}

}  // namespace qvx::test
