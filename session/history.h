// Back and Forward over the records shown: list picks, links, bookmarks,
// Find hits and lookups all land here. One history per book; opening
// another book starts a new one.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace ql {

class History {
 public:
  explicit History(size_t limit = 1000) : iLimit(limit < 1 ? 1 : limit) {}
  // A record was shown. Showing the record already current adds nothing; a
  // new record drops whatever lay forward of the current one.
  void Visit(int index);
  // The record shown in place of the current one: typing in the lookup line
  // moves through records that make one step together. A step that comes
  // back to the record before it is dropped.
  void ReplaceCurrent(int index);
  // The record to go back or forward to, moving there; nullopt at either end.
  std::optional<int> Back();
  std::optional<int> Forward();
  bool CanGoBack() const { return iCurrent > 0; }
  bool CanGoForward() const { return iCurrent + 1 < iEntries.size(); }
  void Clear();
  const std::vector<int>& Entries() const { return iEntries; }

 private:
  size_t iLimit;
  std::vector<int> iEntries;
  size_t iCurrent = 0;  // meaningful only while iEntries is not empty
};

}  // namespace ql
