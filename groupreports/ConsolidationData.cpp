#include "groupreports/ConsolidationData.h"

#include <algorithm>

namespace qvx {
namespace {

template <class T>
void Extend(std::vector<T>& v, int32_t capacity) {
  v.resize(static_cast<size_t>(capacity) + 1);
}

}  // namespace

ConsolidationData::ConsolidationData() {
  AccountArraySize -= kAccountArrayStep;
  GrowAccountArrays();
}

void ConsolidationData::GrowAccountArrays() {
  AccountArraySize += kAccountArrayStep;
  const int32_t n = AccountArraySize;
  Extend(ConsAccNumber, n);
  Extend(ConsAccName, n);
  Extend(ConsAccType, n);
  Extend(ConsAccLevel, n);
  Extend(ConsAccClass, n);
  Extend(ConsAccFileCount, n);
  Extend(ConsAccHolder, n);
  for (size_t f = 0; f < FileAccID.size(); ++f) {
    Extend(FileAccID[f], n);
    Extend(FileAccNumber[f], n);
    Extend(FileAccName[f], n);
    Extend(FileAccType[f], n);
    Extend(FileAccClass[f], n);
    Extend(FileAccBalance[f], n);
  }
}

int32_t ChartHeaders::HolderOf(int16_t level, const std::string& classCode) {
  while (!open_.empty() && open_.back().level >= level) open_.pop_back();
  const std::string letters = classCode.substr(std::min<size_t>(2, classCode.size()), 2);
  for (auto g = open_.rbegin(); g != open_.rend(); ++g)
    if (g->entry != 0 && g->letters == letters) return g->entry;
  return 0;
}

void ChartHeaders::Open(int16_t level, const std::string& classCode, int32_t entry) {
  open_.push_back({level, classCode.substr(std::min<size_t>(2, classCode.size()), 2), entry});
}

}  // namespace qvx
