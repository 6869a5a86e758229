// The rows of the budget comparison and the budget forecast on charts that are not as the
// program's own: a header missing or at another level, an account without a name, an
// account of a class without a section. Each report runs from the runner into a workbook
// (or a PDF), is read back, and every closing row must name a header still open above it
// and equal the lines of that header's group, one class of lines each; every profit row
// must equal its sections' lines, and on the accrual basis the company file's own sums.
// The group report shows an account without a name under its number too, and its rows are
// held to the same rules; over a group's companies whose charts differ, each named total
// must hold the lines its header holds in the companies' own charts, on the workbook and on
// paper.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/OdbcTestEnv.h"
#include "support/SampleCopy.h"
#include "tests/platform/printer/PdfText.h"

namespace qvx::test {
namespace {

struct Row {
  std::string number, name;
  std::vector<std::optional<double>> figures;  // the cells after the name
};

std::string Trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// The group report's amount columns by heading ("GROUP", a company's short name,
// "AVERAGE"), each as its place among the amounts of a row; without company columns the
// one amount, "GROUP".
using AmountColumns = std::vector<std::string>;

// The rows of a workbook's body. The group report's rows keep their amounts only, in the
// order of its amount columns: each amount of its company columns has a percentage beside
// it, and without them the amount stands in the column of the line's level.
std::vector<Row> WorkbookRows(const std::string& path, bool numberColumn, bool group = false,
                              AmountColumns* columns = nullptr) {
  std::vector<Row> rows;
  std::istringstream lines(CommandOutput("/usr/bin/python3 '" + std::string(QVX_SOURCE_DIR) +
                                         "/tests/tools/workbook_rows.py' '" + path + "'"));
  std::vector<size_t> amountAt;  // the group report's amount cells after the name
  AmountColumns headings = {"GROUP"};
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::istringstream in(line);
    for (std::string cell; std::getline(in, cell, '\t');) cells.push_back(cell);
    Row r;
    const size_t nameAt = numberColumn ? 1 : 0;
    if (cells.size() <= nameAt) continue;
    if (numberColumn) r.number = cells[0];
    r.name = cells[nameAt];
    for (size_t c = nameAt + 1; c < cells.size(); ++c) {
      char* end = nullptr;
      const double v = std::strtod(cells[c].c_str(), &end);
      r.figures.push_back(cells[c].empty() || *end ? std::nullopt : std::optional<double>(v));
    }
    if (group && amountAt.empty() && std::find(cells.begin(), cells.end(), "GROUP") != cells.end()) {
      headings.clear();
      for (size_t c = nameAt + 1; c < cells.size(); ++c)
        if (!Trimmed(cells[c]).empty()) amountAt.push_back(c - nameAt - 1), headings.push_back(Trimmed(cells[c]));
    }
    if (group) {
      std::vector<std::optional<double>> amounts;
      if (amountAt.empty()) {
        const auto first = std::find_if(r.figures.begin(), r.figures.end(), [](auto f) { return f.has_value(); });
        if (first != r.figures.end()) amounts.push_back(*first);
      } else {
        for (size_t at : amountAt) amounts.push_back(at < r.figures.size() ? r.figures[at] : std::nullopt);
      }
      r.figures = amounts;
    }
    r.figures.resize(20);  // a row's empty cells at its end are not written
    // The body starts at the first section's header; the Grand Totals block, at its own
    // "Income", and then its rows are the ones read.
    if (r.name == "Income") rows.clear();
    rows.push_back(r);
  }
  if (columns) *columns = headings;
  return rows;
}

// The amounts of a printed line after its name, "(1,234.50)" for -1234.5; percentages left out.
std::vector<double> PrintedAmounts(const std::string& rest) {
  std::vector<double> amounts;
  static const std::regex amount(R"((\(?)([0-9][0-9,]*\.[0-9]{2}))");
  for (auto it = std::sregex_iterator(rest.begin(), rest.end(), amount); it != std::sregex_iterator(); ++it) {
    std::string digits = (*it)[2];
    digits.erase(std::remove(digits.begin(), digits.end(), ','), digits.end());
    amounts.push_back(((*it)[1].length() ? -1 : 1) * std::stod(digits));
  }
  return amounts;
}

TEST(ReportRows, EveryClosingRowNamesItsHeaderAndEqualsItsLines) {
  UsePrivateOdbcRegistration();
  QTemporaryDir dir;
  const std::string classSeven =
      "INSERT INTO Accounts (AccountID, ParentAccountID, AccountNumber, AccountName, AccountTypeID, AccountLevel, "
      "IsActive) VALUES (9000, 0, '7-1000', 'Class Seven', 'D', 2, 'Y');"
      "INSERT INTO GeneralJournals VALUES (9000, 'GJ9000', '', '2025-08-09', 0, 1.0, 'C', 0, 0);"
      "INSERT INTO GeneralJournalLines VALUES (90001, 9000, 1, 9000, 700, 700, 0, '', 0, 0), "
      "(90002, 9000, 2, 10, -700, -700, 0, '', 0, 0);"
      "INSERT INTO JournalSets VALUES (9000, 'GJ', 9000, 'GJ9000', '', 0, 1.0);"
      "INSERT INTO JournalRecords VALUES (90001, 9000, 9000, '2025-08-09', 700, 0, 'N'), "
      "(90002, 9000, 10, '2025-08-09', -700, 0, 'N');";
  const std::string nameless =
      "INSERT INTO Accounts VALUES (9001, 39, '6-6100', NULL, 'D', 3, 'EXP', 'EXP', 0, 0, 0, 0, 'Y', NULL);"
      "INSERT INTO JournalRecords VALUES (90001, 1, 9001, '2025-08-09', 61, 0, 'N');";
  const std::string noSales = "DELETE FROM Accounts WHERE AccountNumber = '4-1000';";
  const std::string freightDown = noSales + "UPDATE Accounts SET AccountLevel = 3 WHERE AccountNumber = '4-2000';";
  const std::string payrollUp =
      "UPDATE Accounts SET AccountLevel = 1, ParentAccountID = 0 WHERE AccountNumber = '6-2000';";
  const std::string noOtherExpenses = "DELETE FROM Accounts WHERE AccountNumber = '9-0000';";
  const std::string noGeneral = "DELETE FROM Accounts WHERE AccountNumber = '6-1000';";
  const std::string namelessHeader = "UPDATE Accounts SET AccountName = NULL WHERE AccountNumber = '6-1000';";
  const std::string namelessSection = "UPDATE Accounts SET AccountName = NULL WHERE AccountNumber = '6-0000';";
  // A company of a group's folder: the sample changed by its SQL, its short name and share
  // in 1-0000's description.
  struct Company {
    std::string name;  // its short name; the file is the name with ".MYO"
    int percent;
    std::string change;
  };
  // A row of the group report and the accounts (an SQL condition on Accounts a) whose amounts
  // of the period it shows, in each company's own chart: a company's column its share of
  // them, GROUP their sum; no amount where they come to nothing.
  struct Named {
    std::string row;
    std::string accounts;
  };
  struct Case {
    std::string what;
    std::string out;
    const std::string& change;
    const char* report;
    const char* from;
    const char* to;
    std::vector<std::string> options;
    std::vector<std::string> want;  // "number|name" of rows that must show, "!" first: must not (a PDF: a line's start)
    std::vector<Company> group = {};      // the group's folder; none: the copy alone, as "Member.MYO"
    std::vector<Named> named = {};
    std::vector<std::string> order = {};  // rows that come in this order
  };
  const std::string yes = "PrintAccountNumbers=True", no = "PrintAccountNumbers=False", l3 = "PrintLevel=3",
                    l2 = "PrintLevel=2";
  const auto accountsNumbered = [](const std::string& like) {
    return "(SELECT AccountID FROM Accounts WHERE AccountNumber LIKE '" + like + "')";
  };
  const std::string noPayroll = "DELETE FROM GeneralJournalLines WHERE AccountID IN " + accountsNumbered("6-2%") +
                                ";DELETE FROM JournalRecords WHERE AccountID IN " + accountsNumbered("6-2%") +
                                ";DELETE FROM AccountBudgets WHERE AccountID IN " + accountsNumbered("6-2%") +
                                ";DELETE FROM Accounts WHERE AccountNumber LIKE '6-2%';";
  // General Expenses with Rent and Telephone only; Advertising, at level 2 under Expenses,
  // holds what went to Office Supplies and Depreciation.
  const std::string officeAndDepreciation =
      "(SELECT AccountID FROM Accounts WHERE AccountNumber IN ('6-1300', '6-1400'))";
  const std::string advertising =
      "INSERT INTO Accounts VALUES (9100, " + accountsNumbered("6-0000") +
      ", '6-1250', 'Advertising', 'D', 2, 'EXP', 'EXP', 0, 9100, 0, 0, 'Y', NULL);"
      "UPDATE GeneralJournalLines SET AccountID = 9100 WHERE AccountID IN " + officeAndDepreciation +
      ";UPDATE JournalRecords SET AccountID = 9100 WHERE AccountID IN " + officeAndDepreciation +
      ";UPDATE AccountBudgets SET AccountID = 9100 WHERE AccountID IN " + officeAndDepreciation +
      ";DELETE FROM Accounts WHERE AccountNumber IN ('6-1300', '6-1400');";
  // General Expenses' lines of the quarter come to nothing: Depreciation takes the rest back.
  const std::string generalNil =
      "INSERT INTO JournalRecords SELECT 99001, 1, " + accountsNumbered("6-1400") +
      ", '2025-08-15', -SUM(j.TaxExclusiveAmount), 0, 'N' FROM JournalRecords j WHERE j.AccountID IN " +
      accountsNumbered("6-1_00") + " AND j.TransactionDate BETWEEN '2025-07-01' AND '2025-09-30';";
  const std::string none;
  const auto under = [](const char* header) {
    return std::string("a.ParentAccountID = (SELECT AccountID FROM Accounts WHERE AccountNumber = '") + header + "')";
  };
  const std::string expenses = "a.SubAccountClassificationID = 'EXP'";
  // With common headers a line counts in the group of the header that holds it in the chart
  // of the first company that holds it, whatever the other companies' charts hold between.
  struct GroupCase {
    const char* what;
    std::vector<Company> companies;
    std::string level;
    std::vector<Named> named;
    std::vector<std::string> order;
    std::vector<std::string> absent;  // rows that must not show
  };
  const GroupCase groupCases[] = {
      {"payroll header in one company only", {{"SA", 100, ""}, {"SE", 100, noPayroll}}, "PrintLevel=4",
       {{"Total General Expenses", under("6-1000")}, {"Wages & Salaries", "a.AccountNumber = '6-2100'"},
        {"Total Expenses", expenses}},
       {"General Expenses", "Depreciation", "Total General Expenses", "Wages & Salaries", "Superannuation",
        "Total Expenses"},
       {"Payroll Expenses"}},
      {"advertising under Expenses in one company", {{"SA", 100, ""}, {"SB", 80, advertising}, {"SC", 50, ""}},
       "PrintLevel=4",
       {{"Total General Expenses", under("6-1000")}, {"Advertising", "a.AccountNumber = '6-1250'"},
        {"Total Payroll Expenses", under("6-2000")}, {"Total Expenses", expenses}},
       {"General Expenses", "Office Supplies", "Depreciation", "Total General Expenses", "Advertising",
        "Payroll Expenses", "Total Expenses"},
       {}},
      {"general expenses come to nothing", {{"SA", 100, generalNil}, {"SE", 100, noPayroll + generalNil}},
       "PrintLevel=2",
       {{"General Expenses", under("6-1000")}, {"Wages & Salaries", "a.AccountNumber = '6-2100'"},
        {"Superannuation", "a.AccountNumber = '6-2200'"}, {"Total Expenses", expenses}},
       {"General Expenses", "Wages & Salaries", "Superannuation", "Total Expenses"},
       {"Payroll Expenses", "Depreciation"}},
  };
  // clang-format off
  std::vector<Case> cases = {
      {"class 7, cash basis: forecast", "r1.xlsx", classSeven, "BGTFCT", "08/2025", "08/2025",
       {"CashBasis=True", "ColumnType=AB", no}, {"!|Class Seven"}},
      {"class 7, cash basis: comparison", "r2.xlsx", classSeven, "BGTCMP", "07/2025", "08/2025",
       {"CashBasis=True", no}, {"!|Class Seven"}},
      {"no name, numbers: comparison", "r3.xlsx", nameless, "BGTCMP", "07/2025", "08/2025", {yes}, {"6-6100|"}},
      {"no name, no numbers: comparison", "r4.xlsx", nameless, "BGTCMP", "07/2025", "08/2025", {no}, {"|6-6100"}},
      {"no name: forecast workbook", "r5.xlsx", nameless, "BGTFCT", "08/2025", "08/2025",
       {"ColumnType=AB", yes}, {"|6-6100"}},
      {"no name, numbers: printed forecast", "r6.pdf", nameless, "BGTFCT", "08/2025", "08/2025",
       {"ColumnType=AB", yes}, {"6-6100 "}},
      {"4-1000 deleted: comparison", "r7.xlsx", noSales, "BGTCMP", "07/2024", "06/2025", {l3, no}, {}},
      {"4-1000 deleted: forecast", "r8.xlsx", noSales, "BGTFCT", "07/2024", "06/2025",
       {l3, "ColumnType=A", no}, {}},
      {"and 4-2000 at level 3: comparison", "r9.xlsx", freightDown, "BGTCMP", "07/2024", "06/2025", {l3, no}, {}},
      {"and 4-2000 at level 3: forecast", "r10.xlsx", freightDown, "BGTFCT", "07/2024", "06/2025",
       {l3, "ColumnType=A", no}, {}},
      {"6-2000 at level 1: comparison", "r11.xlsx", payrollUp, "BGTCMP", "07/2024", "06/2025", {l3, no},
       {"|Total Payroll Expenses"}},
      {"6-2000 at level 1: forecast", "r12.xlsx", payrollUp, "BGTFCT", "07/2024", "06/2025",
       {l3, "ColumnType=A", no}, {"|Total Payroll Expenses"}},
      {"9-0000 deleted: comparison", "r13.xlsx", noOtherExpenses, "BGTCMP", "07/2024", "06/2025", {l3, no},
       {"|Bank Charges"}},
      {"9-0000 deleted: forecast", "r14.xlsx", noOtherExpenses, "BGTFCT", "07/2024", "06/2025",
       {l3, "ColumnType=A", no}, {"|Bank Charges"}},
      {"no name, numbers: group report", "r15.xlsx", nameless, "CONPL", "07/2025", "06/2026",
       {"ShowHeaders=True", l3, yes}, {"6-6100|"}},
      {"no name, no numbers: group report", "r16.xlsx", nameless, "CONPL", "07/2025", "06/2026",
       {"ShowHeaders=True", l3, no}, {"|6-6100"}},
      // Lines below the report level whose header is missing show themselves.
      {"4-1000 deleted, level 2: comparison", "r17.xlsx", noSales, "BGTCMP", "07/2024", "06/2025", {l2, no},
       {"|Service Sales"}},
      {"4-1000 deleted, level 2: forecast", "r18.xlsx", noSales, "BGTFCT", "07/2024", "06/2025",
       {l2, "ColumnType=A", no}, {"|Service Sales"}},
      {"header without a name: comparison", "r19.xlsx", namelessHeader, "BGTCMP", "07/2024", "06/2025", {l3, no},
       {"|Total 6-1000", "!|Total "}},
      {"header without a name: forecast", "r20.xlsx", namelessHeader, "BGTFCT", "07/2024", "06/2025",
       {l3, "ColumnType=A", no}, {"|Total 6-1000", "!|Total "}},
      {"header without a name, level 2: comparison", "r21.xlsx", namelessHeader, "BGTCMP", "07/2024", "06/2025",
       {l2, yes}, {"|6-1000"}},
      // The Grand Totals name the section as the body does, and add up as the company file does.
      {"section without a name, Grand Totals: printed comparison", "r24.pdf", namelessSection, "BGTCMP", "07/2025",
       "09/2025", {l3, yes, "IncludeGrandTots=True"}, {"6-0000 "}},
      {"section without a name, Grand Totals: comparison", "r25.xlsx", namelessSection, "BGTCMP", "07/2025",
       "09/2025", {l3, yes, "IncludeGrandTots=True"}, {"|6-0000"}},
      {"header without a name: group report", "r22.xlsx", namelessHeader, "CONPL", "07/2025", "06/2026",
       {"ShowHeaders=True", l3, yes}, {"|Total 6-1000", "!|Total "}},
      {"6-1000 deleted, level 2: group report", "r23.xlsx", noGeneral, "CONPL", "07/2025", "06/2026",
       {"ShowHeaders=True", l2, no}, {"|Rent", "|Payroll Expenses", "!|Wages & Salaries"}},
  };
  // clang-format on
  // Each group case on the workbook and on paper, with company columns and without.
  for (const GroupCase& g : groupCases)
    for (const char* figures : {"ShowFigures=True", "ShowFigures=False"})
      for (const char* kind : {".xlsx", ".pdf"}) {
        Case c{std::string(g.what) + ", " + figures + ", " + kind,
               "g" + std::to_string(cases.size()) + kind, none, "CONPL", "07/2025", "09/2025",
               {"ShowHeaders=True", g.level, figures, no}, {}, g.companies, g.named, g.order};
        for (const std::string& row : g.absent) c.want.push_back((std::string(kind) == ".xlsx" ? "!|" : "!") + row);
        cases.push_back(c);
      }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The group report reads the copy as the one company of its folder, or the group's companies.
    const bool group = std::string(c.report) == "CONPL";
    const std::string out = dir.filePath(QString::fromStdString(c.out)).toStdString(),
                      stem = out.substr(0, out.rfind('.'));
    if (group) std::filesystem::create_directory(stem);
    std::vector<std::string> files;
    std::vector<double> shares;
    if (c.group.empty()) {
      files.push_back(group ? stem + "/Member.MYO" : stem + ".MYO");
      shares.push_back(1);
      CopySample(samples::kAustralianFile, files.back(), c.change);
    }
    for (const Company& company : c.group) {
      files.push_back(stem + "/" + company.name + ".MYO");
      shares.push_back(company.percent / 100.0);
      CopySample(samples::kAustralianFile, files.back(),
                 "UPDATE Accounts SET AccountDescription = 'GROUPNAME=TEST CONSOLIDATE " +
                     std::to_string(company.percent) + "% SHORTNAME=" + company.name +
                     "' WHERE AccountNumber = '1-0000';" + company.change);
    }
    const std::string& file = files.front();
    QStringList args = {"--file", QString::fromStdString(file), "--report", c.report, "--from", c.from, "--to", c.to,
                        "--out",  QString::fromStdString(out)};
    if (group) args << "--folder" << QString::fromStdString(stem + "/");
    for (const std::string& o : c.options) args << "--option" << QString::fromStdString(o);
    QProcess p;
    p.start(QVX_REPORT_RUN, args);
    ASSERT_TRUE(p.waitForFinished(120000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const auto has = [&](const std::string& o) {
      return std::find(c.options.begin(), c.options.end(), o) != c.options.end();
    };
    const auto date = [](const std::string& mmyyyy, const char* day) {
      return mmyyyy.substr(3, 4) + "-" + mmyyyy.substr(0, 2) + "-" + day;
    };
    // The journal amounts of a period on the accounts (Accounts a) a condition picks, in
    // company f's file at its share.
    const auto journalTotal = [&](size_t f, const std::string& accounts, const std::string& from,
                                  const std::string& to) {
      return shares[f] * std::stod(RawFile(files[f]).Rows(
                             "SELECT TOTAL(j.TaxExclusiveAmount) FROM JournalRecords j JOIN Accounts a ON "
                             "a.AccountID = j.AccountID WHERE (" +
                             accounts + ") AND j.TransactionDate BETWEEN '" + from + "' AND '" + to + "'")[0][0]);
    };
    // A named row's amounts as the companies' files have them, by column heading.
    const auto expected = [&](const Named& n) {
      std::map<std::string, double> byColumn;
      for (size_t f = 0; f < c.group.size(); ++f) {
        const double amount = journalTotal(f, n.accounts, date(c.from, "01"), date(c.to, "31"));
        byColumn[c.group[f].name] = amount;
        byColumn["GROUP"] += amount;
      }
      return byColumn;
    };
    const auto amountNear = [](std::optional<double> shown, double want) {
      return std::fabs(want) < 0.005 ? !shown : shown && std::fabs(*shown - want) < 0.006;
    };
    if (out.ends_with(".pdf")) {
      std::vector<std::string> lines;
      std::istringstream text(PdfText(out));
      for (std::string line; std::getline(text, line);) lines.push_back(Trimmed(line));
      const auto lineOf = [&](const std::string& start) {
        return std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
          return l == start || l.starts_with(start + " ");
        });
      };
      for (const std::string& w : c.want) {
        const bool must = !w.starts_with('!');
        const std::string start = w.substr(must ? 0 : 1);
        EXPECT_EQ(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(start); }),
                  must)
            << w;
      }
      // The amount columns in the order printed; a named row prints their amounts, the
      // empty ones left out.
      AmountColumns columns;
      const auto headings = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l == "GROUP" || l.starts_with("GROUP ") || l.find(" GROUP") != std::string::npos;
      });
      if (headings != lines.end()) {
        std::istringstream words(*headings);
        for (std::string w; words >> w;) columns.push_back(w);
      }
      if (!has("ShowFigures=True")) columns = {"GROUP"};
      for (const Named& n : c.named) {
        const auto line = lineOf(n.row);
        ASSERT_NE(line, lines.end()) << n.row;
        const std::vector<double> shown = PrintedAmounts(line->substr(n.row.size()));
        const std::map<std::string, double> want = expected(n);
        std::vector<double> printed;
        for (const std::string& col : columns)
          if (want.count(col) && std::fabs(want.at(col)) >= 0.005) printed.push_back(want.at(col));
        ASSERT_EQ(shown.size(), printed.size()) << n.row << ": " << *line;
        for (size_t i = 0; i < shown.size(); ++i) EXPECT_NEAR(shown[i], printed[i], 0.006) << n.row << ": " << *line;
      }
      for (size_t i = 1; i < c.order.size(); ++i)
        EXPECT_LT(lineOf(c.order[i - 1]) - lines.begin(), lineOf(c.order[i]) - lines.begin())
            << c.order[i - 1] << " before " << c.order[i];
      continue;
    }
    const bool comparison = std::string(c.report) == "BGTCMP";
    AmountColumns amountColumns;
    const std::vector<Row> rows = WorkbookRows(out, (comparison || group) && has(yes), group, &amountColumns);
    std::set<std::string> seen;
    for (const Row& row : rows) seen.insert(row.number + "|" + row.name);
    for (const std::string& w : c.want)
      EXPECT_EQ(seen.count(w.substr(w.starts_with('!'))), w.starts_with('!') ? 0u : 1u) << w;
    const auto rowOf = [&](const std::string& name) {
      return std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.name == name; });
    };
    for (const Named& n : c.named) {
      const auto row = rowOf(n.row);
      ASSERT_NE(row, rows.end()) << n.row;
      const std::map<std::string, double> want = expected(n);
      for (size_t col = 0; col < amountColumns.size(); ++col) {
        if (!want.count(amountColumns[col])) continue;
        EXPECT_TRUE(amountNear(row->figures[col], want.at(amountColumns[col])))
            << n.row << " " << amountColumns[col] << ": " << row->figures[col].value_or(0) << ", files "
            << want.at(amountColumns[col]);
      }
    }
    for (size_t i = 1; i < c.order.size(); ++i)
      EXPECT_LT(rowOf(c.order[i - 1]) - rows.begin(), rowOf(c.order[i]) - rows.begin())
          << c.order[i - 1] << " before " << c.order[i];
    ASSERT_GT(rows.size(), has("IncludeGrandTots=True") ? 6u : 10u);

    // The class of each detail line, by its number or its name.
    std::map<std::string, char> classOf;
    for (const std::string& f : files)
      for (const auto& a : RawFile(f).Rows("SELECT AccountNumber, AccountName FROM Accounts")) {
        classOf[a[0]] = a[0][0];
        if (!a[1].empty()) classOf[a[1]] = a[0][0];
      }
    // Actual profit of a period, as the company files have it (credits are income), each at
    // its share.
    const auto sqlProfit = [&](const std::string& from, const std::string& to) {
      double profit = 0;
      for (size_t f = 0; f < files.size(); ++f)
        profit -= journalTotal(f, "substr(a.AccountNumber, 1, 1) IN ('4','5','6','8','9')", from, to);
      return profit;
    };

    struct Open {
      std::string name;
      std::vector<double> sum;
      int lines = 0;
      std::set<char> classes;
    };
    std::vector<Open> open;
    std::vector<std::pair<char, Row>> details;
    const std::map<std::string, std::string> profitClasses = {{"Gross Profit", "45"},
                                                              {"Total Gross Profit", "45"},
                                                              {"Operating Profit", "456"},
                                                              {"Total Operating Profit", "456"},
                                                              {"Surplus/Deficit", "45689"},
                                                              {"Net Profit/(Loss)", "45689"}};
    // Amounts shown to the dollar, or the group's to the cent: each line rounded by half of that.
    const double unit = group && !has("RoundWhole=True") ? 0.01 : 1;
    const auto near = [unit](double a, double b, size_t n) {
      return std::fabs(a - b) <= unit * 0.5 * static_cast<double>(n + 1) + 1e-6;
    };
    const std::string last = group ? "Net Profit/(Loss)" : "Surplus/Deficit";
    for (Row row : rows) {
      // The forecast's last figure is its row total, a sum of the row's own month cells.
      size_t shown = row.figures.size();
      while (shown > 0 && !row.figures[shown - 1]) --shown;
      if (!comparison && !group && shown > 0) row.figures[shown - 1].reset();
      const bool heading = std::none_of(row.figures.begin(), row.figures.end(), [](auto f) { return f.has_value(); });
      if (heading && row.name.empty() && row.number.empty()) continue;  // a blank line
      if (heading) {
        // A header without a name closes under its number.
        open.push_back({row.name.empty() ? row.number : row.name, std::vector<double>(row.figures.size()), 0, {}});
      } else if (auto profit = profitClasses.find(row.name); profit != profitClasses.end()) {
        // Profit: income less costs of the lines above, on the columns of actual and budget.
        const std::vector<size_t> columns = comparison ? std::vector<size_t>{0, 1, 4, 5} : std::vector<size_t>{};
        for (size_t col = 0; col < row.figures.size(); ++col) {
          if (!row.figures[col] || (comparison && std::find(columns.begin(), columns.end(), col) == columns.end()))
            continue;
          double sum = 0;
          size_t n = 0;
          for (const auto& [cls, line] : details)
            if (profit->second.find(cls) != std::string::npos && line.figures[col])
              sum += (cls == '4' || cls == '8' ? 1 : -1) * *line.figures[col], ++n;
          EXPECT_TRUE(near(*row.figures[col], sum, n)) << row.name << " column " << col << ": " << sum;
        }
        for (const Open& o : open) EXPECT_LE(o.lines, 1) << o.name << " has no closing row";
        open.clear();
        if (row.name == "Surplus/Deficit" && !has("CashBasis=True")) {
          const std::string month = comparison ? c.to : c.from;
          EXPECT_NEAR(*row.figures[0], sqlProfit(date(month, "01"), date(month, "31")), 0.5);
          if (comparison) {
            EXPECT_NEAR(*row.figures[4], sqlProfit(date(c.from, "01"), date(c.to, "31")), 0.5);
          }
        }
        if (row.name == last) break;  // the group report's comparisons follow
      } else if (row.name.starts_with("Total ")) {
        const std::string header = row.name.substr(6);
        auto it = std::find_if(open.rbegin(), open.rend(), [&](const Open& o) { return o.name == header; });
        if (it == open.rend()) {
          ADD_FAILURE() << "\"" << row.name << "\" closes no open header";
          continue;
        }
        open.erase(it.base(), open.end());
        const Open& closed = open.back();
        EXPECT_LE(closed.classes.size(), 1u) << row.name << " closes lines of several classes";
        for (size_t col = 0; col < row.figures.size(); ++col)
          if (row.figures[col]) {
            EXPECT_TRUE(near(*row.figures[col], closed.sum[col], static_cast<size_t>(closed.lines)))
                << row.name << " column " << col << ": lines " << closed.sum[col];
          }
        open.pop_back();
      } else {
        const auto cls = classOf.find(row.number.empty() ? row.name : row.number);
        ASSERT_NE(cls, classOf.end()) << row.name;
        details.emplace_back(cls->second, row);
        for (Open& o : open) {
          ++o.lines;
          o.classes.insert(cls->second);
          for (size_t col = 0; col < row.figures.size() && col < o.sum.size(); ++col)
            o.sum[col] += row.figures[col].value_or(0);
        }
      }
    }
    EXPECT_NE(rowOf(last), rows.end());
    if (group) {
      const size_t groupColumn = static_cast<size_t>(
          std::find(amountColumns.begin(), amountColumns.end(), "GROUP") - amountColumns.begin());
      ASSERT_LT(groupColumn, amountColumns.size());
      EXPECT_NEAR(rowOf(last)->figures[groupColumn].value_or(0), sqlProfit(date(c.from, "01"), date(c.to, "31")),
                  0.01);
    }
  }
}

}  // namespace
}  // namespace qvx::test
