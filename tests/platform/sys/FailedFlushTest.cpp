// A file whose flush to the disk fails is not put in place of the earlier one: the disk
// may hold less than was written. The test program's own fsync stands in for the C
// library's and fails when a test asks it to (a full or failing disk, which no test
// folder can be made into).
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/runtime/Runtime.h"
#include "platform/sys/SafeSave.h"
#include "platform/sys/Sys.h"
#include "platform/sys/TemporaryFolder.h"

namespace {
// The error the next flushes fail with; 0 flushes as the C library does.
std::atomic<int> failingFlush{0};
}  // namespace

extern "C" int fsync(int fd) {
  if (const int e = failingFlush.load()) {
    errno = e;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace qvx {
namespace {
namespace fs = std::filesystem;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(FailedFlush, TheEarlierFileStaysAndNothingElseIsLeft) {
  struct Case {
    const char* writer;
    std::function<void(const std::string& target)> write;
  };
  const Case cases[] = {
      {"an output file",
       [](const std::string& target) {
         sys::ScratchFile scratch(target);
         scratch.Write("the new report");
         scratch.Commit();
       }},
      {"a settings file", [](const std::string& target) { sys::WriteTextLines(target, {"the new report"}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.writer);
    QTemporaryDir program, out;
    sys::SetProgramFolder(program.path().toStdString());
    const std::string target = out.path().toStdString() + "/report.pdf";
    std::ofstream(target) << "the earlier report";
    failingFlush = EIO;
    EXPECT_THROW(c.write(target), VbError) << "a failed flush went unnoticed";
    failingFlush = 0;
    EXPECT_EQ(Contents(target), "the earlier report");
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(out.path().toStdString())) left.insert(e.path().filename().string());
    EXPECT_EQ(left, std::set<std::string>{"report.pdf"});
    EXPECT_TRUE(fs::is_empty(program.path().toStdString()));
    sys::SetProgramFolder({});
  }
}

// What is written within a temporary folder goes with it, so it is not flushed; what is
// written elsewhere meanwhile still is.
TEST(FailedFlush, NothingWithinATemporaryFolderIsFlushed) {
  sys::TemporaryFolder temporary("qvx-flush-");
  QTemporaryDir elsewhere;
  const std::string within = temporary.DescriptorPath();
  failingFlush = EIO;
  EXPECT_NO_THROW(sys::WriteTextLines(within + "/settings.ini", {"kept"}));
  EXPECT_NO_THROW(sys::OwnFile(within + "/quorvex", "short-date").Write("dd/MM/yyyy\n"));
  EXPECT_THROW(sys::WriteTextLines(elsewhere.path().toStdString() + "/settings.ini", {"kept"}), VbError);
  EXPECT_THROW(sys::OwnFile(elsewhere.path().toStdString() + "/quorvex", "short-date").Write("x"), VbError);
  failingFlush = 0;
}

}  // namespace
}  // namespace qvx
