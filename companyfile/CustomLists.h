// The company file's custom lists (named lists of values for customers, suppliers and
// items), read once after connecting and kept for the whole run, and the record of the
// group-definition dialog that chooses among them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvx {

// Custom-list entries, 1 to Count (slot 0 unused), with room for Max entries; the
// arrays grow in steps of 50.
struct CustomListArrays {
  std::vector<int32_t> IDs;          // CustomListID
  std::vector<std::string> Texts;    // CustomListText
  std::vector<int32_t> Numbers;      // CustomListNumber
  std::vector<std::string> Names;    // CustomListName
  std::vector<std::string> Types;    // "C", "S", "I" or "" for another type
  int32_t Count = 0;
  int32_t Max = 0;
};

// The module's program-wide lists and the switches they were read with.
struct CustomListsState {
  CustomListArrays Lists;
  bool AllCustLists = false;
  std::string CustListType;
};
inline CustomListsState CustLists;

// The public fields of the group-definition dialog that the reader keeps up to date.
// No command of the program opens that dialog, so it has no window.
class DefineGroupODBC {
 public:
  static DefineGroupODBC& Instance();

  int32_t CustomListsCustomer = 0;
  int32_t CustomListsSupplier = 0;
  int32_t CustomListsItem = 0;
  bool CustomListsRead = false;
  int32_t SelectedListNbr = 0;
};

// Reads every custom list of the connected file into lists. When typeFilter is not
// empty only entries whose type begins with it are taken; allLists False takes none.
// Failures (a query that gave no recordset included) are raised to the caller.
void ReadCustomLists(bool allLists, const std::string& typeFilter, CustomListArrays& lists);

}  // namespace qvx
