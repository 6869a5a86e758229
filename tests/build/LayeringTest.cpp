// The libraries depend one way: platform -> core services -> company-file access ->
// cash-basis engine -> the report folders -> the application (app/) -> the program's
// registration. A header of a library above, or of the sibling report folder, included
// from below would bring back the cycle the link order no longer allows; this test names
// every such include.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Layer {
  const char* folder;  // prefix of a path from the source root
  int rank;
};

const Layer kLayers[] = {
    {"platform/", 0}, {"driver/", 0}, {"core/", 1}, {"companyfile/", 2},
    {"cashbasis/", 3}, {"budgetreports/", 4}, {"groupreports/", 4}, {"app/", 5}, {"ProgramParts", 6},
};

const Layer* LayerOf(const std::string& path) {
  for (const auto& l : kLayers)
    if (path.rfind(l.folder, 0) == 0) return &l;
  return nullptr;
}

TEST(Layering, NoLibraryIncludesAHeaderOfALibraryAboveIt) {
  const fs::path root = QVX_SOURCE_DIR;
  const std::regex include(R"re(^\s*#\s*include\s+"([^"]+)")re");
  std::vector<std::string> wrong;
  int files = 0;
  for (const char* dir : {"platform", "core", "companyfile", "cashbasis", "budgetreports", "groupreports", "app"}) {
    for (const auto& entry : fs::recursive_directory_iterator(root / dir)) {
      const auto ext = entry.path().extension();
      if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
      const std::string own = fs::relative(entry.path(), root).generic_string();
      const Layer* from = LayerOf(own);
      ASSERT_NE(from, nullptr) << own;
      ++files;
      std::ifstream in(entry.path());
      int lineNo = 0;
      for (std::string line; std::getline(in, line);) {
        ++lineNo;
        std::smatch m;
        if (!std::regex_search(line, m, include)) continue;
        const Layer* to = LayerOf(m[1]);
        if (!to) continue;  // a header beside the file, or outside the libraries
        const bool above = to->rank > from->rank;
        const bool sibling = to->rank == from->rank && std::string(to->folder) != from->folder && to->rank != 0;
        if (above || sibling) wrong.push_back(own + ":" + std::to_string(lineNo) + " includes " + m[1].str());
      }
    }
  }
  EXPECT_GT(files, 100) << "the source folders were not found under " << root;
  std::string list;
  for (const auto& w : wrong) list += "\n  " + w;
  EXPECT_TRUE(wrong.empty()) << "includes against the direction of the libraries:" << list;
}

}  // namespace
