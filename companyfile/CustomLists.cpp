#include "companyfile/CustomLists.h"

#include "companyfile/Connection.h"
#include "platform/runtime/Runtime.h"

namespace qvx {

namespace {

constexpr int32_t kGrowth = 50;

void Resize(CustomListArrays& lists) {
  const size_t n = static_cast<size_t>(lists.Max) + 1;
  lists.IDs.resize(n);
  lists.Texts.resize(n);
  lists.Numbers.resize(n);
  lists.Names.resize(n);
  lists.Types.resize(n);
}

// The numeric value of a field's text: 0 for a text that does not begin with a number
// and for an empty field; a value beyond the 32-bit range is an overflow.
int32_t Number(const ado::Variant& v) {
  return CLng(Val(v.Text()));
}

}  // namespace

DefineGroupODBC& DefineGroupODBC::Instance() {
  static DefineGroupODBC instance;
  return instance;
}

void ReadCustomLists(bool allLists, const std::string& typeFilter, CustomListArrays& lists) {
  DefineGroupODBC& group = DefineGroupODBC::Instance();
  Conn.SQLStr = "SELECT * FROM MYOB.CustomLists ;";
  std::unique_ptr<ado::Recordset> rs = OpenRecordset(Conn.SQLStr);
  lists.Count = 0;
  group.CustomListsCustomer = 0;
  group.CustomListsSupplier = 0;
  group.CustomListsItem = 0;
  group.CustomListsRead = false;
  if (!rs) Raise(err::ObjectNotSet);

  for (; !rs->Eof(); rs->MoveNext()) {
    const std::string type = (*rs)["CustomListType"].Text();
    if (!allLists) continue;
    if (!typeFilter.empty() && Left(type, 1) != typeFilter) continue;
    ++lists.Count;
    if (lists.Count > lists.Max) {
      lists.Max += kGrowth;
      Resize(lists);
    }
    const auto at = static_cast<size_t>(lists.Count);
    lists.IDs[at] = Number((*rs)["CustomListID"]);
    lists.Texts[at] = (*rs)["CustomListText"].Text();
    lists.Numbers[at] = Number((*rs)["CustomListNumber"]);
    lists.Names[at] = (*rs)["CustomListName"].Text();
    lists.Types[at].clear();
    if (type == "Customer") {
      lists.Types[at] = "C";
      ++group.CustomListsCustomer;
    } else if (type == "Supplier") {
      lists.Types[at] = "S";
      ++group.CustomListsSupplier;
    } else if (type == "Item") {
      lists.Types[at] = "I";
      ++group.CustomListsItem;
    }
    if (group.SelectedListNbr == 0) group.SelectedListNbr = lists.Numbers[at];
  }
  rs->Close();
  rs.reset();
  group.CustomListsRead = true;
}

void GetCustomLists() {
  CustLists.AllCustLists = true;
  ReadCustomLists(CustLists.AllCustLists, CustLists.CustListType, CustLists.Lists);
}

}  // namespace qvx
