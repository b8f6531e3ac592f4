// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "history.h"

namespace ql {

void History::Visit(const HistoryEntry& step) {
  if (!iEntries.empty()) {
    if (iEntries[iCurrent] == step) return;
    iEntries.resize(iCurrent + 1);
  }
  iEntries.push_back(step);
  // The oldest entries go first when the history is full.
  if (iEntries.size() > iLimit) iEntries.erase(iEntries.begin());
  iCurrent = iEntries.size() - 1;
  ++iChanges;
}

void History::ReplaceCurrent(const HistoryEntry& step) {
  if (iEntries.empty()) {
    Visit(step);
    return;
  }
  iEntries.resize(iCurrent + 1);
  ++iChanges;
  if (iCurrent > 0 && iEntries[iCurrent - 1] == step) {
    iEntries.pop_back();
    --iCurrent;
    return;
  }
  iEntries[iCurrent] = step;
}

std::optional<HistoryEntry> History::Back() {
  if (!CanGoBack()) return std::nullopt;
  ++iChanges;
  return iEntries[--iCurrent];
}

std::optional<HistoryEntry> History::Forward() {
  if (!CanGoForward()) return std::nullopt;
  ++iChanges;
  return iEntries[++iCurrent];
}

void History::Clear() {
  iEntries.clear();
  iCurrent = 0;
  ++iChanges;
}

void History::Restore(std::vector<HistoryEntry> entries, size_t current) {
  if (entries.size() > iLimit) {
    const size_t drop = entries.size() - iLimit;
    entries.erase(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(drop));
    current = current >= drop ? current - drop : entries.size();
  }
  iEntries = std::move(entries);
  iCurrent = iEntries.empty() || current >= iEntries.size()
                 ? (iEntries.empty() ? 0 : iEntries.size() - 1)
                 : current;
  ++iChanges;
}

}  // namespace ql
