#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "core/Dates.h"
#include "core/Globals.h"
#include "platform/runtime/Runtime.h"
#include "platform/sys/Clock.h"
#include "support/TestUi.h"

namespace qvx {
namespace {

using namespace std::chrono;

class DatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = G;
    sys::SetNow(sys_days{year{2026} / 12 / 7} + hours{10});
    G.DateFormat = "DMY";
    G.DebugMode = "";
  }
  void TearDown() override {
    G = saved_;
    sys::SetNow(std::nullopt);
  }
  test::ScriptedUiScope ui;

 private:
  Globals saved_;
};

TEST_F(DatesTest, IsValidDate) {
  struct Case {
    const char* format;
    const char* text;
    bool valid;
  } cases[] = {
      {"DMY", "29/02/2024", true},  {"DMY", "29/02/2023", false}, {"DMY", "31/04/2024", false},
      {"DMY", "31/12/2025", true},  {"DMY", "01/01/2026", true},  {"DMY", "07/12/2026", true},
      {"DMY", "31/12/2099", true},  {"DMY", "01/01/2100", false}, {"DMY", "31/12/1999", false},
      {"DMY", "15/06/99", false},   {"DMY", "15/06/05", true},    {"DMY", "00/06/2024", false},
      {"DMY", "15/13/2024", false}, {"DMY", "01/01/0000", false}, {"DMY", "01/01/99999", false},
      {"DMY", "ab/cd/efgh", false}, {"DMY", "", false},           {"DMY", "01/01", false},
      {"DMY", "01/01/", false},     {"DMY", "1.5/01/2024", false}, {"DMY", "123456789012345678901234567890", false},
      // Month-first dates are read month, then day.
      {"MDY", "12/31/2024", true},  {"MDY", "31/12/2024", false}, {"MDY", "02/29/2024", true},
      {"MDY", "02/29/2023", false},
  };
  for (const auto& c : cases) {
    G.DateFormat = c.format;
    EXPECT_EQ(IsValidDate(c.text), c.valid) << c.format << " " << c.text;
  }
}

TEST_F(DatesTest, ValidateDateNormalisesOrReports) {
  struct Case {
    bool dayFirst;
    const char* in;
    const char* out;
    bool error;
  } cases[] = {
      {true, "5.4.2024", "05/04/2024", false},  {true, "5-4-24", "05/04/2024", false},
      {true, "05/04/2024", "05/04/2024", false}, {true, "31/4/2024", "31/4/2024", false},
      {true, "5/4", "5/4", false},              {true, "", "", false},
      {true, "1/1/0", "01/01/2000", false},      {true, "1/1/99999", "1/1/99999", false},
      {true, "1/2/3/4", "1/2/3/4", false},      {false, "4.5.2024", "04/05/2024", false},
      {false, "12/31/24", "12/31/2024", false},  {false, "31/12/2024", "31/12/2024", false},
  };
  for (const auto& c : cases) {
    std::string t = c.in;
    int16_t flag = 5;
    if (c.dayFirst) ValidateDateDMY(t, flag);
    else ValidateDateMDY(t, flag);
    EXPECT_EQ(t, c.out) << c.in;
    EXPECT_EQ(flag, 0) << c.in;
  }
  EXPECT_TRUE(ui->shown.empty());

  std::string t = "5 April 2024";
  int16_t flag = 0;
  ValidateDateDMY(t, flag);
  EXPECT_EQ(flag, kTrue);
  EXPECT_EQ(t, "Error in Date\r\n\r\nThe format should be dd/mm/yyyy\r\n");
  ASSERT_EQ(ui->shown.size(), 1u);
  EXPECT_EQ(ui->shown[0].text, t);
  EXPECT_EQ(ui->shown[0].title, "Problem in Date");
  EXPECT_EQ(ui->shown[0].icon, ui::Icon::Information);

  t = "04/05/2O24";
  ValidateDateMDY(t, flag);
  EXPECT_EQ(flag, kTrue);
  EXPECT_EQ(ui->shown.back().text, "Error in Date\r\n\r\nThe format should be mm/dd/yyyy\r\n");
  EXPECT_EQ(ui->shown.back().title, "Problem in Date format");
}

TEST_F(DatesTest, CheckDateEntry) {
  struct Case {
    const char* format;
    const char* in;
    const char* out;  // "" means refused with the message
  } cases[] = {
      {"DMY", "5.4.24", "05/04/2024"},   {"DMY", "05/04/2024", "05/04/2024"}, {"DMY", "31/4/2024", ""},
      {"DMY", "5/4", ""},                {"DMY", "5-4-2024", ""},             {"DMY", "", ""},
      {"DMY", "29/2/2024", "29/02/2024"}, {"DMY", "29/2/2023", ""},           {"DMY", "29/2/24", "29/02/2024"},
      {"DMY", "1/13/2024", ""},          {"DMY", "0/1/2024", ""},             {"DMY", "5x/4/2024", ""},
      {"DMY", "a/b/c", ""},              {"DMY", " / / ", ""},                {"DMY", "1/1/99999", ""},
      {"DMY", "1/2/3/4", ""},            {"DMY", "123456789/123456789/12345678", ""},
      {"MDY", "4/5/2024", "04/05/2024"}, {"MDY", "12/31/2024", "12/31/2024"}, {"MDY", "31/12/2024", ""},
      {"MDY", "2/29/2024", "02/29/2024"},
  };
  for (const auto& c : cases) {
    G.DateFormat = c.format;
    ui->Clear();
    std::string date = "junk";
    CheckDateEntry(c.in, date);
    EXPECT_EQ(date, c.out) << c.in;
    if (std::string(c.out).empty()) {
      ASSERT_EQ(ui->shown.size(), 1u) << c.in;
      EXPECT_EQ(ui->shown[0].text, "Please enter a valid date");
      EXPECT_EQ(ui->shown[0].title, "Bad Date");
      EXPECT_EQ(ui->shown[0].buttons, ui::Buttons::OK);
    } else {
      EXPECT_TRUE(ui->shown.empty()) << c.in;
    }
  }
}

TEST_F(DatesTest, TwoDigitYearsFallInTheCurrentCentury) {
  sys::SetNow(sys_days{year{2131} / 3 / 1});
  std::string date;
  CheckDateEntry("5/4/24", date);
  EXPECT_EQ(date, "05/04/2124");
}

TEST_F(DatesTest, SixDigitKeys) {
  struct Case {
    bool dayFirst;
    const char* in;
    const char* out;
  } cases[] = {
      {true, "05/04/2024", "240405"}, {true, "05/04/24", "240405"},  {true, "5/4/2024", "24/25/"},
      {true, "05/04", "      "},      {true, "", "      "},         {true, "  05/04/24", "240405"},
      {false, "04/05/2024", "240405"}, {false, "04/05/24", "240405"},
  };
  for (const auto& c : cases) {
    std::string d = c.in;
    if (c.dayFirst) DMYToYYMMDD(d);
    else MDYToYYMMDD(d);
    EXPECT_EQ(d, c.out) << c.in;
  }
  G.DateFormat = "MDY";
  DateKeys k = GetDateKeys("07/01/2024", "06/30/2025", "07/01/2024", "06/30/2025");
  EXPECT_EQ(k.fromKey, "240701");
  EXPECT_EQ(k.toKey, "250630");
  EXPECT_EQ(k.yearStartKey, "240701");
  EXPECT_EQ(k.yearEndKey, "250630");
}

struct PeriodCase {
  const char* format;
  const char* from;
  const char* to;
  const char* fyStart;
  const char* fyEnd;
  const char* odbcFrom;
  const char* odbcTo;
  const char* fromYMD;
  const char* toYMD;
  const char* fyStartYMD;
  const char* fyEndYMD;
  const char* odbcYearStart;
  int fromMonth, toMonth, months, fyEndMonth;
};

TEST_F(DatesTest, SetReportPeriod) {
  const PeriodCase cases[] = {
      {"DMY", "01/04/2024", "31/03/2025", "01/04/2024", "31/03/2025", "2024-04-01", "2025-03-31", "20240401",
       "20250331", "20240401", "20250331", "2024-04-01", 4, 3, 12, 3},
      {"DMY", "01/06/2024", "30/06/2024", "01/07/2023", "30/06/2024", "2024-06-01", "2024-06-30", "20240601",
       "20240630", "20230701", "20240630", "2023-07-01", 6, 6, 1, 6},
      // A February year end takes the real length of that February.
      {"DMY", "01/03/2023", "29/02/2024", "01/03/2023", "29/02/2024", "2023-03-01", "2024-02-29", "20230301",
       "20240229", "20230301", "20240229", "2023-03-01", 3, 2, 12, 2},
      {"DMY", "01/03/2022", "28/02/2023", "01/03/2022", "28/02/2023", "2022-03-01", "2023-02-28", "20220301",
       "20230228", "20220301", "20230228", "2022-03-01", 3, 2, 12, 2},
      {"MDY", "07/01/2024", "12/31/2024", "07/01/2024", "06/30/2025", "2024-07-01", "2024-12-31", "20240701",
       "20241231", "20240701", "20250630", "2024-07-01", 7, 12, 6, 6},
  };
  for (const auto& c : cases) {
    G.DateFormat = c.format;
    G.MonthDays[2] = 28;  // what a previous dialog may have left behind
    G.ReportFromDate = c.from;
    G.ReportToDate = c.to;
    G.FinYearStartDate = c.fyStart;
    G.FinYearEndDate = c.fyEnd;
    SetReportPeriod();
    EXPECT_EQ(G.ODBCFromDate, c.odbcFrom) << c.from;
    EXPECT_EQ(G.ODBCToDate, c.odbcTo) << c.from;
    EXPECT_EQ(G.FromYMD, c.fromYMD) << c.from;
    EXPECT_EQ(G.ToYMD, c.toYMD) << c.from;
    EXPECT_EQ(G.FinYearStartYMD, c.fyStartYMD) << c.from;
    EXPECT_EQ(G.FinYearEndYMD, c.fyEndYMD) << c.from;
    EXPECT_EQ(G.ODBCYearStartDate, c.odbcYearStart) << c.from;
    EXPECT_EQ(G.FromMonth, c.fromMonth) << c.from;
    EXPECT_EQ(G.ToMonth, c.toMonth) << c.from;
    EXPECT_EQ(G.NbrMonths, c.months) << c.from;
    EXPECT_EQ(G.NbrMonths2, c.months) << c.from;
    EXPECT_EQ(G.FYEndMonth, c.fyEndMonth) << c.from;
    EXPECT_EQ(G.PeriodText, std::string(c.from) + " to " + c.to);
  }
  EXPECT_TRUE(ui->shown.empty());
}

TEST_F(DatesTest, SetReportPeriodDebugBoxAndBadYearEnd) {
  G.DebugMode = "ON";
  G.ReportFromDate = "01/04/2024";
  G.ReportToDate = "31/03/2025";
  G.FinYearStartDate = "01/04/2024";
  G.FinYearEndDate = "31/03/2025";
  SetReportPeriod();
  ASSERT_EQ(ui->shown.size(), 1u);
  EXPECT_EQ(ui->shown[0].text, "sODBCFromDate = 2024-04-01 sODBCToDate = 2025-03-31\r\n");
  EXPECT_EQ(ui->shown[0].title, "");

  G.DebugMode = "";
  G.FinYearEndDate = "";
  try {
    SetReportPeriod();
    ADD_FAILURE() << "no error for a missing year end";
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), err::SubscriptOutOfRange);
  }
}

TEST_F(DatesTest, PriorYearDates) {
  struct Case {
    const char* from;
    const char* to;
    const char* priorFrom;
    const char* priorTo;
  } cases[] = {
      {"2024-07-01", "2025-06-30", "2023-07-01", "2024-06-30"},
      {"2023-03-01", "2024-02-29", "2022-03-01", "2023-02-28"},
      {"2024-02-29", "2024-02-29", "2023-02-28", "2023-02-28"},
      {"2000-01-01", "2000-12-31", "1999-01-01", "1999-12-31"},
  };
  for (const auto& c : cases) {
    std::string f = c.from, t = c.to;
    PriorYearDates(f, t);
    EXPECT_EQ(f, c.priorFrom);
    EXPECT_EQ(t, c.priorTo);
  }
}

}  // namespace
}  // namespace qvx
