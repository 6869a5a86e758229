// The version check over the sample company files and over files it cannot read.
#include <sqlite3.h>

#include <fstream>
#include <string>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/versioncheck/VersionCheck.h"
#include "samples/CompanyFile.h"
#include "samples/SamplePaths.h"

namespace qvx::versioncheck {
namespace {

struct Answers {
  int32_t driverResult, countryResult, versionResult;
  std::string driverName, country, version;
};

Answers Check(const std::string& file) {
  AnswerBuffer d{}, c{}, v{};
  // Leftovers in the buffers must not show through.
  d.fill('x');
  c.fill('x');
  v.fill('x');
  Answers a{GetDriverName(file, d), GetCountry(file, c), GetCompanyFileVersion(file, v), {}, {}, {}};
  a.driverName = AnswerText(d);
  a.country = AnswerText(c);
  a.version = AnswerText(v);
  return a;
}

TEST(VersionCheckTest, SampleFiles) {
  struct Case {
    const char* file;
    const char *driverName, *country, *version;
  };
  const Case cases[] = {
      {samples::kAustralianFile, "MYOAU1001", "Australia", "19.8"},
      {samples::kUsaFile, "MYOUSA1001", "United States", "19.8"},
      {samples::kAr2011File, "MYOB_AccountRight_2011", "Australia", "2011.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Answers a = Check(samples::SamplePath(c.file));
    EXPECT_EQ(a.driverName, c.driverName);
    EXPECT_EQ(a.country, c.country);
    EXPECT_EQ(a.version, c.version);
    EXPECT_EQ(a.driverResult, static_cast<int32_t>(a.driverName.size()));
    EXPECT_EQ(a.countryResult, static_cast<int32_t>(a.country.size()));
    EXPECT_EQ(a.versionResult, static_cast<int32_t>(a.version.size()));
  }
}

TEST(VersionCheckTest, FilesItCannotReadAnswerNothing) {
  QTemporaryDir dir;
  const std::string base = dir.path().toStdString();
  const std::string text = base + "/text.MYO";
  std::ofstream(text) << "not a database";
  const std::string emptyDb = base + "/empty.MYO";
  {
    sqlite3* db = nullptr;
    sqlite3_open(emptyDb.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE Other (x INTEGER)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  const std::string noRow = base + "/norow.MYO";
  {
    sqlite3* db = nullptr;
    sqlite3_open(noRow.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE DataFileInformation (DataBaseVersion TEXT, DataFileCountry TEXT)", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
  }
  for (const std::string& file : {std::string(), base, base + "/absent.MYO", text, emptyDb, noRow}) {
    SCOPED_TRACE(file);
    const Answers a = Check(file);
    EXPECT_EQ(a.driverResult, 0);
    EXPECT_EQ(a.countryResult, 0);
    EXPECT_EQ(a.versionResult, 0);
    EXPECT_EQ(a.driverName + a.country + a.version, "");
  }
}

TEST(VersionCheckTest, UnusualCompanyRows) {
  QTemporaryDir dir;
  struct Case {
    const char* country;
    std::string version;
    const char *driverName, *countryShown;
    std::string versionShown;
  };
  const std::string longVersion(400, '9');
  const Case cases[] = {
      {"NZ", "18.5", "MYONZ1001", "New Zealand", "18.5"},
      {"xx", "2013.1", "MYOB_AccountRight_2013", "xx", "2013.1"},
      {"", "", "", "", ""},                                  // nothing known: nothing answered
      {"uk", longVersion, "MYOUK1001", "United Kingdom", std::string(254, '9')},  // cut to the buffer
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.country);
    const std::string path = dir.path().toStdString() + "/c" + std::to_string(++n) + ".MYO";
    samples::CompanySetup setup;
    setup.country = c.country;
    setup.databaseVersion = c.version;
    { samples::CompanyFile f(path, setup); }
    const Answers a = Check(path);
    EXPECT_EQ(a.driverName, c.driverName);
    EXPECT_EQ(a.country, c.countryShown);
    EXPECT_EQ(a.version, c.versionShown);
    EXPECT_EQ(a.versionResult, static_cast<int32_t>(c.versionShown.size()));
  }
}

}  // namespace
}  // namespace qvx::versioncheck
