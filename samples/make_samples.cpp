// qvx-make-samples FOLDER            builds the sample company files into FOLDER
// qvx-make-samples --large FILE N    builds one file of about N journal lines
// qvx-make-samples --driver-names    prints the driver names its files name, one a line
//                                    (what scripts/register-odbc.sh registers)
#include "driver/AccessKey.h"
#include "samples/SampleBooks.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char** argv) {
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
    // An option it does not know ("--help", "-h", a misspelt one), or a known one with the
    // wrong arguments, is a mistake to name, not a folder to fill: a folder whose name
    // starts with "-" is given as "./-name".
    if (argc != 2 || first.starts_with("-")) {
      std::fprintf(stderr, "usage: qvx-make-samples FOLDER | --large FILE JOURNAL_LINES | --driver-names\n");
      return 2;
    }
    qvx::samples::BuildAll(argv[1]);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qvx-make-samples: %s\n", e.what());
    return 1;
  }
}
