// Budget comparison tests on company files: a copy of a sample file (or a file built by
// the test) connected as the program connects, the report's period set as the month
// dialog hands it over, and the test's own SQL over the same file through SQLite.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "budgetreports/BudgetComparison.h"
#include "cashbasis/EngineState.h"
#include "companyfile/CompanyFileInfo.h"
#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/Dates.h"
#include "core/Globals.h"
#include "core/SelectPrinter.h"
#include "core/Startup.h"
#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/shell/Shell.h"
#include "platform/sys/Sys.h"
#include "samples/CompanyFile.h"
#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "support/SampleCopy.h"
#include "support/TestUi.h"

namespace qvx::test {

class ComparisonTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { UsePrivateOdbcRegistration(); }

  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    sys::SetProgramFolder(dir_.path().toStdString());
    G = Globals{};
    Engine = EngineState{};
    BuildMonthTables();
    G.BodyFont = 9;
    G.Underline = 2;
    G.DateFormat = "DMY";
    printer::Environment() = {};
    printer::Environment().systemPrinters = std::vector<std::string>{"Office Laser"};
    printer::Environment().redirectToPdf = Path("out.pdf");
    printer::Environment().recording = true;
    printer::SetCurrent("Office Laser");
    excel::Environment() = {};
    SelectPrinter::Instance() = SelectPrinter{};
  }
  void TearDown() override {
    printer::Current().KillDoc();
    printer::Environment() = {};
    excel::Environment() = {};
    Conn = ConnectionState{};
    sys::SetProgramFolder({});
  }

  std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

  // Connects to a copy of a sample file (the copy keeps the sample itself untouched),
  // changed first by the statements of change.
  void OpenSample(const char* name, const std::string& change = {}) {
    const std::string copy = Path(name);
    CopySample(name, copy, change);
    Connect(copy);
  }
  // Builds a file with fill and connects to it.
  void OpenBuilt(const samples::CompanySetup& setup, const std::function<void(samples::CompanyFile&)>& fill) {
    const std::string path = Path("Built.MYO");
    {
      samples::CompanyFile f(path, setup);
      fill(f);
      f.Finish();
    }
    Connect(path);
  }
  void Connect(const std::string& path) {
    file_ = path;
    DataSource& ds = DataSource::Instance();
    ds = DataSource{};
    ds.ODBCAccessMode = "R";
    ds.ODBCDriver = "MYOAU1001";
    ds.ODBCUserID = "Administrator";
    ds.ODBCDataFile = path;
    ds.ODBCProduct = "/opt/product/Product.exe";
    ds.MakeConnection();
    ASSERT_TRUE(Conn.ODBCConnected);
    ui_->Clear();
  }

  // The period as the month dialog gives it (dd/mm/yyyy).
  static void SetPeriod(const std::string& from, const std::string& to, const std::string& fyStart,
                        const std::string& fyEnd) {
    G.ReportFromDate = from;
    G.ReportToDate = to;
    G.FinYearStartDate = fyStart;
    G.FinYearEndDate = fyEnd;
    SetReportPeriod();
  }

  // The data passes and the body, without output.
  void Compute(BudgetComparison& r) {
    G.PrintToPrinter = kTrue;
    G.PrintLevel = r.Opt.PrintLevel;
    r.SplitPageBreaks();
    r.Lay = LayoutColumns(r.Opt, 9, 0, 0, 12);
    ASSERT_TRUE(r.LoadAccounts());
    r.ReadFigures();
    r.VarianceAndTotals();
    r.SortLines();
    r.BuildBody();
  }

  RawFile Raw() const { return RawFile(file_); }

  QTemporaryDir dir_;
  ScriptedUiScope ui_;
  shell::RecordingScope shell_;
  std::string file_;
};

// The line of an account in a computed report.
inline int32_t LineOf(const BudgetComparison& r, const std::string& number) {
  for (int32_t l = 1; l <= G.TxRowCount; ++l)
    if (G.AcctNumbers.at(static_cast<size_t>(r.Arr.LineAcct.at(static_cast<size_t>(l)))) == number) return l;
  return 0;
}

}  // namespace qvx::test
