// Company files built for a test and connected through the private driver registration,
// and a direct reader of those files for the figures the program must find.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "CompanyFileFixture.h"
#include "driver/AccessKey.h"
#include "support/OdbcTestEnv.h"

namespace qvx::test {

class CompanyReaderTest : public CompanyFileTest {
 protected:
  static void SetUpTestSuite() { UsePrivateOdbcRegistration(); }

  // Connects to file in the direct mode; the test fails when that does not work.
  void Connect(const std::string& file) {
    DataSource& ds = DataSource::Instance();
    ds.ODBCDataFile = file;
    ds.ODBCDriver = driver::kDirectDriverName;
    ds.ODBCUserID = "Administrator";
    ds.ODBCPassword.clear();
    ds.ODBCProduct = "/opt/accounts/accounts.exe";
    ds.MakeConnection();
    ASSERT_TRUE(Conn.ODBCConnected) << ::testing::PrintToString(ui_->Messages());
    ui_->Clear();
  }

  // Every row of a query on the file itself, each value as text ("" for NULL).
  static std::vector<std::vector<std::string>> Direct(const std::string& file, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_stmt* st = nullptr;
      if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
          std::vector<std::string> row;
          for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const unsigned char* t = sqlite3_column_text(st, i);
            row.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
          }
          rows.push_back(std::move(row));
        }
      } else {
        ADD_FAILURE() << sqlite3_errmsg(db);
      }
      sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows;
  }
};

}  // namespace qvx::test
