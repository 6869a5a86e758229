// What a company file says of itself, read straight from the file (no driver manager):
// the driver it needs, its country and its version. The connection dialog's check of a
// file uses it. Link qvx_driver_probe.
#pragma once

#include <optional>
#include <string>

namespace qvx::driver {

struct CompanyFileFacts {
  std::string driverName;  // kDirectDriverName, or kDsnDriverName for files of the newer product line
  std::string country;     // DataFileCountry
  std::string version;     // DataBaseVersion
};

// Opens the file read-only and reads it within the bounds of every read of a company file
// (platform/versioncheck/Safeguards.h); nothing when it is missing or not a company file.
std::optional<CompanyFileFacts> ProbeCompanyFile(const std::string& path);

}  // namespace qvx::driver
