// The operating system's own name for itself, from os-release(5).
#pragma once

#include <optional>
#include <string>

namespace qvx::sys {

// PRETTY_NAME of the os-release file ("Debian GNU/Linux 12 (bookworm)"), its quotes and
// escapes removed; nothing when the file cannot be read or has no such line.
std::optional<std::string> OsPrettyName(const std::string& path = "/etc/os-release");

}  // namespace qvx::sys
