#include "platform/sys/OsRelease.h"

#include <fstream>

namespace qvx::sys {

namespace {

// A shell-style value: quoted with " or ', with backslash escapes inside double quotes.
std::string Unquote(const std::string& raw) {
  std::string v = raw;
  while (!v.empty() && (v.back() == '\r' || v.back() == ' ' || v.back() == '\t')) v.pop_back();
  if (v.size() >= 2 && v.front() == '\'' && v.back() == '\'') return v.substr(1, v.size() - 2);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
    std::string out;
    for (size_t i = 1; i + 1 < v.size(); ++i) {
      if (v[i] == '\\' && i + 2 < v.size()) ++i;
      out += v[i];
    }
    return out;
  }
  return v;
}

}  // namespace

std::optional<std::string> OsPrettyName(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string line;
  std::optional<std::string> found;
  while (std::getline(in, line)) {
    const std::string key = "PRETTY_NAME=";
    if (line.compare(0, key.size(), key) == 0) found = Unquote(line.substr(key.size()));
  }
  return found;
}

}  // namespace qvx::sys
