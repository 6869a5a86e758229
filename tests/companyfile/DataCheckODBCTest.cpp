// The driver check window on its own: the sample files' answers, a file it cannot read,
// and no file at all.
#include <gtest/gtest.h>

#include <filesystem>

#include <QTemporaryDir>

#include "companyfile/DataCheckODBC.h"
#include "companyfile/DataSource.h"
#include "samples/SamplePaths.h"
#include "support/TestUi.h"
#include "tests/support/OtherProgram.h"

namespace qvx::test {
namespace {

std::vector<std::string> Boxes(const DataCheckODBCForm& f) {
  return {f.txtDriverName.text().toStdString(), f.txtCountry.text().toStdString(), f.txtVersion.text().toStdString()};
}

TEST(DataCheckODBCTest, AnswersForTheFileInTheSettings) {
  // A file with a query that never ends in place of its company row: read within bounds,
  // and named once.
  QTemporaryDir dir;
  const std::string endless = dir.path().toStdString() + "/Endless.MYO";
  std::filesystem::copy_file(samples::SamplePath(samples::kAustralianFile), endless);
  ASSERT_TRUE(PutEndlessViewInPlaceOf(endless, "DataFileInformation", false));
  struct Case {
    std::string file;
    std::vector<std::string> shown;
    std::vector<std::string> messages{};
  };
  const Case cases[] = {
      {samples::SamplePath(samples::kAustralianFile), {"MYOAU1001", "Australia", "19.8"}},
      {samples::SamplePath(samples::kAr2011File), {"MYOB_AccountRight_2011", "Australia", "2011.0"}},
      {samples::SamplePath("absent.MYO"), {"", "", ""}},
      {endless,
       {"", "", ""},
       {"The company file \"" + endless +
        "\" cannot be read: a query of it did not end within the work and temporary space that reading a company "
        "file takes"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ScriptedUiScope ui;
    DataSource::Instance().ODBCDataFile = c.file;
    std::vector<std::string> shown;
    ui->QueueForm([&](ui::Form& form) {
      auto& f = dynamic_cast<DataCheckODBCForm&>(form);
      shown = Boxes(f);
      f.Exit_Click();
      EXPECT_FALSE(f.Loaded());
    });
    DataCheckODBC::Instance().Show();
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(ui->Messages(), c.messages);
    EXPECT_EQ(DataSource::Instance().ODBCDataFile, c.file);
  }
  DataSource::Instance() = DataSource{};
}

TEST(DataCheckODBCTest, WithoutAFile) {
  ScriptedUiScope ui;
  DataSource::Instance().ODBCDataFile.clear();
  std::vector<std::string> shown{"x"};
  ui->QueueForm([&](ui::Form& form) { shown = Boxes(dynamic_cast<DataCheckODBCForm&>(form)); });
  DataCheckODBC::Instance().Show();
  EXPECT_EQ(shown, (std::vector<std::string>{"", "", ""}));
  ASSERT_EQ(ui->shown.size(), 2u);
  EXPECT_EQ(ui->shown[0].text, "Please enter a valid Database");
  EXPECT_EQ(ui->shown[0].title, "Data Entry Error");
  EXPECT_EQ(ui->shown[0].icon, ui::Icon::Critical);
  EXPECT_EQ(ui->shown[1].title, "MYOB ODBC Driver Name");
}

}  // namespace
}  // namespace qvx::test
