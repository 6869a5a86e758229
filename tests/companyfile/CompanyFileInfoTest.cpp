// Company information rules that need no company file: the address split, the company
// key, the short-date check with both answers, and the data-set file.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "CompanyFileFixture.h"

namespace qvx::test {
namespace {

class CompanyFileInfoTest : public CompanyFileTest {};

TEST(CompanyFileRules, AddressSplit) {
  struct Case { std::string address; std::vector<std::string> lines; };
  for (const Case& c : std::vector<Case>{
           {"", {"", "", "", "", "", ""}},
           {"1 Main Street", {"1 Main Street", "", "", "", "", ""}},
           {"Level 2\r\n\r\n10 High St", {"Level 2", "10 High St", "", "", "", ""}},
           {"\r\n\n\rA\rB\nC\r\n", {"A", "B", "C", "", "", "", }},
           {"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8", {"1", "2", "3", "4", "5", "6"}},
           {"1\n2\n3\n4\n5\n6", {"1", "2", "3", "4", "5", "6"}},
           {"1\n2\n3\n4\n5\n\n\n6 and more", {"1", "2", "3", "4", "5", "6 and more"}},
       }) {
    const auto lines = SplitAddress(c.address);
    EXPECT_EQ(lines[0], "");
    for (size_t i = 1; i <= 6; ++i) EXPECT_EQ(lines[i], c.lines[i - 1]) << c.address << " line " << i;
  }
  // Twenty lines keep six.
  std::string twenty;
  for (int i = 1; i <= 20; ++i) twenty += "Line " + std::to_string(i) + "\r\n";
  EXPECT_EQ(SplitAddress(twenty)[6], "Line 6");
}

TEST(CompanyFileRules, CompanyKey) {
  struct Case { std::string name, key; };
  for (const Case& c : std::vector<Case>{
           {"Clearwater Pty Ltd", "Clearwater"},
           {"Solo", "Solo"},
           {" Leading blank", ""},
           {"", ""},
           {"O'Brien \"Quoted\" Co", "O'Brien"},
           {"../../etc/passwd x", "....etcpasswd"},
           {"a\\b/c\td\x7f" "e f", "abcde"},
           {"Ωμέγα Ltd", "Ωμέγα"},
       }) {
    EXPECT_EQ(MakeCompanyKey(c.name), c.key) << c.name;
  }
  // A long name is cut to fit a file name, never inside a character.
  std::string longName;
  for (int i = 0; i < 150; ++i) longName += "é";  // 300 bytes
  const std::string key = MakeCompanyKey(longName);
  EXPECT_EQ(key.size(), 200u);
  EXPECT_EQ(key, longName.substr(0, 200));
  EXPECT_EQ(MakeCompanyKey("x" + longName).size(), 199u);
}

TEST_F(CompanyFileInfoTest, DateFormatMessagesByteForByte) {
  EXPECT_EQ(DateFormatMessage(true, "D/MM/YYYY"),
            "This software requires your Windows date format to be 'dd/MM/yyyy' \r"
            "Currently set to D/MM/YYYY    If you want to change it yourself ... \r\r"
            "   use Settings / Control Panel / Regional Settings / Customise / Date \r"
            "   and change the short date format to 'dd/MM/yyyy'  (ie two 'd's)\r\r"
            "Would you like this software to change it now ? \r");
  EXPECT_EQ(DateFormatMessage(false, "M/D/YYYY"),
            "This software requires your Windows date format to be 'mm/dd/yyyy' \r"
            "Currently set to M/D/YYYY    If you want to change it yourself ... \r\r"
            "   use Settings / Control Panel / Regional Settings / Customise / Date \r"
            "   and change the short date format to 'mm/dd/yyyy'  (ie two 'm's and two 'd's)\r\r"
            "Would you like this software to change it now ? \r");
}

TEST_F(CompanyFileInfoTest, ShortDateCheckWithAYes) {
  struct Case { std::string picture; char asked; std::string after, order; };
  for (const Case& c : std::vector<Case>{
           {"dd/MM/yyyy", 0, "dd/MM/yyyy", "DMY"},
           {"DD/mm/YYYY", 0, "DD/mm/YYYY", "DMY"},
           {"d/MM/yyyy", 'D', "dd/MM/yyyy", "DMY"},
           {"dd.MM.yyyy", 'D', "dd/MM/yyyy", "DMY"},
           {"dd/MM/yy", 'D', "dd/MM/yyyy", "DMY"},
           {"M/d/yyyy", 'M', "MM/dd/yyyy", "MDY"},
           {"MM/d/yyyy", 'M', "MM/dd/yyyy", "MDY"},
           {"MM/dd/yyyy", 0, "MM/dd/yyyy", "MDY"},
           {"yyyy-MM-dd", 0, "yyyy-MM-dd", "DMY"},
       }) {
    SetUp();
    SetPicture(c.picture);
    G.DateFormat = "?";
    ui_->QueueAnswer(ui::Answer::Yes);
    CheckDateFormat();
    SCOPED_TRACE(c.picture);
    ASSERT_EQ(ui_->shown.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(ui_->shown[0].text, DateFormatMessage(c.asked == 'D', UCase(c.picture)));
      EXPECT_EQ(ui_->shown[0].title, "Date Format Error");
      EXPECT_EQ(ui_->shown[0].buttons, ui::Buttons::YesNo);
      EXPECT_EQ(ui_->shown[0].icon, ui::Icon::None);
    }
    EXPECT_EQ(locale::ShortDatePicture(), c.after);
    EXPECT_EQ(G.DateFormat, c.order);
    // The corrected picture passes the next check without a question.
    ui_->Clear();
    CheckDateFormat();
    EXPECT_TRUE(ui_->shown.empty());
  }
}

TEST_F(CompanyFileInfoTest, ShortDateCheckWithANoEndsTheProgramWritingNothing) {
  for (const std::string picture : {"d/M/yyyy", "M/d/yy"}) {
    SetUp();
    SetPicture(picture);
    G.DateFormat = "?";
    ui_->QueueAnswer(ui::Answer::No);
    try {
      CheckDateFormat();
      ADD_FAILURE() << "the program should have ended";
    } catch (const ui::ScriptedUi::ProgramExit& e) {
      EXPECT_EQ(e.code, 0);
    }
    EXPECT_EQ(locale::ShortDatePicture(), picture);
    EXPECT_EQ(G.DateFormat, "?");
    EXPECT_EQ(ui_->shown.back().kind, "exit");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(Path("Tallymoor.Ini"))));
  }
}

// A picture behind a link at the program's folder (here "dd/MM/yyyy", which would pass
// without a question) is not taken: the user is told why, then asked about the locale's
// date format, and a Yes writes nothing there.
TEST_F(CompanyFileInfoTest, ShortDateCheckTellsOfALinkAtItsFolder) {
  QTemporaryDir config;
  const std::string folder = config.path().toStdString() + "/elsewhere";
  QDir().mkdir(QString::fromStdString(folder));
  QFile::link(QString::fromStdString(folder), config.path() + "/quorvex");
  std::ofstream(folder + "/short-date") << "dd/MM/yyyy\n";
  const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
  const bool hadLc = qEnvironmentVariableIsSet("LC_ALL");
  const QByteArray savedLc = qgetenv("LC_ALL");
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  qputenv("LC_ALL", "C");
  G.DateFormat = "?";
  ui_->QueueAnswer(ui::Answer::OK);
  ui_->QueueAnswer(ui::Answer::Yes);
  ui_->QueueAnswer(ui::Answer::OK);
  CheckDateFormat();
  const std::string refused = locale::ShortDatePicture();
  qputenv("XDG_CONFIG_HOME", savedConfig);
  if (hadLc) qputenv("LC_ALL", savedLc);
  else qunsetenv("LC_ALL");

  ASSERT_EQ(ui_->shown.size(), 3u);
  const std::string why = "The folder " + config.path().toStdString() + "/quorvex is a link, not a folder.\r\r";
  EXPECT_EQ(ui_->shown[0].text, why + "The short date format is not taken from there but from the locale (LC_TIME).");
  EXPECT_EQ(ui_->shown[0].icon, ui::Icon::Exclamation);
  EXPECT_EQ(ui_->shown[1].text, DateFormatMessage(false, "MM/DD/YY"));
  EXPECT_EQ(ui_->shown[2].text, why + "The short date format could not be saved.");
  EXPECT_EQ(refused, "MM/dd/yy");
  EXPECT_EQ(G.DateFormat, "MDY");
  std::ifstream in(folder + "/short-date");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "dd/MM/yyyy\n");
  EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
            QStringList{"short-date"});
}

TEST_F(CompanyFileInfoTest, DataSetFileCreationAndLoading) {
  struct Case {
    std::string existing;  // empty: no data-set file yet
    std::string ini;
    std::string want;      // DataSetCompany afterwards
  };
  for (const Case& c : std::vector<Case>{
           // A new file takes the name from the settings file; an empty one (the
           // default) leaves the name read from the company file.
           {"", "BodyFont=9\r\nCompanyName=Named In Settings\r\nDSName=\r\n", "Named In Settings"},
           {"", "CompanyName=\r\n", "From The File"},
           // Lines without "=" are passed over; the last CompanyName line wins.
           {"", "garbage\r\nCompanyName=First\r\n\r\nCompanyName=Second=2\r\n", "Second=2"},
           // An existing file never changes the name read from the company file.
           {"DS-CompanyName=Old Name\r\n", "CompanyName=Named In Settings\r\n", "From The File"},
       }) {
    SetUp();
    G.DataSetCompany = "From The File";
    G.DataSetFile = "QVXDataSet-From.Txt";
    QFile::remove(QString::fromStdString(Path(G.DataSetFile)));
    WriteBytes(Path("Tallymoor.Ini"), c.ini);
    if (!c.existing.empty()) WriteBytes(Path(G.DataSetFile), c.existing);
    LoadDataSetFile();
    EXPECT_EQ(G.DataSetCompany, c.want) << c.ini;
    EXPECT_FALSE(G.DataSetFromIni);
    EXPECT_EQ(ReadBytes(Path(G.DataSetFile)), c.existing.empty() ? "DS-CompanyName=\r\n" : c.existing);
    EXPECT_EQ(ReadBytes(Path("Tallymoor.Ini")), c.ini);
  }
}

TEST_F(CompanyFileInfoTest, ADataSetFileThatCannotBeMadeLeavesTheNameAlone) {
  G.DataSetCompany = "From The File";
  G.DataSetFile = "QVXDataSet-From.Txt";
  WriteBytes(Path("Tallymoor.Ini"), "CompanyName=Other\r\n");
  sys::SetProgramFolder(Path("missing-folder"));
  EXPECT_THROW(LoadDataSetFile(), VbError);
  EXPECT_EQ(G.DataSetCompany, "From The File");
  EXPECT_FALSE(G.DataSetFromIni);
}

}  // namespace
}  // namespace qvx::test
