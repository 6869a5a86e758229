// TMPDIR for one test, as it was before at its end.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace qvx::test {

struct TmpdirScope {
  explicit TmpdirScope(const std::string& value) {
    if (const char* was = std::getenv("TMPDIR")) saved = was;
    ::setenv("TMPDIR", value.c_str(), 1);
  }
  ~TmpdirScope() { saved ? ::setenv("TMPDIR", saved->c_str(), 1) : ::unsetenv("TMPDIR"); }
  TmpdirScope(const TmpdirScope&) = delete;
  TmpdirScope& operator=(const TmpdirScope&) = delete;
  std::optional<std::string> saved;
};

}  // namespace qvx::test
