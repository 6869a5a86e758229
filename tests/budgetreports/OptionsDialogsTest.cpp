// The budget reports' options dialogs driven through the scripted user interface.
#include <fstream>
#include <functional>
#include <sstream>

#include "../core/CoreFixture.h"
#include "budgetreports/BudgetOptions.h"
#include "budgetreports/FilterBGTFC.h"
#include "budgetreports/PageBreaks.h"
#include "core/Settings.h"

namespace qvx {
namespace {

class OptionsDialogsTest : public test::CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    FilterPLBGT::Instance() = FilterPLBGT{};
    G.PrintToPrinter = kTrue;
    G.ExcelVersion = 2007;
    G.ReportCode = "BGTCMP";
  }
  void Budget(const std::function<void(FilterPLBGTForm&)>& user) {
    ui_->QueueForm([user](ui::Form& f) { user(dynamic_cast<FilterPLBGTForm&>(f)); });
    FilterPLBGT::Instance().Show();
  }
  void Forecast(const std::function<void(FilterBGTFCForm&)>& user) {
    ui_->QueueForm([user](ui::Form& f) { user(dynamic_cast<FilterBGTFCForm&>(f)); });
    FilterBGTFC::Instance().Show();
  }
  static std::string Chosen(std::initializer_list<QRadioButton*> options) {
    std::string s;
    for (QRadioButton* o : options)
      if (o->isChecked()) s += (s.empty() ? "" : ",") + o->text().toStdString();
    return s;
  }
  // The chosen option of every group of the Budget Options window.
  static std::string Groups(FilterPLBGTForm& f) {
    return Chosen({&f.OptAccrual, &f.OptCash}) + "|" +
           Chosen({&f.OptVal, &f.OptPCent, &f.OptBoth, &f.OptShowVarLastYr}) + "|" +
           Chosen({&f.OptStandard, &f.OptLstYearVar, &f.OptLstYearCol, &f.OptLstYearMth, &f.OptLstYearYTD}) + "|" +
           Chosen({&f.OptAnnualBgt, &f.OptRemainingBgt, &f.OptRemainingAct, &f.OptLastYr, &f.OptNoAnnual});
  }
};

TEST_F(OptionsDialogsTest, BudgetOptionsSeedFromTheFieldsAndOkGivesThemBack) {
  struct Case {
    const char* name;
    std::function<void(FilterPLBGT&)> fields;
    const char* groups;  // what the window opens with
    bool journalsEnabled, journalsTicked, excludeMonths;
  };
  const Case cases[] = {
      {"first opening", [](FilterPLBGT&) {},
       "Use sale and purchase invoices|Show variance as dollars|Standard columns|No Annual Column", false, false, false},
      {"cash with journals, percentage, last year in columns, remaining budget",
       [](FilterPLBGT& f) {
         G.CashBasis = kTrue;
         f.IncludeJournals = kTrue;
         f.VarianceCol = "PC";
         f.ShowLastYrCol = kTrue;
         f.BudgetColDiff = 2;
       },
       "Use cash received and paid|Show variance as a percentage|Show Last Year in Columns|Remaining Budget", true,
       true, false},
      {"accrual keeps the journals tick hidden behind a disabled box",
       [](FilterPLBGT& f) {
         f.IncludeJournals = kTrue;
         f.VarianceCol = "B";
         f.ShowLastYrVar = kTrue;
         f.BudgetColDiff = 1;
         f.ExcludeMonths = kTrue;
       },
       "Use sale and purchase invoices|Show variance as dollars and %|Show Last Year with Variances|Annual Budget",
       false, true, true},
      {"last-year variance figures, YTD columns tick the month exclusion",
       [](FilterPLBGT& f) {
         G.CashBasis = kTrue;
         f.ShowVarLastYr = kTrue;
         f.ShowLastYrYTD = kTrue;
         f.BudgetColDiff = 4;
         f.IncludeGrandTots = kTrue;
       },
       "Use cash received and paid|Show variance as last year figures|Show Last Year YTD and 12 Months|Last Year "
       "Actual",
       true, false, true},
      {"current month, remaining actual",
       [](FilterPLBGT& f) {
         f.ShowLastYrMth = kTrue;
         f.BudgetColDiff = 3;
         f.VarianceCol = "V";
       },
       "Use sale and purchase invoices|Show variance as dollars|Show Last Year Current Month|Remaining Actual", false,
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FilterPLBGT::Instance() = FilterPLBGT{};
    G.CashBasis = kFalse;
    G.PrintLevel = 2;
    c.fields(FilterPLBGT::Instance());
    FilterPLBGT want = FilterPLBGT::Instance();
    if (want.ShowLastYrYTD) want.ExcludeMonths = kTrue;
    if (!want.ShowVarLastYr && want.VarianceCol.empty()) want.VarianceCol = "V";
    want.ExitOkay = kTrue;
    const int16_t cash = G.CashBasis;
    Budget([&](FilterPLBGTForm& f) {
      EXPECT_EQ(f.windowTitle().toStdString(), "Budget Options");
      EXPECT_EQ(Groups(f), c.groups);
      EXPECT_EQ(f.ChkGJ.isEnabled(), c.journalsEnabled);
      EXPECT_EQ(f.ChkGJ.isChecked(), c.journalsTicked);
      EXPECT_EQ(f.ChkExclMth.isChecked(), c.excludeMonths);
      EXPECT_EQ(f.ChkGrandTots.isChecked(), want.IncludeGrandTots != 0);
      EXPECT_EQ(f.CmbLevel.count(), 4);
      EXPECT_EQ(f.CmbLevel.currentText().toStdString(), "Level 4");  // whatever the last run chose
      EXPECT_TRUE(f.CmbLevel.isEnabled());
      f.Exit_Click();
      EXPECT_FALSE(f.Loaded());
    });
    const FilterPLBGT& got = FilterPLBGT::Instance();
    EXPECT_EQ(got.ExitOkay, kTrue);
    EXPECT_EQ(got.BudgetColDiff, want.BudgetColDiff);
    EXPECT_EQ(got.ExcludeMonths, want.ExcludeMonths);
    EXPECT_EQ(got.IncludeGrandTots, want.IncludeGrandTots);
    EXPECT_EQ(got.IncludeJournals, c.journalsTicked ? kTrue : kFalse);
    EXPECT_EQ(got.ShowLastYrVar, want.ShowLastYrVar);
    EXPECT_EQ(got.ShowLastYrCol, want.ShowLastYrCol);
    EXPECT_EQ(got.ShowLastYrMth, want.ShowLastYrMth);
    EXPECT_EQ(got.ShowVarLastYr, want.ShowVarLastYr);
    EXPECT_EQ(got.ShowLastYrYTD, want.ShowLastYrYTD);
    EXPECT_EQ(got.VarianceCol, want.VarianceCol);
    EXPECT_EQ(G.CashBasis, cash);
    EXPECT_EQ(G.PrintLevel, 4);
    EXPECT_EQ(G.PrintToPrinter, kTrue);
    EXPECT_EQ(G.PrintToExcel, kFalse);
  }
  EXPECT_EQ(ui_->shown.front().title, "Budget Options");
  EXPECT_EQ(G.ReportHelpID, 2400);
}

TEST_F(OptionsDialogsTest, BudgetOptionsInterlocks) {
  Budget([](FilterPLBGTForm& f) {
    // Accrual ticks and locks the journals box; cash frees it with that tick.
    f.ChkGJ.setChecked(false);
    f.OptCash.setChecked(true);
    EXPECT_TRUE(f.ChkGJ.isEnabled());
    f.ChkGJ.setChecked(false);
    f.OptAccrual.setChecked(true);
    EXPECT_FALSE(f.ChkGJ.isEnabled());
    EXPECT_TRUE(f.ChkGJ.isChecked());
    f.OptCash.setChecked(true);
    EXPECT_TRUE(f.ChkGJ.isChecked());
    // YTD columns tick the month exclusion; unticking it leaves no column option.
    f.OptLstYearYTD.setChecked(true);
    EXPECT_TRUE(f.ChkExclMth.isChecked());
    f.ChkExclMth.setChecked(false);
    EXPECT_EQ(Groups(f), "Use cash received and paid|Show variance as dollars||No Annual Column");
    f.CmbLevel.setCurrentIndex(1);
    f.ChkAcNbrs.setChecked(true);
    f.ChkBreaks.setChecked(true);
    f.Exit_Click();
  });
  const FilterPLBGT& o = FilterPLBGT::Instance();
  EXPECT_EQ(o.ShowLastYrVar | o.ShowLastYrCol | o.ShowLastYrMth | o.ShowLastYrYTD, kFalse);
  EXPECT_EQ(o.ExcludeMonths, kFalse);
  EXPECT_EQ(o.IncludeJournals, kTrue);
  EXPECT_EQ(G.CashBasis, kTrue);
  EXPECT_EQ(G.PrintLevel, 2);
  EXPECT_EQ(G.PrintAccountNumbers, kTrue);
  EXPECT_EQ(G.UsePageBreaks, kTrue);

  // The month exclusion may go with any column option and stays.
  Budget([](FilterPLBGTForm& f) {
    f.OptLstYearCol.setChecked(true);
    f.ChkExclMth.setChecked(true);
    f.Exit_Click();
  });
  EXPECT_EQ(o.ShowLastYrCol, kTrue);
  EXPECT_EQ(o.ExcludeMonths, kTrue);
  EXPECT_EQ(G.PrintAccountNumbers, kTrue);  // seeded ticked from the last OK
  EXPECT_EQ(G.UsePageBreaks, kTrue);
}

TEST_F(OptionsDialogsTest, BudgetOptionsCancelAndCloseBoxChangeNothingButTheAnswer) {
  const std::function<void(FilterPLBGTForm&)> ways[] = {
      [](FilterPLBGTForm& f) { f.Command1_Click(); },
      [](FilterPLBGTForm& f) { f.close(); },
      [](FilterPLBGTForm& f) { f.Form_QueryUnload(); },  // Esc
  };
  for (const auto& way : ways) {
    FilterPLBGT::Instance().ExitOkay = kTrue;  // an earlier OK must not stand
    FilterPLBGT::Instance().VarianceCol = "B";
    G.CashBasis = kFalse;
    G.PrintLevel = 3;
    G.PageBreakAccts = "6-1000";
    ui_->QueueFile(std::nullopt);  // the workbook's file is not chosen
    Budget([&](FilterPLBGTForm& f) {
      f.OptCash.setChecked(true);
      f.OptPCent.setChecked(true);
      f.ChkExcelFile.setChecked(true);
      f.Exit_Click();
      EXPECT_TRUE(f.Loaded());  // stays open to choose again
      EXPECT_EQ(FilterPLBGT::Instance().ExitOkay, kFalse);
      EXPECT_EQ(G.PrintToExcel, kTrue);
      EXPECT_EQ(G.PrintToPrinter, kFalse);
      way(f);
      EXPECT_FALSE(f.Loaded());
    });
    EXPECT_EQ(FilterPLBGT::Instance().ExitOkay, kFalse);
    EXPECT_EQ(G.PrintToPrinter, kTrue);
    EXPECT_EQ(G.PrintToExcel, kFalse);
    EXPECT_EQ(G.ExcelFile, kFalse);
    EXPECT_EQ(G.OutputType, "");
    EXPECT_EQ(G.PrintLevel, 3);
    EXPECT_EQ(G.PageBreakAccts, "6-1000");
  }
  // Cancel straight away keeps every option.
  Budget([](FilterPLBGTForm& f) {
    f.OptBoth.setChecked(true);
    f.Command1_Click();
  });
  EXPECT_EQ(FilterPLBGT::Instance().VarianceCol, "PC");
  EXPECT_EQ(G.CashBasis, kTrue);
}

TEST_F(OptionsDialogsTest, ExcelOutputAfterAChosenFile) {
  ui_->QueueFile(std::string(folder_ + "/Budget.xlsx"));
  Budget([](FilterPLBGTForm& f) {
    f.ChkExcelFile.setChecked(true);
    f.Exit_Click();
    EXPECT_FALSE(f.Loaded());
  });
  EXPECT_EQ(FilterPLBGT::Instance().ExitOkay, kTrue);
  EXPECT_EQ(G.PrintToExcel, kTrue);
  EXPECT_EQ(G.PrintToPrinter, kFalse);
  EXPECT_EQ(G.ExcelFile, kTrue);
  EXPECT_EQ(G.OutputType, "EXCEL");
  EXPECT_EQ(G.OutputFileName, "Budget.XLSX");

  ui_->QueueFile(std::string(folder_ + "/Forecast.xlsx"));
  Forecast([](FilterBGTFCForm& f) {
    EXPECT_TRUE(f.ChkExcelFile.isChecked());  // seeded from ExcelFile
    f.Exit_Click();
  });
  EXPECT_TRUE(FilterBGTFC::Instance().ExitOkay);
  EXPECT_EQ(G.OutputFileName, "Forecast.XLSX");
  EXPECT_EQ(G.ExcelFile, kTrue);
}

TEST_F(OptionsDialogsTest, PageBreaksKeepTheTextAsTyped) {
  const char* typed[] = {"6-1000, 6-2000,,x-y", "", "6-1000;6-2000 9-9999"};
  for (const char* text : typed) {
    Budget([&](FilterPLBGTForm& f) {
      ui_->QueueForm([&](ui::Form& w) {
        auto& p = dynamic_cast<PageBreaksForm&>(w);
        EXPECT_EQ(p.windowTitle().toStdString(), "Page Breaks");
        EXPECT_EQ(p.Label3.text().toStdString(), "For example:  6-1000,6-2000,6-3000,6-4000,6-5000");
        EXPECT_EQ(p.TxtBreaks.text().toStdString(), G.PageBreakAccts);  // the last OK's text
        p.TxtBreaks.setText(text);
        p.Exit_Click();
      });
      f.CmdBreaks_Click();
      f.Command1_Click();  // the options' Cancel keeps the breaks
    });
    EXPECT_EQ(G.PageBreakAccts, text);
  }
  // More than forty numbers and a long text are kept whole.
  std::string many;
  for (int i = 0; i < 60; ++i) many += "6-" + std::to_string(1000 + i) + ",";
  ui_->QueueForm([&](ui::Form& w) {
    dynamic_cast<PageBreaksForm&>(w).TxtBreaks.setText(QString::fromStdString(many));
    dynamic_cast<PageBreaksForm&>(w).Exit_Click();
  });
  PageBreaks::Instance().Show();
  EXPECT_EQ(G.PageBreakAccts, many);
  // Cancel and the close box keep the list.
  for (bool closeBox : {false, true}) {
    ui_->QueueForm([&](ui::Form& w) {
      auto& p = dynamic_cast<PageBreaksForm&>(w);
      p.TxtBreaks.setText("4-1000");
      if (closeBox) p.close();
      else p.Command1_Click();
    });
    PageBreaks::Instance().Show();
    EXPECT_EQ(G.PageBreakAccts, many);
  }
}

TEST_F(OptionsDialogsTest, ForecastOptionsSeedAndStore) {
  struct Case {
    const char* columnType;
    const char* chosen;
    int16_t level;
    const char* levelShown;
    const char* stored;  // ColumnType after OK without changes
  };
  const Case cases[] = {
      {"", "Actual then Budget ", 0, "Level 4", "AB"}, {"AB", "Actual then Budget ", 2, "Level 2", "AB"},
      {"A", "Actual only", 7, "Level 4", "A"},         {"B", "Budget only", 1, "Level 1", "B"},
      {"ab", "", 4, "Level 4", "ab"},                  {"X", "", -3, "Level 4", "X"},
  };
  G.ReportCode = "BGTFCT";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.columnType);
    FilterBGTFC::Instance().ColumnType = c.columnType;
    G.PrintLevel = c.level;
    Forecast([&](FilterBGTFCForm& f) {
      EXPECT_EQ(f.windowTitle().toStdString(), "Budget Forecast Options");
      EXPECT_EQ(Chosen({&f.OptAct, &f.OptBgt, &f.OptActBgt}), c.chosen);
      EXPECT_EQ(Chosen({&f.OptAccrual, &f.OptCash}), "Use sale and purchase invoices");
      EXPECT_EQ(f.CmbLevel.currentText().toStdString(), c.levelShown);
      f.Exit_Click();
      EXPECT_FALSE(f.Loaded());
    });
    EXPECT_TRUE(FilterBGTFC::Instance().ExitOkay);
    EXPECT_EQ(FilterBGTFC::Instance().ColumnType, c.stored);
    EXPECT_EQ(G.PrintLevel, std::string(c.levelShown) == "Level 4" ? 4 : c.level);
  }
  EXPECT_EQ(G.ReportHelpID, 2500);

  // Printer output keeps OutputType; the choices land in the program-wide options.
  G.OutputType = "EXCEL";
  G.PrintToExcel = kTrue;
  G.PrintToPrinter = kFalse;
  Forecast([](FilterBGTFCForm& f) {
    f.OptCash.setChecked(true);
    f.OptBgt.setChecked(true);
    f.ChkAcNbrs.setChecked(true);
    f.Exit_Click();
  });
  EXPECT_EQ(G.CashBasis, kTrue);
  EXPECT_EQ(G.PrintAccountNumbers, kTrue);
  EXPECT_EQ(G.PrintToPrinter, kTrue);
  EXPECT_EQ(G.PrintToExcel, kFalse);
  EXPECT_EQ(G.ExcelFile, kFalse);
  EXPECT_EQ(G.OutputType, "EXCEL");
  Forecast([](FilterBGTFCForm& f) {
    EXPECT_EQ(Chosen({&f.OptAccrual, &f.OptCash}), "Use cash received and paid");
    EXPECT_TRUE(f.ChkAcNbrs.isChecked());
    f.Command1_Click();
  });
  EXPECT_FALSE(FilterBGTFC::Instance().ExitOkay);
}

TEST_F(OptionsDialogsTest, ForecastOptionsCancelAfterAFailedFileChoice) {
  for (bool closeBox : {false, true}) {
    FilterBGTFC::Instance().ExitOkay = true;
    FilterBGTFC::Instance().ColumnType = "A";
    ui_->QueueFile(std::nullopt);
    Forecast([&](FilterBGTFCForm& f) {
      f.OptBgt.setChecked(true);
      f.ChkExcelFile.setChecked(true);
      f.Exit_Click();
      EXPECT_TRUE(f.Loaded());
      EXPECT_FALSE(FilterBGTFC::Instance().ExitOkay);
      if (closeBox) f.close();
      else f.Command1_Click();
    });
    EXPECT_FALSE(FilterBGTFC::Instance().ExitOkay);
    EXPECT_EQ(G.PrintToPrinter, kTrue);
    EXPECT_EQ(G.PrintToExcel, kFalse);
    EXPECT_EQ(G.ExcelFile, kFalse);
  }
}

TEST_F(OptionsDialogsTest, ColumnTypeKeptInTheSettingsFile) {
  FilterBGTFC::Instance().ColumnType = "";
  Forecast([](FilterBGTFCForm& f) {
    f.OptBgt.setChecked(true);
    f.Exit_Click();
  });
  WriteIniFile();
  std::ifstream in(IniPath());
  std::string line, stored;
  while (std::getline(in, line))
    if (line.rfind("ColumnType=", 0) == 0) stored = line.substr(0, line.find_last_not_of('\r') + 1);
  EXPECT_EQ(stored, "ColumnType=B");

  FilterBGTFC::Instance() = FilterBGTFC{};
  ParseIniLine(stored);
  Forecast([](FilterBGTFCForm& f) {
    EXPECT_TRUE(f.OptBgt.isChecked());
    f.Command1_Click();
  });
  EXPECT_EQ(FilterBGTFC::Instance().ColumnType, "B");
}

}  // namespace
}  // namespace qvx
