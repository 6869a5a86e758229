// The forecast's lines: rows in account-number order become header, detail and closing
// lines with their level totals, and the profit lines between the sections.
#include "budgetreports/BudgetForecast.h"

#include <algorithm>

#include "core/Globals.h"
#include "core/ReportOutput.h"

namespace qvx {

namespace {

void AddInto(ForecastFigures& into, const ForecastFigures& what, int sign) {
  for (size_t c = 1; c <= 13; ++c) into[c] += sign > 0 ? what[c] : -what[c];
}

ForecastLine BlankLine() {
  ForecastLine blank;
  blank.kind = ForecastLine::Kind::Blank;
  blank.output = false;
  return blank;
}

}  // namespace

int16_t BudgetForecast::ColumnMonth(int16_t column) const {
  int month = StartMonth + column - 1;
  if (month > 12) month -= 12;
  return static_cast<int16_t>(month);
}

void BudgetForecast::GetMonthBasis(const std::string& mode, std::string& basis, std::string& caption,
                                   const std::string& pattern, int16_t month) const {
  if (mode == "A")
    basis = "A";
  else if (mode == "B")
    basis = "B";
  else
    basis = Mid(pattern, month, 1);
  caption = basis == "A" ? "(Act)" : "(Bgt)";
}

void BudgetForecast::ClearLevelTotals() {
  for (int32_t level = std::max<int32_t>(CurLevel, 0); level <= 4; ++level) {
    LevelLineCount[static_cast<size_t>(level)] = 0;
    LevelTotals[static_cast<size_t>(level)] = {};
  }
}

ForecastReport BudgetForecast::BuildLines() {
  ForecastReport r;
  r.shownColumns = ShownColumns();
  for (int16_t c = 1; c <= 12; ++c) {
    r.columnMonth[static_cast<size_t>(c)] = ColumnMonth(c);
    std::string caption;
    GetMonthBasis(ColumnMode, r.columnBasis[static_cast<size_t>(c)], caption, BasisPattern, ColumnMonth(c));
  }
  LevelHeaderName = {};
  LevelHeaderOpen = {};
  LevelHasHeader = {};
  LevelLineCount = {};
  LevelTotals = {};
  SectionSums = GrossProfitSums = OperatingProfitSums = SurplusSums = {};
  PrevAcctNumber.clear();
  PrevAcctClass.clear();
  PrevLevel = 0;
  TotalSection = 0;
  IsProfitLine = false;
  SummaryCode.clear();
  OPPrinted = false;

  bool rowHandled = false;
  for (int32_t p = 1; p <= RowKeyCount; ++p) {
    RowHasFigures = false;
    const auto row = static_cast<int32_t>(Val(Mid(RowKeys[static_cast<size_t>(p)], 7)));
    if (row < 1 || row > G.TxRowCount) continue;
    const auto acct = static_cast<size_t>(RowAcct[static_cast<size_t>(row)]);
    CurAcctNumber = G.AcctNumbers[acct];
    CurAcctName = G.AcctNames[acct];
    // Levels run 1 to 4; a deeper account is shown at level 4.
    CurLevel = std::clamp<int16_t>(G.AcctLevels[acct], int16_t{1}, int16_t{4});
    CurAcctType = G.AcctTypes[acct];
    AcctClass = Left(CurAcctNumber, 1);
    if (AcctClass < "4") continue;
    rowHandled = true;

    const std::string number = CurAcctNumber, name = CurAcctName, type = CurAcctType, cls = AcctClass;
    const int16_t level = CurLevel;
    // A row of another class ends every block of the class before it, also where the new
    // class has no header of its own at level 1.
    if (!PrevAcctClass.empty() && cls != PrevAcctClass) CurLevel = 1;
    // A sum beyond the money range shows the report's error box; the run goes on.
    ReportStep([&] { CloseBlocks(r); });
    CurAcctNumber = number, CurAcctName = name, CurAcctType = type, AcctClass = cls, CurLevel = level;
    ClearLevelTotals();

    ForecastFigures figures{};
    if (type != "H") {
      // A line whose figures could not be worked out is not shown.
      if (!ReportStep([&] { RowFigures(r, row, figures); })) RowHasFigures = false;
    } else {
      // A header without a name is known by its number, which its closing line carries.
      LevelHeaderName[static_cast<size_t>(level)] = name.empty() ? number : name;
      LevelHeaderOpen[static_cast<size_t>(level)] = kTrue;
      LevelHasHeader[static_cast<size_t>(level)] = kTrue;
      ClearLevelTotals();
    }
    PrevAcctClass = cls;
    PrevAcctNumber = number;
    PrevLevel = level;
    // Below the report level a line is summed up by the closing line of its header at that
    // level; where no header opened that block, nothing would show its figures, so the line
    // shows itself.
    const auto reportLevel = static_cast<size_t>(std::clamp<int16_t>(G.PrintLevel, 1, 4));
    const bool summed = level > G.PrintLevel && LevelHasHeader[reportLevel];
    if (RowHasFigures && (level <= G.PrintLevel || (type != "H" && !summed))) {
      ForecastLine line;
      line.number = number;
      line.text = name;
      // A detail account without a name still has its line, which the totals count: under
      // its number where numbers print, with the number for a name where they don't.
      if (name.empty() && !(G.PrintAccountNumbers && !G.ExcelFile && type == "D")) line.text = number;
      line.level = level;
      line.type = type;
      line.figures = figures;
      PrintLine(r, line);
    }
  }

  if (r.anyOutput && rowHandled) {
    AcctClass = "P";
    CurLevel = 1;
    ReportStep([&] { CloseBlocks(r); });
  }
  return r;
}

void BudgetForecast::RowFigures(ForecastReport& r, int32_t row, ForecastFigures& figures) {
  const auto& actual = MthActual[static_cast<size_t>(row)];
  const auto& budget = MthBudget[static_cast<size_t>(row)];
  Money rowTotal;
  for (size_t m = 1; m <= 12; ++m) rowTotal += actual[m] + budget[m];
  if (rowTotal.IsZero()) return;
  RowHasFigures = true;

  // The line enters the totals whole or not at all: a line whose sums overflow is not
  // shown, so no total may hold part of it.
  auto levelTotals = LevelTotals;
  ForecastFigures sectionSums = SectionSums;
  Money lineTotal;
  for (int16_t c = 1; c <= r.shownColumns; ++c) {
    const auto month = static_cast<size_t>(ColumnMonth(c));
    const Money figure = r.columnBasis[static_cast<size_t>(c)] == "A" ? actual[month] : budget[month];
    figures[static_cast<size_t>(c)] = figure;
    for (int16_t level = 1; level < CurLevel; ++level) levelTotals[static_cast<size_t>(level)][static_cast<size_t>(c)] += figure;
    sectionSums[static_cast<size_t>(c)] += figure;
    lineTotal += figure;
  }
  figures[13] = lineTotal;
  for (int16_t level = 1; level < CurLevel; ++level) levelTotals[static_cast<size_t>(level)][13] += lineTotal;
  sectionSums[13] += lineTotal;
  LevelTotals = levelTotals;
  SectionSums = sectionSums;

  for (int16_t level = static_cast<int16_t>(CurLevel - 1); level >= 1; --level)
    LevelLineCount[static_cast<size_t>(level)] += 1;
  for (int16_t level = static_cast<int16_t>(CurLevel + 1); level <= 3; ++level)
    LevelLineCount[static_cast<size_t>(level)] = 0;

  // Headers show only above a shown detail line, outermost first; a header at the
  // report level is not shown as a header (its closing line carries its name).
  for (int16_t level = 1; level < CurLevel; ++level) {
    if (!LevelHeaderOpen[static_cast<size_t>(level)]) continue;
    if (level < G.PrintLevel) {
      ForecastLine header;
      header.text = LevelHeaderName[static_cast<size_t>(level)];
      header.level = level;
      header.type = "H";
      PrintLine(r, header);
    }
    LevelHeaderOpen[static_cast<size_t>(level)] = kFalse;
  }
}

void BudgetForecast::CloseBlocks(ForecastReport& r) {
  const bool sectionSame = PrevAcctClass == AcctClass;
  for (int16_t L = 3; L >= CurLevel && L > 0; --L) {
    const auto l = static_cast<size_t>(L);
    const Money total = LevelTotals[l][13];
    if (!LevelHasHeader[l]) {
      // Lines without a header of their own at this level have no closing line: they
      // count in the total of the block around them.
    } else if (LevelLineCount[l] <= 1 && L != G.PrintLevel && sectionSame) {
      if (LevelLineCount[l] > 0 && L < G.PrintLevel) r.lines.push_back(BlankLine());
    } else if (!total.IsZero()) {
      TotalSection = 0;
      if (!((LevelLineCount[l] <= 1 || L > G.PrintLevel) && sectionSame)) TotalSection = SectionOf(PrevAcctClass);
      if (CurLevel <= G.PrintLevel) {
        ForecastLine line;
        line.text = (L < G.PrintLevel ? "Total " : "") + LevelHeaderName[l];
        line.level = L;
        line.figures = LevelTotals[l];
        PrintLine(r, line);
      }
      TotalSection = 0;
    }
    LevelTotals[l] = {};
    LevelLineCount[l] = 0;
    // The block has ended, and its header with it.
    LevelHeaderName[l].clear();
    LevelHeaderOpen[l] = kFalse;
    LevelHasHeader[l] = kFalse;
  }

  if (PrevAcctClass.empty() || sectionSame) return;
  // The section just closed enters the profit figures once, whatever was printed of it.
  if (PrevAcctClass == "4") {
    AddInto(GrossProfitSums, SectionSums, 1);
    AddInto(OperatingProfitSums, SectionSums, 1);
    AddInto(SurplusSums, SectionSums, 1);
  } else if (PrevAcctClass == "5") {
    AddInto(GrossProfitSums, SectionSums, -1);
    AddInto(OperatingProfitSums, SectionSums, -1);
    AddInto(SurplusSums, SectionSums, -1);
  } else if (PrevAcctClass == "6") {
    AddInto(OperatingProfitSums, SectionSums, -1);
    AddInto(SurplusSums, SectionSums, -1);
  } else if (PrevAcctClass == "8") {
    AddInto(SurplusSums, SectionSums, 1);
  } else if (PrevAcctClass == "9") {
    AddInto(SurplusSums, SectionSums, -1);
  }

  // The profit line due before the new section, if any.
  const char* caption = nullptr;
  const char* code = nullptr;
  const ForecastFigures* sums = nullptr;
  if (AcctClass == "6") {
    caption = "Gross Profit", code = "GP", sums = &GrossProfitSums;
  } else if (AcctClass == "8" || (AcctClass == "9" && !OPPrinted)) {
    caption = "Operating Profit", code = "OP", sums = &OperatingProfitSums;
    if (AcctClass == "8") OPPrinted = true;
  } else if (AcctClass == "P") {
    caption = "Surplus/Deficit", code = "P", sums = &SurplusSums;
  }
  ForecastLine summary;
  if (sums) {
    summary.text = caption;
    summary.summaryCode = code;
    summary.figures = *sums;
  }
  if (!summary.summaryCode.empty()) {
    TotalSection = 6;
    IsProfitLine = true;
    SummaryCode = summary.summaryCode;
    summary.level = 1;
    PrintLine(r, summary);
  }
  IsProfitLine = false;
  SummaryCode.clear();
  SectionSums = {};
}

void BudgetForecast::PrintLine(ForecastReport& r, ForecastLine line) {
  line.totalSection = TotalSection;
  // A detail line comes here only when it shows (below the report level too, where no
  // header sums it up).
  const bool detail = !line.number.empty() && line.type != "H";
  line.output = (!line.text.empty() || !line.number.empty()) && (line.level <= G.PrintLevel || detail);
  if (line.output) {
    line.ruleBefore = (G.PrintLevel > 1 && line.totalSection >= 1 && line.totalSection <= 5 &&
                       line.level < G.PrintLevel) ||
                      line.totalSection == 6;
    if (line.type == "H") {
      line.figures = {};
    } else {
      // The total column is the sum of the shown columns.
      Money total;
      for (int16_t c = 1; c <= r.shownColumns; ++c) total += line.figures[static_cast<size_t>(c)];
      for (size_t c = static_cast<size_t>(r.shownColumns) + 1; c <= 12; ++c) line.figures[c] = Money{};
      line.figures[13] = total;
      r.anyOutput = true;
      line.blankAfter = (G.PrintLevel > 2 && line.totalSection > 0) ||
                        (G.PrintLevel < 3 && line.level < G.PrintLevel) || line.totalSection == 6;
    }
  }
  r.lines.push_back(std::move(line));
  TotalSection = 0;
}

}  // namespace qvx
