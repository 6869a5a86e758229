// What a benchmark of the company-file readers sets up once: the private ODBC registration,
// a scripted user interface, a program folder of its own, and the connection settings of
// the sample companies' driver and user (the file is the benchmark's own).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "companyfile/DataSource.h"
#include "platform/sys/Sys.h"
#include "platform/ui/ScriptedUi.h"
#include "tests/support/OdbcTestEnv.h"

namespace qvx::test {

struct BenchSession {
  std::unique_ptr<ui::UiService> previousUi;
  std::string programFolder;

  explicit BenchSession(std::string folder) : programFolder(std::move(folder)) {
    UsePrivateOdbcRegistration();
    previousUi = ui::SetUi(std::make_unique<ui::ScriptedUi>());
    std::filesystem::create_directories(programFolder);
    sys::SetProgramFolder(programFolder);
    DataSource& ds = DataSource::Instance();
    ds.ODBCAccessMode = "R";
    ds.ODBCDriver = "MYOAU1001";
    ds.ODBCUserID = "Administrator";
    ds.ODBCProduct = "/opt/accounts/accounts.exe";
  }
};

}  // namespace qvx::test
