#include <gtest/gtest.h>

#include "platform/shell/Shell.h"

namespace qvx {

TEST(Shell, RecorderReceivesRequestsAndIsRemovedAfterItsScope) {
  {
    shell::RecordingScope rec(false);
    EXPECT_FALSE(shell::OpenWithDefaultProgram("/tmp/Budget.XLSX"));
    EXPECT_FALSE(shell::OpenWithDefaultProgram("https://example.org/"));
    EXPECT_EQ(rec.opened, (std::vector<std::string>{"/tmp/Budget.XLSX", "https://example.org/"}));
  }
  // Nested scopes restore the outer recorder.
  shell::RecordingScope outer;
  {
    shell::RecordingScope inner;
    shell::OpenWithDefaultProgram("a");
    EXPECT_EQ(inner.opened.size(), 1u);
  }
  shell::OpenWithDefaultProgram("b");
  EXPECT_EQ(outer.opened, std::vector<std::string>{"b"});
}

}  // namespace qvx
