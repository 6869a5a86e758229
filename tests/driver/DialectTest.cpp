// The driver's reading of connection strings and of the product's SQL dialect.
#include "driver/Dialect.h"

#include <gtest/gtest.h>

namespace qvx::driver {
namespace {

TEST(Dialect, SplitsConnectionStrings) {
  struct Case {
    std::string text;
    std::vector<std::pair<std::string, std::string>> expected;  // empty with ok=false: refused
    bool ok = true;
  };
  const std::vector<Case> cases = {
      {"Driver={MYOAU1001}; TYPE=MYOB; UID=Administrator; PWD=; ",
       {{"DRIVER", "MYOAU1001"}, {"TYPE", "MYOB"}, {"UID", "Administrator"}, {"PWD", ""}}},
      {"  uid =  Jo Smith  ;database= /a b/c.MYO", {{"UID", "Jo Smith"}, {"DATABASE", "/a b/c.MYO"}}},
      {"DATABASE={/x;y/{z}}.MYO}; UID=a", {{"DATABASE", "/x;y/{z}.MYO"}, {"UID", "a"}}},
      {"DATABASE = { /keeps blanks } ;", {{"DATABASE", " /keeps blanks "}}},
      {"UID=first;uid=second", {{"UID", "first"}}},
      {";;UID=a;;;", {{"UID", "a"}}},
      {"FLAG;UID=a", {{"FLAG", ""}, {"UID", "a"}}},
      {"DATABASE={/never closed; UID=a", {}, false},
      {"DATABASE={/x} junk; UID=a", {}, false},
  };
  for (const auto& c : cases) {
    auto attrs = ParseConnectionString(c.text);
    ASSERT_EQ(attrs.has_value(), c.ok) << c.text;
    if (!c.ok) continue;
    ASSERT_EQ(attrs->size(), c.expected.size()) << c.text;
    for (size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_EQ((*attrs)[i].key, c.expected[i].first) << c.text;
      EXPECT_EQ((*attrs)[i].value, c.expected[i].second) << c.text;
    }
  }
}

TEST(Dialect, RewritesTheProductsSqlOutsideLiterals) {
  struct Case {
    std::string in;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"SELECT * FROM MYOB.Accounts WHERE TransactionDate => '2013-07-01'",
       "SELECT * FROM Accounts WHERE TransactionDate >= '2013-07-01'"},
      {"select a from myob.accounts, Myob.Items", "select a from accounts, Items"},
      {"SELECT 'MYOB.x => y', \"MYOB.z\" -- MYOB.c =>\nFROM MYOB.t", "SELECT 'MYOB.x => y', \"MYOB.z\" -- MYOB.c =>\nFROM t"},
      {"SELECT XMYOB.a, MYOBX.b /* MYOB. */", "SELECT XMYOB.a, MYOBX.b /* MYOB. */"},
      {"SELECT 'it''s => MYOB.' FROM MYOB.a", "SELECT 'it''s => MYOB.' FROM a"},
      {"SELECT 'unterminated => MYOB.a", "SELECT 'unterminated => MYOB.a"},
  };
  for (const auto& c : cases) EXPECT_EQ(RewriteSql(c.in), c.out) << c.in;
}

TEST(Dialect, TakesComparedWholeNumbersOutOfTheText) {
  struct Case {
    std::string in;
    std::string out;
    std::vector<long long> values;
  };
  const std::vector<Case> cases = {
      {"SELECT a FROM MYOB.t WHERE SetID = 123 ;", "SELECT a FROM t WHERE SetID = ? ;", {123}},
      {"WHERE a >= -5 AND b<>7 AND c<2", "WHERE a >= ? AND b<>? AND c<?", {-5, 7, 2}},
      {"WHERE a => 4", "WHERE a >= ?", {4}},
      {"WHERE a = 1.5 OR a = 2e3 OR a = 0x10", "WHERE a = 1.5 OR a = 2e3 OR a = 0x10", {}},
      {"WHERE a = b - 1 ORDER BY 1 LIMIT 10", "WHERE a = b - 1 ORDER BY 1 LIMIT 10", {}},
      {"WHERE a = '5' AND b = 12345678901234567890", "WHERE a = '5' AND b = 12345678901234567890", {}},
  };
  for (const auto& c : cases) {
    std::vector<long long> values;
    EXPECT_EQ(RewriteSql(c.in, values), c.out) << c.in;
    EXPECT_EQ(values, c.values) << c.in;
  }
}

TEST(Dialect, RecognisesTextAfterTheFirstStatement) {
  EXPECT_FALSE(HasFurtherStatement(""));
  EXPECT_FALSE(HasFurtherStatement("  ;  ; -- note\n /* more */ "));
  EXPECT_TRUE(HasFurtherStatement("; DELETE FROM a"));
  EXPECT_TRUE(HasFurtherStatement(" /* unterminated"));
}

}  // namespace
}  // namespace qvx::driver
