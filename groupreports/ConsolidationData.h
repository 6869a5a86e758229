// What a group run has read from the company files of its folder: the combined account
// table (one entry per distinct account over all files), the per-file account table with
// each account's weighted balance of the period, the file list (name, percentage, short
// name, employees), the counters of the reading and the run's copies of its options.
//
// The run fills the program-wide value Consolidation and hands it to the output stage,
// WriteConsolidatedReport (groupreports/ConsolidatedReport.h), after every check has
// passed and the user's own company file has been connected again. The value stays as it
// is until the next run, so tests can compare it with the files without any output.
//
// Indexing: files and accounts are numbered from 1; entry 0 of every table is unused.
// The per-file tables and the file list hold the ACCEPTED files only, 1 to
// PercentFileCount, in the order of acceptance (the folder's names sorted). ConsFileCount
// also counts files refused for the file limit (the separate-columns check compares it
// with MaxConsFiles), so it must never be used as an index bound.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/runtime/Runtime.h"

namespace qvx {

// Every per-file table has room for this many files, whatever the file limit.
inline constexpr int kConsFileSlots = 30;
// File limits: printer output, and workbook output.
inline constexpr int16_t kMaxConsFilesPrinter = 6;
inline constexpr int16_t kMaxConsFilesOther = 30;
// Capacity of the account tables at the start of a run, and the step they grow by.
inline constexpr int32_t kAccountArrayStart = 200;
inline constexpr int32_t kAccountArrayStep = 100;

// One entry per file slot, 0 to kConsFileSlots (0 unused).
template <class T>
using FileSlots = std::array<T, kConsFileSlots + 1>;

struct ConsolidationData {
  ConsolidationData();  // every table created empty at kAccountArrayStart

  // ---- limits
  // Capacity of every account-indexed table: indices 0 to AccountArraySize.
  int32_t AccountArraySize = kAccountArrayStart;
  // Files a run may accept: 6 for printer output, 30 otherwise.
  int16_t MaxConsFiles = kMaxConsFilesOther;

  // ---- combined account table, entries 1 to ConsAccCount. An entry is one triple of
  // number, class code and type; the same number can give two entries when files class
  // it differently or hold it as a header in one and a detail account in another.
  std::vector<std::string> ConsAccNumber;  // "4-1000"
  std::vector<std::string> ConsAccName;    // as in the first file that brought the entry
  std::vector<std::string> ConsAccType;    // "UH" common header, else the file's type ("D")
  std::vector<int16_t> ConsAccLevel;       // 1 to 4 (2 at most without common headers)
  std::vector<std::string> ConsAccClass;   // class code: "04IN", "05CO", "06EX", "08OI", "09OE"
  std::vector<int16_t> ConsAccFileCount;   // accepted files holding the entry
  // The common header entry whose group holds the entry in the chart of the first file that
  // brought it (as that file decides its level); 0: none, the entry stands in its section.
  // A holder always comes before the entries it holds.
  std::vector<int32_t> ConsAccHolder;
  int32_t ConsAccCount = 0;

  // ---- per-file account table: [file 1..PercentFileCount][row 1..FileAccCount[file]]
  FileSlots<std::vector<int32_t>> FileAccID;         // the file's AccountID
  FileSlots<std::vector<std::string>> FileAccNumber;
  FileSlots<std::vector<std::string>> FileAccName;   // the name in that file
  FileSlots<std::vector<std::string>> FileAccType;   // as ConsAccType
  FileSlots<std::vector<std::string>> FileAccClass;  // as ConsAccClass
  // Journal amounts of the period times percentage / 100; income and other income
  // negated, so every class reads positive in its usual direction.
  FileSlots<std::vector<Money>> FileAccBalance;
  FileSlots<int32_t> FileAccCount{};

  // ---- file list, 1 to PercentFileCount
  FileSlots<std::string> ConsFileName;   // the company file's name, without its folder
  FileSlots<double> FilePercent{};       // ownership percentage, 1 to 100
  FileSlots<std::string> FileShortName;  // up to 8 characters; may be empty
  FileSlots<float> FileEmployees{};      // 0 when not given

  // ---- the scan and the reading
  std::string ConsPath;                  // the folder read, ending in "/"
  // The group filter as files are compared with it: the typed name without its outer
  // blanks, in capitals, as group names are read; empty: no filter.
  std::string GroupFilter;
  std::vector<std::string> FoundFiles;   // company-file names of the folder, sorted
  int16_t FoundFileCount = 0;            // FoundFiles.size()
  int16_t ConsFileCount = 0;             // passed the group filter, refused ones included
  int16_t GroupMatchCount = 0;           // matched a group filter (counted only with one)
  int16_t PercentFileCount = 0;          // accepted files
  int16_t LeftOutFiles = 0;              // refused for the file limit (told once, after the reading)

  // ---- copies of the options the run was started with
  bool SeparateCols = false;     // a column per company
  int16_t WholeDollars = 0;      // non-zero: amounts in whole dollars
  std::string GroupColSide;      // "L" or "R"
  bool ShowAverage = false;      // an average column
  bool CommonHeaders = false;    // header accounts of level 2 and below as common headers

  // Adds kAccountArrayStep to AccountArraySize and extends every account-indexed table
  // (combined, and each file slot of the per-file one) to it, keeping every entry.
  void GrowAccountArrays();
};

// The header groups of one company file's chart while its profit-and-loss accounts are taken
// in the file's own order: an account belongs to the nearest header above it of a shallower
// level and the same class letters. Every account ends the groups of its level or deeper,
// so a header that is no common header (a level-1 heading) still ends the groups under it.
class ChartHeaders {
 public:
  // The combined entry of the common header whose group holds an account of this level and
  // class code, 0 for none; the groups the account ends are ended first.
  int32_t HolderOf(int16_t level, const std::string& classCode);
  // The account just passed to HolderOf is a header, stored as common header entry (0 when
  // it is not stored as one): it holds the accounts that follow, until one ends its group.
  void Open(int16_t level, const std::string& classCode, int32_t entry);

 private:
  struct Group {
    int16_t level = 0;
    std::string letters;
    int32_t entry = 0;
  };
  std::vector<Group> open_;
};

// The tables of the last group run, created afresh at the start of each run.
inline ConsolidationData Consolidation;

}  // namespace qvx
