#include "platform/ado/StatementSlots.h"

#include <algorithm>

namespace qvx::ado {

namespace {

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = FoldChar(c);
  return out;
}

}  // namespace

const std::shared_ptr<const ColumnNames>& StatementSlot::NamesOf(const std::string& key, size_t count) {
  auto it = names.find(key);
  if (it != names.end()) return it->second;
  // A program runs a few dozen different commands; a bound keeps one that makes its
  // commands up as it goes from growing without end.
  if (names.size() >= 512) names.clear();
  auto made = std::make_shared<ColumnNames>();
  made->names.resize(count);
  std::string_view rest = key;
  for (size_t i = 0; i < count; ++i) {
    ColumnNames::Name& n = made->names[i];
    const size_t end = rest.find('\0');
    n.name.assign(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    n.folded = Folded(n.name);
    n.first = i;
    for (size_t j = 0; j < i; ++j)
      if (made->names[j].folded == n.folded) {
        n.first = j;
        break;
      }
  }
  return names.emplace(key, std::move(made)).first->second;
}

}  // namespace qvx::ado
