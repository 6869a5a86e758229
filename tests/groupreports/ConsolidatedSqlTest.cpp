// The group report's figures over both fixed group folders (the one users get and the
// test-case one), checked against the company
// files' own journals read directly with SQL: every line's group and company amounts,
// the class totals, the profits, the sales and their average, the per-employee figures
// and the column order; and the saved workbook's figures against the same SQL, also for
// the totals of common headers over charts that differ from file to file, where every
// company column adds up to its own lines.
#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "core/SelectPrinter.h"
#include "groupreports/ConsolidatedLines.h"
#include "groupreports/GroupRunFixture.h"
#include "platform/printer/Printer.h"
#include "samples/SampleBooks.h"
#include "samples/SamplePaths.h"
#include "support/SampleCopy.h"
#include "tests/platform/printer/PdfText.h"

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


// ---------------------------------------------------------------- common-header totals

std::string AddAccount(int id, const std::string& parent, const std::string& number, const std::string& name,
                       char type, int level) {
  return "INSERT INTO Accounts (AccountID, ParentAccountID, AccountNumber, AccountName, AccountTypeID, AccountLevel, "
         "AccountClassificationID, SubAccountClassificationID, CurrencyID, TaxCodeID, ThisYearOpeningBalance, IsActive) "
         "SELECT " + std::to_string(id) + ", AccountID, '" + number + "', '" + name + "', '" + std::string(1, type) +
         "', " + std::to_string(level) + ", AccountClassificationID, SubAccountClassificationID, CurrencyID, TaxCodeID, "
         "0, 'Y' FROM Accounts WHERE AccountNumber = '" + parent + "';";
}

std::string AddJournal(int id, const std::string& number, const std::string& amount) {
  return "INSERT INTO JournalRecords (JournalRecordID, SetID, AccountID, TransactionDate, TaxExclusiveAmount, JobID, "
         "IsForeignTransaction) SELECT " + std::to_string(id) + ", 1, AccountID, '2025-08-09', " + amount +
         ", 0, 'N' FROM Accounts WHERE AccountNumber = '" + number + "';";
}

// One file's chart of profit-and-loss accounts and its weighted figures of the period.
struct Chart {
  struct Account {
    std::string parent, name, type, letters;
    int level = 0;
  };
  std::map<std::string, Account> accounts;  // by number
  std::map<std::string, double> amount;     // by number
};

// A row of a saved report up to the net profit: the account number, the name, the amounts
// by column heading and, in cents, from left to right.
struct SheetRow {
  std::string number, name;
  std::map<std::string, double> amount;
  std::vector<long> shown;
  double Of(const std::string& heading) const {
    const auto it = amount.find(heading);
    return it == amount.end() ? 0 : it->second;
  }
};

std::vector<SheetRow> ReportRows(const std::map<std::string, std::string>& cells) {
  std::map<int, std::map<std::string, std::string>> byRow;
  for (const auto& [r, value] : cells) {
    const size_t digit = r.find_first_of("0123456789");
    byRow[std::stoi(r.substr(digit))][r.substr(0, digit)] = value;
  }
  std::map<std::string, std::string> heading;  // column -> GROUP, AVERAGE or short name
  std::vector<SheetRow> rows;
  for (const auto& [row, cols] : byRow) {
    if (heading.empty()) {
      for (const auto& [col, value] : cols)
        if (value == "GROUP")
          for (const auto& [c, v] : cols) heading[c] = std::regex_replace(v, std::regex(" +$"), "");
      continue;
    }
    SheetRow out;
    if (cols.count("A")) out.number = std::regex_replace(cols.at("A"), std::regex("^'"), "");
    if (cols.count("B")) out.name = cols.at("B");
    for (const auto& [col, value] : cols)
      if (heading.count(col) && !value.empty() && value.find('%') == std::string::npos) {
        out.amount[heading.at(col)] = std::stod(value);
        out.shown.push_back(std::lround(std::stod(value) * 100));
      }
    rows.push_back(out);
    if (out.name == "Net Profit/(Loss)") break;
  }
  return rows;
}

// The printed lines with amounts, up to the net profit: the name (the account number left
// out) and the amounts in cents from left to right, "(1,234.50)" for -1234.5, percentages
// left out.
std::vector<std::pair<std::string, std::vector<long>>> PrintedRows(const std::string& pdf) {
  std::vector<std::pair<std::string, std::vector<long>>> rows;
  std::istringstream lines(PdfText(pdf));
  static const std::regex amount(R"(([(-]?)([0-9][0-9,]*)\.([0-9]{2})\)?)"), number(R"(^\s*([0-9]-[0-9]{4}\s+)?|\s+$)");
  for (std::string line; std::getline(lines, line);) {
    std::smatch first;
    if (!std::regex_search(line, first, amount)) continue;
    auto& [name, amounts] = rows.emplace_back(
        std::regex_replace(line.substr(0, static_cast<size_t>(first.position(0))), number, ""), std::vector<long>{});
    for (auto it = std::sregex_iterator(line.begin(), line.end(), amount); it != std::sregex_iterator(); ++it)
      amounts.push_back(((*it)[1].length() ? -1 : 1) *
                        std::stol(std::regex_replace((*it)[2].str(), std::regex(","), "") + (*it)[3].str()));
    if (name == "Net Profit/(Loss)") break;
  }
  return rows;
}

TEST_F(ConsolidatedSqlTest, EveryOpenedGroupClosesWithItsTotal) {
  namespace fs = std::filesystem;
  // Two copies of the sample, A read first at 80 %, B at 100 %, with charts changed. B's column
  // comes first: each company column differs from the file read in its place.
  struct Shape {
    const char* name;
    std::vector<std::string> a, b;
  };
  const std::vector<std::string> both = {
      AddAccount(910, "4-0000", "4-2500", "Other Sales", 'H', 2), AddAccount(911, "4-2500", "4-2510", "Commissions", 'D', 3),
      AddJournal(9100, "4-2510", "-345.67"), AddAccount(912, "6-1000", "6-1500", "Office", 'H', 3),
      AddAccount(913, "6-1500", "6-1510", "Cleaning", 'D', 4), AddJournal(9101, "6-1510", "123.45")};
  const auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const auto move = [](int to, const std::string& from) {
    return "UPDATE JournalRecords SET AccountID = " + std::to_string(to) +
           " WHERE AccountID = (SELECT AccountID FROM Accounts WHERE AccountNumber = '" + from + "');";
  };
  const std::vector<std::string> netZero = {
      "UPDATE Accounts SET AccountTypeID = 'H', AccountName = 'Finance Costs' WHERE AccountNumber = '9-1000';",
      AddAccount(940, "9-1000", "9-1100", "Bank", 'H', 3), AddAccount(941, "9-1100", "9-1110", "Fees", 'D', 4),
      move(941, "9-1000"), AddAccount(942, "9-1000", "9-1200", "Interest Paid", 'D', 3),
      AddJournal(9400, "9-1200", "50.00"),
      AddJournal(9401, "9-2000",
                 "ROUND(-(SELECT SUM(CAST(j.TaxExclusiveAmount AS REAL)) FROM JournalRecords j JOIN Accounts a "
                 "ON a.AccountID = j.AccountID WHERE a.AccountNumber LIKE '9-%' AND j.TransactionDate BETWEEN '" +
                     kFrom + "' AND '" + kTo + "'), 2)"),
      "UPDATE Accounts SET AccountTypeID = 'H' WHERE AccountNumber = '6-1400';",
      AddAccount(950, "6-1400", "6-1410", "Equipment", 'D', 4), move(950, "6-1400"),
      AddJournal(9402, "6-1400", "12.34")};
  const std::vector<std::string> headersHere =
      with(both, {"UPDATE Accounts SET AccountTypeID = 'H' WHERE AccountNumber IN ('6-1400', '4-2000');",
                  AddAccount(950, "6-1400", "6-1410", "Equipment", 'D', 4), AddJournal(9402, "6-1410", "12.34")});
  const std::vector<std::string> headersThere =
      with(both, {"UPDATE Accounts SET AccountTypeID = 'H' WHERE AccountNumber IN ('6-1510', '8-1000');"});
  const std::vector<Shape> shapes = {
      // An empty common header placed by A under a header of A's only, after the group that
      // holds it in B: payroll at level 2 of expenses, other sales in income, office a
      // level deeper.
      {"headers placed apart",
       with(both, {AddAccount(900, "6-0000", "6-2800", "Contractors", 'H', 2),
                   AddAccount(901, "6-2800", "6-2900", "Staff Amenities", 'H', 3),
                   AddAccount(902, "4-0000", "4-2800", "Grants", 'H', 2),
                   AddAccount(903, "4-2800", "4-2900", "Subsidies", 'H', 3),
                   AddAccount(904, "6-1000", "6-1800", "Sundry", 'H', 3),
                   AddAccount(905, "6-1800", "6-1900", "Amenities", 'H', 4)}),
       with(both, {AddAccount(901, "6-2000", "6-2900", "Staff Amenities", 'H', 3),
                   AddAccount(903, "4-2500", "4-2900", "Subsidies", 'H', 3),
                   AddAccount(905, "6-1500", "6-1900", "Amenities", 'H', 4)})},
      // Charts that disagree: A's chart places overtime and superannuation under payroll,
      // B's under a casual-staff header of its own, in no group that both files hold; B
      // levels fares a step shallower than A, so that rail, under fares in B, belongs to
      // travel, the first header above it that is shallower than it.
      {"charts disagree",
       {AddAccount(920, "6-2000", "6-2150", "Overtime", 'D', 3), AddJournal(9200, "6-2150", "50.00"),
        AddAccount(930, "6-0000", "6-3000", "Travel", 'H', 2), AddAccount(931, "6-3000", "6-3100", "Fares", 'H', 3),
        AddAccount(932, "6-3100", "6-3110", "Air", 'D', 4), AddJournal(9300, "6-3110", "200.00")},
       {AddAccount(919, "6-0000", "6-2140", "Casual Staff", 'H', 2), AddAccount(920, "6-2140", "6-2150", "Overtime", 'D', 3),
        "UPDATE Accounts SET ParentAccountID = 919 WHERE AccountNumber = '6-2200';",
        AddJournal(9200, "6-2150", "70.00"), AddAccount(930, "6-0000", "6-3000", "Travel", 'H', 2),
        AddAccount(931, "6-0000", "6-3100", "Fares", 'H', 2), AddAccount(933, "6-3100", "6-3120", "Rail", 'D', 3),
        AddJournal(9301, "6-3120", "30.00")}},
      // Other Expenses netting to nothing: bank charges become a header holding a header of
      // fees and a detail after it, and income tax takes the opposite of the section. Both
      // charts end General Expenses with a header of depreciation, and keep a posting on
      // that header of their own that no line shows.
      {"other expenses net to nothing", netZero, netZero},
      // A header of one file that keeps its postings, where the other file holds the account
      // as a detail: depreciation (level 3, holding equipment) and freight collected (level
      // 2, income) in one, cleaning (level 4) and interest income (level 2) in the other;
      // then the other way round.
      {"a header here, a detail there", headersHere, headersThere},
      {"a detail here, a header there", headersThere, headersHere},
  };
  const std::map<std::string, std::string> sections = {
      {"IN", "Income"}, {"CO", "Cost of Sales"}, {"EX", "Expenses"}, {"OI", "Other Income"}, {"OE", "Other Expenses"}};
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    const std::string folder = Path(std::string("shape ") + shape.name);
    fs::create_directories(folder);
    std::vector<Chart> charts(2);
    for (size_t f = 0; f < 2; ++f) {
      const std::string path = folder + (f ? "/B.MYO" : "/A.MYO"), percent = f ? "100" : "80";
      std::string sql = "UPDATE Accounts SET AccountDescription = 'CONSOLIDATE " + percent + "% SHORTNAME=S" +
                        "AB"[f] + "' WHERE AccountNumber = '1-0000';";
      for (const std::string& s : f ? shape.b : shape.a) sql += s;
      CopySample(samples::kAustralianFile, path, sql);
      for (const auto& r : Direct(path, "SELECT c.AccountNumber, COALESCE(p.AccountNumber, ''), c.AccountName, "
                                        "c.AccountTypeID, c.SubAccountClassificationID, c.AccountLevel FROM Accounts c "
                                        "LEFT JOIN Accounts p ON p.AccountID = c.ParentAccountID "
                                        "WHERE substr(c.AccountNumber, 1, 1) > '3'"))
        charts[f].accounts[r[0]] = {r[1], r[2], r[3], Letters(r[4]), std::stoi(r[5])};
      for (const auto& [key, figure] : FileFigures(path, std::stod(percent))) charts[f].amount[key.first] += figure.amount;
    }
    // Where each account stands: the chart of the first file that holds it as a detail (a
    // header's only where no file does) places it under the nearest header above it that
    // every file holds and that is shallower than it; a header that is not passes it on to
    // its own place.
    const auto first = [&](const std::string& number) -> const Chart::Account* {
      for (const bool detail : {true, false})
        for (const Chart& c : charts)
          if (c.accounts.count(number) && (!detail || c.accounts.at(number).type != "H")) return &c.accounts.at(number);
      return nullptr;
    };
    bool headers = true;
    // What an account of a file adds to that file's column: a detail's postings; a header's
    // own only where headers are read and another file holds its number, in its class, as a
    // detail, whose line then shows them. Elsewhere they count nowhere.
    const auto counts = [&](size_t f, const std::string& number) {
      const Chart::Account& a = charts[f].accounts.at(number);
      if (a.type != "H") return true;
      if (!headers || a.level < 2) return false;
      for (const Chart& c : charts)
        if (c.accounts.count(number) && c.accounts.at(number).type != "H" && c.accounts.at(number).letters == a.letters)
          return true;
      return false;
    };
    const auto common = [&](const std::string& number) {
      if (!headers) return false;
      for (const Chart& c : charts)
        if (!c.accounts.count(number) || c.accounts.at(number).type != "H" || c.accounts.at(number).level < 2)
          return false;
      return true;
    };
    const auto holder = [&](const std::string& number) {
      const int level = first(number)->level;
      for (std::string h = first(number)->parent; !h.empty() && first(h); h = first(h)->parent)
        if (common(h) && first(h)->level < level) return h;
      return std::string();
    };
    for (const bool read : {true, false}) {
      headers = read;
      SCOPED_TRACE(headers ? "common headers" : "no common headers");
      std::vector<std::map<std::string, double>> classTotal(2);  // by file, by class letters
      for (size_t f = 0; f < 2; ++f)
        for (const auto& [number, a] : charts[f].accounts)
          if (counts(f, number)) classTotal[f][a.letters] += charts[f].amount[number];
      // Each common header's figure per file: the detail accounts its group holds, at any depth.
      std::map<std::string, std::vector<double>> expected;
      for (const auto& [number, a] : charts[0].accounts)
        if (common(number)) expected[number].assign(2, 0);
      for (size_t f = 0; f < 2; ++f)
        for (const auto& [number, a] : charts[f].accounts)
          if (counts(f, number))
            for (std::string h = holder(number); !h.empty(); h = holder(h)) expected[h][f] += charts[f].amount[number];

      for (int level = 1; level <= 4; ++level) {
        const bool average = level == 2;  // the column moves no other
        SCOPED_TRACE("level " + std::to_string(level));
        ui_->Clear();
        G.CurrentYear = 2026;
        fs::remove(Path("Group.xlsx"));
        RunOptions o{.folder = folder, .excel = true, .headers = headers, .average = average, .numbers = true, .level = level};
        Run(o);
        const std::vector<SheetRow> rows = ReportRows(ReadSheet(G.OutputFolder + G.OutputFileName));
        ASSERT_FALSE(rows.empty());
        ASSERT_EQ(rows.back().name, "Net Profit/(Loss)");
        // The sales each company column's percentages are taken of, and their average.
        const ConsolidatedFigures fig = BuildConsolidatedFigures(Consolidation);
        for (size_t f = 1; f <= 2; ++f)
          EXPECT_NEAR(fig.FileSales[f].ToDouble(), classTotal[Consolidation.ConsFileName[f] == "B.MYO"]["IN"], 0.011);
        EXPECT_NEAR(fig.AvgSales.ToDouble(), (classTotal[0]["IN"] + classTotal[1]["IN"]) / 2, 0.006);
        // The totals due, by their text: each section's, and each opened common header's whose
        // own row does not show its group's figures.
        std::map<std::string, std::vector<double>> due;
        for (const auto& [letters, text] : sections)
          for (auto& t : classTotal) due["Total " + text].push_back(t[letters]);
        // Each company column adds up to its own lines: in each section, the rows of accounts
        // that show figures (a line, or a header at the report level showing its group's) make
        // the section's total, and nothing where no total shows.
        std::map<std::string, std::map<std::string, double>> ownLines;  // class letters -> heading -> sum
        std::set<std::string> opened, printed;
        // The groups open at each row: a row of an account shows inside every group the report
        // opened that holds it, before that group's total; a header at the report level shows
        // its group's figures on its own row and holds no row after it.
        std::map<std::string, std::string> headerOf;  // "Total <name>" -> number
        for (const auto& [number, figures] : expected) headerOf["Total " + first(number)->name] = number;
        std::set<std::string> open;
        for (const SheetRow& row : rows) {
          if (!row.number.empty())
            for (std::string h = holder(row.number); !h.empty(); h = holder(h))
              if (first(h)->level <= level) {
                EXPECT_TRUE(open.count(h)) << row.number << " " << row.name << " outside the group of " << h;
              }
          if (expected.count(row.number) && row.amount.empty()) open.insert(row.number);
          if (headerOf.count(row.name)) {
            EXPECT_EQ(open.erase(headerOf.at(row.name)), 1u) << row.name << " of a group not open";
          }
          // GROUP is the sum of the company columns (each already weighted), AVERAGE their mean.
          const double sa = row.Of("SA"), sb = row.Of("SB");
          if (!row.amount.empty()) {
            EXPECT_NEAR(row.Of("GROUP"), sa + sb, 0.011) << row.name;
            if (average) {
              EXPECT_NEAR(row.Of("AVERAGE"), (sa + sb) / 2, 0.011) << row.name;
            }
          }
          if (!row.number.empty())
            for (const auto& [heading, amount] : row.amount) ownLines[first(row.number)->letters][heading] += amount;
          std::string total = row.name;
          if (expected.count(row.number)) {
            // A common header opens its group: its total row follows the group's last line,
            // or completes the header's own row at the report level.
            opened.insert(row.number);
            if (row.amount.empty()) {
              due["Total " + first(row.number)->name] = expected[row.number];
              continue;
            }
            total = "Total " + first(row.number)->name;
            due[total] = expected[row.number];
          } else if (!row.amount.empty() && row.number.empty() && due.count("Total " + row.name)) {
            total = "Total " + total;  // at level 1 a section's total completes its heading's row
          }
          for (const auto& [letters, text] : sections)
            if (total == "Total " + text && ownLines.count(letters)) {
              for (const char* heading : {"SA", "SB", "GROUP"})
                EXPECT_NEAR(ownLines[letters][heading], row.Of(heading), 0.011) << total << " " << heading << " of its lines";
              ownLines.erase(letters);
            }
          if (total.rfind("Total", 0) != 0) continue;
          ASSERT_TRUE(due.count(total)) << "unexpected row \"" << total << "\"";
          EXPECT_TRUE(printed.insert(total).second) << total << " twice";
          EXPECT_NEAR(sa, due[total][0], 0.011) << total;
          EXPECT_NEAR(sb, due[total][1], 0.011) << total;
        }
        for (const auto& [letters, sums] : ownLines)
          for (const auto& [heading, sum] : sums) EXPECT_NEAR(sum, 0, 0.011) << letters << " " << heading << " lines, no total";
        // Every common header at the report level or above shows, and none deeper.
        for (const auto& [number, figures] : expected)
          EXPECT_EQ(opened.count(number) == 1, first(number)->level <= level) << number;
        for (const auto& [text, figures] : due)
          EXPECT_TRUE(std::fabs(figures[0] + figures[1]) < 0.005 || printed.count(text)) << text << " missing";

        // On paper, A4 and Letter in turn, the same rows with the same amounts; without company
        // columns, the rows whose group figure shows, in the same order, with that figure.
        std::vector<std::pair<std::string, std::vector<long>>> want, groupOnly;
        for (const SheetRow& row : rows) {
          if (!row.shown.empty()) want.emplace_back(row.name, row.shown);
          if (const long group = std::lround(row.Of("GROUP") * 100)) groupOnly.emplace_back(row.name, std::vector{group});
        }
        ASSERT_GT(want.size(), 5u);
        if (!headers) continue;  // the paper's rows are those of the workbook either way
        o.excel = false;
        for (const bool separate : {true, false}) {
          SCOPED_TRACE(separate ? "company columns" : "one column");
          printer::Environment() = {};
          printer::Environment().systemPrinters = std::vector<std::string>{"Office Laser"};
          printer::Environment().redirectToPdf = Path("Group.pdf");
          printer::Environment().paper = level % 2 ? printer::PrinterEnvironment::Paper{595.276, 841.89}
                                                   : printer::PrinterEnvironment::Paper{612.0, 792.0};
          printer::SetCurrent("Office Laser");
          SelectPrinter::Instance() = SelectPrinter{};
          fs::remove(Path("Group.pdf"));
          G.ExcelFile = kFalse;  // the workbook run leaves it set
          G.Underline = 2;       // the thickness of the rules, as the settings give it
          G.CurrentYear = 2026;
          o.separate = separate;
          o.average = separate && average;
          Run(o, [this] {
            ui_->QueueForm([](ui::Form& form) {
              auto& f = dynamic_cast<SelectPrinterForm&>(form);
              f.lstPrinters.setCurrentItem(f.lstPrinters.findItems("Office Laser", Qt::MatchExactly).front());
              f.cmdOK_Click();
            });
          });
          EXPECT_EQ(PrintedRows(Path("Group.pdf")), separate ? want : groupOnly);
        }
        printer::Environment() = {};
      }
    }
  }
}

}  // namespace
}  // namespace qvx::test
