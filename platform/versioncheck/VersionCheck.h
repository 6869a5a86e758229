// The company-file version check: which ODBC driver a company file needs, its country
// and its version, read from the file itself.
//
// Each function takes the company file's path and a 255-character answer buffer. It
// returns the length of the answer (above 0) with the answer in the buffer, ended by a
// zero; or 0, with the buffer holding an empty text, for a file it cannot read (missing,
// a folder, not a company file, no company row, an empty value). The file is opened
// read-only and never changed, and read within the bounds of Safeguards.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qvx::versioncheck {

using AnswerBuffer = std::array<char, 255>;

int32_t GetDriverName(const std::string& companyFile, AnswerBuffer& answer);
int32_t GetCountry(const std::string& companyFile, AnswerBuffer& answer);
int32_t GetCompanyFileVersion(const std::string& companyFile, AnswerBuffer& answer);

// Why the file gives no answers, in words that follow its name: it does not exist, may
// not be read by this user, is locked by another program that is writing it, holds a
// change another program did not finish, is in write-ahead-log mode out of this user's
// reach, could not be read within the bounds of every read of a company file
// (kReadingStopped), or is not a company file that can be read.
// Empty when the file answers. A lock is waited for up to 2 s, as by each function above.
std::string WhyNoAnswer(const std::string& companyFile);

// The answer as text: the buffer up to its terminating zero.
std::string AnswerText(const AnswerBuffer& answer);

}  // namespace qvx::versioncheck
