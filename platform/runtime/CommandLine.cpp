#include "platform/runtime/CommandLine.h"

#include <ostream>

namespace qvx::cli {

bool AsksForHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

int Help(std::ostream& out, std::string_view usage) {
  out << usage << std::flush;
  return kHelped;
}

int Refuse(std::ostream& err, std::string_view program, std::string_view mistake, std::string_view usage) {
  err << program << ": " << mistake << "\n" << usage << std::flush;
  return kBadArguments;
}

}  // namespace qvx::cli
