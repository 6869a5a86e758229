// Reading a printed PDF back with poppler's pdftotext, for tests.
#pragma once

#include <cstdio>
#include <string>

namespace qvx::test {

// Everything a shell command writes to its standard output.
inline std::string CommandOutput(const std::string& cmd) {
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

// The text of one page (0: all pages), laid out as printed; with bbox, pdftotext's word
// boxes as HTML.
inline std::string PdfText(const std::string& pdf, int page = 0, bool bbox = false) {
  std::string cmd = bbox ? "pdftotext -bbox " : "pdftotext -layout ";
  if (page) cmd += "-f " + std::to_string(page) + " -l " + std::to_string(page) + " ";
  return CommandOutput(cmd + "'" + pdf + "' - 2>/dev/null");
}

}  // namespace qvx::test
