// The five profit-and-loss sections of the budget reports, by the class digit that
// begins an account number. Both reports index their section arrays 1..5 with these
// numbers; an account of any other class (1-3 balance sheet, 7, or no number) is in
// section 0 and belongs to no section total.
#pragma once

#include <cstdint>
#include <string>

namespace qvx {

inline constexpr int16_t kSectionNone = 0;
inline constexpr int16_t kSectionIncome = 1;        // "4"
inline constexpr int16_t kSectionCostOfSales = 2;   // "5"
inline constexpr int16_t kSectionExpenses = 3;      // "6"
inline constexpr int16_t kSectionOtherIncome = 4;   // "8"
inline constexpr int16_t kSectionOtherExpense = 5;  // "9"
inline constexpr int16_t kLastSection = 5;

// Section = the section of AccountNumber by its first character; the first character is
// also left in the program-wide scratch text G.TempStr.
void GetAccountSection(const std::string& AccountNumber, int16_t& Section);

// The same section without touching G.TempStr.
int16_t AccountSection(const std::string& accountNumber);

// The class digit that begins the account numbers of a section ("4" for 1 ... "9" for
// 5), or "" for section 0 or a number outside 1..5.
std::string SectionClass(int16_t section);

}  // namespace qvx
