#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <variant>

#include "CoreFixture.h"
#include "core/Settings.h"

using namespace qvx;

namespace qvx::test {
namespace {

using SettingsTest = CoreTest;

const std::vector<std::string> kDefaultFile = {
    "BodyFont=9", "ColumnType=", "CompanyName=", "CompanyAbbrev=", "ConsPATH=", "CustAssocFieldBox=",
    "DateFromKeys=", "DebugMode=", "DefaultJob=", "DSName=", "BMSetting=", "BMarkSales=0", "BMarkGross=0",
    "BMarkNet=0", "BMarkStaff=0", "OutputPath=", "CurrentYear=", "ExcelFile=", "FirstMonth=4",
    "GroupColPosn=", "HeadingFont=11", "IncludeAverage=False", "LSLines=58", "ODBCMode=", "ODBCUserID=",
    "ODBCPassword=", "ODBCDataFile=", "ODBCProduct=", "ODBCDriver=", "PDFPathFile=", "PrintLevel=",
    "PrintToPrinter=-1", "PTLines=68", "QtyDecimals=0", "RoundWhole=", "RptFormat=", "SelectEvent=0",
    "SortByJob=-1", "SortByName=0", "SortByEventSequence=0", "SortByMemberSequence=0", "SpacesForZeroes=0",
    "SubscrCodes=", "Underline=2", "YearEndText=", "LblsPerRow=", "LblsPerCol=", "LblFontSize=",
    "LblFontBold=", "LblNameTab=", "LblCodeGap=", "LblNameGap=", "LblTopMargin=", "LblLeftMargin=",
    "LblHeight=", "LblWidth="};

std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (auto& l : lines) s += l + "\r\n";
  return s;
}

void ExpectError(int number, const std::function<void()>& f, const std::string& what) {
  try {
    f();
    ADD_FAILURE() << what << ": no error";
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), number) << what;
  }
}

TEST_F(SettingsTest, DefaultFileThenRewriteOnExit) {
  EXPECT_EQ(DefaultIniLines(), kDefaultFile);
  Main();
  EXPECT_EQ(ReadBytes(IniPath()), Joined(kDefaultFile));
  EXPECT_TRUE(ui_->Messages().empty());

  // Closing the main window rewrites the file with every key, in table order.
  ASSERT_NE(MainF::Instance().Window(), nullptr);
  MainF::Instance().Window()->close();
  std::string desk = sys::DesktopFolder() + "/";
  std::vector<std::string> want = {
      "BodyFont=9", "ColumnType=", "CompanyName=", "CompanyAbbrev=", "ConsPATH=", "ConsGroupName=",
      "ConsReportName=", "DateFromKeys=0", "DebugMode=", "DefaultJob=", "DSName=", "BMSetting=",
      "BMarkSales=0", "BMarkGross=0", "BMarkNet=0", "BMarkStaff=0", "OutputPath=" + desk, "CurrentYear=0",
      "ExcelFile=0", "FirstMonth=4", "GroupColPosn=", "HeadingFont=11", "IncludeAverage=False",
      "LSLines=58", "ODBCMode=Direct", "ODBCUserID=", "ODBCPassword=", "ODBCDataFile=", "ODBCProduct=",
      "ODBCDriver=", "PrintLevel=0", "PrintToPrinter=-1", "PTLines=68", "QtyDecimals=0", "RoundWhole=0",
      "ShowFigures=0", "ShowHeaders=0", "SortByJob=-1", "SortByName=0", "SpacesforZeroes=0", "Underline=2",
      "LblsPerRow=0", "LblsPerCol=0", "LblFontSize=0", "LblFontBold=0", "LblNameTab=0", "LblCodeGap=0",
      "LblNameGap=0", "LblTopMargin=0", "LblLeftMargin=0", "LblHeight=0", "LblWidth=0"};
  EXPECT_EQ(want.size(), 52u);
  EXPECT_EQ(ReadBytes(IniPath()), Joined(want));
  // No data-set file without a connected company; no temporary file left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), std::filesystem::directory_iterator()), 1);
  EXPECT_TRUE(ui_->Messages().empty());
}

TEST_F(SettingsTest, EveryTypeReadAndWritten) {
  struct Case {
    std::string line;
    std::string written;  // the key's line after a rewrite
  };
  const std::vector<Case> cases = {
      // Integer: leading number, halves to the even neighbour.
      {"BodyFont=10.5", "BodyFont=10"},
      {"HeadingFont=11.5", "HeadingFont=12"},
      {"LSLines=12 lines", "LSLines=12"},
      {"PTLines=abc", "PTLines=0"},
      {"PrintLevel=", "PrintLevel=0"},
      {"QtyDecimals=-32768", "QtyDecimals=-32768"},
      {"SortByJob=32767", "SortByJob=32767"},
      // Money: four decimals kept, shortest text.
      {"BMarkSales=1250.5", "BMarkSales=1250.5"},
      {"BMarkGross=1250", "BMarkGross=1250"},
      {"BMarkNet=-0.00005", "BMarkNet=0"},
      {"BMarkStaff=3.14159", "BMarkStaff=3.1416"},
      // Single: no zero before the point.
      {"LblTopMargin=0.5", "LblTopMargin=.5"},
      {"LblLeftMargin=-0.25", "LblLeftMargin=-.25"},
      {"LblHeight=1.5", "LblHeight=1.5"},
      // Boolean.
      {"IncludeAverage=true", "IncludeAverage=True"},
      // String: unchanged, blanks and later "=" kept.
      {"CompanyName= A = B ", "CompanyName= A = B "},
      {"ConsGroupName=   North", "ConsGroupName=North"},
      {"ConsReportName=  Group  ", "ConsReportName=Group  "},
      {"ODBCPassword=p=w", "ODBCPassword=p=w"},
      {"ColumnType=AB", "ColumnType=AB"},
      {"GroupColPosn=R", "GroupColPosn=R"},
      {"DefaultJob=JOB1", "DefaultJob=JOB1"},
      {"BMSetting=S", "BMSetting=S"},
      {"RoundWhole=-1", "RoundWhole=-1"},
      {"ShowFigures=-1", "ShowFigures=-1"},
      {"SpacesforZeroes=-1", "SpacesforZeroes=-1"},
      {"ODBCDataFile=/data/Clearwater.MYO", "ODBCDataFile=/data/Clearwater.MYO"},
  };
  for (auto& c : cases) ParseIniLine(c.line);
  EXPECT_EQ(G.BodyFont, 10);
  EXPECT_EQ(Preferences::Instance().BMSales, Money::FromRaw(12505000));
  EXPECT_TRUE(FilterCons::Instance().IncludeAverage);
  EXPECT_EQ(FilterBGTFC::Instance().ColumnType, "AB");
  EXPECT_FLOAT_EQ(G.LblTopMargin, 0.5f);
  EXPECT_EQ(DataSource::Instance().ODBCPassword, "p=w");

  WriteIniFile();
  auto lines = sys::ReadTextLines(IniPath(), 100);
  ASSERT_EQ(lines.size(), 52u);
  for (auto& c : cases) {
    std::string key = c.written.substr(0, c.written.find('=') + 1);
    auto it = std::find_if(lines.begin(), lines.end(), [&](auto& l) { return l.rfind(key, 0) == 0; });
    ASSERT_NE(it, lines.end()) << key;
    EXPECT_EQ(*it, c.written);
  }
  // Truth values: a number or either word in any case.
  for (auto [text, want] : std::initializer_list<std::pair<const char*, bool>>{
           {"FALSE", false}, {"-1", true}, {"0", false}, {"2", true}, {"True", true}}) {
    ParseIniLine(std::string("IncludeAverage=") + text);
    EXPECT_EQ(FilterCons::Instance().IncludeAverage, want) << text;
  }
}

TEST_F(SettingsTest, KeysExactDuplicatesAndUnknown) {
  for (const char* line : {"BodyFont=8", " BodyFont=20", "bodyfont=21", "BODYFONT=22", "Unknown=5",
                           "SpacesForZeroes=-1", "=", "BodyFont=7"}) {
    ParseIniLine(line);
  }
  EXPECT_EQ(G.BodyFont, 7);  // the later line wins; blanks and letter case make other keys
  EXPECT_EQ(G.SpacesForZeroes, 0);
}

TEST_F(SettingsTest, BadValuesRaiseAndKeepTheSetting) {
  G.BodyFont = 9;
  G.LblHeight = 2;
  Preferences::Instance().BMSales = Money::FromUnits(5);
  FilterCons::Instance().IncludeAverage = true;
  ExpectError(5, [] { ParseIniLine("BodyFont"); }, "no =");
  ExpectError(5, [] { ParseIniLine(""); }, "empty line");
  ExpectError(6, [] { ParseIniLine("BodyFont=32768"); }, "integer overflow");
  ExpectError(6, [] { ParseIniLine("BodyFont=1e400"); }, "beyond a double");
  ExpectError(6, [] { ParseIniLine("BMarkSales=1e16"); }, "money overflow");
  ExpectError(6, [] { ParseIniLine("LblHeight=1e39"); }, "single overflow");
  ExpectError(13, [] { ParseIniLine("IncludeAverage=yes"); }, "truth value");
  ExpectError(13, [] { ParseIniLine("IncludeAverage="); }, "empty truth value");
  EXPECT_EQ(G.BodyFont, 9);
  EXPECT_EQ(G.LblHeight, 2.0f);
  EXPECT_EQ(Preferences::Instance().BMSales, Money::FromUnits(5));
  EXPECT_TRUE(FilterCons::Instance().IncludeAverage);
}

TEST_F(SettingsTest, SingleByteCodePageBothWays) {
  // "Café €5 ‘q’" in Windows-1252, with a CR-less last line.
  WriteBytes(IniPath(), std::string("CompanyName=Caf\xE9 \x80" "5 \x91q\x92\nDSName=x\x81y"));
  auto lines = sys::ReadTextLines(IniPath(), 61);
  ASSERT_EQ(lines.size(), 2u);
  for (auto& l : lines) ParseIniLine(l);
  EXPECT_EQ(G.CompanyName, "Caf\u00E9 \u20AC5 \u2018q\u2019");
  EXPECT_EQ(G.DSName, "x\u0081y");
  G.CompanyAbbrev = "\u65E5";  // not in the code page
  WriteIniFile();
  std::string bytes = ReadBytes(IniPath());
  EXPECT_NE(bytes.find("\r\nCompanyName=Caf\xE9 \x80" "5 \x91q\x92\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("\r\nCompanyAbbrev=?\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("\r\nDSName=x\x81y\r\n"), std::string::npos);
}

TEST_F(SettingsTest, DataSetLines) {
  std::string line = "DS-CompanyName=Clearwater Pty Ltd";
  ParseDataSetLine(line);
  EXPECT_EQ(G.DataSetCompany, "Clearwater Pty Ltd");
  EXPECT_EQ(line, "CompanyName=Clearwater Pty Ltd");  // the prefix goes from the caller's text

  std::string plain = "CompanyName=Other";
  ParseDataSetLine(plain);  // no prefix: ignored
  EXPECT_EQ(G.DataSetCompany, "Clearwater Pty Ltd");
  std::string otherKey = "DS-Address=1 Main St";
  ParseDataSetLine(otherKey);
  EXPECT_EQ(G.DataSetCompany, "Clearwater Pty Ltd");
  std::string noEquals = "DS-CompanyName";
  ExpectError(5, [&] { ParseDataSetLine(noEquals); }, "data-set line without =");

  G.DataSetFromIni = true;  // lines of the settings file need no prefix
  ParseDataSetLine(plain);
  EXPECT_EQ(G.DataSetCompany, "Other");
  EXPECT_EQ(plain, "CompanyName=Other");

  WriteDataSetFile();  // no file named yet: nothing written
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), std::filesystem::directory_iterator()), 0);
  G.DataSetFile = "QVXDataSet-Other.Txt";
  G.DataSetCompany = "Other \u00C9";
  WriteDataSetFile();
  EXPECT_EQ(ReadBytes(Path("QVXDataSet-Other.Txt")), "DS-CompanyName=Other \xC9\r\n");
}

// A copy of the program starting while another writes its settings file leaves the
// other's temporary file alone, so that the other's settings are saved whole.
TEST_F(SettingsTest, AStartLeavesTheSettingsFileAnotherCopyIsWriting) {
  const std::vector<std::string> lines = DefaultIniLines();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int failed = 0;
    for (int i = 0; i < 300; ++i) {
      try {
        sys::WriteTextLines(IniPath(), lines);
      } catch (...) {
        ++failed;
      }
    }
    ::_exit(failed > 0 ? 1 : 0);
  }
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) RemoveStaleTemporaryFiles();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadBytes(IniPath()), Joined(lines));
}

TEST_F(SettingsTest, FailedWriteKeepsOldFileAndTellsOnce) {
  // The settings file's name is taken by a folder: the rename fails.
  std::filesystem::create_directory(IniPath());
  WriteBytes(IniPath() + "/keep", "x");
  G.DataSetFile = "QVXDataSet-A.Txt";
  std::filesystem::create_directory(Path(G.DataSetFile));
  WriteBytes(Path(G.DataSetFile) + "/keep", "x");
  EXPECT_FALSE(SaveSettingsOnExit());
  auto messages = ui_->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(IniPath() + ": "), std::string::npos) << messages[0];
  EXPECT_NE(messages[0].find(Path(G.DataSetFile) + ": "), std::string::npos) << messages[0];
  // Nothing but the two folders: no temporary file stays behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), std::filesystem::directory_iterator()), 2);

  // A program folder that has gone: "Path not found".
  ui_->Clear();
  sys::SetProgramFolder(folder_ + "/gone");
  G.DataSetFile.clear();
  EXPECT_FALSE(SaveSettingsOnExit());
  messages = ui_->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(folder_ + "/gone/Tallymoor.Ini: Path not found"), std::string::npos) << messages[0];
}

TEST_F(SettingsTest, RewriteReplacesAnExistingFileWhole) {
  WriteBytes(IniPath(), std::string(5000, 'x') + "\r\nBodyFont=7\r\n");
  G.BodyFont = 8;
  WriteIniFile();
  auto lines = sys::ReadTextLines(IniPath(), 1000);
  ASSERT_EQ(lines.size(), 52u);
  EXPECT_EQ(lines[0], "BodyFont=8");
}

}  // namespace
}  // namespace qvx::test
