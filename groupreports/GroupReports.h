// The group report "CONPL": a consolidated profit and loss over the company files of one
// folder. The run asks for the period and the options, saves the user's connection,
// connects each company file of the folder in turn and reads it, checks what it found,
// connects the user's own file again and hands the tables to the output stage; every
// way out after the connection was saved ends in FinishConsolidatedOutput.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/ReportOutput.h"
#include "groupreports/ConsolidationData.h"
#include "groupreports/FilterCons.h"

namespace qvx {

void RunConsolidatedReport(std::string& reportCode);

// The user's six connection settings, entries 1 to 6: mode, user ID, password, company
// file, driver, program.
using SavedConnection = std::array<std::string, 7>;
SavedConnection SaveConnection();
// Writes the six settings back into the connection record (no connection is made).
void RestoreConnection(const SavedConnection& saved);

// The company files of a folder: the names of its regular files that end in ".MYO" in any
// letter case (not ".MYOX", not hidden), sorted by character code. readable is false,
// with the system's reason in error, when the folder cannot be listed.
struct CompanyFileList {
  std::vector<std::string> names;
  bool readable = true;
  std::string error;
};
CompanyFileList ListCompanyFiles(const std::string& folder);

// A folder as the group report keeps it: ending in "/" (an empty one stays empty).
std::string FolderWithSlash(const std::string& folder);

// The end of every group run after the connection was saved: the six settings written
// back, the user's own company file connected again when `reconnect` (false when the run
// has already connected it, or tried to and told the user it failed), then the printer or
// workbook output ended as every report ends it.
struct ConsolidatedFinish {
  const SavedConnection& saved;
  ExcelObjects excel;
  bool reconnect = true;
};
void FinishConsolidatedOutput(const ConsolidatedFinish& finish);

}  // namespace qvx
