// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Back and Forward over the records shown: list picks, links, bookmarks,
// Find hits and lookups all land here. A step names its book and subject, so
// one history runs across every book the window shows; the main window's
// lasts across runs (lasting_history.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ql {

// One step: a subject of the book at path (absolute), or, with an empty
// path, a lookup of subject over the whole group.
struct HistoryEntry {
  std::string path;
  std::string subject;
  bool operator==(const HistoryEntry&) const = default;
};

class History {
 public:
  explicit History(size_t limit = 1000) : iLimit(limit < 1 ? 1 : limit) {}
  // A record was shown. Showing the step already current adds nothing; a
  // new step drops whatever lay forward of the current one.
  void Visit(const HistoryEntry& step);
  // The step shown in place of the current one: typing in the lookup line
  // moves through records that make one step together. A step that comes
  // back to the one before it is dropped.
  void ReplaceCurrent(const HistoryEntry& step);
  // The step to go back or forward to, moving there; nullopt at either end.
  std::optional<HistoryEntry> Back();
  std::optional<HistoryEntry> Forward();
  bool CanGoBack() const { return iCurrent > 0; }
  bool CanGoForward() const { return iCurrent + 1 < iEntries.size(); }
  void Clear();
  // Oldest first.
  const std::vector<HistoryEntry>& Entries() const { return iEntries; }
  // Where Back and Forward start from; meaningless while Entries is empty.
  size_t Current() const { return iCurrent; }
  size_t Limit() const { return iLimit; }
  // Steps read back from a file: the newest limit of them, current at
  // current (the newest when that is outside them).
  void Restore(std::vector<HistoryEntry> entries, size_t current);
  // Counts every change of the steps or of the current one, so a keeper
  // knows when there is something new to write.
  uint64_t Changes() const { return iChanges; }

 private:
  size_t iLimit;
  std::vector<HistoryEntry> iEntries;
  size_t iCurrent = 0;  // meaningful only while iEntries is not empty
  uint64_t iChanges = 0;
};

}  // namespace ql
