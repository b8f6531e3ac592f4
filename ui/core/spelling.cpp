// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "spelling.h"

#include <algorithm>
#include <array>
#include <new>
#include <system_error>
#include <tuple>
#include <utility>

#include "text_case.h"
#include "unicode_text.h"

namespace ql {

namespace {

// The first list gives a window to the starts of the text of up to this many
// bytes that have too many subjects to take whole.
constexpr size_t kQuickPlaces = 12;
// The scan records its progress, and publishes a better list, this often.
constexpr int kCheckpoint = 1024;
// The most subject bytes the scans keep in memory.
constexpr size_t kMaxCachedBytes = size_t{64} << 20;

// The suggester whose scan runs on this thread, so that Cancel from the
// update callback knows not to wait for itself.
thread_local const SpellingSuggester* tScanning = nullptr;

// The best kMaxSuggestions subjects by (distance, record), kept in that order.
class Ranking {
 public:
  Ranking() = default;
  explicit Ranking(std::vector<Suggestion> seed) : iList(std::move(seed)) {}

  // The largest distance a subject at record may have and still enter; below
  // zero when it cannot enter at all.
  int BoundFor(int record) const {
    if (iList.size() < kMaxSuggestions) return kMaxSpellingDistance;
    const Suggestion& last = iList.back();
    return record < last.record ? last.distance : last.distance - 1;
  }

  // Adds the subject when it ranks among the best; true when the list changed.
  bool Offer(int record, int distance, std::string_view subject) {
    if (distance > BoundFor(record)) return false;
    // The scan meets again the subjects the first list was seeded with.
    for (const Suggestion& s : iList)
      if (s.record == record) return false;
    const auto at = std::find_if(iList.begin(), iList.end(), [&](const Suggestion& s) {
      return std::tie(distance, record) < std::tie(s.distance, s.record);
    });
    iList.insert(at, Suggestion{record, std::string(subject), distance});
    if (iList.size() > kMaxSuggestions) iList.pop_back();
    return true;
  }

  const std::vector<Suggestion>& List() const { return iList; }

 private:
  std::vector<Suggestion> iList;
};

// Looks at one subject: true when the ranking changed.
bool Consider(std::string_view subject, SpellingMatcher& matcher, Ranking& ranking, int record) {
  const int bound = ranking.BoundFor(record);
  if (bound < 0) return false;
  const int distance = matcher.Distance(subject, bound);
  return distance <= bound && ranking.Offer(record, distance, subject);
}

// The first index in [lo, hi) whose subject does not sort before key; hi
// when there is none.
int LowerBound(BookReader& reader, std::string_view key, int lo, int hi) {
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (reader.CompareBookSubjects(reader.GetSubject(mid), key) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

// The folded unit of UTF-8 text at pos and its length (0 at the end).
size_t FoldedUnitAt(std::string_view text, size_t pos, uint32_t& unit) {
  char32_t cp = 0;
  const size_t length = DecodeUtf8(text, pos, cp);
  const bool stray = length == 1 && static_cast<uint8_t>(text[pos]) >= 0x80;
  unit = stray ? 0x110000u + static_cast<uint8_t>(text[pos]) : FoldCodePoint(cp);
  return length;
}

// How many bytes of text subject begins with, as the subject order folds
// them: bytes with ASCII folding, or for UTF-8 whole characters by their
// case folding.
size_t SharedStart(std::string_view subject, std::string_view text, bool unicode) {
  size_t n = 0;
  if (!unicode) {
    while (n < subject.size() && n < text.size() && FoldAscii(subject[n]) == FoldAscii(text[n]))
      ++n;
    return n;
  }
  size_t m = 0;  // where the same unit starts in the subject
  while (n < text.size() && m < subject.size()) {
    uint32_t a = 0, b = 0;
    const size_t la = FoldedUnitAt(text, n, a);
    const size_t lb = FoldedUnitAt(subject, m, b);
    if (a != b) break;
    n += la;
    m += lb;
  }
  return n;
}

// Whether text can be cut before byte n: not inside a UTF-8 character.
bool StartsUnit(std::string_view text, size_t n, bool unicode) {
  return !unicode || n >= text.size() || (static_cast<uint8_t>(text[n]) & 0xC0) != 0x80;
}

// How many subjects in a row from next to from, going in direction dir (-1
// or +1), begin with start; limit + 1 when more than limit do. In a sorted
// book those subjects lie together, so a gallop and a binary search find the
// end of the run in a few reads near from.
int RunBeginning(BookReader& reader, std::string_view start, int from, int dir, int limit) {
  const int count = reader.GetSubjectCount();
  auto begins = [&](int n) {
    const int i = from + dir * n;
    return i >= 0 && i < count &&
           SharedStart(reader.GetSubject(i), start, reader.IsUnicode()) == start.size();
  };
  int good = 0;  // the subjects 1..good begin with start
  int bad = 0;   // the first that does not, once known
  for (int step = 1;; step *= 2) {
    const int n = std::min(good + step, limit + 1);
    if (!begins(n)) {
      bad = n;
      break;
    }
    good = n;
    if (good > limit) return limit + 1;
  }
  while (bad - good > 1) {
    const int mid = good + (bad - good) / 2;
    (begins(mid) ? good : bad) = mid;
  }
  return good;
}

// The index ranges [first, last) the first list looks at, in order, apart
// and at most budget subjects together. In a sorted book the subject meant
// by a misspelt text begins, mostly, with the text's start before the slip.
// So the list takes every subject that begins as the text does for as many
// bytes as any subject does, then for one byte fewer, and so on while they
// fit the budget ("Domyfvuli" is one swap from "Domfyvuli" among the few
// hundred subjects beginning "dom"). Of a shorter start that has too many
// subjects, it takes the first ones and those around the text's place
// ("rexeive" finds "receive" among the first beginning "re", though
// thousands beginning "rel" lie between). In an unsorted book no place says
// anything, and the first subjects are as good as any.
std::vector<std::pair<int, int>> QuickRanges(BookReader& reader, std::string_view text,
                                             int budget) {
  const int count = reader.GetSubjectCount();
  if (budget <= 0 || count <= 0) return {};
  if (count <= budget) return {{0, count}};
  if (!reader.IsVersion2() || reader.GetSorted() == 0) return {{0, budget}};
  const bool unicode = reader.IsUnicode();
  const int place = LowerBound(reader, text, 0, count);
  size_t shared = 0;  // the longest start of the text a subject shares lies at its place
  for (const int i : {place - 1, place})
    if (i >= 0 && i < count)
      shared = std::max(shared, SharedStart(reader.GetSubject(i), text, unicode));
  int lo = place, hi = place;
  size_t length = shared;
  for (; length >= 1; --length) {
    // A start of UTF-8 text ends with a whole character.
    if (!StartsUnit(text, length, unicode)) continue;
    const std::string_view start = text.substr(0, length);
    const int room = budget - (hi - lo);
    const int below = RunBeginning(reader, start, lo, -1, room);
    if (below > room) break;
    const int above = RunBeginning(reader, start, hi - 1, +1, room - below);
    if (above > room - below) break;
    lo -= below;
    hi += above;
  }
  // The rest of the budget: the range grows on both sides, and the shorter
  // starts that did not fit get a window at their first subjects each.
  std::vector<int> firsts;
  for (size_t n = std::min(length, kQuickPlaces); n >= 1; --n)
    if (StartsUnit(text, n, unicode))
      firsts.push_back(LowerBound(reader, text.substr(0, n), 0, lo));
  const int share = (budget - (hi - lo)) / static_cast<int>(firsts.size() + 1);
  std::vector<std::pair<int, int>> ranges = {
      {std::max(0, lo - share / 2), std::min(count, hi + share - share / 2)}};
  for (const int first : firsts) ranges.emplace_back(first, std::min(count, first + share));
  std::sort(ranges.begin(), ranges.end());
  std::vector<std::pair<int, int>> merged;
  for (const auto& r : ranges) {
    if (!merged.empty() && r.first <= merged.back().second)
      merged.back().second = std::max(merged.back().second, r.second);
    else
      merged.push_back(r);
  }
  return merged;
}

}  // namespace

std::vector<uint32_t> FoldedUnits(std::string_view text) {
  std::vector<uint32_t> units;
  units.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    uint32_t unit = 0;
    pos += FoldedUnitAt(text, pos, unit);
    units.push_back(unit);
  }
  return units;
}

namespace {

// The subject's bytes, each folded as the Windows-1252 order folds it.
struct FoldedBytes {
  const uint8_t* bytes;
  uint32_t operator[](size_t i) const { return FoldAscii(bytes[i]); }
};

// The distance between the text's units a[0, m) and the subject's b[0, n)
// (already folded), at most bound, else bound + 1; rows holds three rows of
// m + 1 cells.
template <typename Text, typename Subject>
int BoundedDistance(const Text& a, size_t m, const Subject& b, size_t n, int bound, int* rows) {
  if (bound < 0) return bound + 1;
  // The distance is at least the difference of the lengths.
  if (n > m + static_cast<size_t>(bound) || m > n + static_cast<size_t>(bound)) return bound + 1;
  if (m == 0) return static_cast<int>(n);
  if (n == 0) return static_cast<int>(m);
  // Only cells within k of the diagonal can hold k or less; the others count
  // as k + 1 ("over"), which is never more than their true value, so every
  // value of k or less below is exact.
  const int mi = static_cast<int>(m);
  const int ni = static_cast<int>(n);
  const int k = std::min(bound, std::max(mi, ni));
  const int over = k + 1;
  // Row i holds the distances from the subject's first i units to each start
  // of the text. A swap reaches back two rows.
  int* before = rows;
  int* prev = before + (m + 1);
  int* cur = prev + (m + 1);
  const int first = std::min(mi, k);
  for (int j = 0; j <= first; ++j) prev[j] = j;
  if (first < mi) prev[first + 1] = over;
  uint32_t last = 0;  // the subject's unit before c
  for (int i = 1; i <= ni; ++i) {
    const uint32_t c = b[static_cast<size_t>(i - 1)];
    const int lo = std::max(1, i - k);
    const int hi = std::min(mi, i + k);
    cur[lo - 1] = lo == 1 ? std::min(i, over) : over;
    int best = cur[lo - 1];
    for (int j = lo; j <= hi; ++j) {
      const uint32_t aj = a[static_cast<size_t>(j - 1)];
      int v = prev[j - 1] + (aj != c ? 1 : 0);
      v = std::min(v, prev[j] + 1);
      v = std::min(v, cur[j - 1] + 1);
      if (i > 1 && j > 1 && aj == last && a[static_cast<size_t>(j - 2)] == c)
        v = std::min(v, before[j - 2] + 1);
      cur[j] = v;
      best = std::min(best, v);
    }
    if (hi < mi) cur[hi + 1] = over;
    // A row's least value never falls in the rows below (a swap two rows on
    // costs no less than the substitution that passes through this row), so
    // a row wholly beyond the bound ends the comparison.
    if (best > k) return bound + 1;
    int* spare = before;
    before = prev;
    prev = cur;
    cur = spare;
    last = c;
  }
  const int d = prev[m];
  return d <= k ? d : bound + 1;
}

}  // namespace

SpellingMatcher::SpellingMatcher(std::string_view text, bool unicode)
    : iText(text), iUnicode(unicode) {
  if (iUnicode) {
    iUnits = FoldedUnits(text);
    iRows.resize(3 * (iUnits.size() + 1));
    return;
  }
  for (char& c : iText) c = FoldAscii(c);
  iRows.resize(3 * (iText.size() + 1));
}

int SpellingMatcher::Distance(std::string_view subject, int bound) {
  if (bound < 0) return bound + 1;
  if (!iUnicode) {
    const auto* a = reinterpret_cast<const uint8_t*>(iText.data());
    return BoundedDistance(a, iText.size(),
                           FoldedBytes{reinterpret_cast<const uint8_t*>(subject.data())},
                           subject.size(), bound, iRows.data());
  }
  // A subject has at least a quarter as many units as bytes: one that long
  // is beyond the bound before it is decoded.
  if (subject.size() > 4 * (iUnits.size() + static_cast<size_t>(bound))) return bound + 1;
  iSubjectUnits.clear();
  for (size_t pos = 0; pos < subject.size();) {
    uint32_t unit = 0;
    pos += FoldedUnitAt(subject, pos, unit);
    iSubjectUnits.push_back(unit);
  }
  return BoundedDistance(iUnits.data(), iUnits.size(), iSubjectUnits.data(), iSubjectUnits.size(),
                         bound, iRows.data());
}

int SpellingDistance(std::string_view a, std::string_view b, int bound, bool unicode) {
  return SpellingMatcher(a, unicode).Distance(b, bound);
}

SpellingSuggester::SpellingSuggester(OpenReader openReader, Updated updated)
    : SpellingSuggester(std::move(openReader), std::move(updated), Options{}) {}

SpellingSuggester::SpellingSuggester(OpenReader openReader, Updated updated, Options options)
    : iOpenReader(std::move(openReader)), iUpdated(std::move(updated)), iOptions(options) {}

SpellingSuggester::~SpellingSuggester() {
  Cancel();
}

void SpellingSuggester::Cancel() {
  iStop.store(true, std::memory_order_relaxed);
  if (tScanning == this) return;
  Join();
  std::lock_guard lock(iMutex);
  iSnapshot.running = false;
}

void SpellingSuggester::Join() {
  if (iWorker.joinable()) iWorker.join();
}

SpellingSnapshot SpellingSuggester::Current() const {
  std::lock_guard lock(iMutex);
  return iSnapshot;
}

SpellingSnapshot SpellingSuggester::Start(std::string text, BookReader& uiReader) {
  Cancel();
  iStop.store(false, std::memory_order_relaxed);
  SpellingSnapshot first;
  first.total = uiReader.IsOpen() ? uiReader.GetSubjectCount() : 0;
  std::vector<std::pair<int, int>> ranges;
  SpellingMatcher matcher(text.size() <= kMaxSpellingText ? std::string_view(text) : "",
                          uiReader.IsUnicode());
  first.text = std::move(text);
  if (first.text.empty() || first.text.size() > kMaxSpellingText || first.total <= 0) {
    first.complete = true;
  } else {
    Ranking ranking;
    int looked = 0;
    for (const auto& [from, to] : QuickRanges(uiReader, first.text, iOptions.quickBudget)) {
      for (int i = from; i < to; ++i) Consider(uiReader.GetSubject(i), matcher, ranking, i);
      looked += to - from;
    }
    first.suggestions = ranking.List();
    first.complete = looked >= first.total;
  }
  if (first.complete) {
    first.scanned = first.total;
  } else {
    if (!iScanReader || !iScanReader->IsOpen()) {
      iScanReader.reset();
      if (iOpenReader) iScanReader = iOpenReader();
    }
    // A reader that did not open, or holds another count of subjects than
    // the window's, is no reader of this book.
    if (iScanReader && (!iScanReader->IsOpen() || iScanReader->GetSubjectCount() != first.total))
      iScanReader.reset();
    first.running = iScanReader != nullptr;
  }
  uint64_t serial = 0;
  {
    std::lock_guard lock(iMutex);
    serial = ++iSerial;
    first.generation = iSnapshot.generation + 1;
    iSnapshot = first;
  }
  if (first.running) {
    try {
      iWorker = std::thread(&SpellingSuggester::Scan, this, serial, std::move(matcher),
                            first.suggestions);
    } catch (const std::system_error&) {
      std::lock_guard lock(iMutex);
      iSnapshot.running = false;
      first.running = false;
    }
  }
  return first;
}

void SpellingSuggester::CacheSubject(int index, std::string_view subject) {
  if (!iCaching || static_cast<size_t>(index) != iCachedEnds.size()) return;
  if (iCached.size() + subject.size() > kMaxCachedBytes) {
    iCaching = false;
    return;
  }
  try {
    iCached.append(subject);
    iCachedEnds.push_back(static_cast<uint32_t>(iCached.size()));
  } catch (const std::bad_alloc&) {
    // The subjects read so far stay; the rest is read from the book each time.
    iCached.resize(iCachedEnds.empty() ? 0 : iCachedEnds.back());
    iCaching = false;
  }
}

bool SpellingSuggester::Publish(uint64_t serial, const std::vector<Suggestion>* list, bool complete,
                                int scanned) {
  std::lock_guard lock(iMutex);
  if (serial != iSerial) return false;
  iSnapshot.scanned = scanned;
  if (!list && !complete) return false;
  if (list) iSnapshot.suggestions = *list;
  if (complete) {
    iSnapshot.complete = true;
    iSnapshot.running = false;
  }
  ++iSnapshot.generation;
  return true;
}

void SpellingSuggester::Scan(uint64_t serial, SpellingMatcher matcher,
                             std::vector<Suggestion> seed) {
  tScanning = this;
  BookReader& reader = *iScanReader;
  const int count = reader.GetSubjectCount();
  int i = 0;
  try {
    Ranking ranking(std::move(seed));
    bool changed = false;
    std::string fetched;
    for (; i < count; ++i) {
      if (iStop.load(std::memory_order_relaxed)) break;
      if (i > 0 && i % kCheckpoint == 0) {
        if (Publish(serial, changed ? &ranking.List() : nullptr, false, i) && iUpdated) iUpdated();
        changed = false;
        if (iStop.load(std::memory_order_relaxed)) break;
      }
      // Once the list holds ten exact matches, no later subject can enter.
      if (ranking.BoundFor(i) < 0) {
        i = count;
        break;
      }
      std::string_view subject;
      if (static_cast<size_t>(i) < iCachedEnds.size()) {
        const size_t from = i > 0 ? iCachedEnds[static_cast<size_t>(i) - 1] : 0;
        subject =
            std::string_view(iCached).substr(from, iCachedEnds[static_cast<size_t>(i)] - from);
      } else {
        fetched = reader.GetSubject(i);
        subject = fetched;
        CacheSubject(i, subject);
      }
      changed |= Consider(subject, matcher, ranking, i);
    }
    if (i >= count) {
      if (Publish(serial, &ranking.List(), true, count) && iUpdated) iUpdated();
      return;
    }
  } catch (const std::bad_alloc&) {
    // Out of memory: the scan ends where it is, the last list stays.
  }
  std::lock_guard lock(iMutex);
  if (serial == iSerial) {
    iSnapshot.scanned = i;
    iSnapshot.running = false;
  }
}

}  // namespace ql
