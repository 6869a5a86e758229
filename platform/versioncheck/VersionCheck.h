// The company-file version check: which ODBC driver a company file needs, its country
// and its version, read from the file itself.
//
// Each function takes the company file's path and a 255-character answer buffer. It
// returns the length of the answer (above 0) with the answer in the buffer, ended by a
// zero; or 0, with the buffer holding an empty text, for a file it cannot read (missing,
// a folder, not a company file, no company row, an empty value). The file is opened
// read-only and never changed.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qvx::versioncheck {

using AnswerBuffer = std::array<char, 255>;

int32_t GetDriverName(const std::string& companyFile, AnswerBuffer& answer);
int32_t GetCountry(const std::string& companyFile, AnswerBuffer& answer);
int32_t GetCompanyFileVersion(const std::string& companyFile, AnswerBuffer& answer);

// The answer as text: the buffer up to its terminating zero.
std::string AnswerText(const AnswerBuffer& answer);

}  // namespace qvx::versioncheck
