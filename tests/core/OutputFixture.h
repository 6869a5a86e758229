// Program state for page-heading and output tests: a clean core state, printers that
// print to a PDF file in the test's folder with every drawing call recorded, a fixed
// clock, no Excel failures and a recorded shell.
#pragma once

#include <chrono>
#include <filesystem>

#include "companyfile/CompanyFileInfo.h"
#include "core/CoreFixture.h"
#include "core/SelectPrinter.h"
#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/shell/Shell.h"
#include "platform/sys/Clock.h"
#include "tests/platform/printer/PdfText.h"

namespace qvx::test {

class OutputTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    printer::Environment() = {};
    printer::Environment().systemPrinters = std::vector<std::string>{"Office Laser", "Reception"};
    printer::Environment().redirectToPdf = Path("out.pdf");
    printer::Environment().recording = true;
    printer::SetCurrent("Office Laser");
    excel::Environment() = {};
    SelectPrinter::Instance() = SelectPrinter{};
    Company = CompanyFileData{};
    // 7 December 2026, 14:05:09 local time.
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = 7;
    tm.tm_hour = 14;
    tm.tm_min = 5;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    sys::SetNow(std::chrono::system_clock::from_time_t(std::mktime(&tm)));
    G.BodyFont = 9;
    G.PrintOrientation = 1;
    G.DataSetCompany = "Harbour Traders Pty Ltd";
    Company.AddressLines[1] = "12 Wharf Street";
    Company.AddressLines[2] = "Port Lincoln SA 5606";
    G.PeriodText = "For the period 1 July 2026 to 30 November 2026";
  }
  void TearDown() override {
    printer::Current().KillDoc();
    printer::Environment() = {};
    excel::Environment() = {};
    sys::SetNow(std::nullopt);
    CoreTest::TearDown();
  }

  // Chooses the printer in the dialog the next heading shows (or cancels it).
  void QueuePrinterChoice(std::optional<std::string> name) {
    ui_->QueueForm([name](ui::Form& f) {
      auto& form = dynamic_cast<SelectPrinterForm&>(f);
      if (!name) {
        form.cmdCancel_Click();
        return;
      }
      auto items = form.lstPrinters.findItems(QString::fromStdString(*name), Qt::MatchExactly);
      ASSERT_EQ(items.size(), 1);
      form.lstPrinters.setCurrentItem(items.front());
      form.cmdOK_Click();
    });
  }

  static std::vector<printer::DrawCall> Texts() {
    std::vector<printer::DrawCall> out;
    for (auto& c : printer::Environment().calls)
      if (c.kind == printer::DrawCall::Text && !c.text.empty()) out.push_back(c);
    return out;
  }

  shell::RecordingScope shell_;
};

}  // namespace qvx::test
