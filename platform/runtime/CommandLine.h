// What every program of the project answers on its command line alike: asked with --help
// or -h, its usage on the standard output and status 0; given an argument it does not
// take, that argument named and its usage on the standard error, status 2, before it
// makes anything.
#pragma once

#include <iosfwd>
#include <string_view>

namespace qvx::cli {

inline constexpr int kHelped = 0, kBadArguments = 2;

// Whether an argument asks for the usage: "--help" or "-h".
bool AsksForHelp(std::string_view arg);

// Prints the usage on out; returns kHelped.
int Help(std::ostream& out, std::string_view usage);

// Prints "program: mistake" and the usage on err; returns kBadArguments.
int Refuse(std::ostream& err, std::string_view program, std::string_view mistake, std::string_view usage);

}  // namespace qvx::cli
