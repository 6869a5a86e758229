// The run command's preparation of the program folder, and a first start in it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <sqlite3.h>

#include <QProcess>
#include <QTemporaryDir>

#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/Globals.h"
#include "app/MainF.h"
#include "core/Startup.h"
#include "app/ProgramStart.h"
#include "platform/sys/Sys.h"
#include "samples/SamplePaths.h"
#include "support/OdbcTestEnv.h"
#include "support/TestUi.h"

namespace qvx::test {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Prepare(const std::string& folder) {
  QProcess p;
  p.start(QString(QVX_BINARY_DIR) + "/prepare-program-folder.sh", {QString::fromStdString(folder)});
  if (!p.waitForFinished(60000)) return -1;
  return p.exitCode();
}

TEST(PrepareProgramFolder, ANewUserStartsOnTheAustralianSampleCompany) {
  UsePrivateOdbcRegistration();
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString() + "/bin";
  ASSERT_EQ(Prepare(folder), 0);
  // Browse boxes opened there list the company files and the group folder, nothing of the build.
  std::set<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder + "/samples"))
    entries.insert(fs::relative(entry.path(), folder + "/samples").string());
  const std::set<std::string> shipped = {samples::kAustralianFile,
                                         samples::kUsaFile,
                                         samples::kAr2011File,
                                         samples::kGroupFolder,
                                         "Group/NorthHoldings.MYO",
                                         "Group/NorthRetail.MYO",
                                         "Group/NorthServices.MYO",
                                         "Group/SouthFreight.MYO",
                                         "Group/SouthTraders.MYO"};
  EXPECT_EQ(entries, shipped);

  const std::string ini = folder + "/Tallymoor.Ini";
  const std::string written = ReadBytes(ini);
  const std::string au = folder + "/samples/" + samples::kAustralianFile;
  for (const std::string line : {"BodyFont=9\r\n", "CompanyName=\r\n", "ODBCMode=Direct\r\n",
                                 "ODBCUserID=Administrator\r\n", "ODBCPassword=\r\n", "ODBCDriver=MYOAU1001\r\n",
                                 "LblWidth=\r\n"}) {
    EXPECT_NE(written.find(line), std::string::npos) << line;
  }
  EXPECT_NE(written.find("ODBCDataFile=" + au + "\r\n"), std::string::npos);
  EXPECT_NE(written.find("ODBCProduct=/"), std::string::npos);

  // A settings file the user already has is never replaced.
  const std::string mine = "BodyFont=10\r\nODBCDataFile=/my/own.MYO\r\n";
  { std::ofstream(ini, std::ios::binary | std::ios::trunc) << mine; }
  ASSERT_EQ(Prepare(folder), 0);
  EXPECT_EQ(ReadBytes(ini), mine);

  // The first start in the prepared folder shows the name the company file holds, not
  // one the preparation took from the sample.
  fs::remove(ini);
  ASSERT_EQ(Prepare(folder), 0);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(au.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "UPDATE DataFileInformation SET CompanyName = 'Bluegum Orchards Pty Ltd'", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ScriptedUiScope ui;
  sys::SetProgramFolder(folder);
  G = Globals{};
  Conn = ConnectionState{};
  DataSource::Instance() = DataSource{};
  Startup = StartupState{};
  Main();
  EXPECT_TRUE(Conn.ODBCConnected);
  EXPECT_EQ(G.DataSetCompany, "Bluegum Orchards Pty Ltd");
  EXPECT_EQ(MainF::Instance().Window()->Label5.text().toStdString(), "Bluegum Orchards Pty Ltd");
  EXPECT_TRUE(ui->Messages().empty()) << ui->Messages()[0];
  EXPECT_EQ(ReadBytes(folder + "/QVXDataSet-Bluegum.Txt"), "DS-CompanyName=\r\n");
  MainF::Instance().DestroyWindow();
  Conn = ConnectionState{};
  sys::SetProgramFolder({});
}

// The built program started in a prepared folder connects and ends cleanly, leaving its
// connection open at the end as it always does.
TEST(PrepareProgramFolder, TheBuiltProgramStartsConnectedAndEndsCleanly) {
  UsePrivateOdbcRegistration();
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  ASSERT_EQ(Prepare(folder), 0);
  fs::copy_file(fs::path(QVX_BINARY_DIR) / "bin" / "quorvex", fs::path(folder) / "quorvex");
  const std::string cmd = "cd '" + folder +
                          "' && QT_QPA_PLATFORM=offscreen QVX_QUIT_AFTER_START=1 "
                          "LSAN_OPTIONS=suppressions=" QVX_SOURCE_DIR "/tests/lsan.supp ./quorvex";
  const int rc = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(rc));
  EXPECT_EQ(WEXITSTATUS(rc), 0);
  EXPECT_EQ(ReadBytes(folder + "/QVXDataSet-Clearwater.Txt"), "DS-CompanyName=\r\n");
}

}  // namespace
}  // namespace qvx::test
