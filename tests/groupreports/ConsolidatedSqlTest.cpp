// The group report's figures over both fixed group folders (the one users get and the
// test-case one), checked against the company
// files' own journals read directly with SQL: every line's group and company amounts,
// the class totals, the profits, the sales and their average, the per-employee figures
// and the column order; and the saved workbook's figures against the same SQL.
#include <cstdio>
#include <regex>

#include "groupreports/ConsolidatedLines.h"
#include "groupreports/GroupRunFixture.h"
#include "samples/SampleBooks.h"

namespace qvx::test {
namespace {

const std::string kFrom = "2025-07-01", kTo = "2026-06-30";

std::string Letters(const std::string& classification) {
  if (classification == "I") return "IN";
  if (classification == "COS") return "CO";
  if (classification == "EXP") return "EX";
  return classification;  // OI, OE
}

// Cells of the first worksheet of a saved workbook, read from its XML: "B12" -> value.
std::map<std::string, std::string> ReadSheet(const std::string& path) {
  auto unzip = [&](const std::string& member) {
    std::string out;
    FILE* p = ::popen(("unzip -p '" + path + "' " + member).c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
  };
  auto unescape = [](std::string s) {
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}})
      for (size_t i = s.find(from); i != std::string::npos; i = s.find(from, i + to.size())) s.replace(i, from.size(), to);
    return s;
  };
  std::vector<std::string> shared;
  const std::string strings = unzip("xl/sharedStrings.xml");
  const std::regex si("<si>(.*?)</si>"), t("<t[^>]*>(.*?)</t>");
  for (auto it = std::sregex_iterator(strings.begin(), strings.end(), si); it != std::sregex_iterator(); ++it) {
    const std::string body = (*it)[1];
    std::string text;
    for (auto jt = std::sregex_iterator(body.begin(), body.end(), t); jt != std::sregex_iterator(); ++jt) text += (*jt)[1];
    shared.push_back(unescape(text));
  }
  std::map<std::string, std::string> cells;
  const std::string sheet = unzip("xl/worksheets/sheet1.xml");
  const std::regex c("<c r=\"([A-Z]+[0-9]+)\"([^>]*?)(/>|>(.*?)</c>)"), v("<v>(.*?)</v>");
  for (auto it = std::sregex_iterator(sheet.begin(), sheet.end(), c); it != std::sregex_iterator(); ++it) {
    const std::string attrs = (*it)[2], body = (*it)[4];
    std::smatch m;
    if (!std::regex_search(body, m, v)) continue;
    std::string value = m[1];
    if (attrs.find("t=\"s\"") != std::string::npos) value = shared.at(static_cast<size_t>(std::stoi(value)));
    cells[(*it)[1]] = unescape(value);
  }
  return cells;
}

class ConsolidatedSqlTest : public GroupRunTest {
 protected:
  // Per accepted file (by name) and per (number, class letters): the file's journal of the
  // period weighted by its percentage, income and other income negated; with the count of
  // journal lines for the rounding tolerance.
  struct Figure {
    double amount = 0;
    int lines = 0;
  };
  using Figures = std::map<std::pair<std::string, std::string>, Figure>;
  static Figures FileFigures(const std::string& path, double percent) {
    Figures out;
    const auto rows = Direct(path,
                          "SELECT a.AccountNumber, a.SubAccountClassificationID, SUM(CAST(j.TaxExclusiveAmount AS REAL)), "
                          "COUNT(*) FROM JournalRecords j JOIN Accounts a ON a.AccountID = j.AccountID "
                          "WHERE j.TransactionDate BETWEEN '" + kFrom + "' AND '" + kTo + "' "
                          "AND substr(a.AccountNumber, 1, 1) > '3' GROUP BY 1, 2");
    for (const auto& r : rows) {
      double v = std::stod(r[2]) * percent / 100;
      if (r[0][0] == '4' || r[0][0] == '8') v = -v;
      out[std::make_pair(r[0], Letters(r[1]))] = Figure{v, std::stoi(r[3])};
    }
    return out;
  }
  // The balance-sheet side of the same journal sets, weighted: what the profit must be.
  static double BalanceSheetSide(const std::string& path, double percent) {
    const auto rows = Direct(path,
                          "SELECT COALESCE(SUM(CAST(j.TaxExclusiveAmount AS REAL)), 0) FROM JournalRecords j JOIN Accounts a "
                          "ON a.AccountID = j.AccountID WHERE j.TransactionDate BETWEEN '" + kFrom + "' AND '" + kTo +
                          "' AND substr(a.AccountNumber, 1, 1) <= '3'");
    return std::stod(rows.at(0).at(0)) * percent / 100;
  }
  // One run over the folder with a column per company, checked line by line.
  void CheckFolder(const std::string& folder, const std::vector<samples::GroupFolderFile>& files, int accepted);
};

TEST_F(ConsolidatedSqlTest, FiguresAgreeWithTheJournals) {
  for (const samples::GroupSample sample : {samples::GroupSample::Cases, samples::GroupSample::Shipped}) {
    const bool cases = sample == samples::GroupSample::Cases;
    SCOPED_TRACE(cases ? "test cases" : "shipped");
    const std::string folder = Path(cases ? "Cases" : "Group");
    CheckFolder(folder, samples::BuildGroupFolder(folder, {.sample = sample}), cases ? 6 : 5);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

void ConsolidatedSqlTest::CheckFolder(const std::string& folder, const std::vector<samples::GroupFolderFile>& files,
                                      int accepted) {
  ui_->Clear();
  G.CurrentYear = 2026;
  G.PrintAccountNumbers = kFalse;
  RunOptions o;
  o.folder = folder;
  o.excel = true;
  o.separate = true;
  Run(o);
  const ConsolidationData& d = Consolidation;
  ASSERT_EQ(d.PercentFileCount, accepted);
  const ConsolidatedFigures fig = BuildConsolidatedFigures(d);
  ASSERT_GE(fig.Lines.size(), 10u);

  // Independent figures, by the file index the run gave each accepted file.
  const int n = d.PercentFileCount;
  std::vector<Figures> perFile(static_cast<size_t>(n) + 1);
  std::vector<const samples::GroupFolderFile*> info(static_cast<size_t>(n) + 1);
  double profitFromBalanceSheet = 0;
  for (int f = 1; f <= n; ++f) {
    for (const auto& file : files)
      if (file.name == d.ConsFileName[static_cast<size_t>(f)]) info[static_cast<size_t>(f)] = &file;
    ASSERT_NE(info[static_cast<size_t>(f)], nullptr) << d.ConsFileName[static_cast<size_t>(f)];
    const std::string path = folder + "/" + info[static_cast<size_t>(f)]->name;
    perFile[static_cast<size_t>(f)] = FileFigures(path, info[static_cast<size_t>(f)]->percent);
    profitFromBalanceSheet += BalanceSheetSide(path, info[static_cast<size_t>(f)]->percent);
  }

  // Every line: the group amount and each company's, against SQL.
  std::map<std::pair<std::string, std::string>, bool> seen;
  std::map<std::string, double> classTotal;
  for (const ConsolidatedLine& line : fig.Lines) {
    const auto key = std::make_pair(line.Number, Mid(line.Class, 3, 2));
    seen[key] = true;
    double group = 0, tolerance = 1e-6;
    for (int f = 1; f <= n; ++f) {
      auto it = perFile[static_cast<size_t>(f)].find(key);
      const double want = it == perFile[static_cast<size_t>(f)].end() ? 0 : it->second.amount;
      const double slack = it == perFile[static_cast<size_t>(f)].end() ? 1e-6 : 0.00005 * it->second.lines + 1e-6;
      EXPECT_NEAR(line.FileAmount[static_cast<size_t>(f)].ToDouble(), want, slack) << line.Number << " file " << f;
      group += want;
      tolerance += slack;
    }
    EXPECT_NEAR(line.Amount.ToDouble(), group, tolerance) << line.Number << " " << line.Class;
    classTotal[key.second] += group;
  }
  // Every account that moved has its line.
  for (int f = 1; f <= n; ++f)
    for (const auto& [key, figure] : perFile[static_cast<size_t>(f)])
      if (std::fabs(figure.amount) > 0.00005) {
        EXPECT_TRUE(seen[key]) << key.first << " " << key.second;
      }
  // North1 has 4-3000 as income and North2 as other income: two lines, each its own.
  // The shipped folder holds it as income only.
  EXPECT_TRUE(seen[std::make_pair(std::string("4-3000"), std::string("IN"))]);
  EXPECT_EQ(seen[std::make_pair(std::string("4-3000"), std::string("OI"))], accepted == 6);

  const double tol = 0.05;
  EXPECT_NEAR(fig.Group[PLClass::IN].ToDouble(), classTotal["IN"], tol);
  EXPECT_NEAR(fig.Group[PLClass::CO].ToDouble(), classTotal["CO"], tol);
  EXPECT_NEAR(fig.Group[PLClass::EX].ToDouble(), classTotal["EX"], tol);
  EXPECT_NEAR(fig.Group[PLClass::OI].ToDouble(), classTotal["OI"], tol);
  EXPECT_NEAR(fig.Group[PLClass::OE].ToDouble(), classTotal["OE"], tol);
  EXPECT_NEAR(fig.Group.GrossProfit().ToDouble(), classTotal["IN"] - classTotal["CO"], tol);
  EXPECT_NEAR(fig.Group.OperatingProfit().ToDouble(), classTotal["IN"] - classTotal["CO"] - classTotal["EX"], tol);
  // Net profit is the weighted balance-sheet side of the period's journal sets.
  EXPECT_NEAR(fig.Group.NetProfit().ToDouble(), profitFromBalanceSheet, tol);
  EXPECT_NEAR(fig.AvgSales.ToDouble(), classTotal["IN"] / n, 0.01);

  // Per company: class totals and sales per employee.
  const ComparisonSections cmp = BuildComparisons(fig, d, {M("1.00"), M("1.00"), M("1.00"), M("1.00")});
  const ComparisonRow* salesPer = nullptr;
  for (const auto& r : cmp.Benchmark)
    if (r.Label.find("Sales per Employee") != std::string::npos) salesPer = &r;
  ASSERT_NE(salesPer, nullptr);
  for (int c = 1; c <= n; ++c) {
    const int f = fig.ColFile[static_cast<size_t>(c)];
    double in = 0;
    for (const auto& [key, figure] : perFile[static_cast<size_t>(f)])
      if (key.second == "IN") in += figure.amount;
    EXPECT_NEAR(fig.File[static_cast<size_t>(f)][PLClass::IN].ToDouble(), in, tol) << f;
    const double staff = info[static_cast<size_t>(f)]->employees;
    EXPECT_NEAR(salesPer->Column[static_cast<size_t>(c)].ToDouble(), staff > 0 ? in / staff : 0, 0.01) << f;
  }

  // Columns: highest percentage first, then short name, then file number as text.
  std::vector<std::tuple<long, std::string, std::string, int>> order;
  for (int f = 1; f <= n; ++f)
    order.emplace_back(std::lround((100 - info[static_cast<size_t>(f)]->percent) * 100),
                       info[static_cast<size_t>(f)]->shortName, std::to_string(f), f);
  std::sort(order.begin(), order.end());
  for (int c = 1; c <= n; ++c) EXPECT_EQ(fig.ColFile[static_cast<size_t>(c)], std::get<3>(order[static_cast<size_t>(c - 1)]));

  // The saved workbook: GROUP is column B (no account numbers), the net profit in cents.
  const auto cells = ReadSheet(G.OutputFolder + G.OutputFileName);
  std::string netRow;
  for (const auto& [ref, value] : cells)
    if (value == "Net Profit/(Loss)") netRow = ref.substr(1);
  ASSERT_FALSE(netRow.empty());
  ASSERT_TRUE(cells.count("B" + netRow));
  EXPECT_NEAR(std::stod(cells.at("B" + netRow)), profitFromBalanceSheet, 0.011);
}

}  // namespace
}  // namespace qvx::test
