// Prepares the program folder for the run command: copies the sample company files into
// its "samples" folder and, when the user has no settings file yet, writes one that
// opens the Australian sample company through the registered driver. A settings file
// that exists is never touched.
//
//   qvx-prepare-program-folder [PROGRAM_FOLDER]     (default: the build's bin folder)
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "driver/AccessKey.h"
#include "platform/runtime/Runtime.h"
#include "platform/sys/Sys.h"
#include "samples/SamplePaths.h"

namespace fs = std::filesystem;

namespace {

// The company name the sample file holds, so that the first data-set file names it.
std::string CompanyNameOf(const std::string& file) {
  sqlite3* db = nullptr;
  std::string name;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT CompanyName FROM DataFileInformation", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0) != nullptr)
      name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = fs::absolute(argc > 1 ? argv[1] : QVX_PROGRAM_FOLDER);
  const fs::path samples = folder / "samples";
  std::error_code ec;
  fs::create_directories(samples, ec);
  if (ec) {
    std::fprintf(stderr, "prepare: cannot make %s: %s\n", samples.c_str(), ec.message().c_str());
    return 1;
  }
  // Copied again only when the build made newer ones.
  fs::copy(qvx::samples::SamplesDir(), samples,
           fs::copy_options::recursive | fs::copy_options::update_existing, ec);
  if (ec) {
    std::fprintf(stderr, "prepare: cannot copy the sample files: %s\n", ec.message().c_str());
    return 1;
  }

  const fs::path ini = folder / qvx::kIniFileName;
  if (fs::exists(ini, ec)) return 0;

  const std::string company = (samples / qvx::samples::kAustralianFile).string();
  const std::map<std::string, std::string> values = {
      {"CompanyName", CompanyNameOf(company)},
      {"ODBCMode", "Direct"},
      {"ODBCUserID", "Administrator"},
      {"ODBCPassword", ""},
      {"ODBCDataFile", company},
      {"ODBCProduct", QVX_DRIVER_PATH},
      {"ODBCDriver", qvx::driver::kDirectDriverName},
  };
  std::vector<std::string> lines;
  for (const std::string& line : qvx::DefaultIniLines()) {
    const std::string key = line.substr(0, line.find('='));
    auto it = values.find(key);
    lines.push_back(it == values.end() ? line : key + "=" + it->second);
  }
  try {
    qvx::WriteIniLines(ini.string(), lines);
  } catch (const qvx::VbError& e) {
    std::fprintf(stderr, "prepare: cannot write %s: %s\n", ini.c_str(), e.Description().c_str());
    return 1;
  }
  std::printf("prepare: %s names the sample company %s\n", ini.c_str(), company.c_str());
  return 0;
}
