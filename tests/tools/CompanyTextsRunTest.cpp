// Texts read from a company file reach a workbook as texts, whatever they begin with: a
// company name "=WEBSERVICE(...)" must not become a formula that calls out when the
// workbook is opened, nor an address line "-1,234" a number. Only the reports' own totals
// are formulas.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <QProcess>
#include <QTemporaryDir>

#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "support/SampleCopy.h"
#include "tests/platform/printer/PdfText.h"

namespace qvx::test {
namespace {

struct SheetCell {
  std::string kind, value;
};

// Coordinate -> kind (f formula, s text, n number) and value, as openpyxl reads the saved
// workbook.
std::map<std::string, SheetCell> WorkbookCells(const std::string& book) {
  const std::string reader = R"(/usr/bin/python3 -c 'import openpyxl, sys
for row in openpyxl.load_workbook(sys.argv[1]).active.iter_rows():
    for c in row:
        if c.value is not None: print(c.coordinate, c.data_type, c.value, sep="\t")
' )";
  std::map<std::string, SheetCell> cells;
  std::istringstream in(CommandOutput(reader + "'" + book + "' 2>&1"));
  std::string line;
  while (std::getline(in, line)) {
    const size_t a = line.find('\t'), b = line.find('\t', a + 1);
    if (a == std::string::npos || b == std::string::npos) {
      ADD_FAILURE() << "workbook reader: " << line;
      continue;
    }
    cells[line.substr(0, a)] = {line.substr(a + 1, b - a - 1), line.substr(b + 1)};
  }
  return cells;
}

// A company name, address lines and account names beginning with =, +, - and @, and in
// the group's files short names as well.
constexpr char kPlant[] =
    "UPDATE DataFileInformation SET CompanyName = '=WEBSERVICE(\"http://example.invalid/\")', "
    "Address = '=1+2' || char(13, 10) || '+61 2 9999 0000' || char(13, 10) || '-1,234' || char(13, 10) || "
    "'@SUM(A1:A9)';"
    "UPDATE Accounts SET AccountName = '=HYPERLINK(\"x\")' WHERE AccountNumber = '4-1100';"
    "UPDATE Accounts SET AccountName = '+1' WHERE AccountNumber = '4-1300';"
    "UPDATE Accounts SET AccountName = '-1,234.50' WHERE AccountNumber = '6-1100';"
    "UPDATE Accounts SET AccountName = '@Rent' WHERE AccountNumber = '6-1200';";

TEST(CompanyTextsRun, TextsOfTheCompanyFileStayTextInEveryWorkbook) {
  UsePrivateOdbcRegistration();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::filesystem::path folder = dir.path().toStdString();
  const std::string file = (folder / "AUSample.MYO").string();
  CopySample(samples::kAustralianFile, file, kPlant);
  const std::vector<std::string> shortNames = {"=1+2", "+7", "-5", "@A1", "-1,234"};
  std::filesystem::create_directory(folder / "Group");
  size_t member = 0;
  for (const auto& sample : std::filesystem::directory_iterator(samples::SamplePath(samples::kGroupFolder))) {
    const std::string copy = (folder / "Group" / sample.path().filename()).string();
    CopySample((std::string(samples::kGroupFolder) + "/" + sample.path().filename().string()).c_str(), copy,
               std::string(kPlant) +
                   "UPDATE Accounts SET AccountDescription = substr(AccountDescription, 1, "
                   "instr(AccountDescription, 'SHORTNAME=') + 9) || '" +
                   shortNames[member++ % shortNames.size()] + "' WHERE AccountNumber = '1-0000';");
  }
  ASSERT_EQ(member, shortNames.size());

  const std::vector<std::string> heading = {"=WEBSERVICE(\"http://example.invalid/\")", "=1+2", "+61 2 9999 0000",
                                            "-1,234", "@SUM(A1:A9)"};
  const std::vector<std::string> accounts = {"=HYPERLINK(\"x\")", "+1", "-1,234.50", "@Rent"};
  struct Case {
    const char* report;
    std::vector<std::string> args;
    std::vector<std::string> shortNames;  // the group's column heads (blank-padded)
  };
  const Case cases[] = {
      {"BGTCMP", {"--from", "07/2025", "--to", "12/2025"}, {}},
      {"BGTFCT", {"--from", "11/2025", "--to", "02/2026"}, {}},
      {"CONPL",
       {"--from", "07/2025", "--to", "06/2026", "--folder", (folder / "Group").string(), "--option",
        "ShowHeaders=True", "--option", "ShowFigures=True", "--option", "PrintLevel=4"},
       shortNames},
  };
  // The forecast's total of a row: the sum of that row's months.
  const std::regex total(R"(=SUM\(B(\d+):[A-Z]+(\d+)\))");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    const std::string book = (folder / (std::string(c.report) + ".xlsx")).string();
    QStringList args = {"--file", QString::fromStdString(file), "--report", c.report, "--out",
                        QString::fromStdString(book)};
    for (const auto& a : c.args) args << QString::fromStdString(a);
    QProcess p;
    p.start(QVX_REPORT_RUN, args);
    ASSERT_TRUE(p.waitForFinished(120000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const std::map<std::string, SheetCell> cells = WorkbookCells(book);
    ASSERT_FALSE(cells.empty());

    std::vector<std::string> wanted = heading;
    wanted.insert(wanted.end(), accounts.begin(), accounts.end());
    wanted.insert(wanted.end(), c.shortNames.begin(), c.shortNames.end());
    for (const std::string& text : wanted) {
      bool asText = false;
      for (const auto& [at, cell] : cells)
        asText = asText || (cell.kind == "s" && cell.value.substr(0, cell.value.find_last_not_of(' ') + 1) == text);
      EXPECT_TRUE(asText) << text << " is not a text cell";
    }
    for (const auto& [at, cell] : cells) {
      if (cell.kind != "f") continue;
      std::smatch m;
      const bool isTotal = std::regex_match(cell.value, m, total) && m[1] == m[2] &&
                           at.substr(at.find_first_of("0123456789")) == m[1].str();
      EXPECT_TRUE(isTotal) << at << " holds the formula " << cell.value;
    }
  }
}

}  // namespace
}  // namespace qvx::test
