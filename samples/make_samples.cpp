// Builds the sample company files (see kUsage).
#include "driver/AccessKey.h"
#include "platform/runtime/CommandLine.h"
#include "samples/SampleBooks.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: qvx-make-samples FOLDER            builds the sample company files into FOLDER\n"
    "       qvx-make-samples --large FILE N    builds one file of about N journal lines\n"
    "       qvx-make-samples --driver-names    prints the driver names its files name, one a line\n"
    "                                          (what scripts/register-odbc.sh registers)\n"
    "A FOLDER whose name starts with \"-\" is given as ./-NAME.\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (qvx::cli::AsksForHelp(argv[i])) return qvx::cli::Help(std::cout, kUsage);
  try {
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 4 && first == "--large") {
      qvx::samples::BuildLarge(argv[2], std::atoi(argv[3]));
      return 0;
    }
    if (argc == 2 && first == "--driver-names") {
      for (const char* name : qvx::driver::kRegisteredDriverNames) std::printf("%s\n", name);
      return 0;
    }
    // An option it does not know, or a known one with the wrong arguments, is a mistake to
    // name, not a folder to fill.
    if (argc != 2 || first.starts_with("-")) {
      const bool known = first == "--large" || first == "--driver-names";
      const std::string mistake = argc == 1                          ? "no FOLDER given"
                                  : first.starts_with("-") && !known ? "unknown argument " + first
                                                                     : "wrong number of arguments";
      return qvx::cli::Refuse(std::cerr, "qvx-make-samples", mistake, kUsage);
    }
    qvx::samples::BuildAll(argv[1]);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qvx-make-samples: %s\n", e.what());
    return 1;
  }
}
