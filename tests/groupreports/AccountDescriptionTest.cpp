// The keywords users type into the description of account "1-0000".
#include "groupreports/AccountDescription.h"

#include <gtest/gtest.h>

namespace qvx {
namespace {

struct Case {
  std::string description;
  std::string group;
  double percent;
  std::string shortName;
  float employees;
};

TEST(AccountDescriptionTest, KeywordsTable) {
  const Case cases[] = {
      {"GROUPNAME=NORTH CONSOLIDATE 60% SHORTNAME=NTH1 EMPLOYEES=12", "NORTH", 60, "NTH1", 12},
      {"GROUP NAME: NORTH", "NORTH", 100, "", 0},
      {"GROUPNAMENORTH", "ORTH", 100, "", 0},
      {"GROUPNAME=NORTH\r\nSHORTNAME=N1", "NORTH\r\nSHORTNAME=N1", 100, "N1", 0},
      {"GROUPNAME=   SOUTH   EAST", "SOUTH", 100, "", 0},
      {"SUBGROUPNAME=WEST", "WEST", 100, "", 0},
      {"GROUPNAME=", "", 100, "", 0},
      {"CONSOLIDATE 12.5 %", "", 12.5, "", 0},
      {"CONSOLIDATE=75%", "", 75, "", 0},
      {"CONSOLIDATE 0%", "", 100, "", 0},
      {"CONSOLIDATE 150%", "", 100, "", 0},
      {"CONSOLIDATE 100.5%", "", 100, "", 0},
      {"CONSOLIDATE 0.5%", "", 100, "", 0},
      {"CONSOLIDATE -5%", "", 5, "", 0},
      {"CONSOLIDATE ABC%", "", 100, "", 0},
      {"CONSOLIDATE 33.3333333%", "", 33.3333333, "", 0},
      {"CONSOLIDATE 100%", "", 100, "", 0},
      {"CONSOLIDATE 60", "", 100, "", 0},
      {"60% OWNED", "", 100, "", 0},
      {"60% OWNED. CONSOLIDATE", "", 60, "", 0},
      {"CONSOLIDATE 1 5%", "", 5, "", 0},
      {"CONSOLIDATE 50/60%", "", 60, "", 0},
      {"CONSOLIDATE 1.2.5%", "", 1.2, "", 0},
      {"CONSOLIDATE " + std::string(400, '9') + "%", "", 100, "", 0},
      {"SHORTNAME=NORTHERN1", "", 100, "NORTHERN1", 0},
      {"SHORTNAME = N1", "", 100, "=", 0},
      {"SHORTNAME: N1", "", 100, "", 0},
      {"SHORT NAME=AB\tCD", "", 100, "AB", 0},
      {"EMPLOYEES 25", "", 100, "", 25},
      {"EMPLOYEES=1250", "", 100, "", 125},
      {"EMPLOYEES: 7", "", 100, "", 7},
      {"EMPLOYEES 2.5", "", 100, "", 2.5f},
      {"EMPLOYEES 0.5", "", 100, "", 0},
      {"EMPLOYEES -3", "", 100, "", 0},
      {"EMPLOYEES", "", 100, "", 0},
      {"NUMBER OF EMPLOYEES 8", "", 100, "", 8},
      {"GROUPNAME=NORTH GROUPNAME=SOUTH CONSOLIDATE 40% CONSOLIDATE 50% EMPLOYEES 3 EMPLOYEES 9", "NORTH", 40, "", 3},
      {"  groupname  =  north  ", "=", 100, "", 0},
      {"", "", 100, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    std::string group = "stale", shortName = "stale";
    double percent = -1;
    float employees = -1;
    GetGroupName(c.description, group);
    GetConsolidatePercent(c.description, percent, shortName);
    GetEmployeeCount(c.description, employees);
    EXPECT_EQ(group, c.group);
    EXPECT_DOUBLE_EQ(percent, c.percent);
    EXPECT_EQ(shortName, c.shortName);
    EXPECT_FLOAT_EQ(employees, c.employees);
  }
}

}  // namespace
}  // namespace qvx
