// The budget comparison's output stage: page and column headings, the body rows with
// their rules and paging, and the Grand Totals block, on the printer or the worksheet.
#include <algorithm>
#include <array>
#include <cmath>

#include "budgetreports/BudgetComparison.h"
#include "core/Globals.h"
#include "core/PageHeading.h"
#include "core/ReportRows.h"
#include "core/Progress.h"
#include "core/ReportOutput.h"
#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

constexpr int kTwipsPerColumn = 82;

template <typename F>
void Step(F&& f) {
  ReportStep(std::forward<F>(f));
}

bool ToPrinter() { return G.PrintToPrinter != 0; }
bool ToSheet() { return G.PrintToExcel != 0 && G.ExcelFile != 0; }

excel::Worksheet& Sheet() {
  if (!G.xlSheet) Raise(err::ObjectNotSet);
  return *G.xlSheet;
}

void SetCell(int32_t row, int column, const std::string& text) {
  if (column <= 0) return;
  Sheet().Cells(row, column).SetValue(text);
}

// The caption over the annual percentages, printed straight after the annual caption.
const std::string kAnnualPercentCaption = "           %";

// The annual column's two caption lines and the tab offset of the first (none without an
// annual column).
struct AnnualCaptions {
  std::string first, second;
  int tab = 0;
};

AnnualCaptions AnnualCaptionsOf(int16_t annualMode) {
  switch (annualMode) {
    case 1: return {"Annual", "Budget", 10};
    case 2: return {"Remaining", "Budget", 8};
    case 3: return {"Remaining", "Actual", 8};
    case 4: return {"Lyr Actual", std::to_string(G.NbrMonths2) + " Month" + (G.NbrMonths2 > 1 ? "s" : ""), 0};
    default: return {};
  }
}

// Where a figure goes on a printed line: at its tab column, as the layout places every
// column; or, for the percentages of the percentage layout, by their right ends, so that
// they line up under their captions whatever their sign and number of digits: those of a
// variance column end where the amounts of a column end, the annual ones under the "%" of
// their caption.
enum class Place { Tab, UnderVariance, UnderAnnualPercent };

// The figure columns of a row in their order: shown or not, printer tab, worksheet
// column, text, place on the printed line. Body rows and Grand Totals rows show the same
// columns.
struct FigureItem {
  bool on;
  int16_t tab;
  int16_t col;
  const std::string* text;
  Place place = Place::Tab;
};

std::array<FigureItem, 15> FigureItems(const ComparisonOptions& o, const ComparisonLayout& L, const RowTexts& t) {
  const bool third = o.ThirdColumnFigure(), pct = o.ThirdColumnPercent();
  return {{
      {o.LYMonth, L.TabLYMonth, L.XlLYMonth, &t.LYMonth},
      {o.ShowMonths, L.TabMthAct, L.XlMthAct, &t.ActMonth},
      {o.ShowMonths, L.TabMthBgt, L.XlMthBgt, &t.BgtMonth},
      {o.ShowMonths && third, L.TabMthVar, L.XlMthVar, &t.VarMonth},
      {o.ShowMonths && pct, L.TabMthVar, L.XlMthVar, &t.PctMonth, Place::UnderVariance},
      {o.ShowMonths && o.VarBoth, L.TabMthPct, L.XlMthPct, &t.PctMonth},
      {true, L.TabYTDAct, L.XlYTDAct, &t.ActYTD},
      {true, L.TabYTDBgt, L.XlYTDBgt, &t.BgtYTD},
      {third, L.TabYTDVar, L.XlYTDVar, &t.VarYTD},
      {pct, L.TabYTDVar, L.XlYTDVar, &t.PctYTD, Place::UnderVariance},
      {o.VarBoth, L.TabYTDPct, L.XlYTDPct, &t.PctYTD},
      {o.AnnualMode > 0, L.TabAnnual, L.XlAnnual, &t.Annual},
      {o.AnnualPercent(), L.TabAnnualPct, L.XlAnnualPct, &t.AnnualPct,
       o.VarPercent ? Place::UnderAnnualPercent : Place::Tab},
      {o.LYYTDCols, L.TabLYYTD, L.XlLYYTD, &t.LYYTD},
      {o.LYYTDCols, L.TabLY12, L.XlLY12, &t.LY12Months},
  }};
}

// A row's figures on its printed line. A percentage placed by its right end has its "%"
// there; a percentage of 0 shows no "%", and its figure stands where the others' figures
// end.
template <class Geometry>
void AddFigures(printer::TextLine& line, const Geometry& g, const ComparisonOptions& o, const ComparisonLayout& L,
                const RowTexts& t) {
  for (const FigureItem& i : FigureItems(o, L, t)) {
    if (!i.on) continue;
    const std::string& text = *i.text;
    if (i.place == Place::Tab) {
      line.push_back(printer::AtTab(i.tab, text));
      continue;
    }
    if (text.empty()) continue;
    double right = i.place == Place::UnderVariance ? (i.tab - 1) * g.column + g.amount : g.annualPercentRight;
    if (!text.ends_with(" %")) right -= g.percentSign;
    line.push_back(printer::EndingAt(right, text));
  }
}

// A body row's printed line: its account number and name, and the figures of a row that
// shows them.
template <class Geometry>
printer::TextLine RowLine(const Geometry& g, const ComparisonOptions& o, const ComparisonLayout& L,
                          const ReportRow& r) {
  printer::TextLine line;
  line.reserve(2 + 15);  // the number, the name and every figure a row can show
  if (o.PrintAccountNumbers && r.TotalKind == 0 && r.kind == ReportRow::Line) line.push_back(printer::AtTab(L.TabAcctNo, r.AcctNo));
  const std::string indent(static_cast<size_t>(3 * (std::clamp<int>(r.Level, 1, 4) - 1)), ' ');
  line.push_back(printer::AtTab(L.NameTab, indent + Left(r.Name, L.NameWidth)));
  if (r.kind != ReportRow::Heading || r.Level >= o.PrintLevel) AddFigures(line, g, o, L, r.Txt);
  return line;
}

// A Grand Totals row's printed line.
template <class Geometry>
printer::TextLine GrandTotalLine(const Geometry& g, const ComparisonOptions& o, const ComparisonLayout& L,
                                 const GrandTotalRow& r) {
  printer::TextLine line;
  line.reserve(1 + 15);
  line.push_back(printer::AtTab(L.NameTab, Left(r.Name, L.NameWidth)));
  AddFigures(line, g, o, L, r.Txt);
  return line;
}

std::string Dashes(double count) { return std::string(static_cast<size_t>(std::max<int16_t>(CInt(count), 0)), '-'); }

// The working texts of the column headings, the same on the printer and the worksheet.
struct HeadingTexts {
  std::string varCaption, toMonthName, monthDashes, periodDashes, periodCaption, cmpCaption;
  AnnualCaptions annual;
  int cmpMonthTab = 0, cmpYTDTab = 0;
};

HeadingTexts HeadingTextsOf(const ComparisonOptions& o) {
  HeadingTexts h;
  h.varCaption = (o.VarAsLastYear || o.LYColumns) ? "Last Year" : "Variance";
  h.annual = AnnualCaptionsOf(o.AnnualMode);
  const int toMonth = static_cast<int>(Val(Mid(G.ODBCToDate, 6, 2)));
  h.toMonthName = (toMonth >= 1 && toMonth <= 12) ? G.MonthLong[static_cast<size_t>(toMonth)] : "";
  int captionWidth = o.VarBoth ? 60 : 50;
  if (h.toMonthName.size() < 6) captionWidth += 4;
  h.monthDashes = Dashes((captionWidth - static_cast<double>(h.toMonthName.size())) / 2.0);
  h.periodDashes = Dashes((captionWidth - 20) / 2.0);
  const bool fromYearStart = static_cast<int>(Val(Mid(G.FromYMD, 5, 2))) == G.FirstMonth;
  h.periodCaption = fromYearStart ? "  Year to Date " : " Selected Period ";
  h.cmpCaption = o.LYVariance ? "Last Year" : "Budget";
  h.cmpMonthTab = o.LYVariance ? 9 : 10;
  h.cmpYTDTab = o.LYVariance ? 8 : 9;
  return h;
}

// A caption of a printed heading line: its text at a tab column, or straight after the
// caption before it (tab 0).
struct Caption {
  int tab;
  std::string text;
};

// The two printed caption lines over the figure columns.
std::array<std::vector<Caption>, 2> PrinterCaptions(const ComparisonOptions& o, const ComparisonLayout& L,
                                                    const HeadingTexts& h) {
  std::array<std::vector<Caption>, 2> lines;
  std::vector<Caption>& first = lines[0];
  if (o.LYMonth) first.push_back({L.TabLYMonth + 10, "Last"});
  if (o.ShowMonths)
    first.push_back({L.TabMthAct + 5, "(" + h.monthDashes + " " + h.toMonthName + " " + h.monthDashes + ")"});
  first.push_back({L.TabYTDAct + 5, "(" + h.periodDashes + h.periodCaption + h.periodDashes + " )"});
  first.push_back({L.TabAnnual + h.annual.tab + (o.AnnualMode == 4 ? 7 : 0), h.annual.first});
  if (o.LYYTDCols) first.push_back({L.TabLYYTD + 16, "Last Year"});

  std::vector<Caption>& second = lines[1];
  if (o.LYMonth) second.push_back({L.TabLYMonth + 8, h.toMonthName});
  if (o.ShowMonths) {
    second.push_back({L.TabMthAct + 11, "Actual"});
    second.push_back({L.TabMthBgt + h.cmpMonthTab, h.cmpCaption});
    second.push_back({L.TabMthVar + 7, h.varCaption});
    if (o.VarBoth) second.push_back({0, "%"});
  }
  second.push_back({L.TabYTDAct + 9, "Actual"});
  second.push_back({L.TabYTDBgt + h.cmpYTDTab, h.cmpCaption});
  second.push_back({L.TabYTDVar + 7, h.varCaption});
  if (o.VarBoth) second.push_back({0, "%"});
  if (o.AnnualMode > 0) {
    int tab = L.TabAnnual + 10;
    if (o.AnnualMode == 4) tab -= G.NbrMonths2 > 9 ? 3 : 2;
    second.push_back({tab, h.annual.second});
    if (o.AnnualPercent()) second.push_back({0, kAnnualPercentCaption});
  }
  if (o.LYYTDCols) {
    second.push_back({L.TabLYYTD + 10, "YTD"});
    second.push_back({L.TabLY12 + 7, "12 Months"});
  }
  return lines;
}

// The caption lines as printed.
std::array<printer::TextLine, 2> CaptionLines(const std::array<std::vector<Caption>, 2>& captions) {
  std::array<printer::TextLine, 2> lines;
  for (size_t k = 0; k < captions.size(); ++k)
    for (const Caption& c : captions[k])
      lines[k].push_back(c.tab ? printer::AtTab(c.tab, c.text) : printer::AtPen(c.text));
  return lines;
}

}  // namespace

void BudgetComparison::LayOutLines() {
  const ComparisonOptions& o = Opt;
  const ComparisonLayout& L = Lay;
  printer::Printer& p = printer::Current();
  p.SetFontName("Arial");
  p.SetFontSize(G.BodyFont);
  p.SetFontBold(false);
  FigureGeometry& g = geometry_;
  g.column = p.ColumnWidth();
  // An amount is as wide as its padding: two blanks to a digit.
  const std::string amount(2 * static_cast<size_t>(std::max<int16_t>(G.AmtWidth, 0)), ' ');
  g.amount = p.TextWidth(amount);
  g.percentSign = p.TextWidth(" %");
  // The right end of the "%" caption over the annual percentages.
  g.annualPercentRight =
      (L.TabAnnual + 10 - 1) * g.column + p.TextWidth(AnnualCaptionsOf(o.AnnualMode).second + kAnnualPercentCaption);
  std::vector<printer::TextLine> lines;
  lines.reserve(Rows.size() + GrandTotals.size() + 20);
  // Every amount column at least as wide as an amount.
  const RowTexts none;
  for (const FigureItem& i : FigureItems(o, L, none)) {
    const bool percent = i.text == &none.PctMonth || i.text == &none.PctYTD || i.text == &none.AnnualPct;
    if (i.on && i.place == Place::Tab && !percent) lines.push_back({printer::AtTab(i.tab, amount)});
  }
  for (printer::TextLine& caption : CaptionLines(PrinterCaptions(o, L, HeadingTextsOf(o))))
    lines.push_back(std::move(caption));
  for (const ReportRow& r : Rows) {
    if (r.kind == ReportRow::Separator || r.kind == ReportRow::PageBreak || !r.Written) continue;
    if (r.Name.empty() && r.AcctNo.empty()) continue;
    lines.push_back(RowLine(g, o, L, r));
  }
  for (const GrandTotalRow& r : GrandTotals) lines.push_back(GrandTotalLine(g, o, L, r));
  p.LayOut(lines, {static_cast<double>(RuleEndX())});
}

void BudgetComparison::Output() {
  const auto count = static_cast<int32_t>(Rows.size());
  if (ToSheet()) {
    Step([&] {
      Progress& p = Progress::Instance();
      p.Window().PBar.setMinimum(0);
      p.SetMax(std::max<int32_t>(count, 1));
      p.SetCaption("Writing to Excel ...");
      p.Show();
      G.ProgressShown = true;
    });
  }
  for (int32_t i = 0; i < count; ++i) {
    Step([&] { DrawRow(Rows[static_cast<size_t>(i)]); });
    if (G.PrintCancelled) break;
    if (ToSheet()) {
      Step([&] { Progress::Instance().SetValue(i + 1); });
      ui::DoEvents();
    }
  }
  if (G.PrintCancelled) return;
  if (G.ExcelFile && G.ProgressShown) Step([] { Progress::Instance().Unload(); });
  if (G.ReportOK) {
    if (!GrandTotals.empty()) Step([&] { DrawGrandTotals(); });
    // Each figure column as wide as its widest figure, so that none shows as "###".
    if (ToSheet())
      Step([&] { excel::Range(Sheet(), 1, Lay.XlNameCol + 1, excel::kMaxRows, Lay.XlLastCol).WidenForNumbers(); });
  } else {
    G.MsgText = "No output to print for Report ";
    ui::MsgBox(G.MsgText, ui::Buttons::OK, ui::Icon::None, "No data for report");
  }
}

void BudgetComparison::DrawRow(const ReportRow& r) {
  const ComparisonOptions& o = Opt;
  const ComparisonLayout& L = Lay;
  if (r.kind == ReportRow::Separator) {
    if (ToPrinter()) {
      printer::Current().Print({});
      G.LineCount += 1;
    } else if (G.ExcelFile) {
      G.ExcelRow += 1;
    }
    return;
  }
  if (r.kind == ReportRow::PageBreak) {
    if (ToPrinter() && G.ReportOK) {
      G.NewPageFlag = kTrue;
      PrintColumnHeadings();
    }
    return;
  }
  const bool heading = r.kind == ReportRow::Heading;
  if (ToPrinter()) {
    // The lines a row keeps below it on its page: a heading some of its group, a profit row its rules.
    const int32_t reserve = heading ? (r.Level == 1 ? 20 : 10) : r.TotalKind == 6 ? 6 : 0;
    if (G.LineCount >= G.PageLines - reserve || PaperFull(reserve, r.RuleAbove)) {
      G.NewPageFlag = kTrue;
      G.HeadingMode = 0;
    }
  }
  // A detail line without a name still shows, under its account number.
  if (r.Name.empty() && r.AcctNo.empty()) return;
  if (G.HeadingMode || G.NewPageFlag) PrintColumnHeadings();
  if (G.PrintCancelled || !r.Written) return;

  if (r.RuleAbove) {
    if (ToPrinter())
      PrintAmountRule();
    else if (G.ExcelFile)
      ExcelAmountRule();
  }
  printer::Printer* p = ToPrinter() ? &printer::Current() : nullptr;
  const int32_t row = G.ExcelRow;
  if (o.PrintAccountNumbers && r.TotalKind == 0 && r.kind == ReportRow::Line && ToSheet())
    SetCell(row, 1, "'" + r.AcctNo);
  if (ToSheet() && heading && r.Level == 1) Sheet().Cells(row, L.XlNameCol).Font().SetBold(true);
  // The apostrophe keeps a name as text, whatever it looks like.
  if (ToSheet()) SetCell(row, L.XlNameCol, "'" + r.Name);
  if (heading && r.Level < o.PrintLevel) {
    if (p) {
      p->PrintLine(RowLine(geometry_, o, L, r));
      p->SetFontBold(false);
    }
    if (ToSheet()) G.ExcelRow += 1;
    G.LineCount += 1;
    return;
  }
  if (p) {
    p->PrintLine(RowLine(geometry_, o, L, r));
    if (r.Level == 1) p->SetFontBold(false);
  }
  if (ToSheet()) {
    for (const FigureItem& i : FigureItems(o, L, r.Txt))
      if (i.on) SetCell(row, i.col, *i.text);
    G.ExcelRow += 1;
  }
  G.ReportOK = kTrue;
  G.LineCount += 1;
  CountReportRow();
  if (r.DoubleRuleBelow) {
    if (p) {
      PrintAmountRule();
      p->SetCurrentY(p->CurrentY() + 50);
      PrintAmountRule();
    } else if (G.ExcelFile) {
      ExcelAmountRule();
    }
  }
  if (r.BlankAfter) {
    if (p) {
      p->Print({});
      G.LineCount += 1;
    } else if (G.PrintToExcel) {
      G.ExcelRow += 1;
      G.LineCount += 1;
    }
  }
}

void BudgetComparison::PrintColumnHeadings() {
  const ComparisonOptions& o = Opt;
  const ComparisonLayout& L = Lay;
  G.LineCount = 0;
  if (ToSheet() && G.ReportOK) return;
  G.RptTitle = o.LYVariance ? "Comparison with Last Year" : "Budget Comparison";
  if (o.CashBasis) G.RptTitle += " - Cash Basis";
  if (ToSheet()) G.MergeCols = (o.ShowMonths && !o.LYVariance) ? "FH" : "DF";
  PrintReportHeading();
  if (G.PrintCancelled) return;
  printer::Printer* p = ToPrinter() ? &printer::Current() : nullptr;
  if (p) {
    p->SetFontSize(G.BodyFont);
    p->SetFontBold(false);
  }

  const HeadingTexts h = HeadingTextsOf(o);

  if (p) {
    for (const printer::TextLine& caption : CaptionLines(PrinterCaptions(o, L, h))) p->PrintLine(caption);
    p->SetFontBold(false);
    p->SetFontName("Arial");
    PrintAmountRule();
  }
  if (ToSheet()) {
    excel::Worksheet& s = Sheet();
    const int32_t r = G.ExcelRow;
    auto alignRight = [&](int32_t row) {
      s.GetRange(s.Cells(row, L.XlNameCol + 1), s.Cells(row, L.XlLastCol)).SetHorizontalAlignment(excel::xlRight);
    };
    if (o.LYMonth) SetCell(r, L.XlLYMonth, "Last");
    if (o.ShowMonths) SetCell(r, L.XlMthBgt, h.toMonthName);
    SetCell(r, L.XlYTDBgt, h.periodCaption);
    if (o.AnnualMode > 0) SetCell(r, L.XlAnnual, h.annual.first);
    if (o.LYYTDCols) SetCell(r, L.XlLYYTD, "Last Year");
    alignRight(r);
    G.ExcelRow = r + 1;
    alignRight(r + 1);
    if (o.PrintAccountNumbers) {
      s.Columns("A").SetColumnWidth(12);
      s.Columns("B").SetColumnWidth(30);
    } else {
      s.Columns("A").SetColumnWidth(30);
    }
    if (o.LYMonth) SetCell(r + 1, L.XlLYMonth, h.toMonthName);
    if (o.ShowMonths) {
      SetCell(r + 1, L.XlMthAct, "Actual");
      SetCell(r + 1, L.XlMthBgt, h.cmpCaption);
      SetCell(r + 1, L.XlMthVar, h.varCaption);
      if (o.VarBoth) SetCell(r + 1, L.XlMthPct, "  %  ");
    }
    SetCell(r + 1, L.XlYTDAct, "Actual");
    SetCell(r + 1, L.XlYTDBgt, h.cmpCaption);
    SetCell(r + 1, L.XlYTDVar, h.varCaption);
    if (o.VarBoth) SetCell(r + 1, L.XlYTDPct, "  %  ");
    if (o.AnnualMode > 0) SetCell(r + 1, L.XlAnnual, h.annual.second);
    if (o.AnnualPercent()) SetCell(r + 1, L.XlAnnualPct, "  %  ");
    if (o.LYYTDCols) {
      SetCell(r + 1, L.XlLYYTD, "YTD");
      SetCell(r + 1, L.XlLY12, "12 Months");
    }
    s.GetRange(s.Cells(r + 1, L.XlNameCol + 1), s.Cells(r + 1, L.XlLastCol))
        .Borders(excel::xlEdgeBottom)
        .SetLineStyle(excel::xlContinuous);
    G.ExcelRow = r + 2;
  }
  G.LineCount += 3;
}

void BudgetComparison::PrintAmountRule() {
  const ComparisonOptions& o = Opt;
  const ComparisonLayout& L = Lay;
  printer::Printer& p = printer::Current();
  p.SetDrawWidth(std::clamp<int>(G.Underline, 1, 5));
  int32_t startX = 0;
  if (o.ShowMonths)
    startX = (o.LYMonth ? L.TabLYMonth : L.TabMthAct) * kTwipsPerColumn + 300;
  else
    startX = L.TabYTDAct * kTwipsPerColumn + 300;
  const int32_t endX = RuleEndX();
  const int16_t y0 = CInt(p.CurrentY());
  // The rule runs under the columns where they stand.
  p.Line(p.Laid(startX), y0 + 80, p.Laid(endX), y0 + 80);
  p.SetCurrentY(y0 + 80 - 100);
  G.LineCount += 1;
}

int32_t BudgetComparison::RuleEndX() const {
  const ComparisonOptions& o = Opt;
  const ComparisonLayout& L = Lay;
  int32_t endX = o.VarBoth ? L.TabAnnualPct * kTwipsPerColumn : L.TabAnnual * kTwipsPerColumn + 1300;
  if (o.LYYTDCols) endX = L.TabLY12 * kTwipsPerColumn + 1300;
  if (o.LYVariance) endX = L.TabYTDVar * kTwipsPerColumn + 1300;
  if (o.VarPercent) {
    // The percentage layout's rules close every figure column shown, the last one too,
    // and run past its figures as far as past an amount column's.
    if (o.LYYTDCols)
      endX = L.TabLY12 * kTwipsPerColumn + 1300;
    else if (o.AnnualPercent())
      endX = CInt(geometry_.annualPercentRight + kTwipsPerColumn + 1300 - geometry_.amount);
    else if (o.AnnualMode > 0)
      endX = L.TabAnnual * kTwipsPerColumn + 1300;
    else
      endX = L.TabYTDVar * kTwipsPerColumn + 1300;
  }
  return endX;
}

void BudgetComparison::ExcelAmountRule() {
  excel::Worksheet& s = Sheet();
  const int32_t row = G.ExcelRow - 1;
  if (row < 1) return;
  s.GetRange(s.Cells(row, Lay.XlNameCol + 1), s.Cells(row, Lay.XlLastCol))
      .Borders(excel::xlEdgeBottom)
      .SetLineStyle(excel::xlContinuous);
}

void BudgetComparison::WriteGrandTotalRow(const GrandTotalRow& r) {
  const ComparisonOptions& o = Opt;
  const ComparisonLayout& L = Lay;
  if (ToPrinter()) printer::Current().PrintLine(GrandTotalLine(geometry_, o, L, r));
  CountReportRow();
  if (G.PrintToExcel) {
    SetCell(G.ExcelRow, L.XlNameCol, "'" + r.Name);
    for (const FigureItem& i : FigureItems(o, L, r.Txt))
      if (i.on) SetCell(G.ExcelRow, i.col, *i.text);
    G.ExcelRow += 1;
  }
}

void BudgetComparison::DrawGrandTotals() {
  if (ToPrinter() && (G.LineCount >= G.PageLines - 15 || PaperFull(15))) {
    G.NewPageFlag = kTrue;
    PrintColumnHeadings();
  }
  if (ToPrinter()) {
    printer::Printer& p = printer::Current();
    p.Print({});
    p.Print({printer::Tab{Lay.NameTab}, "Grand Totals"});
    p.Print({});
  } else if (G.PrintToExcel) {
    G.ExcelRow += 1;
    SetCell(G.ExcelRow, 1, "Grand Totals");
    G.ExcelRow += 1;
  }
  G.LineCount += 3;
  for (const GrandTotalRow& r : GrandTotals) {
    if (r.RuleAbove) {
      if (ToPrinter())
        PrintAmountRule();
      else if (G.ExcelFile)
        ExcelAmountRule();
    }
    WriteGrandTotalRow(r);
  }
  if (ToPrinter()) {
    PrintAmountRule();
    printer::Printer& p = printer::Current();
    p.SetCurrentY(p.CurrentY() + 50);
    PrintAmountRule();
  } else if (G.ExcelFile) {
    ExcelAmountRule();
  }
}

}  // namespace qvx
