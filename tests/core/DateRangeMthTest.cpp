#include "core/DateRangeMth.h"

#include <chrono>
#include <functional>

#include <QAbstractItemView>
#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

#include "core/DateRange.h"
#include "core/Globals.h"
#include "core/Startup.h"
#include "platform/sys/Clock.h"
#include "support/TestUi.h"

namespace qvx {
namespace {

using namespace std::chrono;

class DateRangeMthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys::SetNow(sys_days{year{2026} / 12 / 7} + hours{10});
    BuildMonthTables();
    G.DateFormat = "DMY";
    G.FirstMonth = 7;
    G.CurrentYear = 2020;
    G.DialogFinYear = 0;
    G.DialogToMth = 0;
    d = DateRangeMth();
  }
  void TearDown() override {
    sys::SetNow(std::nullopt);
    G.DateFormat = "DMY";
    d = DateRangeMth();
  }

  void Run(const std::function<void(DateRangeMthForm&)>& user) {
    ui->QueueForm([&](ui::Form& f) { user(dynamic_cast<DateRangeMthForm&>(f)); });
    d.Show();
  }

  static void Choose(DateRangeMthForm& f, int from, int to, int year) {
    f.FromMth.setCurrentIndex(from);
    f.ToMth.setCurrentIndex(to);
    f.CmbFinYear.setCurrentIndex(year);
  }

  test::ScriptedUiScope ui;
  DateRangeMth& d = DateRangeMth::Instance();
};

TEST_F(DateRangeMthTest, ListsRunInFinancialYearOrder) {
  G.FirstMonth = 7;
  Run([](DateRangeMthForm& f) {
    EXPECT_EQ(f.windowTitle().toStdString(), "Date Range");
    EXPECT_EQ(f.Label2.text().toStdString(), "Select the dates you require");
    ASSERT_EQ(f.FromMth.count(), 12);
    EXPECT_EQ(f.FromMth.itemText(0).toStdString(), "July");
    EXPECT_EQ(f.FromMth.itemText(5).toStdString(), "December");
    EXPECT_EQ(f.FromMth.itemText(6).toStdString(), "January");
    EXPECT_EQ(f.ToMth.itemText(11).toStdString(), "June");
    EXPECT_EQ(f.FromMth.currentIndex(), 0);
    EXPECT_EQ(f.ToMth.currentIndex(), 0);
    std::vector<std::string> years;
    for (int i = 0; i < f.CmbFinYear.count(); ++i) years.push_back(f.CmbFinYear.itemText(i).toStdString());
    EXPECT_EQ(years, (std::vector<std::string>{"Year ending June 2022", "Year ending June 2021", "Year ending June 2020",
                                               "Year ending June 2019", "Year ending June 2018"}));
    EXPECT_EQ(f.CmbFinYear.currentIndex(), 2);
    f.Cancel_Click();
  });
  EXPECT_EQ(d.LastMth, 6);
  G.FirstMonth = 1;
  Run([](DateRangeMthForm& f) {
    EXPECT_EQ(f.FromMth.itemText(0).toStdString(), "January");
    EXPECT_EQ(f.CmbFinYear.itemText(0).toStdString(), "Year ending December 2022");
    f.Cancel_Click();
  });
  EXPECT_EQ(d.LastMth, 12);
}

TEST_F(DateRangeMthTest, PeriodAndFinancialYearTexts) {
  struct Case {
    int firstMonth, currentYear;
    const char* format;
    int from, to, year;
    const char *fromX, *toX, *start, *end;
    int finYear, toMonth, february;
  };
  const Case cases[] = {
      {7, 2020, "DMY", 0, 11, 2, "01/07/2019", "30/06/2020", "01/07/2019", "30/06/2020", 2020, 6, 29},
      {7, 2020, "DMY", 2, 2, 2, "01/09/2019", "30/09/2019", "01/07/2019", "30/06/2020", 2020, 9, 28},
      {7, 2020, "DMY", 0, 7, 2, "01/07/2019", "29/02/2020", "01/07/2019", "30/06/2020", 2020, 2, 29},
      {7, 2020, "DMY", 6, 7, 0, "01/01/2022", "28/02/2022", "01/07/2021", "30/06/2022", 2022, 2, 28},
      {7, 2020, "DMY", 11, 11, 4, "01/06/2018", "30/06/2018", "01/07/2017", "30/06/2018", 2018, 6, 28},
      {1, 2020, "DMY", 0, 11, 2, "01/01/2020", "31/12/2020", "01/01/2020", "31/12/2020", 2020, 12, 29},
      {1, 2021, "DMY", 1, 1, 1, "01/02/2022", "28/02/2022", "01/01/2022", "31/12/2022", 2022, 2, 28},
      {3, 2024, "DMY", 0, 2, 2, "01/03/2023", "31/05/2023", "01/03/2023", "29/02/2024", 2024, 5, 28},
      {3, 2024, "DMY", 0, 2, 1, "01/03/2024", "31/05/2024", "01/03/2024", "28/02/2025", 2025, 5, 29},
      {4, 2026, "DMY", 0, 11, 2, "01/04/2025", "31/03/2026", "01/04/2025", "31/03/2026", 2026, 3, 28},
      {4, 2026, "DMY", 9, 10, 0, "01/01/2028", "29/02/2028", "01/04/2027", "31/03/2028", 2028, 2, 29},
      {7, 2020, "MDY", 0, 11, 2, "07/01/2019", "06/30/2020", "07/01/2019", "06/30/2020", 2020, 6, 29},
      {3, 2024, "MDY", 11, 11, 2, "02/01/2024", "02/29/2024", "03/01/2023", "02/29/2024", 2024, 2, 29},
  };
  for (const auto& c : cases) {
    G.FirstMonth = static_cast<int16_t>(c.firstMonth);
    G.CurrentYear = static_cast<int16_t>(c.currentYear);
    G.DateFormat = c.format;
    Run([&](DateRangeMthForm& f) {
      Choose(f, c.from, c.to, c.year);
      f.CmdOkay_Click();
      EXPECT_FALSE(f.Loaded());
    });
    SCOPED_TRACE(std::string(c.format) + " first month " + std::to_string(c.firstMonth) + " from " + c.fromX);
    EXPECT_TRUE(d.ExitOkay);
    EXPECT_EQ(d.FromDateX, c.fromX);
    EXPECT_EQ(d.ToDateX, c.toX);
    EXPECT_EQ(d.StartFinancialYear, c.start);
    EXPECT_EQ(d.EndFinancialYear, c.end);
    EXPECT_EQ(G.DialogFinYear, c.finYear);
    EXPECT_EQ(G.DialogToMth, c.toMonth);
    EXPECT_EQ(G.MonthDays[2], c.february);
    EXPECT_EQ(d.FirstMthIndex, c.from);
  }
  EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(DateRangeMthTest, ToBeforeFromIsRefusedSilentlyAndChangesNoField) {
  Run([&](DateRangeMthForm& f) { Choose(f, 0, 11, 2); f.CmdOkay_Click(); });
  ASSERT_TRUE(d.ExitOkay);
  G.MonthDays[2] = 28;
  Run([&](DateRangeMthForm& f) {
    Choose(f, 8, 1, 3);  // March to August of a July-to-June year
    f.CmdOkay_Click();
    EXPECT_TRUE(f.Loaded());
    EXPECT_FALSE(d.ExitOkay);
    EXPECT_EQ(d.StartFinancialYear, "01/07/2019");
    EXPECT_EQ(d.EndFinancialYear, "30/06/2020");
    EXPECT_EQ(d.FromDateX, "01/07/2019");
    EXPECT_EQ(G.MonthDays[2], 28);
    Choose(f, 1, 8, 3);  // August to March
    f.CmdOkay_Click();
    EXPECT_FALSE(f.Loaded());
  });
  EXPECT_TRUE(d.ExitOkay);
  EXPECT_EQ(d.FromDateX, "01/08/2018");
  EXPECT_EQ(d.ToDateX, "31/03/2019");
  EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(DateRangeMthTest, ReopeningSelectsTheLastChoice) {
  struct Case {
    int from, to, year;
    int fromAgain, toAgain, yearAgain;
  };
  const Case cases[] = {
      {3, 4, 3, 3, 4, 2},    // an earlier year is not chosen again
      {0, 11, 1, 0, 11, 1},  // the years ahead are
      {5, 9, 0, 5, 9, 0},
      {11, 11, 4, 11, 11, 2},
  };
  for (const auto& c : cases) {
    Run([&](DateRangeMthForm& f) { Choose(f, c.from, c.to, c.year); f.CmdOkay_Click(); });
    Run([&](DateRangeMthForm& f) {
      EXPECT_EQ(f.FromMth.currentIndex(), c.fromAgain);
      EXPECT_EQ(f.ToMth.currentIndex(), c.toAgain);
      EXPECT_EQ(f.CmbFinYear.currentIndex(), c.yearAgain);
      EXPECT_FALSE(d.ExitOkay);  // a new showing starts without an OK
      f.Cancel_Click();
    });
  }
}

TEST_F(DateRangeMthTest, TheTypedDateDialogsChoiceIsSelectedToo) {
  G.FirstMonth = 4;
  G.CurrentYear = 2025;
  ui->QueueForm([](ui::Form& form) {
    auto& f = dynamic_cast<DateRangeForm&>(form);
    f.TxtFromDate.setText("01/05/2026");
    f.TxtFromDate_Validate();
    f.TxtToDate.setText("20/11/2026");
    f.TxtToDate_Validate();
    f.CmdOkay_Click();
  });
  DateRange::Instance().Show();
  ASSERT_TRUE(DateRange::Instance().ExitOkay);
  Run([](DateRangeMthForm& f) {
    EXPECT_EQ(f.ToMth.currentText().toStdString(), "November");
    EXPECT_EQ(f.CmbFinYear.currentText().toStdString(), "Year ending March 2027");
    f.Cancel_Click();
  });
}

TEST_F(DateRangeMthTest, CancelEscAndTheCloseBoxEndWithoutAPeriod) {
  Run([&](DateRangeMthForm& f) { Choose(f, 0, 11, 2); f.CmdOkay_Click(); });
  const std::function<void(DateRangeMthForm&)> ways[] = {
      [](DateRangeMthForm& f) { f.Cancel_Click(); },
      [](DateRangeMthForm& f) { static_cast<QDialog&>(f).reject(); },
      [](DateRangeMthForm& f) { f.close(); },
  };
  for (const auto& way : ways) {
    d.OnlyToNeeded = kFalse;  // as the group report does
    Run([&](DateRangeMthForm& f) {
      Choose(f, 3, 4, 0);
      way(f);
      EXPECT_FALSE(f.Loaded());
    });
    EXPECT_FALSE(d.ExitOkay);
    EXPECT_EQ(d.FromDateX, "01/07/2019");
    EXPECT_EQ(d.ToDateX, "30/06/2020");
    EXPECT_EQ(d.FirstMthIndex, 0);
    EXPECT_EQ(d.OnlyToNeeded, kFalse);
  }
}

// The open month list as the screen shows it: the highlighted month's text stands out
// from the highlight behind it, in both lists.
TEST_F(DateRangeMthTest, TheHighlightedMonthOfAnOpenListCanBeRead) {
  Run([](DateRangeMthForm& f) {
    f.show();
    for (QComboBox* list : {&f.FromMth, &f.ToMth}) {
      list->setCurrentIndex(3);
      list->showPopup();
      QApplication::processEvents();
      QAbstractItemView* view = list->view();
      ASSERT_TRUE(view->isVisible());
      const QImage shot = view->viewport()->grab().toImage();
      const QRect row = view->visualRect(view->currentIndex()).intersected(shot.rect());
      ASSERT_EQ(view->currentIndex().row(), 3);
      // The highlight: the row's colour at its right end, past the month's name and
      // within any frame drawn round the row.
      const QRect inside = row.adjusted(4, 4, -4, -4);
      const QColor back = shot.pixelColor(inside.right(), inside.center().y());
      int farthest = 0;  // the text: the pixel of the row most unlike the highlight
      for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x < inside.right(); ++x) {
          const QColor c = shot.pixelColor(x, y);
          farthest = std::max(farthest, std::abs(c.red() - back.red()) + std::abs(c.green() - back.green()) +
                                            std::abs(c.blue() - back.blue()));
        }
      EXPECT_GT(farthest, 300) << "highlight " << back.name().toStdString();
      list->hidePopup();
    }
    f.Cancel_Click();
  });
}

}  // namespace
}  // namespace qvx
