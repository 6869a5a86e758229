// The preferences dialog's public fields. The fields live on the one program-wide
// instance for the whole run; the window itself is built when the dialog is shown.
#pragma once

#include <string>

#include "platform/runtime/Runtime.h"

namespace qvx {

class Preferences {
 public:
  static Preferences& Instance();

  std::string DefaultJob;
  std::string BMSetting;
  Money BMSales;
  Money BMGrossProfit;
  Money BMNetProfit;
  Money BMStaff;
  bool ExitOkay = false;
};

}  // namespace qvx
