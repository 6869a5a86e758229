#include "groupreports/GroupSettings.h"

#include "core/Settings.h"
#include "groupreports/FilterCons.h"

namespace qvx {

void BindGroupReportSettings() {
  BindSetting("GroupColPosn", [] { return SettingTarget(&FilterCons::Instance().GroupColPosn); });
  BindSetting("IncludeAverage", [] { return SettingTarget(&FilterCons::Instance().IncludeAverage); });
  BindSetting("RoundWhole", [] { return SettingTarget(&FilterCons::Instance().RoundWhole); });
  BindSetting("ShowFigures", [] { return SettingTarget(&FilterCons::Instance().ShowFigures); });
  BindSetting("ShowHeaders", [] { return SettingTarget(&FilterCons::Instance().ShowHeaders); });
}

}  // namespace qvx
