// A clean connection and company state on top of the core's clean program state: a
// temporary program folder, the scripted user interface, the short-date picture
// "dd/MM/yyyy", and an os-release file of the test's own.
#pragma once

#include "../core/CoreFixture.h"
#include "companyfile/CompanyFileInfo.h"
#include "core/CompanyInfo.h"
#include "platform/locale/Locale.h"

namespace qvx::test {

class CompanyFileTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    Conn.OsReleaseFile = Path("os-release");
    Company = CompanyFileData{};
    DataSource::Instance().ODBCAccessMode = "R";
    SetPicture("dd/MM/yyyy");
  }
  void TearDown() override {
    Conn = ConnectionState{};
    SetPicture("dd/MM/yyyy");
    CoreTest::TearDown();
  }

  static void SetPicture(const std::string& picture) {
    locale::SetLocaleInfo(locale::kLocaleUserDefault, locale::kLocaleSShortDate, picture);
  }
};

}  // namespace qvx::test
