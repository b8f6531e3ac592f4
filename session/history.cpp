#include "history.h"

namespace ql {

void History::Visit(int index) {
  if (!iEntries.empty()) {
    if (iEntries[iCurrent] == index) return;
    iEntries.resize(iCurrent + 1);
  }
  iEntries.push_back(index);
  // The oldest entries go first when the history is full.
  if (iEntries.size() > iLimit) iEntries.erase(iEntries.begin());
  iCurrent = iEntries.size() - 1;
}

void History::ReplaceCurrent(int index) {
  if (iEntries.empty()) {
    Visit(index);
    return;
  }
  iEntries.resize(iCurrent + 1);
  if (iCurrent > 0 && iEntries[iCurrent - 1] == index) {
    iEntries.pop_back();
    --iCurrent;
    return;
  }
  iEntries[iCurrent] = index;
}

std::optional<int> History::Back() {
  if (!CanGoBack()) return std::nullopt;
  return iEntries[--iCurrent];
}

std::optional<int> History::Forward() {
  if (!CanGoForward()) return std::nullopt;
  return iEntries[++iCurrent];
}

void History::Clear() {
  iEntries.clear();
  iCurrent = 0;
}

}  // namespace ql
