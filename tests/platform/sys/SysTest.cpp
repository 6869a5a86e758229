#include <filesystem>
#include <fstream>
#include <set>

#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/runtime/Runtime.h"
#include "platform/sys/Sys.h"

namespace qvx {
namespace {

TEST(Sys, LineEndsOfEitherKind) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/lines.txt";
  struct Case {
    std::string bytes;
    size_t max;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {"a\r\nb\r\n", 61, {"a", "b"}},
      {"a\nb\n", 61, {"a", "b"}},
      {"a\rb", 61, {"a", "b"}},
      {"a\r\n\r\nb", 61, {"a", "", "b"}},
      {"a\n\rb\r\r\n", 61, {"a", "", "b", ""}},
      {"", 61, {}},
      {"\r\n", 61, {""}},
      {"1\n2\n3\n4", 2, {"1", "2"}},
      {"x=\xE9\x80", 61, {"x=\u00E9\u20AC"}},
  };
  for (auto& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
    EXPECT_EQ(sys::ReadTextLines(path, c.max), c.want) << c.bytes;
  }
  try {
    sys::ReadTextLines(dir.path().toStdString() + "/none.txt", 1);
    FAIL();
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), err::FileNotFound);
  }
}

TEST(Sys, CodePageRoundTripOfEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(sys::ToCp1252(sys::FromCp1252(all)), all);
  EXPECT_EQ(sys::ToCp1252("\xFF\xFE"), "??");  // not UTF-8
  struct Case {
    std::string bytes;
    bool utf8;
  } cases[] = {
      {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x88", true},
      {"Caf\xE9 Sales", false},          // Windows-1252
      {"\xC0\xAF", false},                // a longer form than needed
      {"\xED\xA0\x80", false},            // a surrogate
      {"\xF4\x90\x80\x80", false},        // past U+10FFFF
      {"\xE2\x82", false},                // cut short
      {"\xEF\xBF\xBD", true},             // U+FFFD itself
  };
  for (const auto& c : cases) EXPECT_EQ(sys::IsUtf8(c.bytes), c.utf8) << c.bytes;
}

// A program killed while it writes an output file leaves its scratch file beside the
// target; the next start removes it (found through its link in the program folder) and
// nothing else, and the target is as it was.
TEST(Sys, AKilledOutputLeavesAScratchFileThatTheNextStartRemoves) {
  namespace fs = std::filesystem;
  QTemporaryDir program, out;
  sys::SetProgramFolder(program.path().toStdString());
  const std::string target = out.path().toStdString() + "/report.pdf";
  std::ofstream(target) << "the earlier report";
  std::ofstream(out.path().toStdString() + "/.qvx-save-keepme") << "not ours to remove";
  fs::create_symlink(out.path().toStdString() + "/.qvx-save-keepme", program.path().toStdString() + "/QVXScratch.keep");
  std::ofstream(out.path().toStdString() + "/keep.txt") << "the user's";
  fs::create_symlink(out.path().toStdString() + "/keep.txt", program.path().toStdString() + "/QVXScratch.abcdef");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sys::ScratchFile scratch(target);
    std::ofstream(scratch.Path()) << "half a report";
    ::_exit(0);  // killed: no destructor runs
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  auto names = [](const QTemporaryDir& d) {
    std::set<std::string> n;
    for (const auto& e : fs::directory_iterator(d.path().toStdString())) n.insert(e.path().filename().string());
    return n;
  };
  ASSERT_EQ(names(out).size(), 4u);
  ASSERT_EQ(names(program).size(), 3u);
  sys::RemoveLeftoverScratchFiles();
  EXPECT_EQ(names(out), (std::set<std::string>{".qvx-save-keepme", "keep.txt", "report.pdf"}));
  EXPECT_EQ(names(program), std::set<std::string>{"QVXScratch.keep"});
  std::ifstream in(target);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the earlier report");
  sys::SetProgramFolder({});
}

TEST(Sys, ProgramFolder) {
  // Without a test folder: the folder of this test program.
  sys::SetProgramFolder({});
  EXPECT_EQ(sys::ProgramFolder() + "/", std::string(QVX_BINARY_DIR) + "/bin/");
  sys::SetProgramFolder("/tmp/x/");
  EXPECT_EQ(sys::InProgramFolder("Tallymoor.Ini"), "/tmp/x/Tallymoor.Ini");
  sys::SetProgramFolder({});
}

}  // namespace
}  // namespace qvx
