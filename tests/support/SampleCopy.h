// Copies of the sample company files for tests, changed by the test's own SQL before any
// program opens them, and the test's own reading of a company file through SQLite.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "samples/SamplePaths.h"

namespace qvx::test {

// The test's own reading of a company file (and changing of a copy, before it is connected).
class RawFile {
 public:
  explicit RawFile(const std::string& path, bool writable = false) {
    if (sqlite3_open_v2(path.c_str(), &db_, writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
      throw std::runtime_error("cannot open " + path);
  }
  void Exec(const std::string& sql) const {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string text = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(text + ": " + sql);
    }
  }
  ~RawFile() { sqlite3_close(db_); }
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;

  // Every row of a query, each column as text ("" for NULL).
  std::vector<std::vector<std::string>> Rows(const std::string& sql) const {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + ": " + sql);
    std::vector<std::vector<std::string>> out;
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        const unsigned char* t = sqlite3_column_text(st, c);
        row.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
      }
      out.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

// Copies the sample file name to copy (the sample itself stays untouched) and runs the
// statements of change on the copy.
inline void CopySample(const char* name, const std::string& copy, const std::string& change = {}) {
  std::filesystem::copy_file(samples::SamplePath(name), copy, std::filesystem::copy_options::overwrite_existing);
  if (!change.empty()) RawFile(copy, true).Exec(change);
}

// The statements that make a copy of the sample a business `factor` times its size: its
// journal, activity, budget and opening amounts multiplied.
inline std::string ScaleAmounts(long long factor) {
  const std::string f = std::to_string(factor);
  return "UPDATE JournalRecords SET TaxExclusiveAmount = ROUND(TaxExclusiveAmount * " + f +
         ", 4); UPDATE AccountActivities SET Amount = ROUND(Amount * " + f +
         ", 4); UPDATE AccountBudgets SET Amount = ROUND(Amount * " + f +
         ", 4); UPDATE Accounts SET ThisYearOpeningBalance = ROUND(ThisYearOpeningBalance * " + f + ", 4);";
}

}  // namespace qvx::test
