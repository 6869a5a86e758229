// The budget forecast from the runner: every column mode and both outputs, with the
// options given on the command line, for a user whose own short dates are month-first.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "tests/platform/printer/PdfText.h"

namespace qvx::test {
namespace {

TEST(ForecastRun, EveryModeToPrinterAndWorkbook) {
  UsePrivateOdbcRegistration();
  QTemporaryDir out;
  ASSERT_TRUE(out.isValid());
  // The user's own picture is month-first; the runner prints its period day-first all the
  // same and leaves the user's picture alone.
  const std::string picture = out.filePath("config/quorvex/short-date").toStdString();
  std::filesystem::create_directories(std::filesystem::path(picture).parent_path());
  std::filesystem::permissions(std::filesystem::path(picture).parent_path(), std::filesystem::perms::owner_all);
  std::ofstream(picture) << "MM/dd/yyyy\n";
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", out.filePath("config"));
  struct Case {
    const char* column;
    const char* cash;
    const char* level;
    const char* numbers;
    const char* file;
  };
  const Case cases[] = {{"A", "False", "4", "True", "a.pdf"},
                        {"B", "False", "2", "False", "b.xlsx"},
                        {"AB", "True", "3", "True", "ab.xlsx"},
                        {"AB", "False", "1", "False", "ab1.pdf"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QVX_REPORT_RUN, {"--file", QString::fromStdString(samples::SamplePath(samples::kAustralianFile)),
                             "--report", "BGTFCT", "--from", "11/2025", "--to", "02/2026", "--option",
                             QString("ColumnType=") + c.column, "--option", QString("CashBasis=") + c.cash,
                             "--option", QString("PrintLevel=") + c.level, "--option",
                             QString("PrintAccountNumbers=") + c.numbers, "--out", out.filePath(c.file)});
    ASSERT_TRUE(p.waitForFinished(120000));
    const std::string err = p.readAllStandardError().toStdString();
    const std::string report = p.readAllStandardOutput().toStdString();
    EXPECT_EQ(p.exitCode(), 0) << err;
    EXPECT_NE(report.find("REPORT: "), std::string::npos) << err;
    EXPECT_EQ(report.find("REPORT: 0 rows"), std::string::npos) << report;
    EXPECT_TRUE(std::filesystem::exists(out.filePath(c.file).toStdString()));
  }
  // Each run makes a new data-set file from a settings file whose company name is
  // empty: the heading still names the company of the file.
  TestConnection db;
  ASSERT_TRUE(db.Connect(DirectConnectionString({.file = samples::SamplePath(samples::kAustralianFile)})).Ok());
  const std::string company = db.Scalar("SELECT CompanyName FROM MYOB.DataFileInformation");
  ASSERT_FALSE(company.empty());
  for (const char* pdf : {"a.pdf", "ab1.pdf"}) {
    const std::string first = PdfText(out.filePath(pdf).toStdString(), 1);
    EXPECT_NE(first.find(company), std::string::npos) << pdf;
    EXPECT_NE(first.find("01/11/2025 to 28/02/2026"), std::string::npos) << pdf << "\n" << first.substr(0, 1000);
  }
  std::ifstream kept(picture);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "MM/dd/yyyy\n");
  QProcess bad;
  bad.start(QVX_REPORT_RUN, {"--file", QString::fromStdString(samples::SamplePath(samples::kAustralianFile)),
                             "--report", "BGTFCT", "--from", "11/2025", "--to", "02/2026", "--option",
                             "ColumnType=C", "--out", out.filePath("c.pdf")});
  ASSERT_TRUE(bad.waitForFinished(120000));
  EXPECT_EQ(bad.exitCode(), 2);
}

}  // namespace
}  // namespace qvx::test
