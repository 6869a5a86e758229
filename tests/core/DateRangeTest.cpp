#include "core/DateRange.h"

#include <chrono>
#include <functional>

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <gtest/gtest.h>

#include "core/Globals.h"
#include "core/Startup.h"
#include "platform/sys/Clock.h"
#include "support/TestUi.h"

namespace qvx {
namespace {

using namespace std::chrono;

class DateRangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys::SetNow(sys_days{year{2026} / 12 / 7} + hours{10});
    G.DateFormat = "DMY";
    G.FirstMonth = 7;
    G.CurrentYear = 2020;
    BuildMonthTables();
    G.DialogFinYear = 0;
    G.DialogToMth = 0;
    d = DateRange();
  }
  void TearDown() override {
    sys::SetNow(std::nullopt);
    G.DateFormat = "DMY";
    d = DateRange();
  }

  void Run(const std::function<void(DateRangeForm&)>& user) {
    ui->QueueForm([&](ui::Form& f) { user(dynamic_cast<DateRangeForm&>(f)); });
    d.Show();
  }

  // The user types both dates, leaving each box in turn, and presses OK.
  void Enter(DateRangeForm& f, const std::string& from, const std::string& to) {
    f.TxtFromDate.setText(QString::fromStdString(from));
    f.TxtFromDate_Validate();
    f.TxtToDate.setText(QString::fromStdString(to));
    f.TxtToDate_Validate();
    f.CmdOkay_Click();
  }

  void ExpectUnchanged() {
    EXPECT_EQ(d.FromDateX, "old from");
    EXPECT_EQ(d.ToDateX, "old to");
    EXPECT_EQ(d.StartFinancialYear, "old start");
    EXPECT_EQ(d.EndFinancialYear, "old end");
  }
  void SetOld() {
    d.FromDateX = "old from";
    d.ToDateX = "old to";
    d.StartFinancialYear = "old start";
    d.EndFinancialYear = "old end";
  }

  test::ScriptedUiScope ui;
  DateRange& d = DateRange::Instance();
};

TEST_F(DateRangeTest, FinancialYearOfTheFromDate) {
  struct Case {
    int firstMonth, currentYear;
    const char *format, *from, *to;
    const char *fromX, *toX, *start, *end;
    int finYear, toMonth, february;
  };
  const Case cases[] = {
      {7, 2020, "DMY", "15/03/2020", "", "15/03/2020", "15/03/2020", "01/07/2019", "30/06/2020", 2020, 3, 29},
      {1, 2020, "DMY", "15/03/2020", "20/3/2020", "15/03/2020", "20/03/2020", "01/01/2020", "31/12/2020", 2020, 3, 29},
      {3, 2023, "DMY", "10/05/2023", "10.6.23", "10/05/2023", "10/06/2023", "01/03/2023", "29/02/2024", 2024, 6, 29},
      {3, 2023, "DMY", "28/02/2023", "28/02/2023", "28/02/2023", "28/02/2023", "01/03/2022", "28/02/2023", 2023, 2, 28},
      {4, 2025, "DMY", "01/04/2024", "31/03/2025", "01/04/2024", "31/03/2025", "01/04/2024", "31/03/2025", 2025, 3, 28},
      {4, 2025, "DMY", "31/03/2024", "1-4-2024", "31/03/2024", "01/04/2024", "01/04/2023", "31/03/2024", 2024, 4, 29},
      {7, 2026, "DMY", "29/02/2028", "30/06/2028", "29/02/2028", "30/06/2028", "01/07/2027", "30/06/2028", 2028, 6, 29},
      {1, 2021, "DMY", "31/12/2016", "31/12/2016", "31/12/2016", "31/12/2016", "01/01/2016", "31/12/2016", 2016, 12, 29},
      // Month-first users type and get month-first dates.
      {7, 2020, "MDY", "07/01/2019", "06/30/2020", "07/01/2019", "06/30/2020", "07/01/2019", "06/30/2020", 2020, 6, 29},
      {3, 2023, "MDY", "12/31/2023", "1/15/2024", "12/31/2023", "01/15/2024", "03/01/2023", "02/29/2024", 2024, 1, 29},
      {1, 2026, "MDY", "12/7/26", "12/07/2026", "12/07/2026", "12/07/2026", "01/01/2026", "12/31/2026", 2026, 12, 28},
  };
  for (const auto& c : cases) {
    G.FirstMonth = static_cast<int16_t>(c.firstMonth);
    G.CurrentYear = static_cast<int16_t>(c.currentYear);
    G.DateFormat = c.format;
    Run([&](DateRangeForm& f) {
      Enter(f, c.from, c.to);
      EXPECT_FALSE(f.Loaded()) << c.from;
    });
    SCOPED_TRACE(c.from);
    EXPECT_TRUE(d.ExitOkay);
    EXPECT_EQ(d.FromDateX, c.fromX);
    EXPECT_EQ(d.ToDateX, c.toX);
    EXPECT_EQ(d.StartFinancialYear, c.start);
    EXPECT_EQ(d.EndFinancialYear, c.end);
    EXPECT_EQ(G.DialogFinYear, c.finYear);
    EXPECT_EQ(G.DialogToMth, c.toMonth);
    EXPECT_EQ(G.MonthDays[2], c.february);
  }
  EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(DateRangeTest, DayShorthandInTheToBox) {
  struct Case {
    const char *format, *from, *typed, *box;
  };
  const Case cases[] = {
      {"DMY", "01/07/2019", "31", "31/07/2019"},
      {"DMY", "01/07/2019", "7", "07/07/2019"},
      {"DMY", "1/7/2019", "15", "15/07/2019"},   // the From box was normalised first
      {"MDY", "07/01/2019", "9", "09/01/2019"},  // month-first: the digits are the month
      {"DMY", "01/07/2019", "", "01/07/2019"},   // empty: a one-day period
  };
  for (const auto& c : cases) {
    G.DateFormat = c.format;
    Run([&](DateRangeForm& f) {
      f.TxtFromDate.setText(c.from);
      f.TxtFromDate_Validate();
      f.TxtToDate.setText(c.typed);
      f.TxtToDate_Validate();
      EXPECT_EQ(f.TxtToDate.text().toStdString(), c.box) << c.typed;
      f.Cancel_Click();
    });
  }
  EXPECT_TRUE(ui->shown.size() == 5u);  // five forms, no prompt
}

TEST_F(DateRangeTest, RefusedOkSaysNothingKeepsTheWindowAndChangesNoField) {
  struct Case {
    const char *from, *to;
  };
  const Case cases[] = {
      {"15/03/2020", "14/03/2020"},  // To before From
      {"15/03/2026", "15/03/2026"},  // after the last of the eleven years (to June 2025)
      {"15/03/2014", "15/03/2014"},  // before the first (from July 2014)
  };
  for (const auto& c : cases) {
    SetOld();
    G.MonthDays[2] = 28;
    Run([&](DateRangeForm& f) {
      Enter(f, c.from, c.to);
      EXPECT_TRUE(f.Loaded()) << c.from;
      EXPECT_FALSE(d.ExitOkay);
      f.Cancel_Click();
    });
    ExpectUnchanged();
    EXPECT_EQ(G.DialogFinYear, 0);
    EXPECT_EQ(G.MonthDays[2], 28);
  }
  // The first and last days of the eleven years are inside.
  Run([&](DateRangeForm& f) { Enter(f, "01/07/2014", "30/06/2025"); });
  EXPECT_TRUE(d.ExitOkay);
  EXPECT_EQ(d.EndFinancialYear, "30/06/2015");
  Run([&](DateRangeForm& f) { Enter(f, "30/06/2025", "30/06/2025"); });
  EXPECT_EQ(d.EndFinancialYear, "30/06/2025");
  EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(DateRangeTest, BadTextsBringTheCorrectionPromptAndItsAnswerIsCheckedByOk) {
  struct Case {
    const char* typed;
    bool formatMessage;  // the date routine's own message comes first
  };
  const Case cases[] = {
      {"abc", true},
      {"15 03 2020", true},
      {"15/03/2020\r\n", true},  // pasted with its line break
      {"31/02/2024", false},
      {"00/00/0000", false},
      {"1234567890123456789012345678901234567890", false},
      {"15/03/1999", false},
      {"15/03/2100", false},
      {"15//2020", false},
  };
  for (const auto& c : cases) {
    ui->Clear();
    SetOld();
    ui->QueueInput(std::string("16/03/2020"));
    Run([&](DateRangeForm& f) {
      f.TxtFromDate.setText(c.typed);
      f.TxtFromDate_Validate();
      EXPECT_EQ(f.TxtFromDate.text().toStdString(), "16/03/2020") << c.typed;
      f.TxtToDate.setText("20/03/2020");
      f.TxtToDate_Validate();
      f.CmdOkay_Click();  // the answer reached OK as typed
    });
    ASSERT_GE(ui->shown.size(), 2u);
    size_t prompt = c.formatMessage ? 2 : 1;
    EXPECT_EQ(ui->shown[prompt].kind, "input") << c.typed;
    EXPECT_EQ(ui->shown[prompt].text, "Please enter the correct date");
    EXPECT_EQ(ui->shown[prompt].title, "Date error");
    if (c.formatMessage) {
      EXPECT_EQ(ui->shown[1].title, "Problem in Date");
    }
    EXPECT_EQ(d.FromDateX, "16/03/2020");
  }
}

TEST_F(DateRangeTest, AnAnswerThatReachesOkUncheckedIsRefusedWhenItIsNoDateOfThisCentury) {
  const char* answers[] = {"15/03/1999", "15/03/2100", "31/02/2020", "", "x"};
  for (const char* answer : answers) {
    ui->Clear();
    SetOld();
    ui->QueueInput(std::string(answer));
    Run([&](DateRangeForm& f) {
      f.TxtFromDate.setText("oops");
      f.TxtFromDate_Validate();
      EXPECT_EQ(f.TxtFromDate.text().toStdString(), answer);
      f.TxtToDate.setText("20/03/2020");
      f.CmdOkay_Click();
      EXPECT_TRUE(f.Loaded()) << answer;
      f.Cancel_Click();
    });
    EXPECT_EQ(ui->Messages().back(), "Please enter a valid date") << answer;
    EXPECT_EQ(ui->shown.back().title, "Bad Date");
    EXPECT_FALSE(d.ExitOkay);
    ExpectUnchanged();
  }
}

TEST_F(DateRangeTest, EnterMovesOnAndEnterInTheToBoxPressesOk) {
  Run([&](DateRangeForm& f) {
    f.TxtFromDate.setText("1.7.19");
    f.TxtFromDate_KeyPress(13);
    EXPECT_EQ(f.TxtFromDate.text().toStdString(), "01/07/2019");
    f.TxtToDate.setText("31");
    f.TxtToDate_KeyPress(65);  // any other key does nothing
    EXPECT_EQ(f.TxtToDate.text().toStdString(), "31");
    f.TxtToDate_KeyPress(13);
  });
  EXPECT_TRUE(d.ExitOkay);
  EXPECT_EQ(d.FromDateX, "01/07/2019");
  EXPECT_EQ(d.ToDateX, "31/07/2019");
  EXPECT_EQ(d.EndFinancialYear, "30/06/2020");
}

TEST_F(DateRangeTest, OkWithAnEmptyBoxIsABadDate) {
  SetOld();
  Run([&](DateRangeForm& f) {
    f.TxtFromDate.setText("15/03/2020");
    f.TxtFromDate_Validate();
    f.CmdOkay_Click();  // the To box was never left
    EXPECT_TRUE(f.Loaded());
    f.Cancel_Click();
  });
  EXPECT_EQ(ui->Messages(), std::vector<std::string>{"Please enter a valid date"});
  ExpectUnchanged();
}

TEST_F(DateRangeTest, CancelEscAndTheCloseBoxLeaveThePreviousPeriod) {
  Run([&](DateRangeForm& f) { Enter(f, "01/07/2019", "30/06/2020"); });
  ASSERT_TRUE(d.ExitOkay);
  const std::function<void(DateRangeForm&)> ways[] = {
      [](DateRangeForm& f) { f.Cancel_Click(); },
      [](DateRangeForm& f) { static_cast<QDialog&>(f).reject(); },  // Esc
      [](DateRangeForm& f) { f.close(); },                            // the close box
  };
  for (const auto& way : ways) {
    Run([&](DateRangeForm& f) {
      // Reopening: both boxes are empty, the fields still hold the last period.
      EXPECT_TRUE(f.TxtFromDate.text().isEmpty());
      EXPECT_TRUE(f.TxtToDate.text().isEmpty());
      f.TxtFromDate.setText("01/08/2019");
      f.TxtFromDate_Validate();
      way(f);
      EXPECT_FALSE(f.Loaded());
    });
    EXPECT_FALSE(d.ExitOkay);
    EXPECT_EQ(d.FromDateX, "01/07/2019");
    EXPECT_EQ(d.ToDateX, "30/06/2020");
    EXPECT_EQ(d.StartFinancialYear, "01/07/2019");
  }
}


TEST_F(DateRangeTest, LeavingABoxWithinTheWindowValidatesItAndEnterIsWired) {
  Run([&](DateRangeForm& f) {
    f.TxtFromDate.setText("1.7.19");
    QFocusEvent toMessage(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(&f.TxtFromDate, &toMessage);
    EXPECT_EQ(f.TxtFromDate.text().toStdString(), "1.7.19");  // another window took the focus
    QFocusEvent tab(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&f.TxtFromDate, &tab);
    EXPECT_EQ(f.TxtFromDate.text().toStdString(), "01/07/2019");
    f.TxtToDate.setText("5");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&f.TxtToDate, &enter);
  });
  EXPECT_TRUE(d.ExitOkay);
  EXPECT_EQ(d.ToDateX, "05/07/2019");
}

}  // namespace
}  // namespace qvx
