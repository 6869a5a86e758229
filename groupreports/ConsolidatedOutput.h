// The consolidated profit and loss drawn from its figures: page layout and columns, page
// and column headings, the body (sections, header levels and their totals, gross,
// operating and net profit), the comparison sections, rules, and every line with its
// amount and percentage cells, to the printer or to the report's worksheet.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "groupreports/ConsolidatedLines.h"
#include "platform/printer/Printer.h"
#include "groupreports/ConsolidationData.h"

namespace qvx {

// Where everything stands on the page and in the worksheet.
struct ConsolidatedLayout {
  int16_t PortraitLines = 0, LandscapeLines = 0;
  int16_t PageLines = 0;
  int16_t PrintOrientation = 1;  // 1 portrait, 2 landscape
  int16_t AmtWidth = 13;         // characters of an amount: 10 in whole dollars
  int16_t ConsNumberTab = 0;     // print column of the account number (when shown)
  int16_t ConsNameTab = 5;       // print column of the name
  int16_t ConsNameXlCol = 0;     // the name goes in worksheet column ConsNameXlCol + 1
  // Separate columns: 0 the first amount position, 1..N the company columns. One column:
  // 1..5 the staggered positions of the amounts by level.
  std::vector<int16_t> ColPos;
  int16_t GroupColPos = 0, AvgColPos = 0;
  int16_t GroupXlCol = 0, AvgXlCol = 0;
};

struct LayoutSettings {
  int16_t PTLines = 0, LSLines = 0;  // lines per page from the settings; 0 or less: by font
  int16_t BodyFont = 9;
  bool AccountNumbers = false;
};

// Lines per page and orientation are always set: a page length of 0 or less takes the
// body font's default, and the orientation goes by the accepted files.
ConsolidatedLayout PlanConsolidatedLayout(const ConsolidationData& data, int16_t fileCount,
                                          const LayoutSettings& settings);

// Draws the report. Reads and updates the program-wide output state (G): page and line
// counts, the worksheet row, the printer choice and ReportOK.
class ConsolidatedOutput {
 public:
  ConsolidatedOutput(const ConsolidationData& data, const ConsolidatedFigures& fig, const ComparisonSections& cmp,
                     const ConsolidatedLayout& layout);

  void PrintReportBody();
  // Lays the printed lines out on the printer: the body's lines and its column headings,
  // each as it will print. Nothing is printed or counted.
  void LayOutLines() const;

  void PrintConsolidationHeadings();
  void PrintReportLine();
  void NextPrintLine();
  void DrawRuleLine();
  void DrawColumnRules();
  void PrintHeaderTotal();
  void PrintBenchmarkComparison();
  void PrintAverageComparison();

  // ---- the output line
  std::string OutText, OutRowType, OutAcNumber;
  int16_t OutLevel = 1;
  std::array<Money, kConsFileSlots + 1> LineAmounts{};
  Money CompareValue, AvgCellValue;
  bool StaffRow = false;
  bool InAverageSection = false;
  bool LinePrinted = false;
  bool WholeDollars = false;

  // Worksheet columns of the amount area (set by the headings).
  int16_t FirstAmtXlCol = 0, LastAmtXlCol = 0;

 private:
  bool ToPrinter() const;
  bool ToSheet() const;
  void EndOpenLine();
  static std::string Cell(const std::string& amount, const std::string& percent);
  void PrintAt(int column, const std::string& text);
  void SheetText(int row, int column, const std::string& text);
  void SheetAmount(int row, int column, const std::string& text);
  std::string AmountText(Money v);
  std::string PercentText(Money v, Money reference);
  void PrintAmountColumns();
  // The company, group and average captions and the companies' shares over their columns.
  std::array<printer::TextLine, 2> ColumnHeads() const;
  // Ends the line being built: printed, or kept while the lines are collected.
  void EndPrintedLine();
  static double RuleX(double column, double offset);
  void SheetTotalRule(bool netProfit);
  // The rule and the title that open a comparison section, on a new page when the paper
  // has no room for both.
  void TitleLine(const std::string& title);
  void ComparisonRows(const std::vector<ComparisonRow>& rows);
  void ComputedLine(const std::string& text, const std::string& acNumber, Money group,
                    Money (ClassTotals::*of)() const);
  void OpenSystemHeader();
  void OpenUserHeader(size_t index);
  void HandleLine(size_t index);
  Money ClassTotal(const std::string& letters, int16_t column) const;
  bool& SectionOpen(const std::string& letters, int level);

  const ConsolidationData& d_;
  const ConsolidatedFigures& fig_;
  const ComparisonSections& cmp_;
  const ConsolidatedLayout& lay_;
  int16_t n_;                // accepted files, the company columns
  bool separate_, average_;  // company columns; average column (only beside company columns)
  Money avgSales_;
  bool lineOpen_ = false;    // a header line waits for the amounts of its total
  printer::TextLine line_;  // the printed line being built
  // Set while the lines are collected for their layout rather than printed (LayOutLines).
  std::vector<printer::TextLine>* collect_ = nullptr;

  // ---- header levels 1..4 (0 unused); a user level draws the figures of its header's line
  std::array<std::string, 5> HeaderName, HeaderType, HeaderClass;
  std::array<size_t, 5> HeaderLine{};  // the line of the common header of a user level
  std::array<std::array<bool, 5>, 5> sectionOpen_{};  // by class, by level
  bool noSection_ = false;
  int16_t HeaderLevel = 0, TopHeaderLevel = 0, PrevLineLevel = 0, CloseToLevel = 0, LastClosedLevel = 0;
  bool TotalPrinted = false;
  std::string OpenSection, LineSection, CurLineClass;
  int16_t CurLineLevel = 0;
  bool GrossProfitDone = false, OpProfitDone = false;
};

}  // namespace qvx
