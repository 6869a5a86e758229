// A clean program state in a temporary program folder, with the scripted user interface.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "budgetreports/BudgetReports.h"
#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/Globals.h"
#include "app/MainF.h"
#include "core/Preferences.h"
#include "core/Startup.h"
#include "app/ProgramStart.h"
#include "groupreports/GroupReports.h"
#include "platform/sys/Sys.h"
#include "support/TestUi.h"

namespace qvx::test {

class CoreTest : public ::testing::Test {
 public:
  static std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.path().toStdString();
    sys::SetProgramFolder(folder_);
    G = Globals{};
    Conn = ConnectionState{};
    Preferences::Instance() = Preferences{};
    FilterBGTFC::Instance() = FilterBGTFC{};
    FilterCons::Instance() = FilterCons{};
    DataSource::Instance() = DataSource{};
    Startup = StartupState{};
    ui_->Clear();
  }
  void TearDown() override {
    MainF::Instance().DestroyWindow();
    sys::SetProgramFolder({});
    Startup = StartupState{};
  }

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  std::string IniPath() const { return Path("Tallymoor.Ini"); }

  static void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  // Lines joined with CR LF after each.
  static std::string CrLf(std::initializer_list<std::string> lines) {
    std::string s;
    for (auto& l : lines) s += l + "\r\n";
    return s;
  }

  QTemporaryDir dir_;
  std::string folder_;
  ScriptedUiScope ui_;
};

}  // namespace qvx::test
