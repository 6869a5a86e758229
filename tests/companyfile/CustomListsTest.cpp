// The custom lists read after connecting: the type split, the growth of the arrays in
// steps of 50, the dialog counters, and a failed query passed to the caller.
#include "CompanyFileReadersFixture.h"
#include "companyfile/CustomLists.h"
#include "samples/CompanyFile.h"

namespace qvx::test {
namespace {

class CustomListsTest : public CompanyReaderTest {
 protected:
  void SetUp() override {
    CompanyReaderTest::SetUp();
    CustLists = CustomListsState{};
    DefineGroupODBC::Instance() = DefineGroupODBC{};
  }
  void TearDown() override {
    CustLists = CustomListsState{};
    DefineGroupODBC::Instance() = DefineGroupODBC{};
    CompanyReaderTest::TearDown();
  }

  // A company with `count` custom-list entries, cycling through the types.
  std::string Build(int count, const std::string& name = "Lists.MYO") {
    const std::string path = Path(name);
    samples::CompanyFile f(path, samples::CompanySetup{});
    static const char* const kTypes[] = {"Customer", "Supplier", "Item", "Employee"};
    for (int i = 0; i < count; ++i)
      f.AddCustomList(kTypes[i % 4], 1 + i % 3, "List " + std::to_string(i % 3 + 1), "Value " + std::to_string(i + 1));
    f.Finish();
    return path;
  }
};

TEST_F(CustomListsTest, SizesAndTypes) {
  struct Case {
    int rows;
    int32_t max;
  };
  for (const Case c : {Case{0, 0}, Case{1, 50}, Case{50, 50}, Case{51, 100}, Case{500, 500}}) {
    SCOPED_TRACE(c.rows);
    CustLists = CustomListsState{};
    DefineGroupODBC::Instance() = DefineGroupODBC{};
    const std::string file = Build(c.rows, "Lists" + std::to_string(c.rows) + ".MYO");
    Connect(file);
    GetCustomLists();
    const CustomListArrays& l = CustLists.Lists;
    const DefineGroupODBC& group = DefineGroupODBC::Instance();
    EXPECT_TRUE(CustLists.AllCustLists);
    EXPECT_EQ(l.Count, c.rows);
    EXPECT_EQ(l.Max, c.max);
    EXPECT_EQ(l.IDs.size(), c.max == 0 ? 0u : static_cast<size_t>(c.max) + 1);
    EXPECT_TRUE(group.CustomListsRead);

    const auto rows = Direct(file,
                             "SELECT CustomListID, CustomListText, CustomListNumber, CustomListName, CustomListType "
                             "FROM CustomLists ORDER BY CustomListID");
    ASSERT_EQ(rows.size(), static_cast<size_t>(c.rows));
    int customers = 0, suppliers = 0, items = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
      const auto at = i + 1;
      EXPECT_EQ(l.IDs[at], std::stoi(rows[i][0]));
      EXPECT_EQ(l.Texts[at], rows[i][1]);
      EXPECT_EQ(l.Numbers[at], std::stoi(rows[i][2]));
      EXPECT_EQ(l.Names[at], rows[i][3]);
      const std::string& type = rows[i][4];
      const std::string code = type == "Customer" ? "C" : type == "Supplier" ? "S" : type == "Item" ? "I" : "";
      EXPECT_EQ(l.Types[at], code);
      customers += code == "C";
      suppliers += code == "S";
      items += code == "I";
    }
    EXPECT_EQ(group.CustomListsCustomer, customers);
    EXPECT_EQ(group.CustomListsSupplier, suppliers);
    EXPECT_EQ(group.CustomListsItem, items);
    EXPECT_EQ(group.SelectedListNbr, c.rows == 0 ? 0 : std::stoi(rows[0][2]));
    EXPECT_TRUE(ui_->Messages().empty());
  }
}

TEST_F(CustomListsTest, AnEmptyReadKeepsTheArraysAndATypeFilterTakesItsOwn) {
  Connect(Build(60));
  GetCustomLists();
  const CustomListArrays before = CustLists.Lists;
  ASSERT_EQ(before.Count, 60);

  CustomListArrays suppliers = before;
  ReadCustomLists(true, "S", suppliers);
  EXPECT_EQ(suppliers.Count, 15);
  EXPECT_EQ(suppliers.Max, 100);
  for (int i = 1; i <= suppliers.Count; ++i) EXPECT_EQ(suppliers.Types[static_cast<size_t>(i)], "S");
  EXPECT_EQ(DefineGroupODBC::Instance().CustomListsSupplier, 15);
  EXPECT_EQ(DefineGroupODBC::Instance().CustomListsCustomer, 0);

  Connect(Build(0, "None.MYO"));
  CustomListArrays kept = before;
  ReadCustomLists(true, "", kept);
  EXPECT_EQ(kept.Count, 0);
  EXPECT_EQ(kept.Max, before.Max);
  EXPECT_EQ(kept.Texts, before.Texts);
}

TEST_F(CustomListsTest, AFailedQueryGoesToTheCaller) {
  // No connection: the reader's message, then the failure for the caller to report.
  try {
    GetCustomLists();
    FAIL() << "no failure";
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), err::ObjectNotSet);
  }
  EXPECT_EQ(ui_->Messages().size(), 1u);
  EXPECT_FALSE(DefineGroupODBC::Instance().CustomListsRead);
}

}  // namespace
}  // namespace qvx::test
