#include "core/ReportOutput.h"

#include <fstream>
#include <future>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>

#include "core/OutputFixture.h"
#include "core/PageHeading.h"
#include "core/Progress.h"
#include "core/ReportRun.h"
#include "platform/sys/SafeSave.h"

namespace qvx::test {
namespace {
namespace fs = std::filesystem;

// As root every file can be read: the calling thread, and only it, reads as the user does.
void ReadAsTheUser() {
  __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[2]{};
  if (::syscall(SYS_capget, &head, caps) != 0) return;
  caps[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
  ::syscall(SYS_capset, &head, caps);
}

class ReportOutputTest : public OutputTest {
 protected:
  void SetUp() override {
    OutputTest::SetUp();
    G.ExcelVersion = 2007;
    G.OutputType = "EXCEL";
    G.PrintToPrinter = kTrue;
  }
  static size_t FilesIn(const std::string& folder) {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(folder)) ++n;
    return n;
  }
  // A report about to print its first heading on the printer the user chooses.
  static void StartPrinterReport() {
    printer::SetCurrent("Office Laser");
    G.PrintToPrinter = kTrue;
    G.PrintToExcel = kFalse;
    G.ChoosePrinter = kTrue;
    G.HeadingMode = kTrue;
    G.PageNo = 0;
    G.PrintCancelled = kFalse;
  }
  // Runs a report to Excel: start, a heading, optionally a line, and the end.
  void RunExcelReport(bool writeLine) {
    G.PrintToPrinter = kFalse;
    G.PrintToExcel = kTrue;
    G.ExcelFile = kTrue;
    G.ExcelRow = 1;
    G.HeadingMode = kTrue;
    G.ReportOK = kFalse;
    StartExcel(ExcelObjects::FromGlobals(), "L");
    if (G.ExcelOpen) {
      PrintReportHeading();
      if (writeLine) {
        G.xlSheet->Cells(G.ExcelRow, 1).SetValue("Sales");
        G.xlSheet->Cells(G.ExcelRow, 2).SetValue("  1,234");
        G.ReportOK = kTrue;
      }
    } else {
      G.ReportOK = Flag(writeLine);
    }
    EndReportOutput();
  }
};

TEST_F(ReportOutputTest, FileNameRules) {
  struct Case {
    std::string name;
    int16_t excelVersion;
    bool valid;
    std::string message;
  } cases[] = {
      {"Q1-Report.XLSX", 2007, true, ""},
      {"Q1 Report.XLSX", 2007, false, "Please use a file name with no spaces"},
      {"Q1_Report.XLSX", 2007, false, "Sorry - File name is not valid"},
      {"Budget.XLSX", 2007, true, ""},
      {"budget.xlsx", 2007, true, ""},
      {"Budget.XLSX", 2003, false, "Sorry - File name is not valid"},
      {"Budget.XLS", 2003, true, ""},
      {"Budget.2025.XLS", 2003, false, "Sorry - File name is not valid"},
      {"Budget.XLSXX", 2007, false, "Sorry - File name is not valid"},
      {"Budget", 2007, true, ""},
      {".XLSX", 2007, false, "Sorry - File name is not valid"},
      {"", 2007, false, "Sorry - File name is not valid"},
      {std::string(295, 'A') + ".XLSX", 2007, false, "Sorry - File name is not valid"},
      {std::string(250, 'A') + ".XLSX", 2007, true, ""},
      {"Budget/X.XLSX", 2007, false, "Sorry - File name is not valid"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.substr(0, 40));
    ui_->Clear();
    G.ExcelVersion = c.excelVersion;
    int16_t valid = kTrue;
    ValidateFileName(c.name, valid);
    EXPECT_EQ(valid != 0, c.valid);
    if (c.message.empty()) {
      EXPECT_TRUE(ui_->shown.empty());
    } else {
      ASSERT_EQ(ui_->shown.size(), 1u);
      EXPECT_EQ(ui_->shown[0].text, c.message);
      EXPECT_EQ(ui_->shown[0].title, "File name");
    }
  }
}

TEST_F(ReportOutputTest, ChoosingTheFile) {
  const std::string folder = folder_ + "/";
  struct Case {
    const char* what;
    int16_t excelVersion;
    std::optional<ui::Answer> reminder;  // answer to the "Output File" message
    std::optional<std::string> typed;    // what the save dialog returns
    bool chosen;
    std::string name;
  } cases[] = {
      {"2007", 2007, ui::Answer::OK, folder + "Budget.2025.xls", true, "Budget.XLSX"},
      {"2003", 2003, ui::Answer::OK, folder + "Budget.2025.xls", true, "Budget.XLS"},
      {"reminder cancelled", 2007, ui::Answer::Cancel, std::nullopt, false, ""},
      {"dialog cancelled", 2007, ui::Answer::OK, std::nullopt, false, ""},
      {"no folder in the answer", 2007, ui::Answer::OK, std::string("Plain"), true, "Plain.XLSX"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui_->Clear();
    G.ExcelVersion = c.excelVersion;
    ui_->QueueAnswer(*c.reminder);
    if (c.typed) ui_->QueueFile(*c.typed);
    std::string f = folder, name = "Last.XLSX";
    int16_t chosen = kTrue;
    ChooseOutputFile(f, name, "EXCEL", chosen);
    EXPECT_EQ(chosen != 0, c.chosen);
    ASSERT_GE(ui_->shown.size(), 1u);
    EXPECT_EQ(ui_->shown[0].title, "Output File");
    EXPECT_EQ(ui_->shown[0].text,
              "Please ensure that the file you select is not open at present (eg in Excel)\r\n\r\n" +
                  std::string(40, ' ') + "Click OK to continue");
    if (c.reminder == ui::Answer::Cancel) {
      EXPECT_TRUE(ui_->fileRequests.empty());
      continue;
    }
    ASSERT_EQ(ui_->fileRequests.size(), 1u);
    const ui::FileRequest& req = ui_->fileRequests[0];
    EXPECT_EQ(req.initialFolder, folder);
    EXPECT_EQ(req.fileName, "Last.XLSX");
    ASSERT_EQ(req.filters.size(), 2u);
    EXPECT_EQ(req.filters[0].patterns, c.excelVersion == 2007 ? "*.XLSX" : "*.XLS");
    if (c.chosen) {
      EXPECT_EQ(name, c.name);
      EXPECT_EQ(f, folder);
    }
  }
}

TEST_F(ReportOutputTest, AnUnusableFolderIsNotOfferedAndNoNameProposed) {
  for (std::string f : {folder_ + "/missing/", std::string("/proc/")}) {
    ui_->Clear();
    ui_->QueueAnswer(ui::Answer::OK);
    std::string name = "Last.CSV";
    int16_t chosen = 0;
    ChooseOutputFile(f, name, "EXCEL", chosen);
    ASSERT_EQ(ui_->fileRequests.size(), 1u);
    // No output folder is set here either: the box starts in the home folder.
    EXPECT_EQ(ui_->fileRequests[0].initialFolder, QDir::homePath().toStdString());
    EXPECT_EQ(ui_->fileRequests[0].fileName, "");
    EXPECT_NE(G.FileErrNbr, 0);
  }
  // A proposed name containing CSV selects the second filter.
  ui_->Clear();
  ui_->QueueAnswer(ui::Answer::OK);
  std::string f = folder_, name = "Last.csv";
  int16_t chosen = 0;
  ChooseOutputFile(f, name, "EXCEL", chosen);
  EXPECT_EQ(ui_->fileRequests[0].filterIndex, 1);
}

TEST_F(ReportOutputTest, GetOutputFileStoresOnlyAValidChoice) {
  G.OutputFolder = folder_ + "/";
  G.OutputFileName = "Last.XLSX";
  struct Case {
    std::optional<std::string> typed;
    bool ok;
  } cases[] = {{folder_ + "/Q1 Report", false}, {std::nullopt, false}, {folder_ + "/sub/Q1-Report.xlsx", true}};
  for (const auto& c : cases) {
    ui_->QueueAnswer(ui::Answer::OK);
    if (c.typed) ui_->QueueFile(*c.typed);
    int16_t ok = kTrue;
    GetOutputFile(ok, "EXCEL");
    EXPECT_EQ(ok != 0, c.ok);
    if (!c.ok) {
      EXPECT_EQ(G.OutputFolder, folder_ + "/");
      EXPECT_EQ(G.OutputFileName, "Last.XLSX");
      EXPECT_EQ(G.PrintToPrinter, kTrue);
    }
  }
  EXPECT_EQ(G.OutputFolder, folder_ + "/sub/");
  EXPECT_EQ(G.OutputFileName, "Q1-Report.XLSX");
  EXPECT_EQ(G.PrintToPrinter, kFalse);
  EXPECT_EQ(G.PrintToExcel, kTrue);
}

TEST_F(ReportOutputTest, FolderProbeNeverTouchesTheUsersFiles) {
  std::ofstream(Path("X")) << "the user's own file";
  int16_t e = -1;
  EXPECT_TRUE(CanWriteToFolder(folder_, e));
  EXPECT_EQ(e, 0);
  EXPECT_EQ(ReadBytes(Path("X")), "the user's own file");
  EXPECT_EQ(FilesIn(folder_), 1u);
  EXPECT_FALSE(CanWriteToFolder(folder_ + "/missing/", e));
  EXPECT_EQ(e, 76);
  fs::create_directory(Path("locked"));
  ::chmod(Path("locked").c_str(), 0555);
  if (::access(Path("locked").c_str(), W_OK) != 0) {  // root writes anywhere
    EXPECT_FALSE(CanWriteToFolder(Path("locked"), e));
    EXPECT_EQ(e, 75);
  }
  ::chmod(Path("locked").c_str(), 0755);
}

TEST_F(ReportOutputTest, ExcelReportSavedAnnouncedAndOpened) {
  G.OutputFolder = folder_ + "/";
  G.OutputFileName = "Budget.XLSX";
  G.ProgressShown = true;
  G.BodyFont = 8;
  RunExcelReport(true);
  EXPECT_EQ(G.BodyFont, 9);
  EXPECT_FALSE(G.ProgressShown);
  EXPECT_FALSE(G.ExcelOpen);
  EXPECT_FALSE(G.xlApp || G.xlBook || G.xlSheet);
  EXPECT_EQ(excel::Environment().running, 0);
  ASSERT_TRUE(fs::exists(Path("Budget.XLSX")));
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0], "An Excel file has been created as follows:\r\n\r\nFile Name   Budget.XLSX\r\n\r\nFolder         " +
                                    folder_ + "/\r\n\r\n");
  EXPECT_EQ(ui_->shown.back().title, "Data File Created");
  EXPECT_EQ(shell_.opened, std::vector<std::string>{Path("Budget.XLSX")});
  EXPECT_EQ(FilesIn(folder_), 1u);  // no scratch files left
}

TEST_F(ReportOutputTest, ExcelFailuresClaimNoSuccess) {
  const std::string earlier = std::string("PK\x03\x04") + "an earlier workbook";
  struct Case {
    const char* what;
    int createFailure;
    std::string existing;  // what stands at the file's name before the run ("" nothing)
    bool writeLine;
    std::vector<std::string> messages;
    std::string title;
  } cases[] = {
      {"replacing declined", 0, earlier, true, {"A file named", "Excel file Save has been cancelled"}, "Saving Excel file"},
      {"excel did not start", 429, "", true, {"An error has occurred - ActiveX component can't create object"},
       "Opening Excel file"},
      {"excel file busy", 1004, "", true, {"Excel file is already open"}, "Opening Excel file"},
      {"nothing written", 0, earlier, false, {"The report wrote nothing, so no Excel file has been saved."}, "Excel file"},
      // Another program put a file of its own there while the report ran: the finished
      // report is not saved, and nobody is asked for another file.
      {"a text file put there meanwhile", 0, "my notes", true,
       {"An error has occurred - " + Path("Report.XLSX") + " is not an Excel workbook, so it is not replaced."},
       "Saving Excel file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui_->Clear();
    shell_.opened.clear();
    const std::string path = Path("Report.XLSX");
    fs::remove(path);
    if (!c.existing.empty()) std::ofstream(path) << c.existing;
    G.OutputFolder = folder_ + "/";
    G.OutputFileName = "Report.XLSX";
    G.FileChosen = kTrue;
    excel::Environment().createFailure = c.createFailure;
    ui_->QueueAnswer(ui::Answer::No);  // to "replace it?"
    RunExcelReport(c.writeLine);
    const auto messages = ui_->Messages();
    ASSERT_EQ(messages.size(), c.messages.size()) << messages.front();
    for (size_t i = 0; i < messages.size(); ++i) {
      EXPECT_EQ(messages[i].rfind(c.messages[i], 0), 0u) << messages[i];
      EXPECT_EQ(messages[i].find("choose another"), std::string::npos) << messages[i];
    }
    EXPECT_EQ(ui_->shown.back().title, c.title);
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_EQ(excel::Environment().running, 0);
    EXPECT_FALSE(G.ExcelOpen);
    if (!c.existing.empty())
      EXPECT_EQ(ReadBytes(path), c.existing);
    else
      EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(FilesIn(folder_), c.existing.empty() ? 0u : 1u);
  }
}

TEST_F(ReportOutputTest, ASavingFailureIsToldAndTheFolderLeftClean) {
  G.OutputFolder = folder_ + "/gone/";
  G.OutputFileName = "Budget.XLSX";
  RunExcelReport(true);
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0].rfind("An error has occurred - The folder", 0), 0u);
  EXPECT_EQ(ui_->shown.back().title, "Saving Excel file");
  EXPECT_EQ(G.ExcelFile, kFalse);
  EXPECT_TRUE(shell_.opened.empty());
}

// Output never replaces the company file, a company file of the group folder, a folder
// or a file of another kind, also when another user of a shared folder puts it at the
// name as the earlier file's kind is read (a pipe without a writer is never waited on);
// the PDF save box adds ".pdf", and giving it up ends the report as quietly as cancelling
// the printer choice.
TEST_F(ReportOutputTest, OutputFilesThatAreNotOursAreRefusedNamingThem) {
  const std::string company = Path("Harbour.MYO");
  std::ofstream(company) << "SQLite format 3";
  fs::create_directories(Path("group"));
  std::ofstream(Path("group/North.MYO")) << "SQLite format 3";
  std::ofstream(Path("notes.pdf")) << "my notes";
  std::ofstream(Path("old.pdf")) << "%PDF-1.4 an earlier report";
  std::ofstream(Path("unread.pdf")) << "%PDF-1.4 an earlier report";
  fs::permissions(Path("unread.pdf"), fs::perms::owner_write);
  std::ofstream(Path("empty.XLSX"));
  std::ofstream(Path("Notes.XLSX")) << "my notes";
  fs::create_directories(Path("sub.pdf"));
  fs::create_symlink(Path("old.pdf"), Path("link.pdf"));
  fs::create_symlink(Path("empty.XLSX"), Path("link.XLSX"));
  const std::string at = Path("at.pdf");
  const std::string isALink = " is a link, not a file, so nothing was saved there and nothing was overwritten.";
  InstallOutputChecks([&] { return company; });
  G.ConsPath = Path("group") + "/";

  struct Kind {
    std::string file;
    OutputKind kind;
    const char* refused;  // the start of what follows the name ("" taken)
    std::function<int(const char* to)> put = nullptr;  // in place of an earlier PDF, at its read
  } kinds[] = {
      {company, OutputKind::Pdf, " is the company file that is open."},
      {Path("group/North.MYO"), OutputKind::Workbook, " is a company file of the group folder "},
      {Path("notes.pdf"), OutputKind::Pdf, " is not a PDF file, so it is not replaced."},
      {Path("old.pdf"), OutputKind::Workbook, " is not an Excel workbook, so it is not replaced."},
      {Path("sub.pdf"), OutputKind::Pdf, " is a folder."},
      {Path("unread.pdf"), OutputKind::Pdf, " cannot be read, so it is not replaced."},
      {Path("link.pdf"), OutputKind::Pdf, isALink.c_str()},
      {Path("link.XLSX"), OutputKind::Workbook, isALink.c_str()},
      {Path("old.pdf"), OutputKind::Pdf, ""},
      {Path("empty.XLSX"), OutputKind::Workbook, ""},
      {Path("new.pdf"), OutputKind::Pdf, ""},
      {at, OutputKind::Pdf, " is not a PDF file.", [](const char* to) { return ::mkfifo(to, 0666); }},
      {at, OutputKind::Pdf, isALink.c_str(), [&](const char* to) { return ::symlink(Path("old.pdf").c_str(), to); }},
      {at, OutputKind::Pdf, " is a folder.", [](const char* to) { return ::mkdir(to, 0777); }},
      {at, OutputKind::Pdf, " is not a PDF file, so",
       [&](const char* to) { return ::link(Path("notes.pdf").c_str(), to); }},
  };
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.file + k.refused);
    if (k.put) WriteBytes(k.file, "%PDF-1.4 an earlier report");
    sys::SetScratchWatch([&](sys::ScratchStep step, const std::string&) {
      if (step != sys::ScratchStep::Reading || !k.put) return;
      fs::remove(k.file);
      EXPECT_EQ(k.put(k.file.c_str()), 0);
    });
    auto check = std::async(std::launch::async, [&] { return ReadAsTheUser(), RefuseOutputFile(k.file, k.kind); });
    if (check.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
      ADD_FAILURE() << "the check waits for the pipe's writer";
      ::close(::open(k.file.c_str(), O_RDWR));  // one comes and goes, so that the check ends
    }
    const auto refusal = check.get();
    if (k.put) fs::remove(k.file);
    if (*k.refused) {
      ASSERT_TRUE(refusal);
      EXPECT_EQ(refusal->rfind(k.file + k.refused, 0), 0u) << *refusal;
      // Only a caller that then asks again adds its request for another file.
      EXPECT_EQ(refusal->find("choose another"), std::string::npos) << *refusal;
    } else {
      EXPECT_FALSE(refusal) << *refusal;
    }
  }
  sys::SetScratchWatch({});

  // The Print to PDF save box, as a report's first heading meets it.
  struct Typed {
    const char* what;
    std::optional<std::string> typed;
    std::optional<ui::Answer> replace;  // the answer to "replace it?", when asked
    std::string written;                // the PDF file made ("" none)
    std::string message;                // in the one message shown ("" none)
    // After "No" the save box comes back proposing the declined name: typed there.
    std::optional<std::string> typedAgain = std::nullopt;
  } typed[] = {
      {"the company file's path", company, std::nullopt, company + ".pdf", ""},
      {"a text file named .pdf", Path("notes.pdf"), std::nullopt, "", "is not a PDF file"},
      {"a folder", Path("sub.pdf"), std::nullopt, "", "is a folder"},
      // Refused before anyone is asked whether to replace what it points at.
      {"a link to an earlier PDF", Path("link"), std::nullopt, "", Path("link.pdf") + isALink},
      {"the save box cancelled", std::nullopt, std::nullopt, "", ""},
      {"a name whose PDF exists, kept", Path("old"), ui::Answer::No, "", "A file named '" + Path("old.pdf") + "'"},
      {"a name whose PDF exists, kept, then another name", Path("old"), ui::Answer::No, Path("other.pdf"),
       "A file named '" + Path("old.pdf") + "'", Path("other")},
      {"a name whose PDF exists, replaced", Path("old"), ui::Answer::Yes, Path("old.pdf"),
       "A file named '" + Path("old.pdf") + "'"},
      {"an existing PDF named in full, replaced", Path("old.pdf"), ui::Answer::Yes, Path("old.pdf"),
       "A file named '" + Path("old.pdf") + "'"},
  };
  printer::Environment().redirectToPdf.clear();
  for (const auto& t : typed) {
    SCOPED_TRACE(t.what);
    ui_->Clear();
    fs::remove(Path("other.pdf"));
    StartPrinterReport();
    QueuePrinterChoice(printer::kPdfDevice);
    ui_->QueueFile(t.typed);
    if (t.replace) ui_->QueueAnswer(*t.replace);
    if (t.replace == ui::Answer::No) ui_->QueueFile(t.typedAgain);
    PrintReportHeading();
    G.ReportOK = Flag(!G.PrintCancelled);
    EndReportOutput();
    EXPECT_EQ(G.PrintCancelled != 0, t.written.empty());
    const auto messages = ui_->Messages();
    if (!t.message.empty()) {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_NE(messages[0].find(t.message), std::string::npos) << messages[0];
      // The PDF is given up: nobody is asked for another file.
      EXPECT_EQ(messages[0].find("choose another"), std::string::npos) << messages[0];
    } else {
      EXPECT_TRUE(messages.empty()) << messages.front();
    }
    // The save box itself never asks: the question above is the only one.
    const auto& boxes = ui_->fileRequests;
    ASSERT_EQ(boxes.size(), t.replace == ui::Answer::No ? 2u : 1u);
    for (const auto& box : boxes) EXPECT_FALSE(box.promptOverwrite);
    if (boxes.size() == 2) {
      EXPECT_EQ(boxes[1].initialFolder, folder_);
      EXPECT_EQ(boxes[1].fileName, "old.pdf");
    }
    if (!t.written.empty()) {
      EXPECT_NE(PdfText(t.written).find("Harbour Traders"), std::string::npos);
    }
  }
  EXPECT_EQ(ReadBytes(company), "SQLite format 3");
  EXPECT_EQ(ReadBytes(Path("notes.pdf")), "my notes");

  // A workbook of that name is refused when it is chosen: the dialog stays open.
  ui_->Clear();
  ui_->QueueAnswer(ui::Answer::OK);
  ui_->QueueFile(Path("Notes.XLSX"));
  int16_t ok = kTrue;
  GetOutputFile(ok, "EXCEL");
  EXPECT_EQ(ok, kFalse);
  ASSERT_EQ(ui_->Messages().size(), 2u);
  EXPECT_EQ(ui_->Messages()[1],
            Path("Notes.XLSX") + " is not an Excel workbook, so it is not replaced.\r\n\r\nPlease choose another file.");
  EXPECT_EQ(ReadBytes(Path("Notes.XLSX")), "my notes");
  InstallOutputChecks({});
  G.ConsPath.clear();
}

// Until a workbook's folder has been chosen, both save boxes start in the output folder,
// or in the home folder when the output folder is not there.
TEST_F(ReportOutputTest, SaveBoxesStartInTheOutputFolderOrTheHomeFolder) {
  const struct {
    const char* what;
    std::string outputPath;
    std::string start;
  } cases[] = {
      {"output folder there", folder_ + "/", folder_ + "/"},
      {"output folder missing", folder_ + "/Desktop/", QDir::homePath().toStdString()},
  };
  printer::Environment().redirectToPdf.clear();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    G.OutputPath = c.outputPath;
    G.OutputFolder.clear();
    ui_->Clear();
    ui_->QueueAnswer(ui::Answer::OK);  // the reminder before the workbook's save box
    int16_t ok = kTrue;
    GetOutputFile(ok, "EXCEL");
    StartPrinterReport();
    QueuePrinterChoice(printer::kPdfDevice);
    PrintReportHeading();
    ASSERT_EQ(ui_->fileRequests.size(), 2u);
    EXPECT_EQ(ui_->fileRequests[0].initialFolder, c.start);
    EXPECT_EQ(ui_->fileRequests[1].title, "Print to PDF");
    EXPECT_EQ(ui_->fileRequests[1].initialFolder, c.start);
  }
}

// An error that escapes a report half way ends its output as a stop does: nothing
// half-made is sent or saved, its windows go, the user's printer comes back, and the
// repeated boxes of the run are still counted; the error itself goes to the caller.
TEST_F(ReportOutputTest, AnErrorEscapingAReportAbandonsItsOutput) {
  for (bool toExcel : {false, true}) {
    SCOPED_TRACE(toExcel);
    ui_->Clear();
    StartPrinterReport();
    if (toExcel) {
      G.PrintToPrinter = kFalse;
      G.PrintToExcel = kTrue;
      G.ExcelFile = kTrue;
      G.ExcelRow = 1;
      G.OutputFolder = folder_ + "/";
      G.OutputFileName = "Budget.XLSX";
      G.FileChosen = kTrue;
    } else {
      QueuePrinterChoice("Reception");
    }
    EXPECT_THROW(RunReport([&] {
                   if (toExcel) StartExcel(ExcelObjects::FromGlobals(), "L");
                   PrintReportHeading();
                   ReadingDBase::Instance().Show();
                   G.ReportOK = kTrue;
                   ui::MsgBox("Twice");
                   ui::MsgBox("Twice");
                   throw std::runtime_error("not handled by the report");
                 }),
                 std::runtime_error);
    EXPECT_FALSE(RunStopped());
    EXPECT_FALSE(ReadingDBase::Instance().Loaded());
    EXPECT_FALSE(printer::Current().JobStarted());
    EXPECT_EQ(printer::Current().DeviceName(), "Office Laser");
    EXPECT_EQ(excel::Environment().running, 0);
    EXPECT_FALSE(G.ExcelOpen);
    EXPECT_EQ(FilesIn(folder_), 0u);
    ASSERT_EQ(ui_->Messages().size(), 2u);
    EXPECT_EQ(ui_->Messages()[1], "Twice\r\n…and the same message came up 1 more time in this report.");
  }
}

TEST_F(ReportOutputTest, PrintJobIsEndedOrAbandonedAndThePrinterRestored) {
  for (bool reportOK : {true, false}) {
    SCOPED_TRACE(reportOK);
    fs::remove(Path("out.pdf"));
    StartPrinterReport();
    G.PrintOrientation = 2;
    QueuePrinterChoice("Reception");
    PrintReportHeading();
    EXPECT_EQ(printer::Current().Orientation(), 2);
    G.ReportOK = Flag(reportOK);
    EndReportOutput();
    EXPECT_EQ(printer::Current().DeviceName(), "Office Laser");
    EXPECT_EQ(printer::Current().Orientation(), 1);
    EXPECT_FALSE(printer::Current().JobStarted());
    EXPECT_EQ(fs::exists(Path("out.pdf")), reportOK);
    EXPECT_EQ(printer::Environment().calls.back().kind,
              reportOK ? printer::DrawCall::EndDoc : printer::DrawCall::KillDoc);
  }
}

}  // namespace
}  // namespace qvx::test
