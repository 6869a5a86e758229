// The company information read after every connection: name, year, address, country,
// currencies, linked, tax-code and currency accounts; the data-set file's name and
// loading; and the check of the system's short-date format.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/CompanyFileData.h"

namespace qvx {

// The value of a locale item for the user, upper-cased; empty when there is none.
std::string GetLocaleValue(uint32_t type);

// Loads the data-set file named by G.DataSetFile from the program folder, creating it
// when it is missing; a new one takes the company name from the settings file.
void LoadDataSetFile();

// Checks the system's short-date format, asks to correct one the program cannot read
// (No ends the program), and sets G.DateFormat.
void CheckDateFormat();

// The question asked for a day-first (dayFirst) or month-first format that is not the
// one the program reads; shownFormat is the upper-cased format in force.
std::string DateFormatMessage(bool dayFirst, const std::string& shownFormat);

// Address lines 1 to 6 of an address text: each run of line breaks is one break, no
// empty line is made, and text after the sixth line's break is dropped.
std::array<std::string, 7> SplitAddress(std::string_view address);

// The company name up to its first blank, made safe as part of a file name: "/", "\"
// and control characters are removed and the name is kept short enough for a file name.
std::string MakeCompanyKey(std::string_view companyName);

}  // namespace qvx
