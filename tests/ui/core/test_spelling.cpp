// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Spelling suggestions: the bounded distance against the whole table, the
// lists against a ranking of every subject, and the worker's cancel and
// supersede rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "book_fixture.h"
#include "book_reader.h"
#include "spelling.h"

namespace {

using ql::SpellingSnapshot;
using ql::SpellingSuggester;
using ql::Suggestion;

// The whole (m + 1) x (n + 1) table, with the swap of two adjacent bytes,
// after folding A-Z.
int TableDistance(std::string a, std::string b) {
  for (std::string* s : {&a, &b})
    for (char& c : *s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  const size_t m = a.size(), n = b.size();
  std::vector<std::vector<int>> d(m + 1, std::vector<int>(n + 1));
  for (size_t i = 0; i <= m; ++i)
    for (size_t j = 0; j <= n; ++j) {
      if (i == 0 || j == 0) {
        d[i][j] = static_cast<int>(i + j);
        continue;
      }
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[m][n];
}

// Every subject ranked by distance, then book order; the first ten.
std::vector<Suggestion> Ranked(const std::vector<qltest::Entry>& entries, const std::string& text,
                               size_t limit = SIZE_MAX) {
  std::vector<Suggestion> all;
  for (size_t i = 0; i < entries.size() && i < limit; ++i) {
    const int d = TableDistance(text, entries[i].subject);
    if (d <= ql::kMaxSpellingDistance) all.push_back({static_cast<int>(i), entries[i].subject, d});
  }
  std::stable_sort(all.begin(), all.end(), [](const Suggestion& x, const Suggestion& y) {
    return x.distance < y.distance;
  });
  if (all.size() > ql::kMaxSuggestions) all.resize(ql::kMaxSuggestions);
  return all;
}

std::string RandomText(std::mt19937& rng, std::string_view alphabet, size_t maxLength) {
  std::string s(std::uniform_int_distribution<size_t>(0, maxLength)(rng), ' ');
  for (char& c : s)
    c = alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
  return s;
}

TEST(SpellingDistance, MatchesTheWholeTableWithinEveryBound) {
  std::mt19937 rng(20261208);
  // Few letters, so that near texts and swaps are common; both cases and
  // bytes above 0x7F.
  const std::string alphabet = "abcAB\xE9\xC9";
  for (int round = 0; round < 300; ++round) {
    const std::string text = RandomText(rng, alphabet, 10);
    ql::SpellingMatcher matcher(text);  // one matcher for many subjects, as the scan uses it
    for (int k = 0; k < 20; ++k) {
      const std::string subject = RandomText(rng, alphabet, 12);
      const int full = TableDistance(text, subject);
      for (int bound : {0, 1, 2, 3, 5, 8, 100}) {
        const int expected = full <= bound ? full : bound + 1;
        ASSERT_EQ(matcher.Distance(subject, bound), expected)
            << '"' << text << "\" \"" << subject << "\" bound " << bound;
      }
      ASSERT_EQ(ql::SpellingDistance(subject, text, 100), full);  // symmetric
    }
  }
}

TEST(SpellingDistance, SwapsFoldingAndEnds) {
  EXPECT_EQ(ql::SpellingDistance("teh", "the", 5), 1);
  EXPECT_EQ(ql::SpellingDistance("abcd", "badc", 5), 2);
  EXPECT_EQ(ql::SpellingDistance("ca", "abc", 5), 3);  // a swapped pair is not edited again
  EXPECT_EQ(ql::SpellingDistance("", "abc", 5), 3);
  EXPECT_EQ(ql::SpellingDistance("abc", "", 2), 3);  // over the bound
  EXPECT_EQ(ql::SpellingDistance("Cat", "cAT", 0), 0);
  EXPECT_EQ(ql::SpellingDistance("kitten", "sitting", -1), 0);  // nothing is within -1
  // Two bytes are the same letter exactly when the subject order holds them equal.
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) {
      const std::string a(1, static_cast<char>(x)), b(1, static_cast<char>(y));
      ASSERT_EQ(ql::SpellingDistance(a, b, 1) == 0, ql::CompareSubjects(a, b) == 0)
          << x << ' ' << y;
    }
}

// A book the test builds, open read-only as the window's reader, and a
// suggester whose reader opens the same file.
class SpellingTest : public testing::Test {
 protected:
  void Open(const std::vector<qltest::Entry>& book, int quickBudget = ql::kQuickBudget) {
    entries = book;
    path = dir.File("book.ql");
    suggester.reset();  // the old book's readers go first
    reader = std::make_unique<ql::BookReader>();
    qltest::WriteFileBytes(path, qltest::BuildBookBytes(book));
    ASSERT_EQ(reader->Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
    auto open = [this] {
      ++opened;
      auto r = std::make_unique<ql::BookReader>();
      if (failOpen || r->Open(path, ql::kOpenReadOnly) != ql::OpenResult::kOk) r.reset();
      return r;
    };
    suggester = std::make_unique<SpellingSuggester>(
        open, [this] { Updated(); }, SpellingSuggester::Options{quickBudget});
  }

  // The scan thread calls Updated() on this fixture; it must be gone before
  // the fixture starts to come apart.
  void TearDown() override { suggester.reset(); }

  void Updated() {
    std::lock_guard lock(mutex);
    ++updates;
    changed.notify_all();
  }

  // The snapshot once the scan has ended (the wait is only a guard against
  // a hang, far beyond any scan here).
  SpellingSnapshot Finished() {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(60), [&] { return !suggester->Current().running; });
    return suggester->Current();
  }

  void WaitForUpdates(int count) {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(60), [&] { return updates >= count; }));
  }

  qltest::TempDir dir;
  std::string path;
  std::vector<qltest::Entry> entries;
  std::unique_ptr<ql::BookReader> reader;
  std::unique_ptr<SpellingSuggester> suggester;
  std::mutex mutex;
  std::condition_variable changed;
  int updates = 0;
  int opened = 0;
  bool failOpen = false;
};

// n pseudo-words of two to four syllables, in subject order unless shuffled.
std::vector<qltest::Entry> Words(size_t n, uint32_t seed, bool sorted = true) {
  std::mt19937 rng(seed);
  const std::vector<std::string> syllables = {"ba", "ce", "di", "fo", "gu", "ha", "ke",
                                              "li", "mo", "nu", "pa", "re", "si", "to"};
  std::vector<qltest::Entry> entries;
  for (size_t i = 0; i < n; ++i) {
    std::string w;
    for (int s = std::uniform_int_distribution<int>(2, 4)(rng); s > 0; --s)
      w += syllables[std::uniform_int_distribution<size_t>(0, syllables.size() - 1)(rng)];
    entries.push_back({w, "text"});
  }
  if (sorted)
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
      return ql::CompareSubjects(a.subject, b.subject) < 0;
    });
  return entries;
}

TEST_F(SpellingTest, FinalListIsTheRankingOfEverySubject) {
  std::mt19937 rng(7);
  const std::string alphabet = "abcdeABE\xE9\xC9";
  for (int book = 0; book < 6; ++book) {
    // Small random books, sorted and not, with no first list, a partial one
    // and one that covers the book.
    std::vector<qltest::Entry> random;
    for (int i = 0; i < 2500; ++i) random.push_back({"x" + RandomText(rng, alphabet, 7), "t"});
    if (book % 2 == 0)
      std::sort(random.begin(), random.end(), [](const auto& a, const auto& b) {
        return ql::CompareSubjects(a.subject, b.subject) < 0;
      });
    Open(random, std::vector<int>{0, 37, 3000}[static_cast<size_t>(book / 2)]);
    for (int q = 0; q < 4; ++q) {
      const std::string text = "x" + RandomText(rng, alphabet, 6);
      const SpellingSnapshot first = suggester->Start(text, *reader);
      const SpellingSnapshot last = Finished();
      ASSERT_TRUE(last.complete) << text;
      EXPECT_EQ(last.text, text);
      EXPECT_EQ(last.scanned, 2500);
      EXPECT_GE(last.generation, first.generation);
      EXPECT_EQ(last.suggestions, Ranked(random, text)) << "book " << book << " text " << text;
    }
  }
  // Fewer subjects than suggestions, by the scan: every subject, as read
  // from the book and then from memory.
  Open(Words(8, 9), 0);
  for (const std::string text : {"kelimo", "ba", "kelimo"}) {
    suggester->Start(text, *reader);
    EXPECT_EQ(Finished().suggestions, Ranked(entries, text));
  }
  EXPECT_EQ(opened, 5);  // one reader for every scan of a book the first list did not cover
}

TEST_F(SpellingTest, SmallBooksEmptyAndLongTextsClosedBook) {
  Open({{"Apple", "x"}, {"apply", "x"}, {"caf\xC9", "x"}, {"caf\xE9", "x"}, {"zebra", "x"}});
  // Fewer subjects than suggestions: all of them, found without a scan.
  SpellingSnapshot s = suggester->Start("APPLE", *reader);
  EXPECT_TRUE(s.complete);
  EXPECT_FALSE(s.running);
  EXPECT_EQ(s.suggestions, Ranked(entries, "APPLE"));
  ASSERT_EQ(s.suggestions.size(), 5u);
  EXPECT_EQ(s.suggestions[0].record, 0);  // "Apple" folds to the text
  // Accented capitals are not folded, as in the subject order.
  s = suggester->Start("CAF\xC9", *reader);
  EXPECT_EQ(s.suggestions[0].subject, "caf\xC9");
  EXPECT_EQ(s.suggestions[1].subject, "caf\xE9");
  EXPECT_EQ(s.suggestions[1].distance, 1);
  const uint64_t before = s.generation;
  for (const std::string& text : {std::string(), std::string(ql::kMaxSpellingText + 1, 'a')}) {
    s = suggester->Start(text, *reader);
    EXPECT_TRUE(s.complete);
    EXPECT_TRUE(s.suggestions.empty());
    EXPECT_EQ(suggester->Current().text, text);
  }
  EXPECT_GT(suggester->Current().generation, before);
  ql::BookReader closed;
  s = suggester->Start("apple", closed);
  EXPECT_TRUE(s.complete);
  EXPECT_TRUE(s.suggestions.empty());
  EXPECT_EQ(opened, 0);
}

TEST_F(SpellingTest, FirstListComesFromAroundTheText) {
  // Thousands of subjects between "receive" and the place of "rexeive", and
  // between "tabdouse" and the place of "tabzouse".
  std::mt19937 rng(1);
  const std::string letters = "abcdefghijklmnopqrstuvwxyz";
  std::vector<qltest::Entry> words = {{"receive", "x"}, {"tabdouse", "x"}};
  for (const auto& [start, n] : {std::pair{"a", 1000}, {"rel", 6000}, {"tab", 4090}, {"z", 1000}})
    for (int i = 0; i < n; ++i) words.push_back({start + RandomText(rng, letters, 5), "x"});
  std::sort(words.begin(), words.end(), [](const auto& a, const auto& b) {
    return ql::CompareSubjects(a.subject, b.subject) < 0;
  });
  Open(words);
  failOpen = true;  // no scan: the first list stays
  // A slip near the end leaves the subject near the text's own place, one
  // further forward among those sharing the start before the slip.
  for (const std::string text : {"recieve", "RECEIVEE", "rexeive", "tabzouse"}) {
    const SpellingSnapshot first = suggester->Start(text, *reader);
    EXPECT_FALSE(first.complete);
    EXPECT_FALSE(first.running);
    ASSERT_FALSE(first.suggestions.empty());
    EXPECT_EQ(first.suggestions[0].subject, text[0] == 't' ? "tabdouse" : "receive") << text;
    const std::vector<Suggestion> best = Ranked(words, text);
    for (size_t i = 0; i < first.suggestions.size(); ++i) {
      const Suggestion& got = first.suggestions[i];
      EXPECT_EQ(got.subject, words[static_cast<size_t>(got.record)].subject);
      EXPECT_EQ(got.distance, TableDistance(text, got.subject));
      if (i > 0) {
        EXPECT_LT(std::tie(first.suggestions[i - 1].distance, first.suggestions[i - 1].record),
                  std::tie(got.distance, got.record));
      }
      // Never better than the final list at the same rank.
      ASSERT_LT(i, best.size());
      EXPECT_GE(std::tie(got.distance, got.record), std::tie(best[i].distance, best[i].record));
    }
  }
  EXPECT_EQ(opened, 4);  // a failed open is tried again at the next start

  // In an unsorted book the first list ranks the first subjects.
  Open(Words(5000, 2, false), 700);
  failOpen = true;
  EXPECT_EQ(suggester->Start("lidoma", *reader).suggestions, Ranked(entries, "lidoma", 700));
}

TEST_F(SpellingTest, CancelStopsTheScanAtOnce) {
  Open(Words(5000, 3), 0);
  // The callback cancels at the first list the worker publishes (at its
  // first progress point, once ten subjects are in).
  std::vector<SpellingSnapshot> seen;
  suggester = std::make_unique<SpellingSuggester>(
      [this] {
        auto r = std::make_unique<ql::BookReader>();
        EXPECT_EQ(r->Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
        return r;
      },
      [&] {
        if (seen.empty()) {
          seen.push_back(suggester->Current());
          suggester->Cancel();
        }
        Updated();
      },
      SpellingSuggester::Options{0});
  suggester->Start("mokeli", *reader);
  WaitForUpdates(1);
  suggester->Cancel();  // joins
  SpellingSnapshot s = suggester->Current();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(updates, 1);
  EXPECT_FALSE(s.complete);
  EXPECT_FALSE(s.running);
  EXPECT_EQ(s.scanned, seen[0].scanned);  // not a subject further
  EXPECT_LT(s.scanned, 5000);
  EXPECT_EQ(s.generation, seen[0].generation);
  EXPECT_EQ(s.suggestions, seen[0].suggestions);
  // The next scan reads the subjects the cancelled one kept, then the book.
  suggester->Start("mokeli", *reader);
  s = Finished();
  EXPECT_TRUE(s.complete);
  EXPECT_EQ(s.suggestions, Ranked(entries, "mokeli"));
}

TEST_F(SpellingTest, NewStartSupersedesTheOldScan) {
  Open(Words(20000, 4), 0);
  std::vector<SpellingSnapshot> seen;
  suggester = std::make_unique<SpellingSuggester>(
      [this] {
        auto r = std::make_unique<ql::BookReader>();
        EXPECT_EQ(r->Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
        return r;
      },
      [&] {
        SpellingSnapshot s = suggester->Current();
        std::lock_guard lock(mutex);
        seen.push_back(std::move(s));
        ++updates;
        changed.notify_all();
      },
      SpellingSuggester::Options{0});
  suggester->Start("aaaaaa", *reader);
  WaitForUpdates(1);  // the first scan is under way
  const SpellingSnapshot second = suggester->Start("kelimo", *reader);
  std::vector<SpellingSnapshot> polled{second};
  for (SpellingSnapshot s = second; s.running; s = suggester->Current()) {
    if (s.generation != polled.back().generation) polled.push_back(s);
  }
  const SpellingSnapshot last = Finished();
  EXPECT_TRUE(last.complete);
  EXPECT_EQ(last.suggestions, Ranked(entries, "kelimo"));
  // Whatever was seen after the second start is a list for its text: the
  // first scan's lists (far from "kelimo") never show under it.
  std::lock_guard lock(mutex);
  seen.insert(seen.end(), polled.begin(), polled.end());
  seen.push_back(last);
  bool secondSeen = false;
  for (const SpellingSnapshot& s : seen) {
    secondSeen |= s.text == "kelimo";
    EXPECT_TRUE(!secondSeen || s.text == "kelimo");
    for (const Suggestion& x : s.suggestions)
      EXPECT_EQ(x.distance, TableDistance(s.text, x.subject)) << s.text << ' ' << x.subject;
  }
}

TEST_F(SpellingTest, DestroyedWhileScanning) {
  Open(Words(20000, 5), 0);
  // The callback reaches into an object destroyed right after the
  // suggester: a worker that outlived it would touch freed memory.
  auto hits = std::make_unique<int>(0);
  suggester = std::make_unique<SpellingSuggester>(
      [this] {
        auto r = std::make_unique<ql::BookReader>();
        r->Open(path, ql::kOpenReadOnly);
        return r;
      },
      [&hits] { ++*hits; }, SpellingSuggester::Options{0});
  EXPECT_TRUE(suggester->Start("gulira", *reader).running);
  suggester.reset();
  hits.reset();
}

}  // namespace
