// Drawing the forecast's lines: on the printer with paging, headings and ruled lines, or
// into a worksheet with number formats, borders and a SUM formula in each row's total.
#include "budgetreports/BudgetForecast.h"

#include "core/Globals.h"
#include "core/NumberFormat.h"
#include "core/PageHeading.h"
#include "core/ReportRows.h"
#include "core/Progress.h"
#include "core/ReportOutput.h"
#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

bool ToSheet() { return G.ExcelFile != 0; }

// The report's error box for drawing statements; the run goes on afterwards.
template <class F>
bool DrawStep(F&& statement) {
  return ReportStep(std::forward<F>(statement));
}

std::string AmountText(Money amount, bool dollar) {
  G.CellText = amount.ToString();
  G.CellDecimals = -1;
  G.CellWidth = 0;
  G.DollarSign = dollar ? kTrue : kFalse;
  FormatAmount();
  return G.CellText;
}

excel::Worksheet& Sheet() {
  if (!G.xlSheet) Raise(err::ObjectNotSet);
  return *G.xlSheet;
}

// A printed line: the account number and name, and the figures of a line that has them.
printer::TextLine PrintedLine(const BudgetForecast& f, const ForecastReport& r, const ForecastLine& line) {
  printer::TextLine texts;
  if (line.type == "D" && line.totalSection == 0 && G.PrintAccountNumbers) texts.push_back(printer::AtTab(f.NumberCol, line.number));
  std::string indent;
  for (int16_t i = 1; i < line.level; ++i) indent += f.IndentText;
  texts.push_back(printer::AtTab(f.NameCol, indent + Left(line.text, f.NameWidth)));
  if (line.type == "H") return texts;
  const bool surplus = line.summaryCode == "P";
  for (int16_t c = 1; c <= r.shownColumns; ++c)
    texts.push_back(printer::AtTab(f.ColumnPos[static_cast<size_t>(c)], AmountText(line.figures[static_cast<size_t>(c)], surplus)));
  texts.push_back(printer::AtTab(f.ColumnPos[13], AmountText(line.figures[13], surplus)));
  return texts;
}

// The two caption lines over the columns.
std::array<printer::TextLine, 2> CaptionLines(const BudgetForecast& f, const ForecastReport& r) {
  std::array<printer::TextLine, 2> lines;
  lines[0].push_back(printer::AtTab(f.NameCol + 6, "Name"));
  for (int16_t c = 1; c <= r.shownColumns; ++c) {
    lines[0].push_back(printer::AtTab(f.ColumnPos[static_cast<size_t>(c)] + 8,
                                      G.MonthShort[static_cast<size_t>(r.columnMonth[static_cast<size_t>(c)])]));
    lines[1].push_back(printer::AtTab(f.ColumnPos[static_cast<size_t>(c)] + 7,
                                      r.columnBasis[static_cast<size_t>(c)] == "A" ? "(Act)" : "(Bgt)"));
  }
  lines[0].push_back(printer::AtTab(f.ColumnPos[13] + 6, "Total"));
  return lines;
}

}  // namespace

void BudgetForecast::Draw(const ForecastReport& report) {
  DrawLines(report);
  if (!G.PrintCancelled && !report.anyOutput) {
    G.MsgText = "No output to print for Report ";
    ui::MsgBox(G.MsgText, ui::Buttons::OK, ui::Icon::None, "No data for report");
  }
  EndReportOutput();
}

void BudgetForecast::LayOutLines(const ForecastReport& r) {
  printer::Printer& p = printer::Current();
  p.SetFontName("Arial");
  p.SetFontSize(G.BodyFont);
  p.SetFontBold(false);
  std::vector<printer::TextLine> lines;
  lines.reserve(r.lines.size() + 3);
  // The total column at least an amount wide.
  lines.push_back({printer::AtTab(ColumnPos[13], std::string(static_cast<size_t>(2 * G.AmtWidth), ' '))});
  for (printer::TextLine& caption : CaptionLines(*this, r)) lines.push_back(std::move(caption));
  for (const ForecastLine& line : r.lines)
    if (line.kind != ForecastLine::Kind::Blank && line.output && !(line.text.empty() && line.number.empty()))
      lines.push_back(PrintedLine(*this, r, line));
  p.LayOut(lines);
}

void BudgetForecast::DrawLines(const ForecastReport& report) {
  // The page is drawn smaller where the paper cannot hold its widest line.
  if (!ToSheet()) DrawStep([&] { LayOutLines(report); });
  Progress& progress = Progress::Instance();
  if (ToSheet() && !G.ProgressShown) {
    DrawStep([&] {
      progress.Window().PBar.setMinimum(0);
      progress.SetMax(static_cast<int32_t>(report.lines.size()));
      progress.SetCaption("Writing to Excel ...");
      progress.Show();
      G.ProgressShown = true;
    });
  }
  int32_t position = 0;
  for (const ForecastLine& line : report.lines) {
    if (line.kind == ForecastLine::Kind::Blank)
      DrawBlank();
    else
      DrawLine(report, line);
    if (G.PrintCancelled) break;
    ++position;
    if (ToSheet()) {
      if (G.ProgressShown) DrawStep([&] { progress.SetValue(position); });
      ui::DoEvents();
    }
  }
  // Each month and total column as wide as its widest figure, so that none shows as "###".
  if (ToSheet() && G.xlSheet && report.anyOutput && !G.PrintCancelled)
    DrawStep([this] { Sheet().Columns("B:" + LastColLetter).WidenForNumbers(); });
}

void BudgetForecast::DrawBlank() {
  // Nothing goes before the first heading.
  if (G.HeadingMode) return;
  if (ToSheet())
    G.ExcelRow += 1;
  else
    DrawStep([] { printer::Current().Print({}); });
  G.LineCount += 1;
}

void BudgetForecast::DrawLine(const ForecastReport& r, const ForecastLine& line) {
  const bool sheet = ToSheet();
  if (!sheet) {
    // The lines a line keeps below it on its page: a heading some of its group, a summary line its rules.
    const int32_t reserve = line.type == "H" ? (line.level == 1 ? 10 : 8) : line.totalSection == 6 ? 6 : 0;
    if (G.LineCount >= G.PageLines - reserve || PaperFull(reserve, line.ruleBefore)) {
      G.NewPageFlag = kTrue;
      G.HeadingMode = 0;
    }
  }
  // A detail line without a name still shows, under its account number.
  if (line.text.empty() && line.number.empty()) return;
  if (G.HeadingMode || G.NewPageFlag) {
    PrintForecastHeadings(r);
    if (G.PrintCancelled) return;
  }
  if (!line.output) return;

  if (line.ruleBefore) {
    if (sheet) ExcelTotalRule();
    else PrintTotalRule();
  }
  const bool isSurplus = line.summaryCode == "P";
  const bool isTotalRow = line.totalSection > 0;
  const std::string lastMonthLetter = excel::ColumnLetters(excel::ColumnNumber(LastColLetter) - 1);

  if (sheet) {
    DrawStep([&] {
      excel::Range cell = Sheet().Cells(G.ExcelRow, 1);
      cell.SetText(line.text);
      if (line.type == "H" && line.level == 1) cell.Font().SetBold(true);
    });
  } else {
    DrawStep([&] {
      printer::Printer& p = printer::Current();
      p.SetFontBold(false);
      p.PrintLine(PrintedLine(*this, r, line));
    });
  }

  if (line.type == "H") {
    if (sheet) G.ExcelRow += 1;
    G.LineCount += 1;
    return;
  }

  if (sheet && isTotalRow) {
    DrawStep([&] {
      Sheet().GetRange("B" + std::to_string(G.ExcelRow) + ":" + LastColLetter + std::to_string(G.ExcelRow))
          .SetNumberFormat(isSurplus ? "$#,##0" : "#,##0");
    });
  }
  if (sheet) {
    for (int16_t c = 1; c <= r.shownColumns; ++c) {
      const std::string text = AmountText(line.figures[static_cast<size_t>(c)], isSurplus);
      DrawStep([&] { Sheet().Cells(G.ExcelRow, c + 1).SetValue(text); });
    }
    DrawStep([&] {
      const std::string row = std::to_string(G.ExcelRow);
      Sheet().GetRange(LastColLetter + row).SetValue("=SUM(B" + row + ":" + lastMonthLetter + row + ")");
    });
    G.ExcelRow += 1;
  }
  G.LineCount += 1;
  G.ReportOK = kTrue;
  CountReportRow();

  if (isSurplus) {
    if (sheet) {
      ExcelTotalRule();
    } else {
      PrintTotalRule();
      DrawStep([] {
        printer::Printer& p = printer::Current();
        p.SetCurrentY(p.CurrentY() + 50);
      });
      PrintTotalRule();
    }
  }
  if (line.blankAfter) DrawBlank();
}

void BudgetForecast::PrintForecastHeadings(const ForecastReport& r) {
  G.LineCount = 0;
  const bool sheet = ToSheet();
  if (sheet && G.ReportOK) return;
  G.RptTitle = std::string("Budget Forecast") + (G.CashBasis ? " - Cash Basis" : "");
  G.LeadingCols = 5;
  if (sheet) G.MergeCols = "FH";
  PrintReportHeading();
  if (G.PrintCancelled) return;

  DrawStep([&] {
    if (sheet) {
      G.ExcelCol = 1;
      G.ExcelRow = G.LineCount;
      excel::Worksheet& ws = Sheet();
      for (int16_t c = 1; c <= r.shownColumns; ++c)
        ws.Cells(G.ExcelRow, ++G.ExcelCol).SetValue(G.MonthShort[static_cast<size_t>(r.columnMonth[static_cast<size_t>(c)])]);
      ws.Cells(G.ExcelRow, ++G.ExcelCol).SetValue("Total");
      G.LineCount += 1;
      G.ExcelRow += 1;
      G.ExcelCol = 1;
      for (int16_t c = 1; c <= r.shownColumns; ++c)
        ws.Cells(G.ExcelRow, ++G.ExcelCol).SetValue(r.columnBasis[static_cast<size_t>(c)] == "A" ? "(Act)" : "(Bgt)");
      ws.Columns("A").SetColumnWidth(30);
      ws.Columns("B:" + LastColLetter).SetColumnWidth(10);
      const std::string first = std::to_string(G.ExcelRow - 1), second = std::to_string(G.ExcelRow);
      ws.GetRange("B" + first + ":" + LastColLetter + second).SetHorizontalAlignment(excel::xlRight);
      ws.GetRange("B" + second + ":" + LastColLetter + second).Borders(excel::xlEdgeBottom).SetLineStyle(excel::xlContinuous);
      G.ExcelRow += 1;
      ws.ResetAllPageBreaks();
      ws.VPageBreaks().Add(ws.Cells(52, 15));
      G.LineCount += 2;
    } else {
      printer::Printer& p = printer::Current();
      p.SetFontSize(G.BodyFont);
      p.SetFontBold(false);
      for (const printer::TextLine& caption : CaptionLines(*this, r)) p.PrintLine(caption);
      G.LineCount += 2;
      PrintTotalRule();
      p.SetFontBold(false);
      p.SetFontName("Arial");
    }
  });
}

void BudgetForecast::PrintTotalRule() {
  DrawStep([] {
    printer::Printer& p = printer::Current();
    p.SetDrawWidth(std::max<int>(1, G.Underline));
    G.RuleEndX = static_cast<int32_t>(p.ScaleWidth());
    switch (G.BodyFont) {
      case 7: G.RuleStartX = 2500; break;
      case 8: G.RuleStartX = 2750; break;
      case 9: G.RuleStartX = 3000; break;
      case 10: G.RuleStartX = 3250; break;
      default: break;
    }
    const double y = p.CurrentY() + 80;
    p.Line(G.RuleStartX, y, G.RuleEndX, y);
    p.SetCurrentY(p.CurrentY() - 100);
  });
  G.LineCount += 1;
}

void BudgetForecast::ExcelTotalRule() {
  DrawStep([this] {
    const std::string row = std::to_string(G.ExcelRow - 1);
    Sheet().GetRange("B" + row + ":" + LastColLetter + row).Borders(excel::xlEdgeBottom).SetLineStyle(excel::xlContinuous);
  });
  G.LineCount += 1;
}

}  // namespace qvx
