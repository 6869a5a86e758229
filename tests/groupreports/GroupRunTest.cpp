// Whole group runs: the folder scan, the reading of every member file into the tables
// (checked against the files' own journals), the limits, and every way out with the
// user's own company file connected again.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "GroupRunFixture.h"
#include "core/ReportRun.h"
#include "core/Settings.h"
#include "groupreports/ConsolidationFile.h"
#include "platform/excel/Excel.h"
#include "platform/sys/ProgramEnding.h"
#include "samples/SampleBooks.h"
#include "samples/SamplePaths.h"

namespace qvx::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const ConsolidationData& d) {
  std::vector<std::string> names;
  for (int f = 1; f <= d.PercentFileCount; ++f) names.push_back(d.ConsFileName[static_cast<size_t>(f)]);
  return names;
}

TEST_F(GroupRunTest, ReadsEveryAcceptedFileAsItsJournalSays) {
  const std::string folder = Path("group");
  const std::vector<GroupLine> trade = {
      {"2013-06-30", "4-1000", -M("999.99")},   // before the period
      {"2013-07-01", "4-1000", -M("1000.00")},  // its first day
      {"2013-09-15", "4-1000", -M("250.55")},
      {"2013-10-02", "5-1000", M("400.10")},
      {"2014-02-28", "6-1000", M("333.33")},
      {"2014-03-31", "8-1000", -M("12.34")},
      {"2014-06-30", "9-1000", M("7.77")},      // its last day
      {"2014-07-01", "6-1000", M("555.00")},    // after it
  };
  // Same number, two names; same number classed as income in one file and other
  // income in another; an account of only one file; a sub-account of level 3.
  const GroupMember a{"Alpha.MYO", "GROUPNAME=NORTH CONSOLIDATE 60% SHORTNAME=ALPHACOMPANY EMPLOYEES=12",
                      {{"4-2000", "Fees", 'D', 2, "I"}, {"6-1100", "Casual Wages", 'D', 3, "EXP"}},
                      trade};
  std::vector<GroupLine> betaLines = trade;
  betaLines.push_back({"2013-12-01", "4-2000", -M("100.00")});
  betaLines.push_back({"2013-12-01", "6-3000", M("80.00")});
  const GroupMember b{"beta.myo", "group name: north consolidate 33.333% shortname=b employees 4",
                      {{"4-2000", "Commission", 'D', 2, "OI"}, {"6-3000", "Travel", 'D', 2, "EXP"}},
                      betaLines};
  const std::string alpha = BuildMember(folder, a);
  const std::string beta = BuildMember(folder, b);
  BuildMember(folder, {"Gamma.MYOX", "CONSOLIDATE 50%", {}, trade});
  BuildMember(folder, {"NoSettings.MYO", std::nullopt, {}, trade});
  BuildMember(folder, {"Locked.MYO", "", {}, trade, 6, {{"Boss", "secret"}}});
  WriteBytes(folder + "/Notes.MYO", "not a company file\n");
  fs::create_directories(folder + "/Sub.MYO");

  Run({.folder = folder, .excel = true});

  const ConsolidationData& d = Consolidation;
  EXPECT_EQ(d.ConsPath, folder + "/");
  EXPECT_EQ(d.FoundFiles, (std::vector<std::string>{"Alpha.MYO", "Locked.MYO", "NoSettings.MYO", "Notes.MYO",
                                                    "beta.myo"}));
  EXPECT_EQ(Names(d), (std::vector<std::string>{"Alpha.MYO", "beta.myo"}));
  EXPECT_EQ(d.ConsFileCount, 2);
  EXPECT_EQ(d.PercentFileCount, 2);
  EXPECT_EQ(d.MaxConsFiles, 30);
  EXPECT_DOUBLE_EQ(d.FilePercent[1], 60);
  EXPECT_DOUBLE_EQ(d.FilePercent[2], 33.333);
  EXPECT_EQ(d.FileShortName[1], "ALPHACOM");
  EXPECT_EQ(d.FileShortName[2], "B");
  EXPECT_FLOAT_EQ(d.FileEmployees[1], 12);
  EXPECT_FLOAT_EQ(d.FileEmployees[2], 4);

  ExpectBalancesMatchSql(1, alpha, 60, "2013-07-01", "2014-06-30");
  ExpectBalancesMatchSql(2, beta, 33.333, "2013-07-01", "2014-06-30");
  EXPECT_EQ(d.FileAccNumber[1][1], "4-1000");
  EXPECT_EQ(d.FileAccBalance[1][1], M("750.33"));  // (1000.00 + 250.55) x 60%, income read positive

  // The combined table: one entry per number, class and type, named from the first file.
  std::map<std::string, std::pair<std::string, int>> combined;
  for (int i = 1; i <= d.ConsAccCount; ++i) {
    const size_t k = static_cast<size_t>(i);
    combined[d.ConsAccNumber[k] + " " + d.ConsAccClass[k] + " " + d.ConsAccType[k]] = {d.ConsAccName[k],
                                                                                        d.ConsAccFileCount[k]};
    EXPECT_LE(d.ConsAccLevel[k], 2);
  }
  const std::map<std::string, std::pair<std::string, int>> want = {
      {"4-1000 04IN D", {"Sales", 2}},         {"4-2000 04IN D", {"Fees", 1}},
      {"4-2000 08OI D", {"Commission", 1}},    {"5-1000 05CO D", {"Purchases", 2}},
      {"6-1000 06EX D", {"Wages", 2}},         {"6-1100 06EX D", {"Casual Wages", 1}},
      {"6-3000 06EX D", {"Travel", 1}},        {"8-1000 08OI D", {"Interest Income", 2}},
      {"9-1000 09OE D", {"Bank Charges", 2}},
  };
  EXPECT_EQ(combined, want);

  // One refusal message per file that could not be opened, each naming its file, then
  // the workbook's.
  const std::vector<std::string> messages = ui_->Messages();
  ASSERT_EQ(messages.size(), 4u) << ::testing::PrintToString(messages);
  EXPECT_EQ(messages[0].substr(0, 40), "Please ensure that the file you select i");
  for (size_t i = 1; i < 3; ++i) EXPECT_EQ(messages[i].rfind(kRefusedConnection, 0), 0u) << messages[i];
  EXPECT_NE(messages[1].find(folder + "/Locked.MYO"), std::string::npos) << messages[1];
  EXPECT_NE(messages[2].find(folder + "/Notes.MYO"), std::string::npos) << messages[2];
  EXPECT_EQ(messages[3].rfind("An Excel file has been created as follows:", 0), 0u) << messages[3];
  ExpectUserConnection();
}

// The two fixed group folders, with and without a group filter: every file the builder
// says is accepted is read, with its settings as the builder wrote them, and its balances
// agree with its own journal of the period weighted by its percentage. The folder users
// get (the build's) shows no message of its own; in the test-case one each file that
// refuses the connection is told, by name.
TEST_F(GroupRunTest, SampleGroupFoldersAgainstTheirJournals) {
  struct Case {
    std::string folder;
    std::vector<samples::GroupFolderFile> files;
    std::vector<std::string> groups;
  };
  const std::string cases = Path("cases");
  const std::vector<Case> folders = {
      {samples::SamplePath(samples::kGroupFolder), samples::GroupFolderFiles(), {"", "NORTH", "SOUTH"}},
      {cases, samples::BuildGroupFolder(cases, {.sample = samples::GroupSample::Cases}), {"", "NORTH"}},
  };
  for (const Case& c : folders) {
    for (const std::string& group : c.groups) {
      SCOPED_TRACE(c.folder + " " + group);
      G.CurrentYear = 2026;  // the period dialog offers the years around the sample's
      ui_->Clear();
      for (const char* earlier : {"Group.xlsx", "Group.XLSX"}) fs::remove(Path(earlier));
      Run({.folder = c.folder, .group = group, .excel = true});
      std::vector<const samples::GroupFolderFile*> accepted;
      std::vector<std::string> refusing;
      for (const auto& f : c.files) {
        if (f.listed && !f.connects) refusing.push_back(c.folder + "/" + f.name);
        if (f.accepted && (group.empty() || f.group == group)) accepted.push_back(&f);
      }
      const ConsolidationData& d = Consolidation;
      ASSERT_EQ(d.PercentFileCount, static_cast<int16_t>(accepted.size()));
      for (size_t i = 0; i < accepted.size(); ++i) {
        const samples::GroupFolderFile& f = *accepted[i];
        const size_t k = i + 1;
        SCOPED_TRACE(f.name);
        EXPECT_EQ(d.ConsFileName[k], f.name);
        EXPECT_DOUBLE_EQ(d.FilePercent[k], f.percent);
        EXPECT_EQ(d.FileShortName[k], f.shortName);
        EXPECT_FLOAT_EQ(d.FileEmployees[k], static_cast<float>(f.employees));
        ExpectBalancesMatchSql(static_cast<int>(k), c.folder + "/" + f.name, f.percent, "2025-07-01", "2026-06-30");
      }
      // Besides the output's own two boxes (the reminder before the save box, the file
      // created), only the refusals, in the folder's order.
      std::vector<std::string> others;
      for (const auto& s : ui_->shown)
        if (s.kind == "message" && s.title != "Output File" && s.title != "Data File Created") others.push_back(s.text);
      ASSERT_EQ(others.size(), refusing.size()) << ::testing::PrintToString(others);
      for (size_t i = 0; i < refusing.size(); ++i) {
        EXPECT_EQ(others[i].rfind(kRefusedConnection, 0), 0u) << others[i];
        EXPECT_NE(others[i].find(refusing[i]), std::string::npos) << others[i];
      }
      ExpectUserConnection();
    }
  }
}

TEST_F(GroupRunTest, CommonHeadersKeepLevelsAndHeaders) {
  const std::string folder = Path("group");
  BuildMember(folder, {"A.MYO", "",
                       {{"6-2000", "Occupancy", 'H', 2, "EXP"}, {"6-2100", "Rent", 'D', 3, "EXP"},
                        {"6-2110", "Rent Office", 'D', 4, "EXP"}},
                       {{"2014-01-10", "6-2110", M("10.00")}}});
  G.PrintLevel = 4;
  Run({.folder = folder, .excel = true, .headers = true});
  const ConsolidationData& d = Consolidation;
  std::map<std::string, std::pair<std::string, int>> rows;
  for (int i = 1; i <= d.ConsAccCount; ++i) {
    const size_t k = static_cast<size_t>(i);
    rows[d.ConsAccNumber[k]] = {d.ConsAccType[k], d.ConsAccLevel[k]};
  }
  EXPECT_EQ(rows["6-2000"], (std::pair<std::string, int>{"UH", 2}));
  EXPECT_EQ(rows["6-2110"], (std::pair<std::string, int>{"D", 4}));
  EXPECT_EQ(rows.count("6-0000"), 0u);  // level-1 headers never
  EXPECT_EQ(G.PrintLevel, 4);

  Run({.folder = folder, .excel = true, .headers = false});
  for (int i = 1; i <= Consolidation.ConsAccCount; ++i) {
    EXPECT_NE(Consolidation.ConsAccType[static_cast<size_t>(i)], "UH");
    EXPECT_LE(Consolidation.ConsAccLevel[static_cast<size_t>(i)], 2);
  }
  EXPECT_EQ(G.PrintLevel, 2);
}

TEST_F(GroupRunTest, FileLimitsCountAcceptedFilesOnly) {
  struct Case {
    int files;
    bool excel;
    int16_t limit;
    std::string leftOut;
  };
  for (const Case& c : {Case{8, false, 6, "2 files were"}, Case{31, true, 30, "1 file was"}}) {
    SCOPED_TRACE(c.files);
    const std::string folder = Path("limit" + std::to_string(c.files));
    for (int i = 1; i <= c.files; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "F%02d.MYO", i);
      BuildMember(folder, {name, "CONSOLIDATE 50%", {}, {{"2014-01-10", "4-1000", -M("2.00")}}});
    }
    ui_->Clear();
    Run({.folder = folder, .excel = c.excel});
    const ConsolidationData& d = Consolidation;
    EXPECT_EQ(d.MaxConsFiles, c.limit);
    EXPECT_EQ(d.ConsFileCount, c.files);
    EXPECT_EQ(d.PercentFileCount, c.limit);
    char last[16];
    std::snprintf(last, sizeof last, "F%02d.MYO", c.limit);
    EXPECT_EQ(d.ConsFileName[static_cast<size_t>(c.limit)], last);
    EXPECT_EQ(d.ConsAccFileCount[1], c.limit);  // 4-1000 is the first entry
    // One box for the files over the limit, then the report's own stop: too many files
    // for a column each.
    std::vector<std::string> limits;
    for (const auto& s : ui_->shown)
      if (s.kind == "message" && s.title == "Maximum data files") limits.push_back(s.text);
    ASSERT_EQ(limits.size(), 2u);
    EXPECT_EQ(limits[0], "Maximum data files for consolidation is " + std::to_string(c.limit) + "\r\n\r\n" +
                             c.leftOut + " left out.");
    EXPECT_EQ(limits[1], "Maximum data files for showing separate columns is " + std::to_string(c.limit));
    ExpectUserConnection();
  }
}

TEST_F(GroupRunTest, EveryWayOutReconnectsTheUsersFile) {
  const std::string north = Path("north");
  BuildMember(north, {"N1.MYO", "GROUPNAME=NORTH CONSOLIDATE 60%", {}, {}});
  const std::string refused = Path("refused");
  BuildMember(refused, {"R1.MYO", "", {}, {}, 6, {{"Boss", "secret"}}});
  WriteBytes(refused + "/R2.MYO", "text");
  const std::string none = Path("none");
  fs::create_directories(none);
  WriteBytes(none + "/Other.MYOX", "");
  WriteBytes(none + "/Readme.txt", "");
  struct Case {
    std::string name;
    RunOptions options;
    std::vector<std::pair<std::string, std::string>> messages;  // title, text (text prefix for refusals)
    int excelFailure = 0;
  };
  const std::string groupMessage = "No matching files found for Group = 'SOUTH' \r\n  - please read the Help Notes ";
  const std::string percentMessage = "No Percentage found for Consolidation - please read the Help Notes ";
  const std::vector<Case> cases = {
      {"no company file", {.folder = none}, {{"No Files found", "No MYOB data files (MYO) found in specified folder "}}},
      {"no folder",
       {.folder = Path("missing")},
       {{"No Files found", "The company file folder " + Path("missing") + "/ cannot be read - No such file or directory"}}},
      {"no file of the group", {.folder = north, .group = "SOUTH"}, {{"No Percentage found", groupMessage}}},
      {"a filter typed in lower case with blanks", {.folder = north, .group = " north "},
       {{"No data for report", "No output to print for Report "}}},
      {"a filter of another group, as typed", {.folder = north, .group = "south "},
       {{"No Percentage found", groupMessage}}},
      {"no file opens",
       {.folder = refused},
       {{"", kRefusedConnection}, {"", kRefusedConnection}, {"No Percentage found", percentMessage}}},
      {"the workbook cannot be started", {.folder = north, .excel = true},
       {{"Output File", "Please ensure that the file you select"}, {"Opening Excel file", "An error has occurred - "}},
       err::CannotCreateObject},
      {"the group matches, nothing moved", {.folder = north, .group = "NORTH"},
       {{"No data for report", "No output to print for Report "}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_->Clear();
    excel::Environment().createFailure = c.excelFailure;
    Run(c.options);
    excel::Environment().createFailure = 0;
    EXPECT_EQ(G.ConsGroupName, c.options.group);  // the setting keeps what was typed
    std::vector<ui::ScriptedUi::Shown> shown;
    for (const auto& s : ui_->shown)
      if (s.kind == "message") shown.push_back(s);
    ASSERT_EQ(shown.size(), c.messages.size());
    for (size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(shown[i].title, c.messages[i].first);
      EXPECT_EQ(shown[i].text.substr(0, c.messages[i].second.size()), c.messages[i].second);
    }
    ExpectUserConnection();
  }
  EXPECT_EQ(Consolidation.GroupMatchCount, 1);
  EXPECT_EQ(Consolidation.ConsFileName[1], "N1.MYO");
}

// A signal at a box of a run writes the settings and data-set files at once, while a member
// file may be connected; Exit writes them again once the run has ended. Every write holds
// the user's own company file, as Exit's does: none names a member as the company file,
// nor writes a member's data-set file.
TEST_F(GroupRunTest, TheSettingsWrittenAtAnyBoxOfTheRunAreTheUsersOwn) {
  const std::string north = Path("north");
  BuildMember(north, {"N1.MYO", "GROUPNAME=NORTH CONSOLIDATE 60%", {}, {{"2014-01-10", "4-1000", -M("2.00")}}});
  BuildMember(north, {"N2.MYO", "GROUPNAME=NORTH CONSOLIDATE 40%", {}, {}});
  const std::string refused = Path("refused");
  BuildMember(refused, {"R1.MYO", "", {}, {}, 6, {{"Boss", "secret"}}});
  BuildMember(refused, {"R2.MYO", "", {}, {}, 6, {{"Boss", "secret"}}});
  struct Case {
    std::string name;
    RunOptions options;
    bool signal;  // the program asked to end at the first box about a member
  };
  const std::vector<Case> cases = {
      {"no file of the group, the last member connected", {.folder = north, .group = "SOUTH"}, false},
      {"no file opens", {.folder = refused}, false},
      {"a signal at the first member's box", {.folder = refused}, true},
  };
  ASSERT_EQ(G.DataSetFile, "QVXDataSet-Own.Txt");
  // The settings file and every data-set file that names a company.
  const auto written = [&] {
    std::string files = ReadBytes(IniPath());
    for (const auto& entry : fs::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      if (!name.starts_with("QVXDataSet-")) continue;
      if (const std::string bytes = ReadBytes(entry.path().string()); bytes != "DS-CompanyName=\r\n")
        files += "\n" + name + ": " + bytes;
    }
    return files;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_->Clear();
    std::vector<std::string> atMemberBoxes;
    bool writing = false, signalled = false;
    ui_->at = [&](const std::string& kind) {
      // A signal at a dialog of the run cancels it (ProgramEndTest).
      if (writing || kind != "message" || DataSource::Instance().ODBCDataFile == ownFile_) return;
      writing = true;
      SaveSettingsOnExit();
      writing = false;
      atMemberBoxes.push_back(written());
      if (c.signal && !signalled) ui::BeginProgramEnd();
      signalled = true;
    };
    RunReport([&] { Run(c.options); });
    ui_->at = nullptr;
    // Each member file's boxes are told through a service of its own: the end asked for
    // goes on when it is removed, and the boxes that follow are not shown.
    EXPECT_EQ(sys::ProgramEnding(), c.signal);
    ui::SetUi(ui::SetUi(nullptr));  // the end asked for, forgotten
    SaveSettingsOnExit();
    const std::string exitWrote = written();
    EXPECT_NE(exitWrote.find("\r\nODBCDataFile=" + ownFile_ + "\r\n"), std::string::npos) << exitWrote;
    EXPECT_NE(exitWrote.find("\nQVXDataSet-Own.Txt: DS-CompanyName=Own Books Pty Ltd\r\n"), std::string::npos);
    EXPECT_FALSE(atMemberBoxes.empty());
    for (const std::string& early : atMemberBoxes) EXPECT_EQ(early, exitWrote);
    ExpectUserConnection();
  }
}

// The user's own file cannot be opened again after the reading: no report headed with a
// member's company, and the connection's message once.
TEST_F(GroupRunTest, TheUsersFileGoneBeforeTheOutputEndsTheRun) {
  const std::string folder = Path("g");
  GroupMember member{"A.MYO", "CONSOLIDATE 50%", {}, {{"2014-01-10", "4-1000", -M("2.00")}}};
  member.year = 2015;
  BuildMember(folder, member);
  fs::rename(ownFile_, ownFile_ + ".away");
  Run({.folder = folder});
  const std::vector<std::string> messages = ui_->Messages();
  ASSERT_EQ(messages.size(), 1u) << ::testing::PrintToString(messages);
  EXPECT_EQ(messages[0].rfind(kRefusedConnection, 0), 0u) << messages[0];
  EXPECT_EQ(G.ReportOK, kFalse);
  EXPECT_EQ(G.PageNo, 0);
  EXPECT_EQ(SaveConnection(), userSettings_);
  EXPECT_FALSE(Conn.ODBCConnected);
  fs::rename(ownFile_ + ".away", ownFile_);
  // Exit writes the user's own data-set file and financial year, not the member's.
  EXPECT_EQ(G.DataSetFile, "QVXDataSet-Own.Txt");
  EXPECT_EQ(G.DataSetCompany, "Own Books Pty Ltd");
  EXPECT_EQ(G.FirstMonth, 7);
  EXPECT_EQ(G.CurrentYear, 2014);
}

TEST_F(GroupRunTest, DebugModeShowsEachFilesSettings) {
  const std::string folder = Path("g");
  BuildMember(folder, {"A.MYO", "GROUPNAME=NORTH CONSOLIDATE 33.333%", {}, {}});
  BuildMember(folder, {"B.MYO", "GROUPNAME=SOUTH CONSOLIDATE 50%", {}, {}});
  BuildMember(folder, {"C.MYO", "  Group Name:  north   consolidate 2.5 %", {}, {}});
  G.DebugMode = "ON";
  Run({.folder = folder, .group = "NORTH", .excel = true});
  std::vector<std::string> messages;
  for (const std::string& m : ui_->Messages())
    if (m.rfind("Group = ", 0) == 0 || m.rfind("CompanyPC = ", 0) == 0) messages.push_back(m);
  const std::string a = "\r\n\r\nCompany file " + folder + "/A.MYO";
  const std::string b = "\r\n\r\nCompany file " + folder + "/B.MYO";
  const std::string c = "\r\n\r\nCompany file " + folder + "/C.MYO";
  EXPECT_EQ(messages, (std::vector<std::string>{"Group = NORTH" + a, "CompanyPC = 33.333" + a, "Group = SOUTH" + b,
                                                "Group = NORTH" + c, "CompanyPC = 2.5" + c}));
  EXPECT_EQ(Consolidation.GroupMatchCount, 2);
  EXPECT_EQ(Consolidation.ConsFileCount, 2);
  EXPECT_EQ(Consolidation.ConsFileName[2], "C.MYO");
}

// The short-date file's folder is unusable (a link stands there) and the locale's picture
// is month-first: every connection of the run (three members, then the user's own file)
// checks the date and asks, and each Yes fails to save. The folder is told of once for
// each, as the user's own folder, never as a fault of the company file connected.
TEST_F(GroupRunTest, AnUnusableShortDateFolderIsToldOnceARun) {
  const std::string folder = Path("g");
  for (const char* name : {"A.MYO", "B.MYO", "C.MYO"})
    BuildMember(folder, {name, "CONSOLIDATE 50%", {}, {{"2014-01-10", "4-1000", -M("2.00")}}});
  const std::string config = Path("config");
  fs::create_directories(config + "/elsewhere");
  fs::create_directory_symlink(config + "/elsewhere", config + "/quorvex");
  struct Env {
    const char* name;
    std::optional<std::string> old;
  } saved[] = {{"XDG_CONFIG_HOME", {}}, {"LC_ALL", {}}};
  for (Env& e : saved)
    if (const char* v = std::getenv(e.name)) e.old = v;
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  ::setenv("LC_ALL", "C", 1);
  Run({.folder = folder});
  for (const Env& e : saved) {
    if (e.old) ::setenv(e.name, e.old->c_str(), 1);
    else ::unsetenv(e.name);
  }

  std::vector<std::string> aboutFolder;
  int asked = 0;
  for (const std::string& m : ui_->Messages()) {
    if (m.find(config + "/quorvex") != std::string::npos) aboutFolder.push_back(m);
    if (m.rfind(DateFormatMessage(false, "MM/DD/YY"), 0) == 0) ++asked;
  }
  const std::string why = "The folder " + config + "/quorvex is a link, not a folder.\r\r";
  EXPECT_EQ(aboutFolder, (std::vector<std::string>{why + "The short date format is not taken from there but from "
                                                         "the locale (LC_TIME).",
                                                   why + "The short date format could not be saved."}));
  EXPECT_EQ(asked, 4);
  EXPECT_EQ(Consolidation.PercentFileCount, 3);
  ExpectUserConnection();
}

TEST_F(GroupRunTest, CancelledDialogsLeaveTheConnectionAlone) {
  BuildMember(Path("g"), {"A.MYO", "", {}, {}});
  G.ConsPath = Path("g");
  ui_->QueueForm([](ui::Form& f) { dynamic_cast<DateRangeMthForm&>(f).Cancel_Click(); });
  std::string code = "CONPL";
  RunConsolidatedReport(code);
  EXPECT_TRUE(Consolidation.FoundFiles.empty());

  ui_->QueueForm([](ui::Form& f) { dynamic_cast<DateRangeMthForm&>(f).CmdOkay_Click(); });
  ui_->QueueForm([](ui::Form& f) { f.Form_QueryUnload(); });  // the close box
  RunConsolidatedReport(code);
  EXPECT_TRUE(Consolidation.FoundFiles.empty());
  EXPECT_TRUE(ui_->Messages().empty());
  ExpectUserConnection();
}

TEST_F(GroupRunTest, IncompleteSettingsAreNotTakenForAConnection) {
  // Without a user ID no connection is attempted and no error flag is set: no file may be
  // read on a connection that is not there.
  BuildMember(Path("g"), {"A.MYO", "", {}, {{"2014-01-10", "4-1000", -M("2.00")}}});
  BuildMember(Path("g"), {"B.MYO", "", {}, {}});
  DataSource::Instance().ODBCUserID = "";
  userSettings_ = SaveConnection();
  Run({.folder = Path("g"), .excel = true});
  std::vector<std::string> messages = ui_->Messages();
  ASSERT_FALSE(messages.empty());
  // Each member's box names it; the last one is about the user's own file.
  EXPECT_EQ(messages, (std::vector<std::string>{
                          messages[0], "ODBC Connection not established\r\n\r\nCompany file " + Path("g") + "/A.MYO",
                          "ODBC Connection not established\r\n\r\nCompany file " + Path("g") + "/B.MYO",
                          "No Percentage found for Consolidation - please read the Help Notes ",
                          "ODBC Connection not established"}));
  EXPECT_EQ(SaveConnection(), userSettings_);
  EXPECT_EQ(Consolidation.PercentFileCount, 0);
}

TEST_F(GroupRunTest, AnUnreadableJournalLineIsToldAndSkipped) {
  const std::string folder = Path("g");
  const std::string path = BuildMember(folder, {"A.MYO", "CONSOLIDATE 50%", {},
                                                {{"2014-01-10", "6-1000", M("100.00")},
                                                 {"2014-01-11", "6-1000", M("20.00")},
                                                 {"2014-01-12", "6-1000", M("3.00")}}});
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "UPDATE JournalRecords SET TaxExclusiveAmount = NULL WHERE TaxExclusiveAmount = 20", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
  }
  Run({.folder = folder, .excel = true});
  int errors = 0;
  for (const auto& s : ui_->shown)
    if (s.title == "Error Message") {
      EXPECT_EQ(s.text.rfind("An error has occurred - ", 0), 0u);
      EXPECT_NE(s.text.find("Company file " + path), std::string::npos) << s.text;
      ++errors;
    }
  EXPECT_EQ(errors, 1);
  const ConsolidationData& d = Consolidation;
  ASSERT_EQ(d.PercentFileCount, 1);
  for (int r = 1; r <= d.FileAccCount[1]; ++r) {
    if (d.FileAccNumber[1][static_cast<size_t>(r)] == "6-1000") {
      EXPECT_EQ(d.FileAccBalance[1][static_cast<size_t>(r)], M("51.50"));
    }
  }
  ExpectUserConnection();
}

TEST_F(GroupRunTest, AccountTablesGrowWithoutLosingEntries) {
  struct Case {
    int accounts;
    int32_t size;
  };
  // 190 stored accounts fit; 191 leave less than ten free entries and grow the tables
  // once after the reading; 250 grow them while reading.
  for (const Case& c : {Case{185, 200}, Case{186, 300}, Case{240, 300}}) {
    SCOPED_TRACE(c.accounts);
    GroupMember m{"A.MYO", "", {}, {}};
    for (int i = 0; i < c.accounts; ++i) {
      const std::string number = "6-" + std::to_string(2000 + i);
      m.accounts.push_back({number, "Expense " + number, 'D', 2, "EXP"});
    }
    m.lines.push_back({"2014-01-10", "6-" + std::to_string(2000 + c.accounts - 1), M("9.00")});
    const std::string folder = Path("grow" + std::to_string(c.accounts));
    const std::string path = BuildMember(folder, m);
    Run({.folder = folder, .excel = true});
    const ConsolidationData& d = Consolidation;
    EXPECT_EQ(d.ConsAccCount, c.accounts + 5);  // and the five detail accounts of the basic chart
    EXPECT_EQ(d.FileAccCount[1], c.accounts + 5);
    EXPECT_EQ(d.AccountArraySize, c.size);
    EXPECT_EQ(d.ConsAccNumber.size(), static_cast<size_t>(c.size) + 1);
    EXPECT_EQ(d.FileAccBalance[1].size(), static_cast<size_t>(c.size) + 1);
    EXPECT_EQ(d.FileAccBalance[30].size(), static_cast<size_t>(c.size) + 1);
    ExpectBalancesMatchSql(1, path, 100, "2013-07-01", "2014-06-30");
  }
}

TEST(CompanyFileListTest, SortedCaseInsensitiveMyoOnly) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  for (const char* name : {"b.MYO", "A.myo", "C.MyO", "D.MYOX", "E.MYO.bak", ".hidden.MYO", "F.txt", "Z.MYO"}) {
    std::ofstream(folder + "/" + name) << "x";
  }
  fs::create_directories(folder + "/Dir.MYO");
  const CompanyFileList list = ListCompanyFiles(folder + "/");
  EXPECT_TRUE(list.readable);
  EXPECT_EQ(list.names, (std::vector<std::string>{"A.myo", "C.MyO", "Z.MYO", "b.MYO"}));
  const CompanyFileList missing = ListCompanyFiles(folder + "/nowhere/");
  EXPECT_FALSE(missing.readable);
  EXPECT_FALSE(missing.error.empty());
  EXPECT_EQ(FolderWithSlash("/data/group"), "/data/group/");
  EXPECT_EQ(FolderWithSlash("/data/group/"), "/data/group/");
}

}  // namespace
}  // namespace qvx::test
