// Prepares the program folder for the run command: copies the sample company files into
// its "samples" folder and, when the user has no settings file yet, writes one that
// opens the Australian sample company through the registered driver. Its "CompanyName="
// line stays empty, as in the default file: a name there would name every company file
// connected for the first time. A settings file that exists is never touched.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "driver/AccessKey.h"
#include "platform/runtime/CommandLine.h"
#include "platform/runtime/Runtime.h"
#include "platform/sys/Sys.h"
#include "samples/SamplePaths.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: qvx-prepare-program-folder [PROGRAM_FOLDER]\n"
    "Copies the sample company files into PROGRAM_FOLDER/samples and, when it holds no\n"
    "settings file, writes one that opens the Australian sample company. PROGRAM_FOLDER\n"
    "is " QVX_PROGRAM_FOLDER " unless given; one whose name starts with \"-\" is\n"
    "given as ./-NAME.\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (qvx::cli::AsksForHelp(argv[i])) return qvx::cli::Help(std::cout, kUsage);
  if (argc > 2) return qvx::cli::Refuse(std::cerr, "qvx-prepare-program-folder", "one folder at most", kUsage);
  if (argc == 2 && argv[1][0] == '-')
    return qvx::cli::Refuse(std::cerr, "qvx-prepare-program-folder", std::string("unknown argument ") + argv[1], kUsage);
  const fs::path folder = fs::absolute(argc > 1 ? argv[1] : QVX_PROGRAM_FOLDER);
  const fs::path samples = folder / "samples";
  std::error_code ec;
  fs::create_directories(samples, ec);
  if (ec) {
    std::fprintf(stderr, "prepare: cannot make %s: %s\n", samples.c_str(), ec.message().c_str());
    return 1;
  }
  // Only the company files and the group folder: the build keeps its own files beside
  // them, and every Browse box would list those. Copied again only when the build made
  // newer ones.
  for (const char* name : {qvx::samples::kAustralianFile, qvx::samples::kUsaFile, qvx::samples::kAr2011File,
                           qvx::samples::kGroupFolder}) {
    fs::copy(qvx::samples::SamplePath(name), samples / name,
             fs::copy_options::recursive | fs::copy_options::update_existing, ec);
    if (ec) {
      std::fprintf(stderr, "prepare: cannot copy the sample file %s: %s\n", name, ec.message().c_str());
      return 1;
    }
  }

  const fs::path ini = folder / qvx::kIniFileName;
  if (fs::exists(ini, ec)) return 0;

  const std::string company = (samples / qvx::samples::kAustralianFile).string();
  const std::map<std::string, std::string> values = {
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
