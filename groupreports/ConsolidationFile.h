// The reading of one company file of a group run, the file the run has just connected:
// its settings from the description of account "1-0000" (group, percentage, short name,
// employees), whether it takes part (group filter, file limit), its profit-and-loss
// accounts merged into the combined table and stored as the file's rows, and the journal
// amounts of the report period weighted by the file's percentage.
#pragma once

#include <cstdint>
#include <string>

#include "groupreports/ConsolidationData.h"

namespace qvx {

// The class code of a classification ("I" gives "04IN"); an unknown one is kept as it is.
// A current-liability classification turns a type "B" into "D".
std::string ClassCode(const std::string& classification, std::string& type);

class ConsolidationFileReader {
 public:
  explicit ConsolidationFileReader(ConsolidationData& data) : d_(data) {}

  // Reads the connected company file into the tables. Uses the group filter of the
  // tables (GroupFilter), G.DebugMode and the report period of G (year start, to date and the
  // period's keys); sets G.FirstMonth to the file's.
  void ReadConsolidationFile();

  // After a read: the file was accepted, under this index of the per-file tables.
  bool FileAccepted = false;
  int16_t FileIdx = 0;
  double CompanyPC = 0;
  std::string FileGroupName;

 private:
  struct AccountRow {
    int32_t id = 0;
    std::string number, name, type, classification, description;
    int16_t level = 0;
  };
  // Settings at account "1-0000"; false when the file is refused.
  bool TakeSettings(const std::string& description);
  void TakeAccount(AccountRow row);
  void AddJournalAmounts(int32_t accountId);

  ConsolidationData& d_;
  ChartHeaders headers_;  // of this file's chart
};

}  // namespace qvx
