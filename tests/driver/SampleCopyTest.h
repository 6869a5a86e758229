// A test of the driver on its own copy of the Australian sample company, in a folder of the
// test's own (named after the process and the test, so that parallel runs never meet), read
// through the private ODBC registration.
#pragma once

#include "tests/support/OdbcTestEnv.h"

#include "samples/SamplePaths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace qvx::test {

class SampleCopyTest : public ::testing::Test {
 protected:
  // `prefix` names the folder, `name` the copy in it.
  SampleCopyTest(std::string prefix, std::string name) : prefix_(std::move(prefix)), name_(std::move(name)) {}

  void SetUp() override {
    UsePrivateOdbcRegistration();
    dir_ = std::filesystem::temp_directory_path() /
           (prefix_ + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    file_ = (dir_ / name_).string();
    std::filesystem::copy_file(samples::SamplePath(samples::kAustralianFile), file_);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Connection() const { return DirectConnectionString({.file = file_}); }

  std::filesystem::path dir_;
  std::string file_;

 private:
  std::string prefix_, name_;
};

}  // namespace qvx::test
