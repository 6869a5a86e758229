#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "CoreFixture.h"
#include "core/Settings.h"
#include "driver/AccessKey.h"
#include "platform/locale/Locale.h"
#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"

namespace qvx::test {
namespace {

using StartupTest = CoreTest;

const char* kDiskReport =
    "There is a problem accessing your disk.\r\n"
    "Please check the disk and try again.\r\n"
    " \r\n"
    "Error         71\r\n"
    "Problem      Disk not ready\r\n"
    "Version      v1.121   \r\n"
    "Last Process Reading INI\r\n"
    " \r\n"
    "For assistance please contact:\r\n"
    "         Quorvex Support\r\n"
    "         Telephone 0800 555 0199\r\n"
    "         Fax 0800 555 0198\r\n"
    "\r\n";

TEST_F(StartupTest, ErrorReportText) {
  G.LastProcess = "Reading INI";
  EXPECT_EQ(ErrorReport({71, "Disk not ready"}), "R");
  ASSERT_EQ(ui_->shown.size(), 1u);
  EXPECT_EQ(ui_->shown[0].text, kDiskReport);
  EXPECT_EQ(ui_->shown[0].buttons, ui::Buttons::RetryCancel);
  EXPECT_EQ(ui_->shown[0].icon, ui::Icon::None);
  EXPECT_EQ(ui_->shown[0].title, "");

  G.LastProcess = "Connecting ODBC";
  EXPECT_EQ(ErrorReport({5, "Invalid procedure call or argument"}), "");
  EXPECT_EQ(ui_->shown.back().text,
            "An unrecoverable error has ocurred.\r\n"
            " \r\n"
            "Error         5\r\n"
            "Problem      Invalid procedure call or argument\r\n"
            "Version      v1.121   \r\n"
            "Last Process Connecting ODBC\r\n"
            " \r\n"
            "For assistance please contact:\r\n"
            "         Quorvex Support\r\n"
            "         Telephone 0800 555 0199\r\n"
            "         Fax 0800 555 0198\r\n"
            "\r\n");
  // Both ends of the disk range, one beyond it, and a negative database error.
  EXPECT_EQ(ErrorReport({70, "Permission denied"}), "R");
  EXPECT_EQ(ErrorReport({72, "Disk-media error"}), "R");
  EXPECT_EQ(ErrorReport({69, "x"}), "");
  EXPECT_EQ(ErrorReport({err::DbOpenFailed, "x"}), "");
  EXPECT_NE(ui_->shown.back().text.find("\r\nError        -2147467259\r\n"), std::string::npos);
}

TEST_F(StartupTest, DiskErrorsRepeatOthersGoOn) {
  int runs = 0;
  EXPECT_TRUE(StartupStatement([&] {
    if (++runs < 3) Raise(err::DiskNotReady);
  }));
  EXPECT_EQ(runs, 3);
  EXPECT_EQ(ui_->Messages().size(), 2u);
  runs = 0;
  EXPECT_FALSE(StartupStatement([&] {
    ++runs;
    Raise(err::TypeMismatch);
  }));
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(ui_->Messages().size(), 3u);
  EXPECT_EQ(ui_->Messages()[2].rfind("An unrecoverable error has ocurred.\r\n", 0), 0u);
}

TEST_F(StartupTest, ProgramTables) {
  Main();
  ASSERT_EQ(G.ReportList.size(), 4u);
  EXPECT_EQ(G.NbrReports, 3);
  EXPECT_EQ(G.ReportList[0], "BGTCMP 01  Single - Budget Comparison       ");
  EXPECT_EQ(G.ReportList[1], "BGTFCT 02  Single - Budget Forecast         ");
  EXPECT_EQ(G.ReportList[2], "CONPL  03  Group - Profit and Loss          ");
  EXPECT_EQ(G.ReportList[3], "");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(G.ReportList[static_cast<size_t>(i)].size(), 44u);
  EXPECT_EQ(G.MonthShort[1], "Jan");
  EXPECT_EQ(G.MonthShort[12], "Dec");
  EXPECT_EQ(G.MonthLong[9], "September");
  int days = 0;
  for (int m = 1; m <= 12; ++m) days += G.MonthDays[static_cast<size_t>(m)];
  EXPECT_EQ(days, 365);
  EXPECT_EQ(G.LastProcess, "Loading Main");
}

TEST_F(StartupTest, Corrections) {
  struct Case {
    std::string lines;
    int16_t underline, firstMonth, headingFont, bodyFont;
    bool told;  // a font outside its range is named in a message; the others are silent
  };
  const std::vector<Case> cases = {
      {"Underline=7\r\nFirstMonth=13\r\nHeadingFont=0\r\nBodyFont=-3\r\n", 2, 4, 11, 9, true},
      {"Underline=0\r\nFirstMonth=0\r\nHeadingFont=-2\r\nBodyFont=0\r\n", 2, 4, 11, 9, true},
      {"Underline=5\r\nFirstMonth=12\r\nHeadingFont=14\r\nBodyFont=10\r\n", 5, 12, 14, 10, false},
      {"Underline=1\r\nFirstMonth=1\r\n", 1, 1, 11, 9, false},
      {"", 2, 4, 11, 9, false},
  };
  for (auto& c : cases) {
    SetUp();
    WriteBytes(IniPath(), c.lines);
    Main();
    EXPECT_EQ(G.Underline, c.underline) << c.lines;
    EXPECT_EQ(G.FirstMonth, c.firstMonth) << c.lines;
    EXPECT_EQ(G.HeadingFont, c.headingFont) << c.lines;
    EXPECT_EQ(G.BodyFont, c.bodyFont) << c.lines;
    EXPECT_EQ(ui_->Messages().size(), c.told ? 1u : 0u) << c.lines;
    MainF::Instance().DestroyWindow();
  }
}

TEST_F(StartupTest, UnusableSettingsTakeTheirDefaultsUntilWrittenBack) {
  struct Case {
    std::string line;
    std::vector<std::string> named;  // the keys the one message names, in its order
    std::string writtenBack;         // the line the file holds after the program ends
    std::string company = "Clearwater Trading Pty Ltd";  // the name the program shows
  };
  const std::string trust = "Clearwater Trading Pty Ltd as trustee for the Clearwater Family Trust";
  std::string longest;  // 255 characters of words, the longest name kept
  while (longest.size() < 255) longest += "Wide Name " + std::to_string(longest.size()) + " ";
  longest.resize(255);
  // Letters of two bytes each once read (the file holds Windows-1252): the limit counts
  // characters, not bytes.
  auto accented = [](size_t n) {
    std::string name;
    while (n-- > 0) name += "\u00E9";
    return name;
  };
  const std::vector<Case> cases = {
      {"LSLines=32767", {"LSLines=32767:"}, "LSLines=58"},
      {"BodyFont=400", {"BodyFont=400:"}, "BodyFont=9"},
      {"HeadingFont=-20", {"HeadingFont=-20:"}, "HeadingFont=11"},
      {"CompanyName=" + longest + "N", {"CompanyName:"}, "CompanyName="},
      {"CompanyName=" + std::string(5000, 'N'), {"CompanyName:"}, "CompanyName="},
      {"PTLines=35\r\nLSLines=80\r\nBodyFont=5\r\nHeadingFont=25",
       {"PTLines=35:", "LSLines=80:", "BodyFont=5:", "HeadingFont=25:"},
       "PTLines=68"},
      // The ends of each range, 0 page lines (the report chooses) and names kept whole.
      {"PTLines=36\r\nLSLines=79\r\nBodyFont=14\r\nHeadingFont=6", {}, "LSLines=79"},
      {"PTLines=0\r\nLSLines=0\r\nBodyFont=6\r\nHeadingFont=24", {}, "PTLines=0"},
      {"CompanyName=" + trust, {}, "CompanyName=" + trust, trust},
      {"CompanyName=" + longest, {}, "CompanyName=" + longest, longest},
      {"CompanyName=" + std::string(255, '\xE9'), {}, "CompanyName=" + accented(255), accented(255)},
      {"CompanyName=" + std::string(256, '\xE9'), {"CompanyName:"}, "CompanyName="},
  };
  // Connected to a sample company file, so that a new data-set file takes its first name
  // from the settings file.
  UsePrivateOdbcRegistration();
  const std::string connection = CrLf({"ODBCUserID=Administrator",
                                       "ODBCDataFile=" + samples::SamplePath(samples::kAustralianFile),
                                       "ODBCProduct=/opt/accounts/accounts.exe",
                                       std::string("ODBCDriver=") + driver::kDirectDriverName});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.substr(0, 40));
    SetUp();
    locale::SetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate, "dd/MM/yyyy");
    std::filesystem::remove(Path("QVXDataSet-Clearwater.Txt"));  // each run makes it anew
    const std::string written = connection + c.line + "\r\n";
    WriteBytes(IniPath(), written);
    Main();
    ASSERT_TRUE(Conn.ODBCConnected);
    const auto messages = ui_->Messages();
    if (c.named.empty()) {
      EXPECT_TRUE(messages.empty()) << messages[0];
    } else {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].rfind("These settings in " + IniPath() + " are outside what Quorvex can use", 0), 0u)
          << messages[0];
      size_t at = 0;
      for (const std::string& key : c.named) {
        at = messages[0].find("\r\n" + key, at);
        EXPECT_NE(at, std::string::npos) << key << " in " << messages[0];
      }
      EXPECT_LT(messages[0].size(), 1000u);
    }
    EXPECT_GE(G.PTLines, 0);
    EXPECT_LE(G.LSLines, 79);
    EXPECT_LE(G.BodyFont, 14);
    EXPECT_GE(G.HeadingFont, 6);
    // The main window shows the name, shortened when it is long, and stays the width of a screen.
    EXPECT_EQ(G.DataSetCompany, c.company);
    MainFForm* window = MainF::Instance().Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Label5.text().toStdString(), c.company);
    EXPECT_LT(window->sizeHint().width(), 1200);
    EXPECT_LT(window->minimumSizeHint().width(), 1200);
    // At the window's width the name is whole, or its start with an ellipsis, within the label.
    const QString shown = window->Label5.ShownText();
    const QString whole = window->Label5.text();
    EXPECT_LE(window->Label5.fontMetrics().horizontalAdvance(shown), window->Label5.contentsRect().width());
    EXPECT_TRUE(shown == whole || (shown.endsWith(QChar(0x2026)) && whole.startsWith(shown.chopped(1)))) << shown.toStdString();
    if (c.company == longest) {
      EXPECT_NE(shown, whole);
    } else if (c.company.size() < 30) {
      EXPECT_EQ(shown, whole);
    }
    // The file keeps what the user wrote until the program ends.
    EXPECT_EQ(ReadBytes(IniPath()), written);
    MainF::Instance().Window()->close();
    const auto lines = sys::ReadTextLines(IniPath(), 100);
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.writtenBack), lines.end()) << c.writtenBack;
    MainF::Instance().DestroyWindow();
    Conn.MYOBConn.reset();
    Conn = ConnectionState{};
  }
}

TEST_F(StartupTest, ConnectionModeAndOutputFolder) {
  const std::string desk = sys::DesktopFolder() + "/";
  struct Case {
    std::string setting, want;
  };
  for (auto& c : std::vector<Case>{{"", desk}, {"/srv/reports", "/srv/reports/"}, {"/srv/out/", "/srv/out/"}}) {
    SetUp();
    WriteBytes(IniPath(), "ODBCMode=DSN\r\nOutputPath=" + c.setting + "\r\n");
    Main();
    EXPECT_EQ(G.OutputPath, c.want);
    EXPECT_EQ(DataSource::Instance().ODBCMode, "Direct");
    EXPECT_EQ(DataSource::Instance().ODBCAccessMode, "R");
    EXPECT_FALSE(Conn.ODBCConnected);
    MainF::Instance().DestroyWindow();
  }
}

TEST_F(StartupTest, OnlyTheFirst61LinesAreRead) {
  std::string text;
  for (int i = 1; i <= 60; ++i) text += "Filler" + std::to_string(i) + "=x\r\n";
  text += "LSLines=61\r\n";   // line 61
  text += "PTLines=62\r\n";   // line 62: never read
  for (int i = 63; i <= 70; ++i) text += "BodyFont=" + std::to_string(i) + "\r\n";
  WriteBytes(IniPath(), text);
  Main();
  EXPECT_EQ(G.LSLines, 61);
  EXPECT_EQ(G.PTLines, 68);  // out of range: keeps its default
  EXPECT_EQ(G.BodyFont, 9);  // 0 corrected
  MainF::Instance().Window()->close();
  auto lines = sys::ReadTextLines(IniPath(), 1000);
  EXPECT_EQ(lines.size(), 52u);
}

TEST_F(StartupTest, ExcelProbe) {
  struct Case {
    std::function<std::string()> probe;
    int16_t want;
  };
  const std::vector<Case> cases = {
      {nullptr, 2007},  // the workbook layer itself
      {[] { return std::string("12.0"); }, 2007},
      {[] { return std::string("12"); }, 2007},
      {[] { return std::string("11.0"); }, 2003},
      {[] { return std::string("14.0"); }, 2003},
      {[] { return std::string("15.0"); }, 2003},
      {[] { return std::string(""); }, 2003},
      {[]() -> std::string { Raise(err::CannotCreateObject); }, 0},
  };
  for (auto& c : cases) {
    SetUp();
    Startup.ExcelProbe = c.probe;
    Main();
    EXPECT_EQ(G.ExcelVersion, c.want);
    EXPECT_TRUE(ui_->Messages().empty());  // a failed probe shows nothing
    EXPECT_NE(MainF::Instance().Window(), nullptr);
    MainF::Instance().DestroyWindow();
  }
}

TEST_F(StartupTest, HelpTopics) {
  struct Case {
    const char* code;
    int16_t want;
  };
  for (auto c : std::initializer_list<Case>{
           {"BGTCMP", 2400}, {"BGTFCT", 2500}, {"CONPL", 3100}, {"bgtfct", 0}, {"", 0}, {"CONBS", 0}, {"BGTCMP ", 0}}) {
    G.ReportCode = c.code;
    int16_t help = 77, sample = 77;
    GetReportHelpID(help);
    GetSampleHelpID(sample);
    EXPECT_EQ(help, c.want) << c.code;
    EXPECT_EQ(sample, c.want) << c.code;
  }
}

TEST_F(StartupTest, FileProbes) {
  WriteBytes(Path("there.txt"), "x");
  std::filesystem::create_directory(Path("sub"));
  struct Case {
    std::string path;
    bool want;
    int16_t errNbr;
  };
  for (auto& c : std::vector<Case>{{Path("there.txt"), true, 0},
                                   {Path("missing.txt"), false, 53},
                                   {Path("nofolder/x.txt"), false, 76},
                                   {Path("sub"), false, 75},
                                   {"", false, 53}}) {
    int16_t e1 = 99, e2 = 99;
    EXPECT_EQ(FileExists(c.path, e1), c.want) << c.path;
    EXPECT_EQ(CheckFileExists(c.path, e2), c.want) << c.path;
    EXPECT_EQ(e1, c.errNbr) << c.path;
    EXPECT_EQ(e2, c.errNbr) << c.path;
  }
}

TEST_F(StartupTest, BadSettingsFiles) {
  // Each bad line is reported as error of its kind during "Reading INI" and skipped;
  // the good lines around it are still applied.
  std::string text;
  text += "BodyFont=10\r\n";
  text += std::string("Bin\0\x01\xFF\x7F=1", 9) + "\r\n";       // binary bytes: unknown key
  text += "NoEqualsHere\r\n";                                       // error 5
  text += "\r\n";                                                   // error 5
  text += "CompanyName=" + std::string(100000, 'A') + "\r\n";      // long value
  text += "PTLines=99999\r\n";                                      // error 6
  text += "BMarkSales=1e300\r\n";                                   // error 6
  text += "IncludeAverage=maybe\r\n";                               // error 13
  text += "HeadingFont=" + std::string(100000, '9') + "\r\n";      // error 6
  text += std::string(12344, 'k') + "=1\r\n";                      // long unknown key
  text += "QtyDecimals=2\r\n";
  for (int i = 0; i < 10000; ++i) text += "BodyFont=11\r\n";
  WriteBytes(IniPath(), text);
  Main();

  // One box for the bad lines, in the order read, then the one message of the values
  // out of range.
  const auto messages = ui_->Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "These lines of the settings file " + IniPath() +
                             " could not be read as settings and were passed over:\r\n"
                             "\r\nLine 3: Invalid procedure call or argument (error 5)"
                             "\r\nLine 4: Invalid procedure call or argument (error 5)"
                             "\r\nLine 6: Overflow (error 6)"
                             "\r\nLine 7: Overflow (error 6)"
                             "\r\nLine 8: Type mismatch (error 13)"
                             "\r\nLine 9: Overflow (error 6)"
                             "\r\n\r\nThe other lines were read; these are left out when Quorvex writes its "
                             "settings back at its end.");
  EXPECT_EQ(messages[1].rfind("These settings in ", 0), 0u);
  EXPECT_NE(messages[1].find("\r\nCompanyName: "), std::string::npos);
  EXPECT_EQ(G.CompanyName, "");  // far too long for the screen: its default
  EXPECT_EQ(G.QtyDecimals, 2);
  EXPECT_EQ(G.BodyFont, 11);
  EXPECT_EQ(G.HeadingFont, 11);  // never set, corrected from 0
  EXPECT_EQ(G.PTLines, 68);  // out of range: keeps its default
  EXPECT_EQ(G.Underline, 2);  // leading number 0, corrected
  EXPECT_FALSE(FilterCons::Instance().IncludeAverage);
  EXPECT_EQ(G.ExcelVersion, 2007);  // the probe still ran
  EXPECT_NE(MainF::Instance().Window(), nullptr);

  MainF::Instance().Window()->close();
  auto lines = sys::ReadTextLines(IniPath(), 1000);
  ASSERT_EQ(lines.size(), 52u);
  EXPECT_EQ(lines[0], "BodyFont=11");
  EXPECT_EQ(lines[2], "CompanyName=");
}

TEST_F(StartupTest, DiskErrorsThatRecurCanEndTheProgram) {
  // A program folder that cannot be written: the disk box is offered until the user
  // cancels, and then the program ends, naming the folder.
  for (auto a : {ui::Answer::Retry, ui::Answer::Retry, ui::Answer::Cancel}) ui_->QueueAnswer(a);
  int runs = 0;
  EXPECT_THROW(StartupStatement([&] {
                 ++runs;
                 Raise(err::PermissionDenied);
               }),
               ui::ScriptedUi::ProgramExit);
  EXPECT_EQ(runs, 3);
  auto messages = ui_->Messages();
  ASSERT_EQ(messages.size(), 4u);
  const std::string folder = std::filesystem::path(IniPath()).parent_path().string();
  EXPECT_EQ(messages[3].rfind("Quorvex cannot go on without writing to its folder " + folder + " (", 0), 0u) << messages[3];
  EXPECT_EQ(ui_->shown.back().kind, "exit");
}

TEST_F(StartupTest, SettingsAreNeverLost) {
  // Stale temporary files of interrupted rewrites go, told by their mark; other files stay:
  // the user's own copies and an older program's unmarked leftover among them.
  const std::filesystem::path folder = std::filesystem::path(IniPath()).parent_path();
  const std::vector<std::string> stale = {"Tallymoor.Ini.qvx-tmp-a1B2c3", "QVXDataSet-North.Txt.qvx-tmp-ZZ9zz9",
                                          "TBSettingsNorth.Txt.qvx-tmp-000000"};
  const std::vector<std::string> kept = {"Tallymoor.Ini.bak", "Tallymoor.Ini.backup", "Tallymoor.Ini.notes1",
                                         "QVXDataSet-Clearwater.Txt.before", "TBSettingsX.Txt.abc123",
                                         "Tallymoor.Ini.qvx-tmp-a1B2c3d", "Notes.Txt.qvx-tmp-a1B2c3",
                                         "TallymoorXIni.qvx-tmp-a1B2c3"};
  for (const auto& n : stale) WriteBytes((folder / n).string(), "x");
  for (const auto& n : kept) WriteBytes((folder / n).string(), "x");

  // Numbers that cannot be read or are out of range keep their defaults; missing keys too.
  WriteBytes(IniPath(), "LSLines=99999\r\nPTLines=abc\r\nBodyFont=\r\nUnderline=3\r\n");
  Main();
  for (const auto& n : stale) EXPECT_FALSE(std::filesystem::exists(folder / n)) << n;
  for (const auto& n : kept) EXPECT_TRUE(std::filesystem::exists(folder / n)) << n;
  EXPECT_EQ(G.LSLines, 58);
  EXPECT_EQ(G.PTLines, 68);
  EXPECT_EQ(G.BodyFont, 9);
  EXPECT_EQ(G.Underline, 3);
  EXPECT_EQ(G.FirstMonth, 4);
  EXPECT_FALSE(SettingsFile().unreadable);
  MainF::Instance().Window()->close();
  EXPECT_NE(ReadBytes(IniPath()).find("LSLines=58\r\n"), std::string::npos);

  // A settings file that is there but cannot be read: said once, defaults used, and the
  // file is not written over at exit.
  ui_->Clear();
  std::filesystem::remove(IniPath());
  std::filesystem::create_directory(IniPath());
  WriteBytes((std::filesystem::path(IniPath()) / "inside").string(), "user's own");
  Main();
  EXPECT_TRUE(SettingsFile().unreadable);
  auto messages = ui_->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("The settings file " + IniPath() + " could not be read (", 0), 0u) << messages[0];
  EXPECT_EQ(G.LSLines, 58);
  EXPECT_EQ(G.BodyFont, 9);
  MainF::Instance().Window()->close();
  EXPECT_TRUE(std::filesystem::is_directory(IniPath()));
  EXPECT_EQ(ReadBytes((std::filesystem::path(IniPath()) / "inside").string()), "user's own");
  EXPECT_EQ(ui_->Messages().size(), 1u);  // the exit wrote nothing and said nothing more
  std::filesystem::remove_all(IniPath());
}

// What stands under the settings file's name decides how it is read: never waiting on a
// pipe nor reading a device without end, and one box however many lines are bad.
TEST_F(StartupTest, OnlyAnOrdinarySettingsFileIsReadAndItsBadLinesGiveOneBox) {
  namespace fs = std::filesystem;
  struct Case {
    const char* what;
    std::function<void(const std::string&)> make;
    const char* told;  // the one message ("" none)
    bool unreadable;   // the defaults are used and the file is left alone at exit
  };
  std::string blankLines;
  for (int i = 0; i < 70; ++i) blankLines += "\r\n";
  const Case cases[] = {
      {"a pipe", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
       " could not be read (not an ordinary file but a device, pipe or socket).", true},
      {"a link to an endless device", [](const std::string& p) { fs::create_symlink("/dev/zero", p); },
       " could not be read (not an ordinary file but a device, pipe or socket).", true},
      {"a folder", [](const std::string& p) { fs::create_directory(p); }, " could not be read (a folder, not a file).",
       true},
      {"a file of more than a megabyte",
       [](const std::string& p) { WriteBytes(p, "BodyFont=12\r\n" + std::string(1024 * 1024, 'x')); },
       " could not be read (larger than the 1024 KB it may have).", true},
      {"70 blank lines: the first 61 are read", [&](const std::string& p) { WriteBytes(p, blankLines); },
       " could not be read as settings and were passed over:\r\n\r\nLine 1: Invalid procedure call or argument "
       "(error 5)",
       false},
      {"one bad line: the start-up error report", [](const std::string& p) { WriteBytes(p, "BodyFont=12\r\n\r\n"); },
       "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    c.make(IniPath());
    Main();
    EXPECT_EQ(SettingsFile().unreadable, c.unreadable);
    const auto messages = ui_->Messages();
    ASSERT_EQ(messages.size(), 1u);
    if (*c.told) {
      EXPECT_NE(messages[0].find(IniPath() + c.told), std::string::npos) << messages[0];
    } else {
      EXPECT_EQ(messages[0].rfind("An unrecoverable error has ocurred.\r\n \r\nError         5\r\n", 0), 0u)
          << messages[0];
      EXPECT_NE(messages[0].find("\r\nLast Process Reading INI\r\n"), std::string::npos);
    }
    if (std::string(c.what).starts_with("70")) {
      EXPECT_NE(messages[0].find("\r\nLine 10: "), std::string::npos);
      EXPECT_NE(messages[0].find("\r\n…and 51 more lines.\r\n\r\nNone of its lines could be used, so Quorvex runs on "
                                 "its default settings;"),
                std::string::npos)
          << messages[0];
    }
    EXPECT_EQ(G.BodyFont, std::string(c.what).starts_with("one") ? 12 : 9);
    EXPECT_EQ(G.PTLines, 68);
    const fs::file_status before = fs::symlink_status(IniPath());
    MainF::Instance().Window()->close();
    // An unreadable file stays what it was; a readable one is written back with every key.
    EXPECT_EQ(fs::symlink_status(IniPath()).type(), c.unreadable ? before.type() : fs::file_type::regular);
    if (!c.unreadable) {
      EXPECT_EQ(sys::ReadTextLines(IniPath(), 1000).size(), 52u);
    }
    MainF::Instance().DestroyWindow();
    fs::remove(IniPath());
  }
}

// The built program, copied into an empty folder, creates its settings file there.
TEST(StartupProgram, FreshFolderGetsTheDefaultSettingsFile) {
  const std::filesystem::path exe = std::filesystem::path(QVX_BINARY_DIR) / "bin" / "quorvex";
  ASSERT_TRUE(std::filesystem::exists(exe)) << exe;
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::filesystem::path folder = dir.path().toStdString();
  std::filesystem::copy_file(exe, folder / "quorvex");
  std::string cmd = "cd '" + folder.string() +
                    "' && QT_QPA_PLATFORM=offscreen QVX_QUIT_AFTER_START=1 "
                    "LSAN_OPTIONS=suppressions=" QVX_SOURCE_DIR "/tests/lsan.supp ./quorvex";
  int rc = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(rc));
  EXPECT_EQ(WEXITSTATUS(rc), 0);
  std::string want;
  for (auto& l : DefaultIniLines()) want += l + "\r\n";
  EXPECT_EQ(CoreTest::ReadBytes((folder / "Tallymoor.Ini").string()), want);
  EXPECT_EQ(std::count(want.begin(), want.end(), '\n'), 56);
  // It will hold the company file's password: nobody but its owner reads it, whatever
  // the umask.
  EXPECT_EQ(std::filesystem::status(folder / "Tallymoor.Ini").permissions(), std::filesystem::perms(0600));
}

TEST_F(StartupTest, TheSettingsFileIsReadableByItsOwnerOnly) {
  namespace fs = std::filesystem;
  struct Case {
    fs::perms before, after;
  };
  for (const Case& c : {Case{fs::perms(0644), fs::perms(0600)}, Case{fs::perms(0666), fs::perms(0600)},
                        Case{fs::perms(0640), fs::perms(0600)}, Case{fs::perms(0600), fs::perms(0600)}}) {
    SetUp();
    WriteBytes(IniPath(), "ODBCPassword=s3cret\r\n");
    fs::permissions(IniPath(), c.before);
    // The data-set file holds no secret and keeps the usual permissions.
    WriteBytes(Path("QVXDataSet-North.Txt"), "DS-CompanyName=North\r\n");
    fs::permissions(Path("QVXDataSet-North.Txt"), fs::perms(0644));
    G.DataSetFile = "QVXDataSet-North.Txt";
    Main();
    MainF::Instance().Window()->close();
    SCOPED_TRACE(static_cast<int>(c.before));
    EXPECT_NE(ReadBytes(IniPath()).find("\r\nODBCPassword=s3cret\r\n"), std::string::npos);
    EXPECT_EQ(fs::status(IniPath()).permissions(), c.after);
    EXPECT_EQ(fs::status(Path("QVXDataSet-North.Txt")).permissions(), fs::perms(0644));
    EXPECT_TRUE(ui_->Messages().empty()) << ui_->Messages()[0];
    MainF::Instance().DestroyWindow();
  }
}

}  // namespace
}  // namespace qvx::test
