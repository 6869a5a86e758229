// The budget comparison report: one company's profit and loss for a period set against
// its budget or last year. A run has three stages that share the state of this class:
// the data passes fill the line figures and section totals (Figures()); the body builder
// walks the sorted lines into the report's rows (closing rows, profit rows, the Grand
// Totals block) as plain values (Rows(), GrandTotals()); the output stage draws those rows
// to the printer or the worksheet, with headings, paging and rules.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "budgetreports/ReportArrays.h"
#include "platform/runtime/Runtime.h"

namespace qvx {

// What the options dialog chose, as the report uses it.
struct ComparisonOptions {
  int16_t AnnualMode = 0;  // 0 none, 1 annual budget, 2 remaining budget, 3 remaining actual, 4 last year
  bool VarDollars = true;
  bool VarBoth = false;
  bool VarPercent = false;
  bool VarAsLastYear = false;
  bool LYVariance = false;
  bool LYColumns = false;
  bool LYMonth = false;
  bool LYYTDCols = false;
  bool ShowMonths = true;
  int16_t IncludeGJ = kTrue;
  bool IncludeGrandTots = false;
  int16_t PrintLevel = 4;
  bool PrintAccountNumbers = false;
  bool CashBasis = false;
  bool ToExcel = false;
  bool UsePageBreaks = false;
  std::string PageBreakAccts;

  // Any last-year figure is needed.
  bool WantsLastYear() const {
    return AnnualMode == 4 || VarAsLastYear || LYYTDCols || LYMonth || LYVariance || LYColumns;
  }
  // The third column of each block shows a figure (not only a percentage).
  bool ThirdColumnFigure() const { return VarDollars || VarBoth || VarAsLastYear || LYColumns; }
  // The third column shows the percentage instead (never under a "Last Year" caption).
  bool ThirdColumnPercent() const { return VarPercent && !LYColumns && !VarAsLastYear; }
  bool AnnualPercent() const { return AnnualMode >= 1 && AnnualMode <= 3 && (VarPercent || VarBoth); }
};

// Page geometry and column positions: printer tab columns (character columns, from 1)
// and worksheet columns (1 = A); 0 means the column is not used.
struct ComparisonLayout {
  int16_t BodyFont = 9;
  int32_t PTLines = 0, LSLines = 0;
  int32_t PageLines = 0;
  int16_t PrintOrientation = 2;
  int16_t NameWidth = 35, TabAcctNo = 0, NameTab = 3, AnnualGap = 5;
  int16_t TabLYMonth = 0, TabMthAct = 0, TabMthBgt = 0, TabMthVar = 0, TabMthPct = 0;
  int16_t TabYTDAct = 0, TabYTDBgt = 0, TabYTDVar = 0, TabYTDPct = 0;
  int16_t TabAnnual = 0, TabAnnualPct = 0, TabLYYTD = 0, TabLY12 = 0;
  int16_t XlNameCol = 1, XlLYMonth = 0, XlMthAct = 0, XlMthBgt = 0, XlMthVar = 0, XlMthPct = 0;
  int16_t XlYTDAct = 0, XlYTDBgt = 0, XlYTDVar = 0, XlYTDPct = 0;
  int16_t XlAnnual = 0, XlAnnualPct = 0, XlLYYTD = 0, XlLY12 = 0, XlLastCol = 0;
};

// Page lengths and positions for the options; bodyFont, ptLines and lsLines are the
// settings (0 = not set).
ComparisonLayout LayoutColumns(const ComparisonOptions& o, int16_t bodyFont, int32_t ptLines, int32_t lsLines,
                               int16_t amtWidth);

// The figures of one row, in the order of the report's columns.
struct RowFigures {
  Money LYMonth, ActMonth, BgtMonth, VarMonth, ActYTD, BgtYTD, VarYTD, Annual, LYYTD, LY12Months;
};

// The column texts of one row.
struct RowTexts {
  std::string LYMonth, ActMonth, BgtMonth, VarMonth, PctMonth, ActYTD, BgtYTD, VarYTD, PctYTD, Annual, AnnualPct,
      LYYTD, LY12Months;
};

// Texts of a row's figures: amounts without decimals, negatives bracketed, "$" when
// dollar; percentages of variance against budget and of the annual column.
RowTexts FormatRowTexts(const RowFigures& f, const ComparisonOptions& o, bool dollar);

// Whether a row shows a figure other than zero in the columns the options lay out. A row
// is hidden only when it does not, so that every total equals the rows shown above it.
bool ShowsAnyFigure(const RowFigures& f, const ComparisonOptions& o);

// One row of the report body as the output stage draws it.
struct ReportRow {
  enum Kind { Line, Heading, Closing, Profit, Separator, PageBreak };
  Kind kind = Line;
  std::string AcctNo;  // printed on detail lines only
  std::string Name;
  int16_t Level = 1;
  int16_t TotalKind = 0;  // 1..5 closing row of a section, 6 profit row
  bool Dollar = false;
  bool RuleAbove = false;
  bool DoubleRuleBelow = false;
  bool BlankAfter = false;
  bool Written = true;  // within the report level (otherwise only its page tests apply)
  RowFigures Fig;
  RowTexts Txt;
};

// One row of the Grand Totals block.
struct GrandTotalRow {
  std::string Name;
  bool RuleAbove = false;  // profit rows and the surplus
  RowFigures Fig;
  RowTexts Txt;
};

// Section totals, indexed by section 1..5.
struct SectionTotals {
  std::array<Money, 7> ActMonth{}, BgtMonth{}, VarMonth{}, ActYTD{}, BgtYTD{}, VarYTD{}, Annual{}, LYMonth{}, LYYTD{},
      LY12Months{};
};

class BudgetComparison {
 public:
  ComparisonOptions Opt;
  ComparisonLayout Lay;
  ReportArrays Arr;
  SectionTotals Sec;
  // By section, as the body heads it (BuildBody): the names of the Grand Totals rows.
  std::array<std::string, 7> SecName{};
  std::vector<std::string> BreakAccts;     // 1-based, slot 0 unused
  std::vector<int32_t> ExchAcctIDs{0};     // 1-based
  int32_t NbrExchAccts = 0;

  // The body and the Grand Totals block, built by BuildBody().
  std::vector<ReportRow> Rows;
  std::vector<GrandTotalRow> GrandTotals;
  bool ReportOK = false;

  // ---- the run
  // The whole report, dialogs included; the entry routine of the main window.
  void Run();
  // From the chosen period and options to the finish, without the dialogs: the account
  // query, the data passes, the body and the output, then the common finish. False when
  // the run ended early.
  bool Produce();
  // The same without the common finish (the workbook still open, the print job too).
  bool ProduceOutput();

  // ---- data
  // Cuts PageBreakAccts into BreakAccts.
  void SplitPageBreaks();
  // Reads the accounts and gives each one line; false when the query failed.
  bool LoadAccounts();
  // Actual, budget and last-year figures of every line.
  void ReadFigures();
  // Variance columns, section totals and the sorted line order.
  void VarianceAndTotals();
  void SortLines();
  // The line index of a sorted position (1-based).
  int32_t SortedLine(int32_t pos) const;

  // ---- the body
  void BuildBody();
  void GrandTotalsPage();

  // ---- output: draws Rows and GrandTotals to the printer or the worksheet
  void Output();
  void PrintColumnHeadings();
  void PrintAmountRule();
  // Where the rules under the captions and over the totals end, in twips.
  int32_t RuleEndX() const;
  // Lays the printed lines out on the printer (account numbers, names, figures and
  // captions), every figure column at least an amount wide, and the rules.
  void LayOutLines();
  void ExcelAmountRule();
  void WriteGrandTotalRow(const GrandTotalRow& r);

 private:
  // Where the figures of a printed row stand that do not change from row to row, in twips,
  // in the body font: measured once, as the lines are laid out.
  struct FigureGeometry {
    double column = 0, amount = 0, percentSign = 0, annualPercentRight = 0;
  };
  FigureGeometry geometry_;
  // Line routine state.
  struct Level {
    std::string HeaderName;
    bool HeaderPending = false;
    bool HasHeader = false;  // a header opened the level's group; only such a group has a closing row
    int32_t Lines = 0;
    RowFigures Tot;
  };
  void LineRoutine(int32_t pos);
  void ClearLevelsFrom();
  void CheckPageBreak();
  void DetailLine();
  void SectionTotalsRows();
  void ProfitRows();
  RowFigures ProfitFigures(int which) const;
  void RowOutput();
  void LoadAccountFields();
  bool LineWritten() const;  // the detail line being processed shows in the report
  void DrawRow(const ReportRow& r);
  void DrawGrandTotals();

  int32_t CurLine = 0;
  std::string CurAcctNo, RowName, CurType, CurClass;
  int16_t CurLevel = 0;
  int16_t PrevLevel = 0;
  std::string PrevAcctNo, PrevClass;
  bool PrintThisLine = false;
  bool COSSeen = false;
  bool ClosingTotals = false;
  bool GPDone = false, OPDone = false, SurplusDone = false;
  int16_t TotalKind = 0;
  std::string RowKind;
  RowFigures Slots;
  std::array<Level, 5> Lvl{};
};

// The index of the section whose header account is number ("4-0000" .. "9-0000"), or 0.
int SectionHeaderIndex(const std::string& number);

}  // namespace qvx
