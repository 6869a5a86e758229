// The settings a company file carries for the group report in the description of its
// account "1-0000", written there by the user: the group it belongs to, the percentage at
// which it is consolidated, a short name for its column and its number of employees, as
// in "GROUPNAME=NORTH CONSOLIDATE 60% SHORTNAME=NTH1 EMPLOYEES=12". Users type this in the
// accounting program, so the format is fixed: keywords are found anywhere (also inside
// longer words), and missing or unreadable values fall back to the defaults below.
#pragma once

#include <string>

namespace qvx {

// The word after "GROUPNAME" (else "GROUP NAME"): the character right after the keyword
// is skipped, leading blanks too, and the next blank ends it. Empty without the keyword.
void GetGroupName(const std::string& description, std::string& groupName);

// The number just before the first "%" when "CONSOLIDATE" occurs, read backwards over
// digits and points; 100 when it is missing, unreadable or outside 1 to 100. The short
// name is the text after "SHORTNAME" (else "SHORT NAME") from the second character after
// the keyword to the next blank, tab or line break.
void GetConsolidatePercent(const std::string& description, double& percent, std::string& shortName);

// The number in the three characters after "EMPLOYEES" and the one skipped after it;
// 0 when missing or below 1.
void GetEmployeeCount(const std::string& description, float& employees);

}  // namespace qvx
