#include "platform/excel/ExcelProbe.h"

#include "platform/excel/Excel.h"

namespace qvx {

// Asks a fresh application object, as a probe of an installed spreadsheet program would.
std::string ProbeExcelVersion() {
  auto app = excel::Application::Create();
  std::string version = app->Version();
  app->Quit();
  return version;
}

}  // namespace qvx
