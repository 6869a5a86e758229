#include "groupreports/ConsolidatedOutput.h"

#include <algorithm>
#include <cmath>

#include "core/Globals.h"
#include "core/Lookups.h"
#include "core/NumberFormat.h"
#include "core/PageHeading.h"
#include "core/ReportOutput.h"
#include "core/ReportRows.h"
#include "core/Preferences.h"
#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

size_t Idx(int i) { return static_cast<size_t>(i); }

// Lines per page of the body font when the settings give none.
void DefaultPageLines(int16_t font, int16_t& portrait, int16_t& landscape) {
  if (font == 10) {
    portrait = 63;
    landscape = 45;
  } else if (font <= 9) {
    portrait = 66;
    landscape = 48;
  } else {
    portrait = static_cast<int16_t>(66 * 9 / font);
    landscape = static_cast<int16_t>(48 * 9 / font);
  }
}

}  // namespace

ConsolidatedLayout PlanConsolidatedLayout(const ConsolidationData& data, int16_t fileCount,
                                          const LayoutSettings& settings) {
  ConsolidatedLayout l;
  int16_t defPortrait = 0, defLandscape = 0;
  DefaultPageLines(settings.BodyFont, defPortrait, defLandscape);
  l.PortraitLines = settings.PTLines > 0 ? settings.PTLines : defPortrait;
  l.LandscapeLines = settings.PTLines > 0 && settings.LSLines > 0 ? settings.LSLines : defLandscape;
  const bool landscape = fileCount >= 3;
  l.PageLines = landscape ? l.LandscapeLines : l.PortraitLines;
  l.PrintOrientation = landscape ? 2 : 1;

  if (settings.AccountNumbers) {
    l.ConsNumberTab = 3;
    l.ConsNameTab = static_cast<int16_t>(l.ConsNumberTab + 10);
    l.ConsNameXlCol = 1;
  } else {
    l.ConsNameTab = 5;
  }
  l.AmtWidth = data.WholeDollars ? 10 : 13;
  const int16_t step = static_cast<int16_t>(l.AmtWidth + 12);
  // Room for every company column a workbook may hold.
  l.ColPos.assign(Idx(std::max<int>(kConsFileSlots, fileCount)) + 1, 0);
  const bool average = data.ShowAverage && data.SeparateCols;
  if (data.SeparateCols && data.GroupColSide == "L") {
    l.ColPos[0] = static_cast<int16_t>(l.ConsNameTab + 40);
    l.GroupColPos = l.ColPos[0];
    l.GroupXlCol = static_cast<int16_t>(l.ConsNameXlCol + 2);
    int16_t p = l.GroupColPos;
    if (average) {
      l.AvgColPos = static_cast<int16_t>(l.GroupColPos + step);
      l.AvgXlCol = static_cast<int16_t>(l.GroupXlCol + 2);
      p = l.AvgColPos;
    }
    for (int k = 1; k <= fileCount; ++k) p = l.ColPos[Idx(k)] = static_cast<int16_t>(p + step);
  } else if (data.SeparateCols) {
    l.ColPos[0] = static_cast<int16_t>(l.ConsNameTab + 40);
    for (int k = 1; k <= fileCount; ++k) l.ColPos[Idx(k)] = static_cast<int16_t>(l.ColPos[0] + (k - 1) * step);
    l.GroupColPos = static_cast<int16_t>((fileCount > 0 ? l.ColPos[Idx(fileCount)] : l.ColPos[0]) + step);
    l.GroupXlCol = static_cast<int16_t>(l.ConsNameXlCol + 2 * fileCount + 2);
    if (average) {
      l.AvgColPos = static_cast<int16_t>(l.GroupColPos + step);
      l.AvgXlCol = static_cast<int16_t>(l.GroupXlCol + 2);
    }
  } else {
    l.ColPos[1] = static_cast<int16_t>(l.ConsNameTab + 40);
    for (int k = 2; k <= 5; ++k) l.ColPos[Idx(k)] = static_cast<int16_t>(l.ColPos[Idx(k - 1)] + l.AmtWidth);
  }
  return l;
}

ConsolidatedOutput::ConsolidatedOutput(const ConsolidationData& data, const ConsolidatedFigures& fig,
                                       const ComparisonSections& cmp, const ConsolidatedLayout& layout)
    : WholeDollars(data.WholeDollars != 0), d_(data), fig_(fig), cmp_(cmp), lay_(layout), n_(fig.FileCount),
      separate_(data.SeparateCols), average_(data.ShowAverage && data.SeparateCols), avgSales_(fig.AvgSales) {}

bool ConsolidatedOutput::ToPrinter() const { return G.PrintToPrinter != 0; }

bool ConsolidatedOutput::ToSheet() const { return G.PrintToExcel != 0 && G.xlSheet != nullptr; }

// ---------------------------------------------------------------- line primitives

void ConsolidatedOutput::NextPrintLine() {
  lineOpen_ = false;
  if (ToPrinter()) {
    line_.push_back(printer::AtPen(""));
    EndPrintedLine();
    G.LineCount += 1;
  } else if (G.PrintToExcel) {
    G.ExcelRow += 1;
  }
}

void ConsolidatedOutput::EndPrintedLine() {
  if (collect_)
    collect_->push_back(std::move(line_));
  else
    printer::Current().PrintLine(line_);
  line_.clear();
}

// A header line left open for its total's amounts is ended before anything else is
// written, so that no worksheet row is written over and no printed line goes uncounted.
void ConsolidatedOutput::EndOpenLine() {
  if (lineOpen_) NextPrintLine();
}

// An amount and its percentage on the printer: a percentage of four or more figures
// keeps a blank between them, so that the two never read as one number.
std::string ConsolidatedOutput::Cell(const std::string& amount, const std::string& percent) {
  if (!amount.empty() && !percent.empty() && percent.front() != ' ') return amount + " " + percent;
  return amount + percent;
}

void ConsolidatedOutput::PrintAt(int column, const std::string& text) { line_.push_back(printer::AtTab(column, text)); }

// Names and labels stay text even when they read as a number or a formula.
void ConsolidatedOutput::SheetText(int row, int column, const std::string& text) {
  G.xlSheet->Cells(row, column).SetText(text);
}

void ConsolidatedOutput::SheetAmount(int row, int column, const std::string& text) {
  G.xlSheet->Cells(row, column).SetValue(text);
}

std::string ConsolidatedOutput::AmountText(Money v) {
  if (v.IsZero()) return "";
  G.CellText = v.ToString();
  G.CellDecimals = WholeDollars ? -1 : 0;
  G.CellWidth = 0;
  G.DollarSign = kFalse;
  G.IsNegative = kFalse;
  FormatAmount("");
  return G.CellText;
}

std::string ConsolidatedOutput::PercentText(Money v, Money reference) {
  if (StaffRow || v.IsZero() || reference.IsZero()) return "";
  const double r = reference.ToDouble();
  const double ratio = OutRowType == "BMTot" ? (v.ToDouble() - r) / r : v.ToDouble() / r;
  // A percentage beyond the money range leaves the cell empty.
  const Money p = SafeQuotient(ratio * 100.0, 1.0);
  if (p.IsZero() && ratio != 0) return "";
  if (!(p <= Money::FromUnits(-1) || p >= Money::FromUnits(1))) return "";
  std::string text = p.ToString();
  int16_t width = 4;
  FormatPercent(text, width);
  return text;
}

// ---------------------------------------------------------------- headings

double ConsolidatedOutput::RuleX(double column, double offset) { return column * 82 + offset; }

std::array<printer::TextLine, 2> ConsolidatedOutput::ColumnHeads() const {
  std::array<printer::TextLine, 2> lines;
  if (!separate_) return lines;
  auto at = [&](int column, const std::string& text) { lines[0].push_back(printer::AtTab(column, text)); };
  if (d_.GroupColSide == "L") {
    at(lay_.GroupColPos + 7, "GROUP");
    if (average_) at(lay_.AvgColPos + 7, "AVERAGE");
  }
  for (int i = 1; i <= n_; ++i) at(lay_.ColPos[Idx(i)] + 7, fig_.ColHead[Idx(i)]);
  if (d_.GroupColSide != "L") {
    at(lay_.GroupColPos + 7, "GROUP");
    if (average_) at(lay_.AvgColPos + 7, "AVERAGE");
  }
  for (int i = 1; i <= n_; ++i) {
    const std::string t = Str(d_.FilePercent[Idx(fig_.ColFile[Idx(i)])]);
    const size_t len = t.size();
    const int offset = len <= 2 ? 13 : len <= 5 ? 12 : len == 6 ? 11 : len == 7 ? 10 : 9;
    lines[1].push_back(printer::AtTab(lay_.ColPos[Idx(i)] + offset - 3 - i, t + " %"));
  }
  return lines;
}

void ConsolidatedOutput::LayOutLines() const {
  printer::Printer& p = printer::Current();
  p.SetFontName("Arial");
  p.SetFontSize(G.BodyFont);
  p.SetFontBold(false);
  // The body is walked as printing walks it, on a fresh copy that keeps its lines instead
  // of printing them, with the run's counters put back afterwards.
  std::vector<printer::TextLine> lines;
  const int16_t lineCount = G.LineCount, newPage = G.NewPageFlag, headingMode = G.HeadingMode, ok = G.ReportOK;
  ConsolidatedOutput dry(d_, fig_, cmp_, lay_);
  dry.collect_ = &lines;
  dry.PrintReportBody();
  G.LineCount = lineCount;
  G.NewPageFlag = newPage;
  G.HeadingMode = headingMode;
  G.ReportOK = ok;
  p.LayOut(lines);
}

void ConsolidatedOutput::PrintConsolidationHeadings() {
  EndOpenLine();
  G.LineCount = 0;
  if (collect_) {
    if (separate_)
      for (printer::TextLine& heads : ColumnHeads()) collect_->push_back(std::move(heads));
    G.NewPageFlag = kFalse;
    G.HeadingMode = 0;
    return;
  }
  if (G.PrintToExcel && G.ReportOK) return;
  if (G.ExcelFile) G.MergeCols = separate_ ? "CE" : "BD";
  G.RptTitle = "Consolidated Profit & Loss Statement";
  PrintReportHeading();
  if (G.PrintCancelled) return;

  const int c = lay_.ConsNameXlCol;
  if (ToPrinter()) {
    printer::Printer& p = printer::Current();
    p.SetDrawWidth(G.Underline);
    const double y = p.CurrentY() + 80;
    p.Line(0, y, p.ScaleWidth(), y);
    p.SetCurrentY(y + 100);
    G.LineCount += 1;
    p.SetFontBold(false);
    p.SetFontName("Arial");
    p.SetFontSize(G.BodyFont);
    if (separate_) {
      for (const printer::TextLine& heads : ColumnHeads()) p.PrintLine(heads);
      G.LineCount += 2;
    }
  }

  if (ToSheet()) {
    excel::Worksheet& sheet = *G.xlSheet;
    G.ExcelRow = G.LineCount;
    const bool left = d_.GroupColSide == "L";
    auto rightAlign = [&](int first, int last) {
      sheet.GetRange(sheet.Cells(G.ExcelRow, first), sheet.Cells(G.ExcelRow, last))
          .SetHorizontalAlignment(excel::xlRight);
    };
    FirstAmtXlCol = static_cast<int16_t>(c + 2);
    LastAmtXlCol = static_cast<int16_t>(c + 2 * n_ + 3 + (average_ ? 2 : 0));
    rightAlign(FirstAmtXlCol, LastAmtXlCol);
    G.ExcelCol = c + 1;
    auto companyCol = [&](int i) { return c + 2 * i + (left ? 2 : 0) + (left && average_ ? 2 : 0); };
    if (separate_) {
      if (left) {
        SheetText(G.ExcelRow, c + 2, "GROUP");
        if (average_) SheetText(G.ExcelRow, c + 4, "AVERAGE");
      }
      for (int i = 1; i <= n_; ++i) SheetText(G.ExcelRow, companyCol(i), fig_.ColHead[Idx(i)]);
      if (!left) {
        SheetText(G.ExcelRow, lay_.GroupXlCol, "GROUP");
        if (average_) SheetText(G.ExcelRow, lay_.GroupXlCol + 2, "AVERAGE");
      }
      G.ExcelRow += 1;
      rightAlign(FirstAmtXlCol, LastAmtXlCol);
      for (int i = 1; i <= n_; ++i)
        sheet.Cells(G.ExcelRow, companyCol(i)).SetValue("'" + Str(d_.FilePercent[Idx(fig_.ColFile[Idx(i)])]) + " %");
      G.ExcelRow += 1;
    }
    FirstAmtXlCol = static_cast<int16_t>(c + 2);
    LastAmtXlCol = static_cast<int16_t>(separate_ && !left ? lay_.GroupXlCol + 1 : c + 2 * n_ + 3);
    if (average_) LastAmtXlCol = static_cast<int16_t>(LastAmtXlCol + 2);
    rightAlign(FirstAmtXlCol, LastAmtXlCol);
    sheet.Columns(G.PrintAccountNumbers ? "B" : "A").SetColumnWidth(30);
    if (separate_) {
      for (int i = 1; i <= n_; ++i) {
        G.ExcelCol = companyCol(i);
        sheet.Cells(G.ExcelRow, G.ExcelCol).SetNumberFormat(WholeDollars ? "#,##0" : "#,##0.00");
        sheet.Cells(G.ExcelRow, G.ExcelCol).SetColumnWidth(12);
        G.ExcelCol += 1;
        sheet.Cells(G.ExcelRow, G.ExcelCol).SetNumberFormat("#,##0");
        sheet.Cells(G.ExcelRow, G.ExcelCol).SetColumnWidth(10);
      }
      // The group's and the average's columns (and their percentages) are as wide as a
      // company's, so that their larger figures show.
      for (const int col : {lay_.GroupXlCol, lay_.AvgXlCol}) {
        if (col == 0) continue;  // no average
        sheet.Cells(G.ExcelRow, col).SetColumnWidth(12);
        sheet.Cells(G.ExcelRow, col + 1).SetColumnWidth(10);
      }
    } else {
      sheet.Columns(G.PrintAccountNumbers ? "C:F" : "B:E").SetColumnWidth(12);
    }
    sheet.ResetAllPageBreaks();
    const int last = separate_ ? 2 * n_ + (G.PrintAccountNumbers ? 3 : 2) : (G.PrintAccountNumbers ? 6 : 5);
    sheet.VPageBreaks().Add(sheet.Cells(52, last + 2));
  }
  NextPrintLine();
}

// ---------------------------------------------------------------- rules

void ConsolidatedOutput::DrawRuleLine() {
  EndOpenLine();
  if (collect_) return;
  if (ToPrinter()) {
    printer::Printer& p = printer::Current();
    p.SetDrawWidth(G.Underline);
    const double y = p.CurrentY() + 80;
    // A rule that would lie past the foot of the paper is left off: the page's foot ends
    // the block there (a title's rule keeps room for itself).
    if (y <= p.ScaleHeight()) p.Line(0, y, std::round(p.ScaleWidth()), y);
    p.SetCurrentY(y + 100);
    G.LineCount += 1;
    return;
  }
  if (!G.PrintToExcel) return;
  G.ExcelRow += 1;
  if (separate_ && ToSheet())
    G.xlSheet->GetRange(G.xlSheet->Cells(G.ExcelRow - 2, FirstAmtXlCol), G.xlSheet->Cells(G.ExcelRow - 1, LastAmtXlCol))
        .Borders(excel::xlEdgeBottom)
        .SetLineStyle(excel::xlContinuous);
}

void ConsolidatedOutput::DrawColumnRules() {
  if (!ToPrinter() || collect_) return;
  printer::Printer& p = printer::Current();
  if (!separate_) {
    const double c = lay_.ColPos[Idx(4 - std::clamp<int>(OutLevel, 1, 3))];
    const double y = p.CurrentY() + 40;
    p.Line(p.Laid(RuleX(c, 100)), y, p.Laid(RuleX(c, WholeDollars ? 1100 : 1400)), y);
    p.SetCurrentY(y - 100);
    return;
  }
  const double y0 = std::round(p.CurrentY());
  const bool left = d_.GroupColSide == "L";
  const double x1 = RuleX(left ? lay_.ColPos[0] : lay_.ColPos[1], 200);
  double x2 = RuleX(lay_.ColPos[Idx(n_)], 1400);
  if (!left) x2 = RuleX(average_ ? lay_.AvgColPos : lay_.GroupColPos, 1400);
  const double y = y0 + 40;
  // The rule runs under the columns where they stand.
  p.Line(p.Laid(x1), y, p.Laid(x2), y);
  p.SetCurrentY(y - 120);
}

void ConsolidatedOutput::SheetTotalRule(bool netProfit) {
  if (!ToSheet()) return;
  excel::Worksheet& s = *G.xlSheet;
  if (separate_) {
    s.GetRange(s.Cells(G.ExcelRow - 2, FirstAmtXlCol), s.Cells(G.ExcelRow - 1, LastAmtXlCol))
        .Borders(excel::xlEdgeBottom)
        .SetLineStyle(excel::xlContinuous);
    return;
  }
  const int k = lay_.ConsNameXlCol + 6 - std::clamp<int>(OutLevel, 1, 4) + (netProfit ? 1 : 0) - 1;
  if (G.ExcelRow < 3) return;
  s.GetRange(s.Cells(G.ExcelRow - 2, k), s.Cells(G.ExcelRow - 1, k))
      .Borders(excel::xlEdgeBottom)
      .SetLineStyle(excel::xlContinuous);
}

// ---------------------------------------------------------------- one line

void ConsolidatedOutput::PrintReportLine() {
  const bool profit = Left(OutText, 10) == "Net Profit" || OutText == "Operating Profit" || OutText == "Gross Profit";
  // A total at the deepest printed level shows no text when its amounts complete the open
  // line of its header. When that line was ended first (a computed line or a page came
  // between), the total is a line of its own and says what it totals.
  const bool completes = lineOpen_ && OutRowType == "Tot" && OutLevel >= G.PrintLevel && !profit;
  const bool ruled = OutRowType == "Tot" && (OutLevel < G.PrintLevel || profit);
  if (!completes) {
    EndOpenLine();
    int reserve = 0;
    if (OutRowType == "UH" || OutRowType == "SH") reserve = 8;
    if (OutAcNumber == "5-0000" || OutAcNumber == "6-0000" || OutAcNumber == "8-0000" || OutAcNumber == "9-0000")
      reserve = 10;
    if (G.LineCount >= G.PageLines - reserve || PaperFull(reserve, ruled)) {
      G.NewPageFlag = kTrue;
      G.HeadingMode = 0;
    }
    if (G.HeadingMode || G.NewPageFlag) PrintConsolidationHeadings();
    if (G.PrintCancelled) return;
  }

  if (ruled) {
    if (ToPrinter())
      DrawColumnRules();
    else
      SheetTotalRule(OutText == "Net Profit/(Loss)");
  }
  if (G.PrintAccountNumbers && OutRowType != "BMTot" && OutRowType != "Tot" && OutRowType != "SH" &&
      OutLevel <= G.PrintLevel) {
    if (ToPrinter())
      PrintAt(lay_.ConsNumberTab, OutAcNumber);
    else if (ToSheet())
      G.xlSheet->Cells(G.ExcelRow, lay_.ConsNameXlCol).SetValue("'" + OutAcNumber);
  }
  if (OutLevel > G.PrintLevel) {
    LinePrinted = true;
    return;
  }
  // A total completing its header's line adds no line of its own.
  if (!completes && !collect_) CountReportRow();
  if (!completes) {
    const int indent = 2 * (std::clamp<int>(OutLevel, 1, 4) - 1);
    if (ToPrinter())
      PrintAt(lay_.ConsNameTab + indent, OutText);
    else if (ToSheet())
      SheetText(G.ExcelRow, lay_.ConsNameXlCol + 1, OutText);
  }
  if (OutRowType == "UH" || OutRowType == "SH") {
    if (OutLevel < G.PrintLevel)
      NextPrintLine();
    else
      lineOpen_ = true;
  } else {
    lineOpen_ = false;
    PrintAmountColumns();
  }
  LinePrinted = true;
}

void ConsolidatedOutput::PrintAmountColumns() {
  const bool bm = OutRowType == "BMTot";
  // The group's benchmark is the companies' together, except per employee.
  const bool perEmployee = InStr(OutText, "Sales per") > 0 || InStr(OutText, "GP") > 0 || InStr(OutText, "NP") > 0;
  const double k = perEmployee ? 1.0 : static_cast<double>(n_);
  if (!separate_) {
    const std::string amount = AmountText(LineAmounts[0]);
    const std::string pct = PercentText(LineAmounts[0], bm ? CompareValue * k : fig_.FileSales[0]);
    if (ToPrinter()) {
      PrintAt(lay_.ColPos[Idx(5 - std::clamp<int>(OutLevel, 1, 4))], Cell(amount, pct));
    } else if (ToSheet()) {
      const int col = lay_.ConsNameXlCol + 6 - std::clamp<int>(OutLevel, 1, 4);
      SheetAmount(G.ExcelRow, col, amount);
      SheetAmount(G.ExcelRow, col + 1, pct);
    }
    NextPrintLine();
    LineAmounts[0] = Money{};
    return;
  }

  std::string avgAmount, avgPct;
  if (average_) {
    Money a = AvgCellValue;
    if (!bm) {
      Money sum;
      for (int c = 1; c <= n_; ++c) sum += LineAmounts[Idx(c)];
      a = sum.IsZero() ? Money{} : SafeQuotient(sum.ToDouble(), n_);
    }
    avgAmount = AmountText(a);
    avgPct = PercentText(a, bm ? (InAverageSection ? AvgCellValue : CompareValue) : avgSales_);
  }
  const bool left = d_.GroupColSide == "L";
  std::string groupAmount, groupPct;
  for (int c = 0; c <= n_; ++c) {
    const Money v = LineAmounts[Idx(c)];
    Money reference;
    if (c == 0)
      reference = bm ? CompareValue * k : fig_.FileSales[0];
    else
      reference = bm ? CompareValue : fig_.FileSales[Idx(fig_.ColFile[Idx(c)])];
    const std::string amount = AmountText(v);
    const std::string pct = PercentText(v, reference);
    if (c == 0) {
      groupAmount = amount;
      groupPct = pct;
    }
    if (ToPrinter()) {
      if (c == 0 && left) {
        if (!InAverageSection) PrintAt(lay_.GroupColPos, Cell(groupAmount, groupPct));
        if (average_) PrintAt(lay_.AvgColPos, Cell(avgAmount, InAverageSection ? "" : avgPct));
      } else if (c >= 1) {
        PrintAt(lay_.ColPos[Idx(c)], Cell(amount, pct));
      }
    } else if (ToSheet()) {
      if (c == 0 && left) {
        if (!InAverageSection) {
          SheetAmount(G.ExcelRow, lay_.GroupXlCol, groupAmount);
          SheetAmount(G.ExcelRow, lay_.GroupXlCol + 1, groupPct);
        }
        if (average_) {
          SheetAmount(G.ExcelRow, lay_.AvgXlCol, avgAmount);
          if (!InAverageSection) SheetAmount(G.ExcelRow, lay_.AvgXlCol + 1, avgPct);
        }
      } else if (c >= 1) {
        const int col = lay_.ConsNameXlCol + 2 * c + (left ? 2 + (average_ ? 2 : 0) : 0);
        SheetAmount(G.ExcelRow, col, amount);
        SheetAmount(G.ExcelRow, col + 1, pct);
      }
    }
    LineAmounts[Idx(c)] = Money{};
  }
  if (!left) {
    if (ToPrinter()) {
      if (!InAverageSection) PrintAt(lay_.GroupColPos, Cell(groupAmount, groupPct));
      if (average_) PrintAt(lay_.AvgColPos, Cell(avgAmount, avgPct));
    } else if (ToSheet()) {
      if (!InAverageSection) {
        SheetAmount(G.ExcelRow, lay_.GroupXlCol, groupAmount);
        SheetAmount(G.ExcelRow, lay_.GroupXlCol + 1, groupPct);
      }
      if (average_) {
        SheetAmount(G.ExcelRow, lay_.AvgXlCol, avgAmount);
        SheetAmount(G.ExcelRow, lay_.AvgXlCol + 1, avgPct);
      }
    }
  }
  NextPrintLine();
}

// ---------------------------------------------------------------- header levels

bool& ConsolidatedOutput::SectionOpen(const std::string& letters, int level) {
  const PLClass c = ClassOf("00" + letters);
  // Any other class has no flags: a scratch one that nothing reads.
  if (c == PLClass::None || level < 0 || level > 4) {
    noSection_ = false;
    return noSection_;
  }
  return sectionOpen_[static_cast<size_t>(c)][Idx(level)];
}

Money ConsolidatedOutput::ClassTotal(const std::string& letters, int16_t column) const {
  const PLClass c = ClassOf("00" + letters);
  if (c == PLClass::None) return {};
  if (column == 0) return fig_.Group[c];
  return fig_.File[Idx(fig_.ColFile[Idx(column)])][c];
}

void ConsolidatedOutput::OpenSystemHeader() {
  const int l = HeaderLevel;
  HeaderName[Idx(l)] = OutText;
  TopHeaderLevel = static_cast<int16_t>(l);
  PrevLineLevel = static_cast<int16_t>(l);
  HeaderClass[Idx(l)] = CurLineClass;
  HeaderType[Idx(l)] = "System";
  OutAcNumber.clear();
  OutRowType = "SH";
  OutLevel = static_cast<int16_t>(l);
  PrintReportLine();
}

// A header that the figures open takes its level until its group closes.
void ConsolidatedOutput::OpenUserHeader(size_t index) {
  PrevLineLevel = CurLineLevel;
  if (!fig_.Lines[index].Opens) return;
  const int l = std::clamp<int>(CurLineLevel, 1, 4);
  HeaderType[Idx(l)] = "User";
  HeaderLine[Idx(l)] = index;
  TopHeaderLevel = static_cast<int16_t>(l);
  HeaderClass[Idx(l)] = CurLineClass;
  LineAmounts[0] = Money{};
}

void ConsolidatedOutput::PrintHeaderTotal() {
  if (LineSection != OpenSection) CloseToLevel = 1;
  HeaderLevel = TopHeaderLevel;
  if (HeaderLevel < CloseToLevel) return;
  const int stop = std::max<int>(CloseToLevel, 1);
  for (int l = TopHeaderLevel; l >= stop; --l) {
    HeaderLevel = static_cast<int16_t>(l);
    const bool user = HeaderType[Idx(l)] == "User";
    const ConsolidatedLine* header = user ? &fig_.Lines[HeaderLine[Idx(l)]] : nullptr;
    // A level holding no header prints nothing.
    if (header) {
      LineAmounts[0] = header->Amount;
      // A header without a name closes under its number.
      OutText = "Total " + (header->Name.empty() ? header->Number : header->Name);
    } else if (HeaderType[Idx(l)] == "System") {
      LineAmounts[0] = ClassTotal(HeaderClass[Idx(l)], 0);
      OutText = "Total " + HeaderName[Idx(l)];
    } else {
      LineAmounts[0] = Money{};
    }
    if (!LineAmounts[0].IsZero()) {
      if (separate_)
        for (int c = 1; c <= n_; ++c)
          LineAmounts[Idx(c)] = header ? header->FileAmount[Idx(fig_.ColFile[Idx(c)])]
                                     : ClassTotal(HeaderClass[Idx(l)], static_cast<int16_t>(c));
      OutRowType = "Tot";
      OutAcNumber.clear();
      OutLevel = static_cast<int16_t>(l);
      PrintReportLine();
      TotalPrinted = true;
      LinePrinted = false;
      if (!user) {
        SectionOpen(HeaderClass[Idx(l)], l) = false;
        HeaderClass[Idx(l)].clear();
      }
      HeaderType[Idx(l)].clear();
    } else if (user) {
      // A header whose group adds up to nothing has ended all the same.
      HeaderType[Idx(l)].clear();
    }
    LastClosedLevel = TopHeaderLevel;
    TopHeaderLevel = static_cast<int16_t>(std::max(1, TopHeaderLevel - 1));
  }
}

// ---------------------------------------------------------------- body

void ConsolidatedOutput::ComputedLine(const std::string& text, const std::string& acNumber, Money group,
                                      Money (ClassTotals::*of)() const) {
  LineAmounts[0] = group;
  if (separate_)
    for (int c = 1; c <= n_; ++c) LineAmounts[Idx(c)] = (fig_.File[Idx(fig_.ColFile[Idx(c)])].*of)();
  OutText = text;
  OutRowType = "Tot";
  OutAcNumber = acNumber;
  OutLevel = 1;
  PrintReportLine();
}

void ConsolidatedOutput::HandleLine(size_t index) {
  const ConsolidatedLine& line = fig_.Lines[index];
  CurLineLevel = line.Level;
  CurLineClass = Mid(line.Class, 3, 2);
  switch (line.Number.empty() ? ' ' : line.Number[0]) {
    case '4': LineSection = "IN"; break;
    case '5': LineSection = "CO"; break;
    case '6': LineSection = "EX"; break;
    case '8': LineSection = "OI"; break;
    case '9': LineSection = "OE"; break;
    default: break;
  }

  const int top = std::clamp<int>(TopHeaderLevel, 0, 4);
  // The figures say which groups end before the line: the deepest open ones. Closing runs
  // down to the level under the deepest group left open, whether or not a line printed
  // since the last total.
  const auto closes = [&](int l) {
    return std::find(line.Closes.begin(), line.Closes.end(), static_cast<int32_t>(HeaderLine[Idx(l)])) !=
           line.Closes.end();
  };
  int holding = top;  // the deepest open level that holds the line
  while (holding > 1 && (HeaderType[Idx(holding)] != "User" || closes(holding))) --holding;
  const bool ends = !line.Closes.empty();
  const bool otherClass = !HeaderClass[Idx(top)].empty() && HeaderClass[Idx(top)] != CurLineClass;
  if (otherClass || ends) {
    TotalPrinted = false;
    CloseToLevel = otherClass ? CurLineLevel : static_cast<int16_t>(holding + 1);
    PrintHeaderTotal();
    if (TotalPrinted) {
      if (CurLineLevel < G.PrintLevel || LastClosedLevel == 1 || LastClosedLevel < G.PrintLevel) NextPrintLine();
      TotalPrinted = false;
    }
  }

  if (line.Number > "5-9999" && fig_.HasIncome && !GrossProfitDone) {
    ComputedLine("Gross Profit", "6-0000", fig_.Group.GrossProfit(), &ClassTotals::GrossProfit);
    NextPrintLine();
    GrossProfitDone = true;
  }
  if (line.Number > "6-9999" && (fig_.HasIncome || fig_.HasCostOfSales || fig_.HasExpenses) && !OpProfitDone) {
    ComputedLine("Operating Profit", "8-0000", fig_.Group.OperatingProfit(), &ClassTotals::OperatingProfit);
    NextPrintLine();
    OpProfitDone = true;
  }

  static const std::pair<const char*, const char*> kSections[] = {
      {"IN", "Income"}, {"CO", "Cost of Sales"}, {"EX", "Expenses"}, {"OI", "Other Income"}, {"OE", "Other Expenses"}};
  HeaderLevel = 1;
  for (const auto& [letters, text] : kSections) {
    if (CurLineClass != letters) continue;
    const bool isOE = CurLineClass == "OE";
    if (!SectionOpen(letters, 1) && (!isOE || !fig_.Group[PLClass::OE].IsZero())) {
      OutText = text;
      OpenSystemHeader();
      SectionOpen(letters, 1) = true;
    }
    // Other Expenses netting to nothing prints no heading, yet its lines are in it: a group
    // closing there closes only itself, not every group around it.
    OpenSection = letters;
  }

  LineAmounts[0] = line.Amount;
  if (separate_)
    for (int c = 1; c <= n_; ++c) LineAmounts[Idx(c)] = line.FileAmount[Idx(fig_.ColFile[Idx(c)])];
  OpenUserHeader(index);

  OutText = line.Name;
  OutAcNumber = line.Number;
  OutRowType = line.Type;
  OutLevel = line.Level;
  // Below the report level a line is summed up by its header at that level; where no header
  // opened that group, nothing would show its amounts, so the line shows itself there.
  const int printLevel = std::clamp<int>(G.PrintLevel, 1, 4);
  // Every group still open holds the line: those that do not were closed before it.
  const bool summed = !HeaderType[Idx(printLevel)].empty();
  if (line.Level > G.PrintLevel && line.Type != "UH" && !summed) OutLevel = G.PrintLevel;
  if (OutLevel <= G.PrintLevel)
    PrintReportLine();
  else
    LineAmounts.fill(Money{});
}

void ConsolidatedOutput::PrintReportBody() {
  GrossProfitDone = OpProfitDone = false;
  LinePrinted = false;
  OpenSection.clear();
  LineSection.clear();
  PrevLineLevel = 0;
  for (size_t index = 0; index < fig_.Lines.size(); ++index) {
    if (G.LineCount >= G.PageLines || PaperFull()) {
      G.NewPageFlag = kTrue;
      G.HeadingMode = 0;
    }
    if (G.HeadingMode || G.NewPageFlag) PrintConsolidationHeadings();
    if (G.PrintCancelled) continue;
    HandleLine(index);
    G.ReportOK = kTrue;
  }
  if (G.PrintCancelled || (collect_ && !G.ReportOK)) return;
  if (!G.ReportOK) {
    G.MsgText = "No output to print for Report ";
    G.Response = static_cast<int16_t>(ui::MsgBox(G.MsgText, ui::Buttons::OK, ui::Icon::None, "No data for report"));
    return;
  }
  CloseToLevel = 1;
  PrintHeaderTotal();
  ComputedLine("Net Profit/(Loss)", "", fig_.Group.NetProfit(), &ClassTotals::NetProfit);
  NextPrintLine();
  if (Preferences::Instance().BMGrossProfit > Money{} && G.LineCount > 20) {
    G.HeadingMode = kTrue;
    G.NewPageFlag = kTrue;
  }
  if (G.HeadingMode) PrintConsolidationHeadings();
  if (G.PrintCancelled) return;
  PrintBenchmarkComparison();
  if (average_) PrintAverageComparison();
}

// ---------------------------------------------------------------- comparison sections

// A comparison section opens with a rule and its title. Its rows check the page for
// themselves, but nothing before the title does: the rule and the title start the next
// page together when the paper has no room for both, so that no title prints past the
// printable area nor leaves its rule alone at the foot. The rule ends at the right edge,
// so the title's tab moves on a line before the title prints: that line is the reserve.
void ConsolidatedOutput::TitleLine(const std::string& title) {
  EndOpenLine();
  if (PaperFull(1, true)) {
    G.NewPageFlag = kTrue;
    G.HeadingMode = 0;
    PrintConsolidationHeadings();
    if (G.PrintCancelled) return;
  }
  DrawRuleLine();
  if (ToPrinter()) {
    PrintAt(lay_.ConsNameTab, title);
    EndPrintedLine();
    G.LineCount += 1;
  } else if (ToSheet()) {
    SheetText(G.ExcelRow, lay_.ConsNameXlCol + 1, title);
    G.ExcelRow += 1;
  }
  NextPrintLine();
}

void ConsolidatedOutput::ComparisonRows(const std::vector<ComparisonRow>& rows) {
  for (const ComparisonRow& r : rows) {
    OutText = r.Label;
    OutRowType = "BMTot";
    OutAcNumber.clear();
    OutLevel = 1;
    LineAmounts[0] = r.Group;
    if (separate_)
      for (int c = 1; c <= n_ && Idx(c) < r.Column.size(); ++c) LineAmounts[Idx(c)] = r.Column[Idx(c)];
    AvgCellValue = r.Average;
    CompareValue = r.Compare;
    StaffRow = r.StaffRow;
    WholeDollars = r.WholeDollars;
    PrintReportLine();
    StaffRow = false;
    NextPrintLine();
  }
}

void ConsolidatedOutput::PrintBenchmarkComparison() {
  TitleLine("Comparison to Benchmarks");
  ComparisonRows(cmp_.Benchmark);
  avgSales_ = cmp_.AvgSales;
}

void ConsolidatedOutput::PrintAverageComparison() {
  InAverageSection = true;
  TitleLine("Comparison to Average");
  ComparisonRows(cmp_.Average);
  DrawRuleLine();
}

}  // namespace qvx
