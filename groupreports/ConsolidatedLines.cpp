#include "groupreports/ConsolidatedLines.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "core/Globals.h"
#include "core/Lookups.h"
#include "core/NumberFormat.h"

namespace qvx {

PLClass ClassOf(const std::string& classCode) {
  const std::string l = Mid(classCode, 3, 2);
  if (l == "IN") return PLClass::IN;
  if (l == "CO") return PLClass::CO;
  if (l == "EX") return PLClass::EX;
  if (l == "OI") return PLClass::OI;
  if (l == "OE") return PLClass::OE;
  return PLClass::None;
}

const char* ClassLetters(PLClass c) {
  static constexpr const char* kLetters[] = {"IN", "CO", "EX", "OI", "OE", ""};
  return kLetters[static_cast<size_t>(c)];
}

Money SafeQuotient(double a, double b) {
  if (b == 0) return {};
  const double q = a / b;
  if (!std::isfinite(q) || std::fabs(q) >= 9.2e14) return {};
  return Money::FromDouble(q);
}

namespace {

size_t Idx(int32_t i) { return static_cast<size_t>(i); }

// The rows of each accepted file by account number, in row order.
using RowIndex = std::unordered_map<std::string, std::vector<int32_t>>;

std::vector<RowIndex> IndexRows(const ConsolidationData& d, int16_t n) {
  std::vector<RowIndex> index(Idx(n) + 1);
  for (int16_t f = 1; f <= n; ++f)
    for (int32_t r = 1; r <= d.FileAccCount[Idx(f)]; ++r) index[Idx(f)][d.FileAccNumber[Idx(f)][Idx(r)]].push_back(r);
  return index;
}

// Fixed-width text key: each field cut to its width, the rest blank.
void PutField(std::string& key, size_t at, size_t width, const std::string& field) {
  key.replace(at, std::min(width, field.size()), field.substr(0, width));
}

// By position in entries (the selected combined entries in key order): the position of the
// common header whose group holds it, -1 for none. A header that gives no line passes its
// lines on to the header holding it; a header of another class, or not shallower than the
// line (files that level an account differently), holds none of it.
std::vector<int32_t> HoldersOf(const ConsolidationData& d, const std::vector<int32_t>& entries) {
  std::vector<int32_t> holders(entries.size(), -1);
  if (!d.CommonHeaders) return holders;
  std::unordered_map<int32_t, int32_t> headerAt;
  for (size_t k = 0; k < entries.size(); ++k)
    if (d.ConsAccType[Idx(entries[k])] == "UH") headerAt[entries[k]] = static_cast<int32_t>(k);
  for (size_t k = 0; k < entries.size(); ++k) {
    const size_t e = Idx(entries[k]);
    // A holder comes before the entries it holds, so the walk up always ends.
    for (int32_t h = d.ConsAccHolder[e]; h > 0 && h < entries[k]; h = d.ConsAccHolder[Idx(h)]) {
      auto at = headerAt.find(h);
      if (at != headerAt.end() && d.ConsAccLevel[Idx(h)] < d.ConsAccLevel[e] &&
          ClassOf(d.ConsAccClass[Idx(h)]) == ClassOf(d.ConsAccClass[e])) {
        holders[k] = at->second;
        break;
      }
    }
  }
  return holders;
}

void SelectAndSort(const ConsolidationData& d, const std::vector<RowIndex>& rows, ConsolidatedFigures& fig) {
  const int16_t n = fig.FileCount;
  std::vector<std::string> keys(Idx(d.ConsAccCount) + 1);
  int32_t selected = 0;
  for (int32_t i = 1; i <= d.ConsAccCount; ++i) {
    bool take = false;
    if (d.ConsAccType[Idx(i)] == "UH" && d.CommonHeaders) {
      // A common header only when every accepted file holds it.
      take = d.ConsAccFileCount[Idx(i)] >= n;
    } else {
      for (int16_t f = 1; f <= n && !take; ++f) {
        if (d.FilePercent[Idx(f)] <= 0) continue;
        auto it = rows[Idx(f)].find(d.ConsAccNumber[Idx(i)]);
        if (it == rows[Idx(f)].end()) continue;
        for (int32_t r : it->second)
          if (!d.FileAccBalance[Idx(f)][Idx(r)].IsZero()) take = true;
      }
    }
    if (!take) continue;
    std::string key(18, ' ');
    PutField(key, 0, 6, d.ConsAccClass[Idx(i)]);
    PutField(key, 6, 6, d.ConsAccNumber[Idx(i)]);
    PutField(key, 12, 6, std::to_string(i));
    keys[Idx(++selected)] = key;
  }
  SortArray(keys, 1, selected, "");
  std::vector<int32_t> entries(Idx(selected));
  for (int32_t k = 1; k <= selected; ++k) entries[Idx(k - 1)] = static_cast<int32_t>(Val(keys[Idx(k)].substr(12)));
  const std::vector<int32_t> holders = HoldersOf(d, entries);

  // Each line comes inside the group of its header, its header's lines in key order: a
  // line that one company's chart puts elsewhere cannot end another company's group.
  std::vector<std::vector<size_t>> held(entries.size() + 1);  // by holder position + 1
  for (size_t k = 0; k < entries.size(); ++k) held[Idx(holders[k] + 1)].push_back(k);
  std::vector<size_t> order;
  std::vector<int32_t> lineAt(entries.size(), -1);
  std::vector<std::pair<size_t, size_t>> walk = {{0, 0}};  // (group + 1, next of its lines)
  while (!walk.empty()) {
    auto& [group, next] = walk.back();
    if (next == held[group].size()) {
      walk.pop_back();
      continue;
    }
    const size_t k = held[group][next++];
    lineAt[k] = static_cast<int32_t>(order.size());
    order.push_back(k);
    walk.emplace_back(k + 1, 0);
  }

  fig.Lines.reserve(order.size());
  for (const size_t k : order) {
    const int32_t i = entries[k];
    ConsolidatedLine line;
    line.Holder = holders[k] < 0 ? -1 : lineAt[Idx(holders[k])];
    line.Number = d.ConsAccNumber[Idx(i)];
    line.Name = d.ConsAccName[Idx(i)];
    line.Type = d.ConsAccType[Idx(i)];
    line.Level = d.ConsAccLevel[Idx(i)];
    line.Class = d.ConsAccClass[Idx(i)];
    line.FileAmount.assign(Idx(n) + 1, Money{});
    const char first = line.Number.empty() ? ' ' : line.Number[0];
    if (first == '4') fig.HasIncome = true;
    if (first == '5') fig.HasCostOfSales = true;
    if (first == '6') fig.HasExpenses = true;
    fig.Lines.push_back(std::move(line));
  }
  // A group's lines follow its header, so a group ends where the last of its lines ends.
  for (size_t p = 0; p < fig.Lines.size(); ++p) fig.Lines[p].GroupEnd = static_cast<int32_t>(p);
  for (size_t p = fig.Lines.size(); p-- > 0;) {
    const int32_t h = fig.Lines[p].Holder;
    if (h >= 0) fig.Lines[Idx(h)].GroupEnd = std::max(fig.Lines[Idx(h)].GroupEnd, fig.Lines[p].GroupEnd);
  }
}

// Group amount and each company's amount of every line, from the rows that feed it: in each
// file, the rows with the line's number and class letters, whatever their type, so that a
// number classed differently in two files never feeds both of its lines, and a header of one
// file shows on the detail line of another file's account of that number. A common header
// line is fed by no row: it holds the lines of its group. Every total is then taken over
// the lines, so that what feeds a line is all that any total counts.
void LineAmounts(const ConsolidationData& d, const std::vector<RowIndex>& rows, ConsolidatedFigures& fig) {
  for (ConsolidatedLine& line : fig.Lines) {
    const std::string letters = Mid(line.Class, 3, 2);
    const bool header = line.Type == "UH" && d.CommonHeaders;
    for (int16_t f = 1; f <= fig.FileCount; ++f) {
      auto it = rows[Idx(f)].find(line.Number);
      if (it == rows[Idx(f)].end()) continue;
      for (int32_t r : it->second) {
        if (Mid(d.FileAccClass[Idx(f)][Idx(r)], 3, 2) != letters) continue;
        const Money balance = d.FileAccBalance[Idx(f)][Idx(r)];
        if (d.FilePercent[Idx(f)] <= 0 || balance.IsZero()) continue;
        if (line.Amount.IsZero()) line.Name = d.FileAccName[Idx(f)][Idx(r)];
        if (header) continue;
        line.Amount += balance;
        line.FileAmount[Idx(f)] += balance;
      }
    }
    // An account without a name is known by its number: where numbers are not printed, the
    // number stands in the name's place.
    if (line.Name.empty() && !G.PrintAccountNumbers) line.Name = line.Number;
  }
}

// The class totals and sales of the group and of each company are those of the lines, taken
// before the headers hold anything: a company's column adds up to its own lines, and the
// group's to its companies' together.
void Totals(const ConsolidationData& d, ConsolidatedFigures& fig) {
  fig.File.assign(Idx(fig.FileCount) + 1, ClassTotals{});
  fig.FileSales.assign(Idx(fig.FileCount) + 1, Money{});
  for (const ConsolidatedLine& line : fig.Lines) {
    const PLClass c = ClassOf(line.Class);
    const bool sales = c == PLClass::IN && line.Type == "D";
    fig.Group.Add(c, line.Amount);
    if (sales) fig.FileSales[0] += line.Amount;
    for (int16_t f = 1; f <= fig.FileCount; ++f) {
      fig.File[Idx(f)].Add(c, line.FileAmount[Idx(f)]);
      if (sales) fig.FileSales[Idx(f)] += line.FileAmount[Idx(f)];
    }
  }
  // The income of every company over the companies, to the cent.
  if (fig.FileCount > 0) {
    Money allIncome;
    for (int16_t f = 1; f <= fig.FileCount; ++f) allIncome += fig.File[Idx(f)][PLClass::IN];
    fig.AvgSales = SafeQuotient(allIncome.ToDouble(), fig.FileCount);
    RoundTo(fig.AvgSales, 2);
  }

  if (!d.CommonHeaders) return;
  // Every header gets the detail lines its group holds, at any depth, each counted once,
  // for the group and for each company alike.
  for (const ConsolidatedLine& line : fig.Lines) {
    if (line.Type == "UH") continue;
    for (int32_t h = line.Holder; h >= 0; h = fig.Lines[Idx(h)].Holder) {
      ConsolidatedLine& header = fig.Lines[Idx(h)];
      header.Amount += line.Amount;
      for (size_t f = 1; f < header.FileAmount.size(); ++f) header.FileAmount[f] += line.FileAmount[f];
    }
  }
}

// Which groups the report opens and where each closes: a common header no deeper than the
// report level opens one, and it closes after the last line its group holds, before
// whatever line comes next, printed or not; those still open close at the end of the
// report. Groups lie inside one another, so the open ones close deepest first.
void OpenAndClose(const ConsolidationData& d, int16_t reportLevel, ConsolidatedFigures& fig) {
  std::vector<int32_t> open;
  for (size_t p = 0; p < fig.Lines.size(); ++p) {
    ConsolidatedLine& line = fig.Lines[p];
    while (!open.empty() && fig.Lines[Idx(open.back())].GroupEnd < static_cast<int32_t>(p)) {
      line.Closes.push_back(open.back());
      open.pop_back();
    }
    line.Opens = d.CommonHeaders && line.Type == "UH" && line.Level <= reportLevel;
    if (line.Opens) open.push_back(static_cast<int32_t>(p));
  }
}

// Highest percentage first, then short name, then file number as text.
void ColumnOrder(const ConsolidationData& d, ConsolidatedFigures& fig) {
  const int16_t n = fig.FileCount;
  std::vector<std::string> keys(Idx(n) + 1);
  for (int16_t f = 1; f <= n; ++f) {
    Money rest = Money::FromDouble(100.0 - d.FilePercent[Idx(f)]);
    RoundTo(rest, 2);
    std::string pct = rest.ToString();
    PadDecimals(pct, 2);
    while (pct.size() < 6) pct = "0" + pct;
    std::string key(18, ' ');
    PutField(key, 0, 6, pct);
    PutField(key, 6, 10, d.FileShortName[Idx(f)]);
    PutField(key, 16, 2, std::to_string(f));
    keys[Idx(f)] = key;
  }
  SortArray(keys, 1, n, "A");
  fig.ColFile.assign(1, 0);
  fig.ColHead.assign(1, "");
  for (int16_t c = 1; c <= n; ++c) {
    fig.ColFile.push_back(static_cast<int16_t>(Val(keys[Idx(c)].substr(16, 2))));
    fig.ColHead.push_back(keys[Idx(c)].substr(6, 10));
  }
}

}  // namespace

ConsolidatedFigures BuildConsolidatedFigures(const ConsolidationData& data, int16_t reportLevel) {
  ConsolidatedFigures fig;
  fig.FileCount = std::min<int16_t>(data.PercentFileCount, static_cast<int16_t>(kConsFileSlots));
  const std::vector<RowIndex> rows = IndexRows(data, fig.FileCount);
  SelectAndSort(data, rows, fig);
  LineAmounts(data, rows, fig);
  Totals(data, fig);
  OpenAndClose(data, reportLevel, fig);
  ColumnOrder(data, fig);
  return fig;
}

namespace {

Money Whole(Money m) {
  RoundTo(m, 0);
  return m;
}

bool NonZeroWhole(Money m) { return std::nearbyint(m.ToDouble()) != 0; }

// The comparison rows share their company figures: by column, the company of the column.
class ComparisonBuilder {
 public:
  ComparisonBuilder(const ConsolidatedFigures& fig, const ConsolidationData& d, const Benchmarks& bm)
      : fig_(fig), d_(d), bm_(bm), n_(fig.FileCount), separate_(d.SeparateCols),
        wholeDollars_(d.WholeDollars != 0) {}

  ComparisonSections Build() {
    s_.AvgSales = fig_.AvgSales;
    BenchmarkSection();
    AverageSection();
    return std::move(s_);
  }

 private:
  const ClassTotals& FileOf(int16_t c) const { return fig_.File[Idx(fig_.ColFile[Idx(c)])]; }
  double Employees(int16_t c) const { return fig_.ColFile.size() > Idx(c) ? d_.FileEmployees[Idx(fig_.ColFile[Idx(c)])] : 0; }

  // Company figures of a row: sales, gross or net profit (income less cost of sales and
  // expenses), per employee when asked.
  enum class Fig { Sales, Gross, Net };
  static Money Of(const ClassTotals& t, Fig what) {
    switch (what) {
      case Fig::Sales: return t[PLClass::IN];
      case Fig::Gross: return t.GrossProfit();
      case Fig::Net: return t.GrossProfit() - t[PLClass::EX];
    }
    return {};
  }
  std::vector<Money> Columns(Fig what, bool perEmployee) const {
    std::vector<Money> col(Idx(n_) + 1);
    if (!separate_) return col;
    for (int16_t c = 1; c <= n_; ++c) {
      const Money m = Of(FileOf(c), what);
      if (!perEmployee) col[Idx(c)] = m;
      else if (Employees(c) > 0) col[Idx(c)] = SafeQuotient(m.ToDouble(), Employees(c));
    }
    return col;
  }
  Money MeanOf(const std::vector<Money>& col) const {
    Money sum;
    for (int16_t c = 1; c <= n_; ++c) sum += col[Idx(c)];
    return SafeQuotient(sum.ToDouble(), n_);
  }
  // Whole-group figure per employee: money of every column over the employees of the
  // columns that have some.
  Money GroupPerEmployee(Fig what) const {
    if (!separate_) return {};
    Money sum;
    double staff = 0;
    for (int16_t c = 1; c <= n_; ++c) {
      sum += Of(FileOf(c), what);
      if (Employees(c) > 0) staff += Employees(c);
    }
    return staff > 0 ? SafeQuotient(sum.ToDouble(), staff) : Money{};
  }

  ComparisonRow Row(const std::string& text, Money compare, bool dollar) {
    ComparisonRow r;
    r.Label = text + (dollar ? "$" : "") + compare.ToString();
    r.Compare = compare;
    r.WholeDollars = wholeDollars_;
    return r;
  }

  void BenchmarkSection() {
    const Money groupNet = fig_.Group.GrossProfit() - fig_.Group[PLClass::EX];
    if (bm_.GrossProfit > Money{}) {
      ComparisonRow r = Row("   Sales ", bm_.Sales, true);
      r.Group = fig_.Group[PLClass::IN];
      r.Column = Columns(Fig::Sales, false);
      r.Average = s_.AvgSales;
      if (separate_) s_.AvgSales = Whole(MeanOf(r.Column));
      s_.Benchmark.push_back(r);

      r = Row("   Gross Profit ", bm_.GrossProfit, true);
      r.Group = fig_.Group.GrossProfit();
      r.Column = Columns(Fig::Gross, false);
      r.Average = SafeQuotient(r.Group.ToDouble(), n_);
      if (separate_) s_.AvgGP = Whole(MeanOf(r.Column));
      s_.Benchmark.push_back(r);
    }
    if (bm_.NetProfit > Money{}) {
      ComparisonRow r = Row("   Net Profit     ", bm_.NetProfit, true);
      r.Group = groupNet;
      r.Column = Columns(Fig::Net, false);
      r.Average = SafeQuotient(r.Group.ToDouble(), n_);
      if (separate_) s_.AvgNP = Whole(MeanOf(r.Column));
      s_.Benchmark.push_back(r);
    }
    if (!(bm_.Staff > Money{})) return;
    wholeDollars_ = false;
    ComparisonRow staff = Row("   Number of Employees ", bm_.Staff, false);
    staff.StaffRow = true;
    staff.Column.assign(Idx(n_) + 1, Money{});
    if (separate_)
      for (int16_t c = 1; c <= n_; ++c) {
        staff.Column[Idx(c)] = Money::FromDouble(Employees(c));
        staff.Group += staff.Column[Idx(c)];
      }
    staff.Average = SafeQuotient(staff.Group.ToDouble(), n_);
    if (separate_) {
      s_.AvgStaff = MeanOf(staff.Column);
      RoundTo(s_.AvgStaff, 2);
    }
    s_.Benchmark.push_back(staff);

    const double avgStaff = s_.AvgStaff.ToDouble();
    s_.AvgSalesPerStaff = avgStaff > 0 ? Whole(SafeQuotient(s_.AvgSales.ToDouble(), avgStaff)) : Money{};
    s_.AvgGPPerStaff = avgStaff > 0 ? Whole(SafeQuotient(s_.AvgGP.ToDouble(), avgStaff)) : Money{};
    s_.AvgNPPerStaff = avgStaff > 0 ? Whole(SafeQuotient(s_.AvgNP.ToDouble(), avgStaff)) : Money{};
    PerEmployee("   Sales per Employee ", bm_.Sales, Fig::Sales, s_.AvgSalesPerStaff);
    PerEmployee("   GP per Employee ", bm_.GrossProfit, Fig::Gross, s_.AvgGPPerStaff);
    PerEmployee("   NP per Employee ", bm_.NetProfit, Fig::Net, s_.AvgNPPerStaff);
  }

  void PerEmployee(const char* text, Money benchmark, Fig what, Money average) {
    if (!NonZeroWhole(benchmark)) return;
    wholeDollars_ = true;
    ComparisonRow r = Row(text, SafeQuotient(benchmark.ToDouble(), bm_.Staff.ToDouble()), true);
    r.Group = GroupPerEmployee(what);
    r.Column = Columns(what, true);
    r.Average = average;
    s_.Benchmark.push_back(r);
  }

  ComparisonRow AverageRow(const char* text, Money average, bool dollar, Fig what, bool perEmployee) {
    ComparisonRow r = Row(text, average, dollar);
    r.Average = average;
    r.Column = Columns(what, perEmployee);
    return r;
  }

  void AverageSection() {
    if (bm_.GrossProfit > Money{}) {
      s_.Average.push_back(AverageRow("   Sales ", s_.AvgSales, true, Fig::Sales, false));
      s_.Average.push_back(AverageRow("   Gross Profit ", s_.AvgGP, true, Fig::Gross, false));
    }
    if (bm_.NetProfit > Money{}) s_.Average.push_back(AverageRow("   Net Profit     ", s_.AvgNP, true, Fig::Net, false));
    if (!(bm_.Staff > Money{})) return;
    wholeDollars_ = false;
    ComparisonRow staff = Row("   Number of Employees ", s_.AvgStaff, false);
    staff.StaffRow = true;
    staff.Average = s_.AvgStaff;
    staff.Column.assign(Idx(n_) + 1, Money{});
    if (separate_)
      for (int16_t c = 1; c <= n_; ++c) staff.Column[Idx(c)] = Money::FromDouble(Employees(c));
    s_.Average.push_back(staff);
    const double avgStaff = s_.AvgStaff.ToDouble();
    const Money salesPer = avgStaff > 0 ? Whole(SafeQuotient(s_.AvgSales.ToDouble(), avgStaff)) : Money{};
    struct PerRow {
      const char* text;
      Money benchmark;
      Fig what;
      Money average;
    };
    const PerRow rows[] = {{"   Sales per Employee ", bm_.Sales, Fig::Sales, salesPer},
                           {"   GP per Employee ", bm_.GrossProfit, Fig::Gross, s_.AvgGPPerStaff},
                           {"   NP per Employee ", bm_.NetProfit, Fig::Net, s_.AvgNPPerStaff}};
    for (const PerRow& row : rows) {
      if (!NonZeroWhole(row.benchmark)) continue;
      wholeDollars_ = true;
      s_.Average.push_back(AverageRow(row.text, row.average, true, row.what, true));
    }
  }

  const ConsolidatedFigures& fig_;
  const ConsolidationData& d_;
  const Benchmarks& bm_;
  int16_t n_;
  bool separate_;
  bool wholeDollars_;
  ComparisonSections s_;
};

}  // namespace

ComparisonSections BuildComparisons(const ConsolidatedFigures& fig, const ConsolidationData& data,
                                    const Benchmarks& bm) {
  return ComparisonBuilder(fig, data, bm).Build();
}

}  // namespace qvx
