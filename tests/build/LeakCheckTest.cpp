// The leak suppressions silence system libraries only: an object of ours that leaks in
// a handler Qt calls must still fail the tests.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <QPushButton>
#include <gtest/gtest.h>

namespace {

struct Leaked {
  std::array<int, 16> data{};
};
Leaked* volatile lastLeaked = nullptr;

// Run only as the child of the test below: leaks from a clicked button's handler.
TEST(LeakCheck, ChildLeaksInAHandler) {
  if (!std::getenv("QVX_LEAK_CHILD")) GTEST_SKIP() << "runs only as a child process";
  QPushButton button;
  QObject::connect(&button, &QPushButton::clicked, [] {
    lastLeaked = new Leaked;  // NOLINT: the leak under test
    lastLeaked = nullptr;
  });
  button.click();
}

TEST(LeakCheck, OurLeakInAQtHandlerIsReported) {
#if defined(__SANITIZE_ADDRESS__)
  std::array<char, 4096> self{};
  ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
  ASSERT_GT(n, 0);
  std::string cmd = "QVX_LEAK_CHILD=1 ASAN_OPTIONS=abort_on_error=0 '" + std::string(self.data()) +
                    "' --gtest_filter=LeakCheck.ChildLeaksInAHandler 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
  ASSERT_TRUE(pipe);
  std::string out;
  std::array<char, 4096> buf{};
  while (size_t got = fread(buf.data(), 1, buf.size(), pipe.get())) out.append(buf.data(), got);
  int status = pclose(pipe.release());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << out;
  EXPECT_NE(out.find("LeakSanitizer: detected memory leaks"), std::string::npos) << out;
  EXPECT_NE(out.find("64 byte(s) leaked"), std::string::npos) << out;
#else
  GTEST_SKIP() << "built without the sanitizers";
#endif
}

}  // namespace
