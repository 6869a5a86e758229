#include "groupreports/ConsolidationData.h"

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
  for (size_t f = 0; f < FileAccID.size(); ++f) {
    Extend(FileAccID[f], n);
    Extend(FileAccNumber[f], n);
    Extend(FileAccName[f], n);
    Extend(FileAccType[f], n);
    Extend(FileAccClass[f], n);
    Extend(FileAccBalance[f], n);
  }
}

}  // namespace qvx
