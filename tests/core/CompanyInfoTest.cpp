// The company-information dialog: the last month of the year sets the first month.
#include <gtest/gtest.h>

#include "core/CompanyInfo.h"
#include "core/Globals.h"
#include "support/TestUi.h"

namespace qvx {
namespace {

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

class CompanyInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int m = 1; m <= 12; ++m) G.MonthLong[m] = kMonths[m - 1];
    G.DataSetCompany = "Clearwater Trading";
  }
  test::ScriptedUiScope ui_;
};

TEST_F(CompanyInfoTest, LastMonthOfTheYearSetsTheFirstMonth) {
  struct Case {
    int16_t firstMonth;
    const char* preselected;
    const char* chosen;  // nullptr: Cancel
    int16_t expected;
  };
  const Case cases[] = {
      {4, "March", "June", 7},     {4, "March", "December", 1}, {1, "December", "March", 4},
      {7, "June", "June", 7},      {12, "November", "January", 2},
      {4, "March", nullptr, 4},    // Cancel after choosing another month
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.preselected) + " -> " + (c.chosen ? c.chosen : "Cancel"));
    G.FirstMonth = c.firstMonth;
    ui_->QueueForm([&](ui::Form& f) {
      auto& w = dynamic_cast<CompanyInfoForm&>(f);
      EXPECT_EQ(w.LstMonths.count(), 12);
      EXPECT_EQ(w.LstMonths.currentText().toStdString(), c.preselected);
      EXPECT_EQ(w.TxtUserName.text().toStdString(), "Clearwater Trading");
      EXPECT_EQ(w.HelpContextID, 1200);
      if (c.chosen) {
        w.LstMonths.setCurrentText(c.chosen);
        w.Exit_Click();
      } else {
        w.LstMonths.setCurrentText("August");
        w.Command1_Click();
      }
    });
    CompanyInfo::Instance().Show();
    EXPECT_EQ(G.FirstMonth, c.expected);
    EXPECT_EQ(CompanyInfo::Instance().ExitOkay, c.chosen ? kTrue : kFalse);
  }
  EXPECT_EQ(ui_->shown.front().title, "Company Information");
}

TEST_F(CompanyInfoTest, WithoutACompanyTheNameIsEmptyAndTheNameIsNotStored) {
  G.DataSetCompany.clear();
  G.FirstMonth = 4;
  ui_->QueueForm([](ui::Form& f) {
    auto& w = dynamic_cast<CompanyInfoForm&>(f);
    EXPECT_TRUE(w.TxtUserName.text().isEmpty());
    w.TxtUserName.setText("Typed Name");
    w.Exit_Click();
  });
  CompanyInfo::Instance().Show();
  EXPECT_TRUE(G.DataSetCompany.empty());
  EXPECT_EQ(G.FirstMonth, 4);
}

}  // namespace
}  // namespace qvx
