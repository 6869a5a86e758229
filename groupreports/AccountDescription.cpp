#include "groupreports/AccountDescription.h"

#include "platform/runtime/Runtime.h"

namespace qvx {
namespace {

// Position (1-based) of the character right after the keyword found first of the two,
// or 0 when neither occurs.
long AfterKeyword(const std::string& text, const char* keyword, const char* spaced) {
  const std::string upper = UCase(text);
  long p = InStr(upper, keyword);
  if (p > 0) return p + static_cast<long>(std::string_view(keyword).size());
  p = InStr(upper, spaced);
  if (p > 0) return p + static_cast<long>(std::string_view(spaced).size());
  return 0;
}

// Val of a text that may be too long to be a number at all.
double SafeVal(const std::string& text) {
  try {
    return Val(text);
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

void GetGroupName(const std::string& description, std::string& groupName) {
  groupName.clear();
  const long after = AfterKeyword(description, "GROUPNAME", "GROUP NAME");
  if (after == 0) return;
  // The character right after the keyword ("=", ":" or a blank) is skipped.
  for (size_t i = static_cast<size_t>(after); i < description.size(); ++i) {
    const char c = description[i];
    if (c != ' ') {
      groupName += c;
    } else if (!groupName.empty()) {
      break;
    }
  }
}

void GetConsolidatePercent(const std::string& description, double& percent, std::string& shortName) {
  percent = 0;
  if (InStr(UCase(description), "CONSOLIDATE") > 0) {
    const size_t sign = description.find('%');
    if (sign != std::string::npos) {
      std::string number;
      for (size_t i = sign; i-- > 0;) {
        const char c = description[i];
        if ((c >= '0' && c <= '9') || c == '.') {
          number.insert(number.begin(), c);
        } else if (c == ' ' && number.empty()) {
          continue;
        } else {
          break;
        }
      }
      if (!number.empty()) percent = SafeVal(number);
      if (percent < 1 || percent > 100) percent = 0;
    }
  }
  if (percent == 0) percent = 100;

  shortName.clear();
  long p = InStr(description, "SHORTNAME");
  long after = p > 0 ? p + 9 : 0;
  if (after == 0) {
    p = InStr(description, "SHORT NAME");
    after = p > 0 ? p + 10 : 0;
  }
  if (after == 0) return;
  // From the second character after the keyword; leading blanks are not skipped.
  for (size_t i = static_cast<size_t>(after); i < description.size(); ++i) {
    const char c = description[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') break;
    shortName += c;
  }
}

void GetEmployeeCount(const std::string& description, float& employees) {
  employees = 0;
  const long p = InStr(UCase(description), "EMPLOYEES");
  if (p > 0) {
    // The character right after the keyword is skipped; at most three are read.
    const long start = p + 10;
    if (start <= static_cast<long>(description.size())) employees = static_cast<float>(SafeVal(Mid(description, start, 3)));
  }
  if (employees < 1) employees = 0;
}

}  // namespace qvx
