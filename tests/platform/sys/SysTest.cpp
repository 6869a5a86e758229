#include <fstream>

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
