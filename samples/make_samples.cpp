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
    if (argc == 4 && std::string(argv[1]) == "--large") {
      qvx::samples::BuildLarge(argv[2], std::atoi(argv[3]));
      return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--driver-names") {
      for (const char* name : qvx::driver::kRegisteredDriverNames) std::printf("%s\n", name);
      return 0;
    }
    if (argc != 2) {
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
