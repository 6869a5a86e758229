// The rows of the budget comparison and the budget forecast on charts that are not as the
// program's own: a header missing or at another level, an account without a name, an
// account of a class without a section. Each report runs from the runner into a workbook
// (or a PDF), is read back, and every closing row must name a header still open above it
// and equal the lines of that header's group, one class of lines each; every profit row
// must equal its sections' lines, and on the accrual basis the company file's own sums.
// The group report shows an account without a name under its number too.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
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

std::vector<Row> WorkbookRows(const std::string& path, bool numberColumn) {
  std::vector<Row> rows;
  std::istringstream lines(CommandOutput("/usr/bin/python3 '" + std::string(QVX_SOURCE_DIR) +
                                         "/tests/tools/workbook_rows.py' '" + path + "'"));
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
    r.figures.resize(20);                  // a row's empty cells at its end are not written
    if (r.name == "Income") rows.clear();  // the body starts at the first section's header
    rows.push_back(r);
  }
  return rows;
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
  struct Case {
    const char* what;
    const char* out;
    const std::string& change;
    const char* report;
    const char* from;
    const char* to;
    std::vector<std::string> options;
    std::vector<std::string> want;  // "number|name" of rows that must show, "!" first: must not (a PDF: a line's start)
  };
  const std::string yes = "PrintAccountNumbers=True", no = "PrintAccountNumbers=False", l3 = "PrintLevel=3",
                    l2 = "PrintLevel=2";
  // clang-format off
  const Case cases[] = {
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
      {"header without a name: group report", "r22.xlsx", namelessHeader, "CONPL", "07/2025", "06/2026",
       {"ShowHeaders=True", l3, yes}, {"|Total 6-1000", "!|Total "}},
      {"6-1000 deleted, level 2: group report", "r23.xlsx", noGeneral, "CONPL", "07/2025", "06/2026",
       {"ShowHeaders=True", l2, no}, {"|Rent", "|Payroll Expenses", "!|Wages & Salaries"}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The group report reads the copy as the one company of its folder.
    const bool group = std::string(c.report) == "CONPL";
    const std::string out = dir.filePath(c.out).toStdString(), stem = out.substr(0, out.rfind('.'));
    if (group) std::filesystem::create_directory(stem);
    const std::string file = group ? stem + "/Member.MYO" : stem + ".MYO";
    CopySample(samples::kAustralianFile, file, c.change);
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
    if (out.ends_with(".pdf")) {
      std::istringstream text(PdfText(out));
      std::set<std::string> starts;
      for (std::string line; std::getline(text, line);)
        starts.insert(line.substr(std::min(line.find_first_not_of(' '), line.size())));
      for (const std::string& w : c.want)
        EXPECT_TRUE(std::any_of(starts.begin(), starts.end(), [&](const std::string& l) { return l.starts_with(w); }))
            << w;
      continue;
    }
    const bool comparison = std::string(c.report) == "BGTCMP";
    const std::vector<Row> rows = WorkbookRows(out, (comparison || group) && has(yes));
    std::set<std::string> seen;
    for (const Row& row : rows) seen.insert(row.number + "|" + row.name);
    for (const std::string& w : c.want)
      EXPECT_EQ(seen.count(w.substr(w.starts_with('!'))), w.starts_with('!') ? 0u : 1u) << w;
    if (group) continue;  // its percentage columns add up to nothing
    ASSERT_GT(rows.size(), 10u);

    // The class of each detail line, by its number or its name.
    const RawFile raw(file);
    std::map<std::string, char> classOf;
    for (const auto& a : raw.Rows("SELECT AccountNumber, AccountName FROM Accounts")) {
      classOf[a[0]] = a[0][0];
      if (!a[1].empty()) classOf[a[1]] = a[0][0];
    }
    // Actual profit of a period, as the company file has it (credits are income).
    const auto sqlProfit = [&](const std::string& from, const std::string& to) {
      return -std::stod("0" + raw.Rows("SELECT SUM(j.TaxExclusiveAmount) FROM JournalRecords j JOIN Accounts a "
                                       "ON a.AccountID = j.AccountID WHERE substr(a.AccountNumber, 1, 1) IN "
                                       "('4','5','6','8','9') AND j.TransactionDate BETWEEN '" +
                                       from + "' AND '" + to + "'")[0][0]);
    };
    const auto date = [](const std::string& mmyyyy, const char* day) {
      return mmyyyy.substr(3, 4) + "-" + mmyyyy.substr(0, 2) + "-" + day;
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
                                                              {"Surplus/Deficit", "45689"}};
    const auto near = [](double a, double b, size_t n) {
      return std::fabs(a - b) <= 0.5 * static_cast<double>(n + 1) + 1e-6;
    };
    for (Row row : rows) {
      // The forecast's last figure is its row total, a sum of the row's own month cells.
      size_t shown = row.figures.size();
      while (shown > 0 && !row.figures[shown - 1]) --shown;
      if (!comparison && shown > 0) row.figures[shown - 1].reset();
      const bool heading = std::none_of(row.figures.begin(), row.figures.end(), [](auto f) { return f.has_value(); });
      if (heading && row.name.empty() && row.number.empty()) continue;  // a blank line
      if (heading) {
        open.push_back({row.name, std::vector<double>(row.figures.size()), 0, {}});
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
    EXPECT_EQ(rows.back().name, "Surplus/Deficit");
  }
}

}  // namespace
}  // namespace qvx::test
