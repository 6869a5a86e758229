// The figures of a consolidated profit and loss, worked out from what the group run read
// before anything is drawn: the sorted report lines with their group amount and each
// company's amount, the class totals of the group and of every company, sales, the
// average sales, the company column order, and the rows of the two comparison sections.
//
// Files are the accepted files 1 to N (N = PercentFileCount); every count, average and
// divisor here is over them, never over the files refused for the file limit.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "groupreports/ConsolidationData.h"
#include "platform/runtime/Runtime.h"

namespace qvx {

// The profit-and-loss classes by their two letters (characters 3-4 of a class code).
enum class PLClass { IN, CO, EX, OI, OE, None };
PLClass ClassOf(const std::string& classCode);
// "IN" ... "OE", "" for None.
const char* ClassLetters(PLClass c);

struct ClassTotals {
  std::array<Money, 5> Amount{};
  Money& operator[](PLClass c) { return Amount[static_cast<size_t>(c)]; }
  Money operator[](PLClass c) const { return Amount[static_cast<size_t>(c)]; }
  void Add(PLClass c, Money m) {
    if (c != PLClass::None) (*this)[c] += m;
  }
  Money GrossProfit() const { return (*this)[PLClass::IN] - (*this)[PLClass::CO]; }
  Money OperatingProfit() const { return GrossProfit() - (*this)[PLClass::EX]; }
  Money NetProfit() const { return OperatingProfit() + (*this)[PLClass::OI] - (*this)[PLClass::OE]; }
};

struct ConsolidatedLine {
  std::string Number;  // "4-1000"
  std::string Name;
  std::string Type;    // "UH" common header, else the account type ("D")
  int16_t Level = 0;
  std::string Class;   // "04IN"
  Money Amount;        // group amount; a common header holds the sum of its group
  // The line of the common header whose group holds this line, -1 for none (the section's):
  // the nearest header above it in the chart of the first file that holds it that gives a
  // line, of a shallower level and the same class. Lines come inside their header's group.
  int32_t Holder = -1;
  // The last line of this line's group: the lines after it up to this one are those its
  // group holds, at any depth. A line that holds none ends its own group.
  int32_t GroupEnd = -1;
  // By file 1..N (0 unused): the file's balance of the account with this number and these
  // class letters, whatever its type there (a header of one file shows on the detail line
  // of another's), 0 when the file has none; a common header holds the sum of its group.
  std::vector<Money> FileAmount;
  // In a report of the level the figures were built for, a common header no deeper than
  // that level opens a group: its line prints, and its total row closes the group after
  // the group's last line.
  bool Opens = false;
  // The opened groups that have ended before this line, deepest first: each closes with
  // its total row before the line prints.
  std::vector<int32_t> Closes;
};

struct ConsolidatedFigures {
  int16_t FileCount = 0;  // N, the accepted files
  std::vector<ConsolidatedLine> Lines;
  bool HasIncome = false, HasCostOfSales = false, HasExpenses = false;
  // The class totals of the lines' figures, the group's and by file 1..N each file's, so
  // that a company column adds up to its own lines and the group's to its companies'.
  ClassTotals Group;
  std::vector<ClassTotals> File;
  std::vector<Money> FileSales;   // 0 the group's sales, f those of file f (detail lines)
  Money AvgSales;                 // income of every file over N, to the cent
  // Company columns 1..N (0 unused): the file shown and its heading (short name to 10).
  std::vector<int16_t> ColFile;
  std::vector<std::string> ColHead;
};

// The lines, totals and columns of the run's tables, with the groups that open and close
// in a report of this level (1 to 4).
ConsolidatedFigures BuildConsolidatedFigures(const ConsolidationData& data, int16_t reportLevel = 4);

// The benchmark figures per company kept in the preferences.
struct Benchmarks {
  Money Sales, GrossProfit, NetProfit, Staff;
};

struct ComparisonRow {
  std::string Label;          // fixed text, "$" and the reference figure
  Money Group;                // GROUP column
  std::vector<Money> Column;  // company columns 1..N (0 unused); zero without company columns
  Money Average;              // AVERAGE column
  Money Compare;              // reference figure of the percentages
  bool StaffRow = false;      // Number of Employees: no percentages
  bool WholeDollars = false;  // amounts of this row in whole dollars
};

struct ComparisonSections {
  std::vector<ComparisonRow> Benchmark;  // "Comparison to Benchmarks"
  std::vector<ComparisonRow> Average;    // "Comparison to Average"
  Money AvgSales, AvgGP, AvgNP, AvgStaff, AvgSalesPerStaff, AvgGPPerStaff, AvgNPPerStaff;
};

// Both comparison sections' rows in printing order. Whole dollars start as the run's
// option; the employee row turns them off and every per-employee row on, for the rows
// after it as well.
ComparisonSections BuildComparisons(const ConsolidatedFigures& fig, const ConsolidationData& data,
                                    const Benchmarks& bm);

// a / b as money; 0 when b is 0 or the quotient lies outside the money range.
Money SafeQuotient(double a, double b);

}  // namespace qvx
