#include "budgetreports/BudgetComparison.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "budgetreports/AccountSections.h"
#include "budgetreports/BudgetFigures.h"
#include "budgetreports/BudgetOptions.h"
#include "budgetreports/BudgetReports.h"
#include "companyfile/AccountActivities.h"
#include "companyfile/Connection.h"
#include "core/DateRangeMth.h"
#include "core/Dates.h"
#include "core/Globals.h"
#include "core/Lookups.h"
#include "core/NumberFormat.h"
#include "core/ReportOutput.h"
#include "platform/printer/Printer.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

// Runs one statement of the report; a failure shows the report's error box and the run
// goes on with the next statement.
template <typename F>
bool Step(F&& f) {
  return ReportStep(std::forward<F>(f));
}

// The largest whole number not above the amount.
int64_t Floor(Money m) {
  const int64_t raw = m.Raw();
  int64_t q = raw / Money::kScale;
  if (raw % Money::kScale != 0 && raw < 0) --q;
  return q;
}

double Percent(Money part, Money whole) { return part.ToDouble() / whole.ToDouble() * 100.0; }

std::string AmountText(Money amount, bool dollar) {
  G.CellText = amount.ToString();
  G.CellDecimals = -1;
  G.CellWidth = 0;
  G.DollarSign = dollar ? kTrue : kFalse;
  FormatAmount("");
  return G.CellText;
}

std::string PercentText(double pct) {
  std::string text = DoubleToText(pct);
  int16_t width = 4;
  FormatPercent(text, width);
  return "  " + text;
}

RowFigures& operator+=(RowFigures& a, const RowFigures& b) {
  a.LYMonth += b.LYMonth;
  a.ActMonth += b.ActMonth;
  a.BgtMonth += b.BgtMonth;
  a.VarMonth += b.VarMonth;
  a.ActYTD += b.ActYTD;
  a.BgtYTD += b.BgtYTD;
  a.VarYTD += b.VarYTD;
  a.Annual += b.Annual;
  a.LYYTD += b.LYYTD;
  a.LY12Months += b.LY12Months;
  return a;
}

// The profit functions over a section-total array.
Money Profit(int which, const std::array<Money, 7>& t) {
  Money p = t[1] - t[2];
  if (which >= 2) p = p - t[3];
  if (which >= 3) p = p + t[4] - t[5];
  return p;
}

}  // namespace

int SectionHeaderIndex(const std::string& number) {
  if (number == "4-0000") return 1;
  if (number == "5-0000") return 2;
  if (number == "6-0000") return 3;
  if (number == "8-0000") return 4;
  if (number == "9-0000") return 5;
  return 0;
}

// ---------------------------------------------------------------- layout

ComparisonLayout LayoutColumns(const ComparisonOptions& o, int16_t bodyFont, int32_t ptLines, int32_t lsLines,
                               int16_t amtWidth) {
  ComparisonLayout L;
  L.BodyFont = bodyFont == 0 ? 9 : bodyFont;
  // Page lengths of the body font when the settings give none; a font without its own
  // lengths gets those of the 9-point font scaled to its size.
  int32_t ptDefault = 0, lsDefault = 0;
  switch (L.BodyFont) {
    case 8: ptDefault = 75, lsDefault = 58; break;
    case 9: ptDefault = 70, lsDefault = 53; break;
    case 10: ptDefault = 65, lsDefault = 48; break;
    default:
      ptDefault = std::max<int32_t>(20, 70 * 9 / std::max<int16_t>(L.BodyFont, 1));
      lsDefault = std::max<int32_t>(15, 53 * 9 / std::max<int16_t>(L.BodyFont, 1));
  }
  L.PTLines = ptLines;
  L.LSLines = lsLines;
  if (ptLines == 0) {
    L.PTLines = ptDefault;
    L.LSLines = lsDefault;
  }
  if (L.LSLines <= 0) L.LSLines = lsDefault;
  if (L.PTLines <= 0) L.PTLines = ptDefault;
  if (!o.ShowMonths && !o.LYYTDCols) {
    L.PrintOrientation = 1;
    L.PageLines = L.PTLines;
  } else {
    L.PrintOrientation = 2;
    L.PageLines = L.LSLines;
  }

  const int w = amtWidth;
  auto I = [](int v) { return CInt(v); };  // 16-bit positions, overflow raises error 6
  if (o.PrintAccountNumbers) {
    L.NameWidth = 25, L.TabAcctNo = 3, L.NameTab = 12, L.AnnualGap = 3, L.XlNameCol = 2;
  } else {
    L.NameWidth = 35, L.TabAcctNo = 0, L.NameTab = 3, L.AnnualGap = 5, L.XlNameCol = 1;
  }
  if (!o.VarBoth) L.AnnualGap = 10;
  int p = L.NameTab + L.NameWidth + 8;
  if (o.LYMonth) {
    L.TabLYMonth = I(p);
    p = p + w + 4;
  }
  if (o.AnnualMode == 0) p += 10;
  if (o.ShowMonths) {
    L.TabMthAct = I(p);
    L.TabMthBgt = I(L.TabMthAct + w + 4);
    L.TabMthVar = I(L.TabMthBgt + w + 4);
    p = L.TabMthVar;
    if (o.VarBoth) {
      L.TabMthPct = I(p + w + 4);
      p = L.TabMthPct - 4;
    }
    L.TabYTDAct = I(p + w + 8);
  } else {
    L.TabYTDAct = I(p);
  }
  L.TabYTDBgt = I(L.TabYTDAct + w + 4);
  L.TabYTDVar = I(L.TabYTDBgt + w + 4);
  p = L.TabYTDVar;
  if (o.VarBoth) {
    L.TabYTDPct = I(p + w + 4);
    p = L.TabYTDPct - 4;
  }
  L.TabAnnual = I(p + w + L.AnnualGap);
  p = L.TabAnnual;
  if (o.VarPercent || o.VarBoth) {
    L.TabAnnualPct = I(p + w + 4);
    p = L.TabAnnualPct;
  }
  if (o.LYYTDCols) {
    L.TabLYYTD = I(p + w + L.AnnualGap);
    L.TabLY12 = I(L.TabLYYTD + w + 4);
  }

  int c = L.XlNameCol;
  if (o.LYMonth) L.XlLYMonth = I(++c);
  if (o.ShowMonths) {
    L.XlMthAct = I(c + 1), L.XlMthBgt = I(c + 2), L.XlMthVar = I(c + 3);
    c = L.XlMthVar;
    if (o.VarBoth) L.XlMthPct = I(++c);
  }
  L.XlYTDAct = I(c + 2), L.XlYTDBgt = I(c + 3), L.XlYTDVar = I(c + 4);
  c = L.XlYTDVar;
  L.XlLastCol = I(c);
  if (o.VarBoth) {
    L.XlYTDPct = I(++c);
    L.XlLastCol = I(c);
  }
  ++c;
  if (o.AnnualMode > 0) {
    L.XlAnnual = I(++c);
    L.XlLastCol = I(c);
    if (o.VarPercent || o.VarBoth) {
      L.XlAnnualPct = I(++c);
      L.XlLastCol = I(c);
    }
  }
  if (o.LYYTDCols) {
    L.XlLYYTD = I(c + 2);
    L.XlLY12 = I(L.XlLYYTD + 1);
    L.XlLastCol = L.XlLY12;
  }
  return L;
}

// ---------------------------------------------------------------- row texts

namespace {

// The annual column's figure as AnnualMode makes it from the row's slots.
Money AnnualFigure(const RowFigures& f, int16_t annualMode) {
  switch (annualMode) {
    case 1: return f.Annual;
    case 2: return f.Annual - f.BgtYTD;
    case 3: return f.Annual - f.ActYTD;
    case 4: return f.LYYTD;
    default: return {};
  }
}

}  // namespace

bool ShowsAnyFigure(const RowFigures& f, const ComparisonOptions& o) {
  auto any = [](std::initializer_list<Money> figures) {
    return std::any_of(figures.begin(), figures.end(), [](Money m) { return !m.IsZero(); });
  };
  // A percentage is only ever shown beside an actual or an annual figure that is not
  // zero, so the figures alone decide.
  const bool third = o.ThirdColumnFigure();
  if (o.LYMonth && !f.LYMonth.IsZero()) return true;
  if (o.ShowMonths && any({f.ActMonth, f.BgtMonth, third ? f.VarMonth : Money{}})) return true;
  if (any({f.ActYTD, f.BgtYTD, third ? f.VarYTD : Money{}})) return true;
  if (o.AnnualMode > 0 && !AnnualFigure(f, o.AnnualMode).IsZero()) return true;
  return o.LYYTDCols && any({f.LYYTD, f.LY12Months});
}

RowTexts FormatRowTexts(const RowFigures& f, const ComparisonOptions& o, bool dollar) {
  RowTexts t;
  if (o.LYMonth) t.LYMonth = AmountText(f.LYMonth, dollar);
  t.ActMonth = AmountText(f.ActMonth, dollar);
  t.BgtMonth = AmountText(f.BgtMonth, dollar);
  t.VarMonth = AmountText(f.VarMonth, dollar);
  auto pct = [](Money var, Money base, Money act) -> std::string {
    if (var.IsZero() || Floor(base) == 0 || Floor(act) == 0) return {};
    const double p = Percent(var, base);
    return p != 0 ? PercentText(p) : std::string();
  };
  t.PctMonth = pct(f.VarMonth, f.BgtMonth, f.ActMonth);
  t.ActYTD = AmountText(f.ActYTD, dollar);
  t.BgtYTD = AmountText(f.BgtYTD, dollar);
  t.VarYTD = AmountText(f.VarYTD, dollar);
  t.PctYTD = pct(f.VarYTD, f.BgtYTD, f.ActYTD);

  const Money annual = AnnualFigure(f, o.AnnualMode);
  double pctAnnual = 0;
  bool computed = false;
  switch (o.AnnualMode) {
    case 1:
      if (Floor(f.ActYTD) != 0 && Floor(annual) != 0) pctAnnual = Percent(f.ActYTD, annual), computed = true;
      break;
    case 2:
    case 3:
      if (Floor(annual) != 0 && Floor(f.Annual) != 0) pctAnnual = Percent(annual, f.Annual), computed = true;
      break;
    default: break;
  }
  if (o.AnnualMode > 0) t.Annual = AmountText(annual, dollar);
  if (computed) t.AnnualPct = PercentText(pctAnnual);
  if (o.LYYTDCols) {
    t.LYYTD = AmountText(f.LYYTD, dollar);
    t.LY12Months = AmountText(f.LY12Months, dollar);
  }
  return t;
}

// ---------------------------------------------------------------- the run

void PrintBudgetComparison(std::string& /*reportCode*/) {
  BudgetComparison report;
  report.Run();
}

void BudgetComparison::Run() {
  G.ExcelFile = kFalse;
  G.IsNegative = kFalse;
  G.Answer = 0;

  DateRangeMth& period = DateRangeMth::Instance();
  period.Show();
  if (!period.ExitOkay) {
    EndReportOutput();
    return;
  }
  G.ReportFromDate = period.FromDateX;
  G.ReportToDate = period.ToDateX;
  G.FinYearStartDate = period.StartFinancialYear;
  G.FinYearEndDate = period.EndFinancialYear;
  SetReportPeriod();

  FilterPLBGT& f = FilterPLBGT::Instance();
  f.Show();
  if (!f.ExitOkay) return;
  Opt = ComparisonOptions{};
  Opt.IncludeGJ = f.IncludeJournals;
  Opt.ShowMonths = !f.ExcludeMonths;
  Opt.LYVariance = f.ShowLastYrVar != 0;
  Opt.LYColumns = f.ShowLastYrCol != 0;
  Opt.LYMonth = f.ShowLastYrMth != 0;
  Opt.LYYTDCols = f.ShowLastYrYTD != 0;
  Opt.VarDollars = f.VarianceCol == "V";
  Opt.VarBoth = f.VarianceCol == "B";
  Opt.VarPercent = !Opt.VarDollars && !Opt.VarBoth;
  Opt.VarAsLastYear = f.ShowVarLastYr != 0;
  if (Opt.VarAsLastYear) Opt.VarDollars = Opt.VarBoth = Opt.VarPercent = false;
  Opt.AnnualMode = (f.BudgetColDiff >= 1 && f.BudgetColDiff <= 4) ? f.BudgetColDiff : int16_t{0};
  Opt.IncludeGrandTots = f.IncludeGrandTots != 0;
  Opt.CashBasis = G.CashBasis != 0;
  Opt.PrintLevel = G.PrintLevel;
  Opt.PrintAccountNumbers = G.PrintAccountNumbers != 0;
  Opt.ToExcel = G.PrintToExcel != 0;
  Opt.UsePageBreaks = G.UsePageBreaks != 0;
  Opt.PageBreakAccts = G.PageBreakAccts;
  Produce();
}

bool BudgetComparison::Produce() {
  const bool done = ProduceOutput();
  EndReportOutput();
  return done;
}

bool BudgetComparison::ProduceOutput() {
  G.ExcelFile = kFalse;
  G.IsNegative = kFalse;
  G.HeadingMode = kTrue;
  G.NewPageFlag = kFalse;
  G.AmtWidth = 12;
  G.PageNo = 0;
  G.PrintCancelled = kFalse;
  G.ChoosePrinter = kTrue;
  G.ReportOK = kFalse;
  G.LineCount = 0;
  G.CashBasis = Flag(Opt.CashBasis);
  G.PrintToExcel = Flag(Opt.ToExcel);
  G.PrintToPrinter = Flag(!Opt.ToExcel);
  if (Opt.PrintLevel < 1 || Opt.PrintLevel > 4) Opt.PrintLevel = 4;
  G.PrintLevel = Opt.PrintLevel;

  SplitPageBreaks();
  if (Opt.ToExcel) {
    StartExcel(ExcelObjects::FromGlobals(), "L");
    // Without a workbook every cell would go nowhere: the run ends here.
    if (!G.ExcelOpen) return false;
    G.ExcelRow = 1;
    G.ExcelFile = kTrue;
    G.ChoosePrinter = kFalse;
  }
  if (Opt.PrintLevel == 1) Opt.PrintAccountNumbers = false;
  G.PrintAccountNumbers = Flag(Opt.PrintAccountNumbers);
  Step([&] { Lay = LayoutColumns(Opt, G.BodyFont, G.PTLines, G.LSLines, G.AmtWidth); });
  G.BodyFont = Lay.BodyFont;
  G.PageLines = static_cast<int16_t>(std::min<int32_t>(Lay.PageLines, INT16_MAX));
  G.PrintOrientation = Lay.PrintOrientation;

  if (!LoadAccounts()) return false;
  ReadFigures();
  VarianceAndTotals();
  SortLines();
  BuildBody();
  if (!Opt.ToExcel) Step([&] { LayOutLines(); });
  Output();
  return true;
}

void BudgetComparison::SplitPageBreaks() {
  BreakAccts.assign(1, "");
  if (Opt.PageBreakAccts.empty() || !Opt.UsePageBreaks) return;
  std::string entry;
  for (char ch : Opt.PageBreakAccts) {
    if (ch == ',') {
      BreakAccts.push_back(entry);
      entry.clear();
    } else {
      entry += ch;
    }
  }
  if (!entry.empty()) BreakAccts.push_back(entry);
}

bool BudgetComparison::LoadAccounts() {
  Arr.StartRun();
  ExchAcctIDs.assign(21, 0);
  NbrExchAccts = 0;
  G.NbrAccounts = 0;
  G.TxRowCount = 0;
  if (Conn.IsAR2011Driver) {
    Conn.SQLStr = "SELECT AccountID, ParentAccountID, AccountNumber, AccountName, AccountTypeID, AccountLevel  ";
  } else {
    Conn.SQLStr =
        "SELECT AccountID, ParentAccountID, AccountNumber, AccountName, AccountTypeID, AccountLevel, "
        "CurrencyExchangeAccountID  ";
  }
  Conn.SQLStr += "FROM MYOB.Accounts ORDER BY AccountID ;";
  std::unique_ptr<ado::Recordset> rs = OpenRecordset(Conn.SQLStr);
  if (!rs) return false;

  std::unordered_map<int32_t, int32_t> indexOf;
  auto text = [&](const char* field) {
    const ado::Variant v = rs->Fields(field).Value();
    return v.IsNull() ? std::string() : v.ToString();
  };
  while (true) {
    bool atEnd = true;
    if (!Step([&] { atEnd = rs->Eof(); }) || atEnd) break;
    int32_t id = 0;
    std::string number, name;
    int16_t level = 0;
    bool readOK = Step([&] {
      id = rs->Fields("AccountID").Value().ToLong();
      number = text("AccountNumber");
      // An account without a level is at level 0, which the report leaves out.
      const ado::Variant lv = rs->Fields("AccountLevel").Value();
      level = lv.IsNull() ? int16_t{0} : lv.ToInteger();
      name = text("AccountName");
    });
    if (!Conn.IsAR2011Driver) {
      Step([&] {
        const ado::Variant v = rs->Fields("CurrencyExchangeAccountID").Value();
        const int32_t exch = v.IsNull() ? 0 : v.ToLong();
        if (exch > 0) {
          ++NbrExchAccts;
          if (static_cast<size_t>(NbrExchAccts) >= ExchAcctIDs.size()) ExchAcctIDs.resize(ExchAcctIDs.size() + 20);
          ExchAcctIDs[static_cast<size_t>(NbrExchAccts)] = exch;
        }
      });
    }
    const std::string cls = Left(number, 1);
    if (readOK && cls >= "4" && level > 0) {
      Step([&] {
        auto found = indexOf.find(id);
        int32_t index = 0;
        if (found == indexOf.end()) {
          Arr.MakeRoomForAccount();
          index = ++G.NbrAccounts;
          indexOf.emplace(id, index);
        } else {
          index = found->second;
        }
        const auto i = static_cast<size_t>(index);
        G.AcctIDs[i] = id;
        G.AcctNumbers[i] = number;
        G.AcctNames[i] = name;
        G.AcctTypes[i] = text("AccountTypeID");
        G.AcctLevels[i] = level;
        const ado::Variant parent = rs->Fields("ParentAccountID").Value();
        G.AcctParents[i] = parent.IsNull() ? 0 : parent.ToLong();
        if (SectionHeaderIndex(number) > 0) {
          if (static_cast<size_t>(G.TxRowCount) + 1 >= Arr.LineAcct.size())
            Arr.ResizeReportArrays(static_cast<int32_t>(Arr.LineAcct.size()) + 20);
          ++G.TxRowCount;
          Arr.LineAcct[static_cast<size_t>(G.TxRowCount)] = index;
        }
      });
    }
    if (!Step([&] { rs->MoveNext(); })) break;
  }
  Step([&] { rs->Close(); });
  rs.reset();
  G.AccountsSorted = kTrue;
  Step([&] { Arr.MapEveryAccount(); });
  return true;
}

void BudgetComparison::ReadFigures() {
  Arr.RenewFigureArrays();
  std::string txMode = "A";
  int16_t cash = Flag(Opt.CashBasis);
  int16_t includeGJ = Opt.IncludeGJ;
  int16_t priorYear = kFalse;
  // The engine reads into the line arrays; the exchange-account list is not among what
  // it uses.
  auto read = [&] {
    TransactionArgs args = Arr.EngineArgs(txMode, cash, includeGJ, priorYear);
    Step([&] { ReadTransactions(args); });
  };
  read();
  Step([&] { GetBudgetFigures(Arr); });

  if (!Opt.WantsLastYear()) return;
  if (Opt.CashBasis) {
    const std::string fyStart = G.FinYearStartYMD, fyEnd = G.FinYearEndYMD;
    priorYear = kTrue;
    Step([&] { PriorYearDates(G.ODBCFromDate, G.ODBCToDate); });
    read();
    if (Opt.LYYTDCols) {
      // Last year's 12 months cover its whole financial year, as on the accrual basis:
      // a read of that year which fills only the 12-month column.
      const std::string keptFrom = G.FromYMD, keptTo = G.ToYMD, keptStart = G.FinYearStartYMD,
                        keptEnd = G.FinYearEndYMD, keptODBCFrom = G.ODBCFromDate, keptODBCTo = G.ODBCToDate;
      std::fill(Arr.LYAct12Months.begin(), Arr.LYAct12Months.end(), Money{});
      // The month and period of that read go to scratch arrays, which then leave again.
      std::vector<Money> scratchMonth(Arr.LYActMonth.size()), scratchRange(Arr.LYActYTD.size());
      std::swap(scratchMonth, Arr.LYActMonth);
      std::swap(scratchRange, Arr.LYActYTD);
      G.FromYMD = fyStart;
      G.ToYMD = fyEnd;
      G.FinYearStartYMD = fyStart;
      G.FinYearEndYMD = fyEnd;
      G.ODBCFromDate = fyStart.substr(0, 4) + "-" + fyStart.substr(4, 2) + "-" + fyStart.substr(6, 2);
      G.ODBCToDate = fyEnd.substr(0, 4) + "-" + fyEnd.substr(4, 2) + "-" + fyEnd.substr(6, 2);
      Step([&] { PriorYearDates(G.ODBCFromDate, G.ODBCToDate); });
      read();
      std::swap(scratchMonth, Arr.LYActMonth);
      std::swap(scratchRange, Arr.LYActYTD);
      G.FromYMD = keptFrom, G.ToYMD = keptTo, G.FinYearStartYMD = keptStart, G.FinYearEndYMD = keptEnd;
      G.ODBCFromDate = keptODBCFrom, G.ODBCToDate = keptODBCTo;
    }
    if (Opt.AnnualMode == 4)
      for (int32_t row = 1; row <= G.TxRowCount; ++row) Arr.AnnualCol.at(row) = Arr.LYActYTD.at(row);
  } else {
    const bool ly12 = Opt.LYYTDCols;
    const bool lyAnnual = Opt.AnnualMode == 4;
    if (lyAnnual) Arr.RenewAnnualCol();
    AccountActivitiesArgs a{.AcctIDs = G.AcctIDs,
                            .NbrAccounts = G.NbrAccounts,
                            .LYActMonth = Arr.LYActMonth,
                            .LYActYTD = Arr.LYActYTD,
                            .LYAct12Months = Arr.LYAct12Months,
                            .AnnualCol = Arr.AnnualCol,
                            .LineAcct = Arr.LineAcct,
                            .TxRowCount = G.TxRowCount,
                            .AnnualLastYear = lyAnnual,
                            .TwelveMonths = ly12,
                            .FromYMD = G.FromYMD,
                            .ToYMD = G.ToYMD,
                            .FinYearStartYMD = G.FinYearStartYMD,
                            .FinYearEndYMD = G.FinYearEndYMD};
    Step([&] { GetAccountActivities(a); });
  }
}

void BudgetComparison::VarianceAndTotals() {
  Sec = SectionTotals{};
  int lineSection = 0;
  for (int32_t line = 1; line <= G.TxRowCount; ++line) {
    Step([&] {
      const auto l = static_cast<size_t>(line);
      const auto acct = static_cast<size_t>(Arr.LineAcct.at(l));
      const std::string& number = G.AcctNumbers.at(acct);
      if (const int s = SectionHeaderIndex(number); s > 0) {
        lineSection = s;
      } else {
        const std::string digit = number.empty() ? "0" : std::to_string(static_cast<int>(Val(Left(number, 1))));
        lineSection = AccountSection(digit);
      }
      Money varMonth, varYTD;
      const bool income = lineSection == 1 || lineSection == 4;
      if (Opt.VarAsLastYear || Opt.LYColumns) {
        varMonth = Arr.LYActMonth[l], varYTD = Arr.LYActYTD[l];
      } else if (Opt.LYVariance) {
        varMonth = income ? Arr.ActMonth[l] - Arr.LYActMonth[l] : Arr.LYActMonth[l] - Arr.ActMonth[l];
        varYTD = income ? Arr.ActYTD[l] - Arr.LYActYTD[l] : Arr.LYActYTD[l] - Arr.ActYTD[l];
      } else {
        varMonth = income ? Arr.ActMonth[l] - Arr.BgtMonth[l] : Arr.BgtMonth[l] - Arr.ActMonth[l];
        varYTD = income ? Arr.ActYTD[l] - Arr.BgtYTD[l] : Arr.BgtYTD[l] - Arr.ActYTD[l];
      }
      Arr.ColVarMonth[l] = varMonth;
      Arr.ColVarYTD[l] = varYTD;
      if (G.AcctTypes.at(acct) != "H" && lineSection >= 1 && lineSection <= 5) {
        const auto s = static_cast<size_t>(lineSection);
        Sec.ActMonth[s] += Arr.ActMonth[l];
        Sec.BgtMonth[s] += Arr.BgtMonth[l];
        Sec.VarMonth[s] += varMonth;
        Sec.ActYTD[s] += Arr.ActYTD[l];
        Sec.BgtYTD[s] += Arr.BgtYTD[l];
        Sec.VarYTD[s] += varYTD;
        Sec.Annual[s] += Arr.AnnualCol[l];
        Sec.LYMonth[s] += Arr.LYActMonth[l];
        Sec.LYYTD[s] += Arr.LYActYTD[l];
        Sec.LY12Months[s] += Arr.LYAct12Months[l];
      }
    });
  }
}

void BudgetComparison::SortLines() {
  Arr.GrowSortKeys();
  if (Arr.SortKeys.size() < static_cast<size_t>(G.TxRowCount) + 1) Arr.SortKeys.resize(G.TxRowCount + 1);
  for (int32_t line = 1; line <= G.TxRowCount; ++line) {
    // Account number in the first six characters, the line number after it, wide enough
    // for any line count and zero-filled so that it orders as a number.
    std::string key(6, ' ');
    const std::string& number = G.AcctNumbers.at(static_cast<size_t>(Arr.LineAcct.at(line)));
    key.replace(0, std::min<size_t>(6, number.size()), number.substr(0, 6));
    std::string n = std::to_string(line);
    key += std::string(n.size() < 10 ? 10 - n.size() : 0, '0') + n;
    Arr.SortKeys[static_cast<size_t>(line)] = key;
  }
  SortArray(Arr.SortKeys, 1, G.TxRowCount, G.SortOrder);
}

int32_t BudgetComparison::SortedLine(int32_t pos) const {
  return static_cast<int32_t>(std::stol(Arr.SortKeys.at(static_cast<size_t>(pos)).substr(6)));
}

// ---------------------------------------------------------------- the body

void BudgetComparison::BuildBody() {
  Rows.clear();
  GrandTotals.clear();
  SecName.fill("");
  ReportOK = false;
  PrevLevel = 0;
  PrevAcctNo.clear();
  PrevClass.clear();
  COSSeen = ClosingTotals = GPDone = OPDone = SurplusDone = false;
  TotalKind = 0;
  RowKind.clear();
  Lvl = {};
  for (int32_t pos = 1; pos <= G.TxRowCount; ++pos) {
    Step([&] { LineRoutine(pos); });
    if (PrintThisLine && LineWritten()) Step([&] { RowOutput(); });
  }
  if (!ReportOK) return;
  ClosingTotals = true;
  CurClass = "P";
  CurLevel = 1;
  Step([&] { SectionTotalsRows(); });
  if (Opt.PrintLevel > 1 && Opt.IncludeGrandTots) Step([&] { GrandTotalsPage(); });
}

void BudgetComparison::LoadAccountFields() {
  G.AccountIndex = Arr.LineAcct.at(static_cast<size_t>(CurLine));
  const auto i = static_cast<size_t>(G.AccountIndex);
  CurAcctNo = G.AcctNumbers.at(i);
  RowName = G.AcctNames.at(i);
  // Levels beyond the four the report knows count as the deepest one.
  CurLevel = std::clamp<int16_t>(G.AcctLevels.at(i), 1, 4);
  CurType = G.AcctTypes.at(i);
  // A detail account without a name still has its line, which its totals count: under its
  // number, or with the number in the name's place where numbers are not printed. A header
  // without a name is known by its number, which its heading and closing row carry.
  if (RowName.empty() && (CurType == "H" || !Opt.PrintAccountNumbers)) RowName = CurAcctNo;
}

bool BudgetComparison::LineWritten() const {
  // Below the report level a line is summed up by the closing row of its header at that
  // level; where no header opened that group, nothing would show its figures, so the line
  // shows itself.
  return CurLevel <= Opt.PrintLevel || !Lvl[static_cast<size_t>(std::clamp<int16_t>(Opt.PrintLevel, 1, 4))].HasHeader;
}

void BudgetComparison::LineRoutine(int32_t pos) {
  PrintThisLine = false;
  CurLine = SortedLine(pos);
  LoadAccountFields();
  CurClass = Left(CurAcctNo, 1);
  if (CurLevel < PrevLevel || CurType == "H" || CurAcctNo != PrevAcctNo) {
    // A line of another class ends every group of the class before it, also where the
    // new class has no header of its own at level 1.
    const int16_t level = CurLevel;
    const bool newClass = !PrevClass.empty() && CurClass != PrevClass;
    if (newClass) CurLevel = 1;
    SectionTotalsRows();
    if (newClass) Lvl.fill(Level{});
    CurLevel = level;
    ClearLevelsFrom();
  }
  if (Opt.UsePageBreaks) CheckPageBreak();
  LoadAccountFields();
  if (CurType != "H") DetailLine();
  if (CurType == "H") {
    Level& lv = Lvl[static_cast<size_t>(CurLevel)];
    lv.HeaderName = RowName;
    lv.HeaderPending = true;
    lv.HasHeader = true;
    ClearLevelsFrom();
  }
  // The Grand Totals name a section as its heading in the body does.
  if (const int s = SectionHeaderIndex(CurAcctNo); s > 0) SecName[static_cast<size_t>(s)] = RowName;
  PrevClass = Left(CurAcctNo, 1);
  PrevAcctNo = CurAcctNo;
  PrevLevel = CurLevel;
}

void BudgetComparison::ClearLevelsFrom() {
  for (int k = CurLevel; k <= 3; ++k) {
    Lvl[static_cast<size_t>(k)].Lines = 0;
    Lvl[static_cast<size_t>(k)].Tot = RowFigures{};
  }
}

void BudgetComparison::CheckPageBreak() {
  for (size_t i = 1; i < BreakAccts.size(); ++i) {
    if (CurAcctNo == BreakAccts[i]) {
      if (ReportOK) {
        ReportRow r;
        r.kind = ReportRow::PageBreak;
        Rows.push_back(r);
      }
      return;
    }
  }
}

void BudgetComparison::DetailLine() {
  const auto l = static_cast<size_t>(CurLine);
  const ComparisonOptions& o = Opt;
  RowFigures fig;
  fig.LYMonth = Arr.LYActMonth[l];
  fig.ActMonth = Arr.ActMonth[l];
  fig.BgtMonth = o.LYVariance ? Arr.LYActMonth[l] : Arr.BgtMonth[l];
  fig.VarMonth = Arr.ColVarMonth[l];
  fig.ActYTD = Arr.ActYTD[l];
  fig.BgtYTD = o.LYVariance ? Arr.LYActYTD[l] : Arr.BgtYTD[l];
  fig.VarYTD = Arr.ColVarYTD[l];
  fig.Annual = Arr.AnnualCol[l];
  fig.LYYTD = Arr.LYActYTD[l];
  fig.LY12Months = Arr.LYAct12Months[l];
  // A line is shown, and counts in its totals, when a figure it shows is not zero.
  if (!ShowsAnyFigure(fig, o)) return;
  PrintThisLine = true;
  Slots = fig;
  for (int i = 1; i < CurLevel; ++i) Lvl[static_cast<size_t>(i)].Tot += Slots;
  const RowFigures lineSlots = Slots;

  for (int k = CurLevel - 1; k >= 1; --k) ++Lvl[static_cast<size_t>(k)].Lines;
  for (int k = CurLevel + 1; k <= 3; ++k) Lvl[static_cast<size_t>(k)].Lines = 0;

  if (CurLevel > 1) {
    const int last = CurLevel - 1;
    for (int k = 1; k <= last; ++k) {
      Level& lv = Lvl[static_cast<size_t>(k)];
      if (!lv.HeaderPending) continue;
      CurLevel = static_cast<int16_t>(k);
      RowName = lv.HeaderName;
      CurType = "H";
      if (k < Opt.PrintLevel) RowOutput();
      lv.HeaderPending = false;
    }
  }
  LoadAccountFields();
  Slots = lineSlots;
  if (CurClass == "5") COSSeen = true;
}

void BudgetComparison::SectionTotalsRows() {
  const ComparisonOptions& o = Opt;
  for (int closeLvl = 3; closeLvl >= CurLevel; --closeLvl) {
    Level& lv = Lvl[static_cast<size_t>(closeLvl)];
    Slots = lv.Tot;
    if (!lv.HasHeader) {
      // Lines without a header of their own at this level have no closing row: they count
      // in the total of the group around them.
    } else if (lv.Lines <= 1 && closeLvl != o.PrintLevel && CurClass == PrevClass) {
      if (lv.Lines > 0 && closeLvl < o.PrintLevel) {
        ReportRow r;
        r.kind = ReportRow::Separator;
        Rows.push_back(r);
      }
    } else if (ShowsAnyFigure(Slots, o)) {
      TotalKind = 0;
      if (!((lv.Lines <= 1 || closeLvl > o.PrintLevel) && CurClass == PrevClass))
        TotalKind = AccountSection(PrevClass);
      if (CurLevel <= o.PrintLevel) {
        const std::string label = o.PrintLevel == 1 ? "" : (closeLvl < o.PrintLevel ? "Total " : "");
        RowName = label + lv.HeaderName;
        const int16_t saved = CurLevel;
        CurLevel = static_cast<int16_t>(closeLvl);
        CurType = "";
        RowOutput();
        CurLevel = saved;
      }
      // A total kind belongs to the closing row it was set for.
      TotalKind = 0;
    }
    // The group has ended, and its header with it: lines that follow without a header of
    // their own are not its lines.
    lv = Level{};
  }
  ProfitRows();
}

RowFigures BudgetComparison::ProfitFigures(int which) const {
  const ComparisonOptions& o = Opt;
  RowFigures r;
  r.ActMonth = Profit(which, Sec.ActMonth);
  r.BgtMonth = o.LYVariance ? Profit(which, Sec.LYMonth) : Profit(which, Sec.BgtMonth);
  r.VarMonth = r.ActMonth - r.BgtMonth;
  r.ActYTD = Profit(which, Sec.ActYTD);
  r.BgtYTD = o.LYVariance ? Profit(which, Sec.LYYTD) : Profit(which, Sec.BgtYTD);
  r.VarYTD = r.ActYTD - r.BgtYTD;
  r.Annual = Profit(which, Sec.Annual);
  r.LYMonth = Profit(which, Sec.LYMonth);
  r.LYYTD = Profit(which, Sec.LYYTD);
  r.LY12Months = Profit(which, Sec.LY12Months);
  if (o.VarAsLastYear || o.LYColumns) {
    r.VarMonth = Profit(which, Sec.VarMonth);
    r.VarYTD = Profit(which, Sec.LYYTD);
  }
  return r;
}

void BudgetComparison::ProfitRows() {
  const std::string digit = Left(CurAcctNo, 1);
  struct ProfitLine {
    int which;
    bool due;
    bool& done;
    const char* kind;
    const char* name;
  };
  ProfitLine lines[] = {
      {1, (digit > "5" || ClosingTotals) && COSSeen, GPDone, "GP", "Total Gross Profit"},
      {2, digit > "6" || ClosingTotals, OPDone, "OP", "Total Operating Profit"},
      {3, ClosingTotals, SurplusDone, "P", "Surplus/Deficit"},
  };
  for (ProfitLine& p : lines) {
    if (!p.due || p.done) continue;
    Slots = ProfitFigures(p.which);
    if (ShowsAnyFigure(Slots, Opt)) {
      RowKind = p.kind;
      CurLevel = 1;
      RowName = p.name;
      CurType = "";
      TotalKind = 6;
      RowOutput();
    }
    p.done = true;
  }
}

void BudgetComparison::RowOutput() {
  ReportRow r;
  r.Name = RowName;
  r.Level = CurLevel;
  r.TotalKind = TotalKind;
  r.Fig = Slots;
  const int16_t printLevel = Opt.PrintLevel;
  // A row without a name writes nothing; its total kind goes with it. A detail line always
  // shows (its account number stands for the name).
  TotalKind = 0;
  const bool detail = !CurType.empty() && CurType != "H" && r.TotalKind != 6;
  if (RowName.empty() && !detail) {
    r.Written = false;
    Rows.push_back(std::move(r));
    return;
  }
  r.Written = detail ? LineWritten() : CurLevel <= printLevel;
  if (CurType == "H") {
    r.kind = ReportRow::Heading;
  } else if (r.TotalKind == 6) {
    r.kind = ReportRow::Profit;
  } else if (CurType.empty()) {
    r.kind = ReportRow::Closing;
  } else {
    r.kind = ReportRow::Line;
    r.AcctNo = CurAcctNo;
  }
  const bool headingOnly = r.kind == ReportRow::Heading && CurLevel < printLevel;
  if (r.Written && !headingOnly) {
    const Level& lv = Lvl[static_cast<size_t>(CurLevel)];
    r.RuleAbove = (printLevel > 1 && r.TotalKind >= 1 && r.TotalKind <= 5 && CurLevel < printLevel &&
                   !(lv.Lines <= 1 && CurClass == PrevClass)) ||
                  r.TotalKind == 6;
    r.Dollar = RowKind == "P";
    r.Txt = FormatRowTexts(Slots, Opt, r.Dollar);
    r.DoubleRuleBelow = RowKind == "P" && r.TotalKind == 6;
    r.BlankAfter = (printLevel > 2 && r.TotalKind > 0) || (printLevel < 3 && CurLevel < printLevel) ||
                   r.TotalKind == 6;
    ReportOK = true;
  }
  Rows.push_back(std::move(r));
}

void BudgetComparison::GrandTotalsPage() {
  const ComparisonOptions& o = Opt;
  bool cosShown = false;
  auto sectionRow = [&](int s) {
    const auto i = static_cast<size_t>(s);
    GrandTotalRow r;
    r.Name = SecName[i];
    r.Fig.ActMonth = Sec.ActMonth[i];
    r.Fig.BgtMonth = o.LYVariance ? Sec.LYMonth[i] : Sec.BgtMonth[i];
    r.Fig.VarMonth = Sec.VarMonth[i];
    r.Fig.ActYTD = Sec.ActYTD[i];
    r.Fig.BgtYTD = o.LYVariance ? Sec.LYYTD[i] : Sec.BgtYTD[i];
    r.Fig.VarYTD = Sec.VarYTD[i];
    r.Fig.Annual = Sec.Annual[i];
    r.Fig.LYMonth = Sec.LYMonth[i];
    r.Fig.LYYTD = Sec.LYYTD[i];
    r.Fig.LY12Months = Sec.LY12Months[i];
    r.Txt = FormatRowTexts(r.Fig, o, false);
    return r;
  };
  auto profitRow = [&](int which, const char* name) {
    GrandTotalRow r;
    r.Name = name;
    r.Fig = ProfitFigures(which);
    r.RuleAbove = true;
    // Only the surplus carries the dollar sign, as it does in the body.
    r.Txt = FormatRowTexts(r.Fig, o, which == 3);
    return r;
  };
  for (int s = 1; s <= 6; ++s) {
    if (s <= 5) {
      // A section row is left out, as a body row is, only when every figure it shows is zero.
      GrandTotalRow row = sectionRow(s);
      const bool shown = ShowsAnyFigure(row.Fig, o);
      if (s == 2) cosShown = shown;
      if (!shown) continue;
      if (s == 3 && cosShown) GrandTotals.push_back(profitRow(1, "Gross Profit"));
      if (s == 4) GrandTotals.push_back(profitRow(2, "Operating Profit"));
      GrandTotals.push_back(std::move(row));
    } else {
      GrandTotals.push_back(profitRow(3, "Surplus/Deficit"));
    }
  }
}

}  // namespace qvx
