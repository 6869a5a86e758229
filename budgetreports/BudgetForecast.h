// The budget forecast: one company's profit and loss month by month over up to twelve
// consecutive calendar months, each month showing actual or budget figures, with a row
// total. A run first works out every line and figure into a ForecastReport, then draws
// that value on the printer or into a worksheet.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "cashbasis/ReadTransactions.h"
#include "platform/runtime/Runtime.h"

namespace qvx {

// Figures of one output line: columns 1..12 are the shown month columns in order, 13 is
// the row total; slot 0 holds nothing.
using ForecastFigures = std::array<Money, 14>;

struct ForecastLine {
  enum class Kind { Line, Blank };
  Kind kind = Kind::Line;
  std::string number;        // account number of a detail line
  std::string text;          // account name, "Total " + header name, or a profit caption
  int16_t level = 1;
  std::string type;          // "H" header, "D" detail, "" closing and profit lines
  int16_t totalSection = 0;  // 1..5 section total, 6 profit line, 0 otherwise
  std::string summaryCode;   // "GP", "OP" or "P" on profit lines
  bool output = true;        // printed (empty texts and lines below the report level are not)
  bool ruleBefore = false;
  bool blankAfter = false;
  ForecastFigures figures{};
};

// Everything the drawing needs: the lines in order and the month columns.
struct ForecastReport {
  std::vector<ForecastLine> lines;
  int16_t shownColumns = 0;                  // month columns shown (1..12)
  std::array<int16_t, 13> columnMonth{};     // calendar month of column 1..12
  std::array<std::string, 13> columnBasis{};  // "A" actual or "B" budget of column 1..12
  bool anyOutput = false;                    // a line with figures is output
};

// The run's state and its steps. Public so that the data and line phases can be driven
// and checked on their own; ReportBudgetForecast runs them all.
class BudgetForecast {
 public:
  // ---- the run
  void Run();

  // ---- data (each returns false when the run ends there)
  void ResetTables();
  bool ChoosePeriod();
  bool CheckMonthLimit();
  void SetWindow();
  bool ChooseOptions();
  bool StartOutput();
  // Accounts, rows, layout, figures, the no-data check, sort keys and columns.
  bool ReadData();
  bool LoadAccounts();
  void MapRows();
  void SetLayout();
  bool ReadActuals();
  bool ReadJournal();
  void ReadCashBasis();
  void LoadBudgets();
  bool HasData() const;
  void MakeSortKeys();
  void PlanColumns();

  // ---- lines and totals
  ForecastReport BuildLines();
  void ClearLevelTotals();
  void GetMonthBasis(const std::string& mode, std::string& basis, std::string& caption, const std::string& pattern,
                     int16_t month) const;

  // ---- drawing
  // The lines, then the no-output message and the common finish.
  void Draw(const ForecastReport& report);
  // The lines alone, to the printer or the open worksheet.
  void DrawLines(const ForecastReport& report);
  void PrintForecastHeadings(const ForecastReport& report);
  // Lays the printed lines out on the printer: the captions, every line's account number,
  // name and figures, the total column at least an amount wide.
  void LayOutLines(const ForecastReport& report);
  void PrintTotalRule();
  void ExcelTotalRule();

  // ---- state (names as the report's module keeps them)
  int16_t StartMonth = 0;
  int16_t MonthCount = 0;
  std::string ColumnMode;
  std::string BasisPattern;
  std::array<std::string, 7> SectionCaption{};
  std::array<std::string, 7> SectionHeaderName{};
  std::array<int16_t, 14> ColumnPos{};
  int16_t NumberCol = 2;
  int16_t NameCol = 2;
  int16_t NameWidth = 25;
  int16_t ColumnGap = 4;
  std::string IndentText = "   ";
  std::string LastColLetter;

  MonthTable MthActual;
  MonthTable MthBudget;
  std::vector<int32_t> RowAcct;
  std::vector<std::string> CashKeys;
  std::vector<std::string> RowKeys;
  int32_t RowKeyCount = 0;

  // Line-phase state.
  std::string CurAcctNumber, CurAcctName, CurAcctType, AcctClass;
  int16_t CurLevel = 0;
  std::string PrevAcctNumber, PrevAcctClass;
  int16_t PrevLevel = 0;
  std::array<std::string, 5> LevelHeaderName{};
  std::array<int16_t, 5> LevelHeaderOpen{};
  std::array<int16_t, 5> LevelHasHeader{};  // a header opened the level's block; only such a block closes
  std::array<int32_t, 5> LevelLineCount{};
  std::array<ForecastFigures, 5> LevelTotals{};
  ForecastFigures SectionSums{}, GrossProfitSums{}, OperatingProfitSums{}, SurplusSums{};
  int16_t TotalSection = 0;
  bool IsProfitLine = false;
  std::string SummaryCode;
  bool OPPrinted = false;
  bool RowHasFigures = false;

 private:
  void CloseBlocks(ForecastReport& r);
  void RowFigures(ForecastReport& r, int32_t row, ForecastFigures& figures);
  void PrintLine(ForecastReport& r, ForecastLine line);
  void DrawLine(const ForecastReport& r, const ForecastLine& line);
  void DrawBlank();
  void GrowTables();
  void SetColumnPositions();
  // Section 1..5 of an account number or class (0: none).
  static int16_t SectionOf(const std::string& accountNumber);
  // The loaded account (index 1..NbrAccounts) is of a section: only such an account has
  // actual figures.
  bool InASection(int32_t account) const;
  int16_t ShownColumns() const { return ColumnMode == "AB" ? int16_t{12} : MonthCount; }
  int16_t ColumnMonth(int16_t column) const;

  std::vector<int16_t> acctSection_;  // section of each loaded account
  int32_t keyRowWidth_ = 4;
};

}  // namespace qvx
