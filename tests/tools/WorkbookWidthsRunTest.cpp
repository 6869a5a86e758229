// The workbooks of the three reports for a business a thousand and a million times the
// sample's size: every figure shows in full in its column, never as "###", as the
// spreadsheet programs draw it (workbook_widths.py measures each number's text in its cell's
// number format and font against its column), a column widened for its figures is no wider
// than its widest figure needs, and the name and number columns keep their widths. The
// reports run from the runner on a copy of the sample whose journal, budget, activity and
// opening amounts are multiplied; at the sample's own size they keep their ordinary widths.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/OdbcTestEnv.h"
#include "support/SampleCopy.h"
#include "tests/platform/printer/PdfText.h"

namespace qvx::test {
namespace {

std::string GroupMember(const std::string& name, int percent) {
  return "UPDATE Accounts SET AccountDescription = 'GROUPNAME=TEST CONSOLIDATE " + std::to_string(percent) +
         "% SHORTNAME=" + name + "' WHERE AccountNumber = '1-0000';";
}

struct Case {
  std::string name;
  const char* report;
  std::vector<std::string> options;
  int firstAmountColumn;  // the columns before it hold names and numbers
  std::string kept;       // their widths, as the file stores them
};

TEST(WorkbookWidthsRun, EveryFigureOfABigBusinessShowsInItsColumn) {
  UsePrivateOdbcRegistration();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string folder = dir.path().toStdString();
  const std::vector<Case> cases = {
      // Every figure column of the comparison: last year's month, the month's and the year's
      // figures with variances in $ and %, the annual budget with its %, Grand Totals.
      {"comparison-all",
       "BGTCMP",
       {"VarianceCol=B", "ShowLastYrMth=True", "BudgetColDiff=1", "IncludeGrandTots=True", "PrintAccountNumbers=True",
        "PrintLevel=4"},
       3,
       "A=12.7109375 B=30.7109375"},
      {"comparison-lastyear",
       "BGTCMP",
       {"VarianceCol=V", "ShowLastYrYTD=True", "BudgetColDiff=2", "IncludeGrandTots=True", "ExcludeMonths=True",
        "PrintLevel=4"},
       2,
       "A=30.7109375"},
      {"comparison-percent", "BGTCMP", {"VarianceCol=PC", "ShowVarLastYr=True", "BudgetColDiff=3"}, 2, "A=30.7109375"},
      {"forecast", "BGTFCT", {"ColumnType=AB", "CashBasis=False", "PrintLevel=4"}, 2, "A=30.7109375"},
      // The group report with a column per company, their percentages, the group's and the
      // average's columns and the comparison sections; and the group's figures alone by level.
      {"group-columns",
       "CONPL",
       {"ConsGroupName=", "ShowFigures=True", "IncludeAverage=True", "GroupColPosn=L", "RoundWhole=False",
        "ShowHeaders=True", "PrintAccountNumbers=True", "PrintLevel=3"},
       3,
       "B=30.7109375"},
      {"group-levels",
       "CONPL",
       {"ConsGroupName=", "ShowFigures=False", "IncludeAverage=False", "GroupColPosn=R", "RoundWhole=True",
        "ShowHeaders=True", "PrintAccountNumbers=False", "PrintLevel=4"},
       2,
       "A=30.7109375"},
  };
  std::string books;
  std::vector<std::string> names;
  // The sample's own size first: its workbooks have the ordinary widths.
  for (const long long factor : {1LL, 1000LL, 1000000LL}) {
    const std::string stem = folder + "/x" + std::to_string(factor);
    std::filesystem::create_directories(stem);
    const std::string file = stem + "/A.MYO";
    CopySample(samples::kAustralianFile, file, ScaleAmounts(factor) + GroupMember("A", 100));
    CopySample(samples::kAustralianFile, stem + "/B.MYO", ScaleAmounts(factor) + GroupMember("B", 80));
    for (const Case& c : cases) {
      const std::string out = stem + "-" + c.name + ".xlsx";
      QStringList args = {"--file", QString::fromStdString(file), "--report", c.report, "--from", "07/2025",
                          "--to",   "09/2025",                    "--out",    QString::fromStdString(out)};
      if (std::string(c.report) == "CONPL") args << "--folder" << QString::fromStdString(stem + "/");
      for (const std::string& o : c.options) args << "--option" << QString::fromStdString(o);
      QProcess p;
      p.start(QVX_REPORT_RUN, args);
      ASSERT_TRUE(p.waitForFinished(120000)) << c.name;
      ASSERT_EQ(p.exitCode(), 0) << c.name << ": " << p.readAllStandardError().toStdString();
      books += " '" + std::to_string(c.firstAmountColumn) + ":" + out + "'";
      names.push_back(out);
    }
  }
  // What workbook_widths.py read of each workbook.
  struct Read {
    std::string kept, narrow, widest;
    int checked = 0;
    std::map<std::string, std::string> widths;  // from the first figure column on
    std::vector<std::string> roomy;             // columns one character narrower would do
  };
  std::map<std::string, Read> read;
  Read* book = nullptr;
  std::istringstream report(CommandOutput("/usr/bin/python3 '" + std::string(QVX_SOURCE_DIR) +
                                          "/tests/tools/workbook_widths.py'" + books + " 2>&1"));
  for (std::string line; std::getline(report, line);) {
    const size_t blank = std::min(line.find(' '), line.size());
    const std::string word = line.substr(0, blank), rest = line.substr(std::min(blank + 1, line.size()));
    if (word == "FILE")
      book = &read[rest];
    else if (book && word == "NARROW")
      book->narrow += rest + "\n";
    else if (book && word == "KEPT")
      book->kept += (book->kept.empty() ? "" : " ") + rest;
    else if (book && word == "CHECKED")
      book->checked = std::stoi(rest);
    else if (book && word == "WIDEST")
      book->widest += rest + "  ";
    else if (book && word == "WIDTH") {
      std::istringstream fields(rest);
      std::string column, width, roomy;
      fields >> column >> width >> roomy;
      book->widths[column] = width;
      if (roomy == "ROOMY") book->roomy.push_back(column);
    }
    else
      ADD_FAILURE() << line;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    const Read& r = read[names[i]];
    SCOPED_TRACE(names[i] + ", widest figures: " + r.widest);
    EXPECT_GT(r.checked, 20) << "too few figures to check";
    EXPECT_EQ(r.narrow, "") << "column, row, text, pixels, room";
    EXPECT_EQ(r.kept, cases[i % cases.size()].kept);
    // A column with room to spare has the width the report gives it at the sample's size.
    const Read& ordinary = read[names[i % cases.size()]];
    for (const std::string& column : r.roomy) {
      const auto it = ordinary.widths.find(column);
      EXPECT_EQ(r.widths.at(column), it == ordinary.widths.end() ? "none" : it->second)
          << "column " << column << " is wider than its widest figure needs";
    }
  }
}

}  // namespace
}  // namespace qvx::test
