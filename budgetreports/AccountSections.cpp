#include "budgetreports/AccountSections.h"

#include <array>

#include "core/Globals.h"

namespace qvx {

namespace {
constexpr std::array<char, kLastSection + 1> kClassOf{'\0', '4', '5', '6', '8', '9'};
}  // namespace

int16_t AccountSection(const std::string& accountNumber) {
  if (accountNumber.empty()) return kSectionNone;
  for (int16_t s = 1; s <= kLastSection; ++s)
    if (accountNumber.front() == kClassOf[static_cast<size_t>(s)]) return s;
  return kSectionNone;
}

void GetAccountSection(const std::string& AccountNumber, int16_t& Section) {
  G.TempStr = AccountNumber.substr(0, 1);
  Section = AccountSection(AccountNumber);
}

std::string SectionClass(int16_t section) {
  if (section < 1 || section > kLastSection) return {};
  return std::string(1, kClassOf[static_cast<size_t>(section)]);
}

}  // namespace qvx
