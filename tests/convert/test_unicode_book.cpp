// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Version 2002 books written by the builder and read back: random Unicode
// text from every plane (marks, right-to-left scripts, texts kept in their
// entry and texts in the record stream across many blocks), lookups with
// keys in another case, searches against the plain reference, the parallel
// search, the text export and the damage check; texts several entries
// share; and conversions between the two versions.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "book_builder.h"
#include "book_fixture.h"
#include "book_format.h"
#include "book_reader.h"
#include "byte_sink.h"
#include "cp1252.h"
#include "parallel_search.h"
#include "test_helpers.h"
#include "unicode_reference.h"
#include "unicode_text.h"
#include "upgrade.h"

namespace {

using qltest::Entry;
using qltest::Pairs;

// Ranges of code points the texts are drawn from: cased letters of several
// scripts (one of them beyond the first plane), combining marks, scripts
// written right to left, and characters of planes 1, 2, 3, 14, 15 and 16.
struct Range {
  char32_t first, last;
};
constexpr Range kTextRanges[] = {
    {'a', 'z'},         {'A', 'Z'},         {'0', '9'},          {' ', ' '},
    {0xC0, 0xFF},       {0x391, 0x3A9},     {0x3B1, 0x3C9},      {0x410, 0x44F},
    {0x300, 0x36F},     {0x5D0, 0x5EA},     {0x627, 0x64A},      {0x4E00, 0x4E80},
    {0x10400, 0x1044F}, {0x1F600, 0x1F64F}, {0x20000, 0x20100},  {0x30000, 0x30050},
    {0xE0020, 0xE007F}, {0xF0000, 0xF0100}, {0x100000, 0x100100}};
// Subjects: letters with case (and a few without), no marks or spaces.
constexpr Range kSubjectRanges[] = {{'a', 'z'},       {'A', 'Z'},        {0x391, 0x3A9},
                                    {0x3B1, 0x3C9},   {0x410, 0x44F},    {0x5D0, 0x5EA},
                                    {0x4E00, 0x4E10}, {0x10400, 0x1044F}};

template <size_t N>
char32_t RandomCodePoint(std::mt19937& rng, const Range (&ranges)[N]) {
  const Range& r = ranges[rng() % N];
  const char32_t cp = r.first + char32_t(rng() % (r.last - r.first + 1));
  return cp == 0x3A2 ? 0x3A3 : cp;  // no capital final sigma exists
}

// Random text of about bytes bytes, never more.
std::string RandomText(std::mt19937& rng, size_t bytes) {
  std::string text;
  for (;;) {
    std::string one;
    ql::AppendUtf8Char(one, RandomCodePoint(rng, kTextRanges));
    if (text.size() + one.size() > bytes) return text;
    text += one;
  }
}

// The case of ASCII, Greek, Cyrillic and Deseret letters swapped: the same
// subject to a lookup that folds case.
std::string SwapCase(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    char32_t c = 0;
    i += ql::DecodeUtf8(s, i, c);
    if ((c >= 'a' && c <= 'z') || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
      c -= 0x20;
    else if ((c >= 'A' && c <= 'Z') || (c >= 0x391 && c <= 0x3A9) || (c >= 0x410 && c <= 0x42F))
      c += 0x20;
    else if (c >= 0x10400 && c <= 0x1044F)
      c = c < 0x10428 ? c + 0x28 : c - 0x28;
    ql::AppendUtf8Char(out, c);
  }
  return out;
}

// ASCII text of n bytes that rarely repeats.
std::string Pattern(size_t n, char seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = char('!' + (size_t(seed) * 7 + i) % 90);
  return s;
}

// The first n characters of s.
std::string FirstCharacters(std::string_view s, size_t n) {
  size_t at = 0;
  for (char32_t c = 0; n > 0 && at < s.size(); --n) at += ql::DecodeUtf8(s, at, c);
  return std::string(s.substr(0, at));
}

// The head a reader gives: at most 150 bytes, cut before a character that
// would not fit whole.
std::string ExpectedHead(std::string_view text) {
  if (text.size() <= size_t(ql::kRecordHeadMax)) return std::string(text);
  size_t cut = ql::kRecordHeadMax;
  while ((uint8_t(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut));
}

// A book of entries written by the builder (version 2002 when unicode).
std::string WriteBook(const qltest::TempDir& dir, const std::string& name,
                      const std::vector<Entry>& entries, bool unicode = true) {
  ql::BookBuilder builder;
  builder.SetUnicode(unicode);
  for (const Entry& e : entries)
    EXPECT_EQ(builder.AddEntry(e.subject, e.text), ql::BuildResult::kOk);
  const std::string path = dir.File(name);
  EXPECT_EQ(builder.WriteBookFile(path), ql::BuildResult::kOk);
  return path;
}

// Entries whose subjects differ after folding; texts of every kind of
// length: empty, kept in the entry, at the 150-byte edge, in the record
// stream, and a few that span several record blocks.
std::vector<Entry> RandomEntries(std::mt19937& rng, int count) {
  std::vector<Entry> entries;
  std::vector<std::string> folded;
  while (int(entries.size()) < count) {
    std::string subject;
    const int letters = 1 + int(rng() % 10);
    for (int k = 0; k < letters; ++k)
      ql::AppendUtf8Char(subject, RandomCodePoint(rng, kSubjectRanges));
    std::string key = ql::FoldUtf8(subject);
    if (std::find(folded.begin(), folded.end(), key) != folded.end()) continue;
    folded.push_back(std::move(key));
    const int kind = int(rng() % 20);
    const size_t bytes = kind < 2    ? 0
                         : kind < 8  ? 1 + rng() % 150
                         : kind < 10 ? 147 + rng() % 8
                                     : 151 + rng() % 3000;
    entries.push_back({subject, RandomText(rng, bytes)});
  }
  for (int k = 0; k < 3; ++k)
    entries[size_t(rng() % entries.size())].text = RandomText(rng, 100000 + rng() % 100000);
  return entries;
}

// Where the search walk must stop first from (record, -1): the subject, or
// the first occurrence in the text, as the plain reference finds them.
std::pair<int, int> ExpectedHit(const std::vector<Entry>& entries, int record,
                                const std::string& term) {
  for (int i = record; i < int(entries.size()); ++i) {
    if (!qltest::NaiveFoldedFind(entries[size_t(i)].subject, term, 0).empty()) return {i, -1};
    const auto hits = qltest::NaiveFoldedFind(entries[size_t(i)].text, term, 0);
    if (!hits.empty()) return {i, int(hits.front().offset)};
  }
  return {int(entries.size()), -1};
}

TEST(UnicodeBook, RandomTextReadsBackLooksUpAndSearches) {
  qltest::TempDir dir;
  std::mt19937 rng(2002);
  const std::vector<Entry> random = RandomEntries(rng, 400);
  std::vector<Entry> sorted = random;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Entry& a, const Entry& b) {
    return ql::CompareFoldedUtf8(a.subject, b.subject) < 0;
  });
  const struct {
    const char* name;
    const std::vector<Entry>& entries;
    int sorted;
  } cases[] = {{"sorted", sorted, 1}, {"unsorted", random, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Entry>& entries = c.entries;
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(WriteBook(dir, std::string(c.name) + ".ql", entries), ql::kOpenReadOnly),
              ql::OpenResult::kOk);
    ASSERT_TRUE(reader.IsUnicode());
    EXPECT_EQ(reader.GetVersion(), ql::kVersionUnicode);
    EXPECT_EQ(reader.GetSorted(), c.sorted);
    ASSERT_EQ(reader.GetSubjectCount(), int(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      const int index = int(i);
      EXPECT_EQ(reader.GetSubject(index), entries[i].subject) << i;
      EXPECT_EQ(reader.GetRecordHead(index), ExpectedHead(entries[i].text)) << i;
      ASSERT_EQ(reader.LoadRecord(index), 1);
      EXPECT_EQ(reader.CurrentRecordText(), entries[i].text) << i;
      EXPECT_FALSE(reader.CurrentRecordDamaged()) << i;
    }
    // Backwards too: blocks are taken again out of order.
    for (int i = int(entries.size()) - 1; i >= 0; i -= 7) {
      ASSERT_EQ(reader.LoadRecord(i), 1);
      EXPECT_EQ(reader.CurrentRecordText(), entries[size_t(i)].text) << i;
    }

    // Lookups with the case of every letter swapped, whole and by prefix.
    for (size_t i = 0; i < entries.size(); i += 3) {
      const std::string& subject = entries[i].subject;
      EXPECT_EQ(reader.FindSubject(ql::MatchWhole, SwapCase(subject)), int(i)) << i;
      const std::string prefix = SwapCase(FirstCharacters(subject, 1 + i % 3));
      const std::string folded = ql::FoldUtf8(prefix);
      int first = -1;
      for (size_t j = 0; j < entries.size() && first < 0; ++j)
        if (ql::FoldUtf8(entries[j].subject).rfind(folded, 0) == 0) first = int(j);
      EXPECT_EQ(reader.FindSubject(ql::MatchPrefix, prefix), first) << i;
    }
    EXPECT_EQ(reader.FindSubject(ql::MatchWhole, "\xF0\x9F\x98\x80no such"), -1);

    // Terms cut from texts and subjects, in another case, folded as the
    // book folds: the walk, FindMatch and the parallel search stop where
    // the plain reference does.
    std::vector<std::string> terms;
    for (int k = 0; k < 10; ++k) {
      const Entry& e = entries[size_t(rng() % entries.size())];
      const std::string& from = k % 3 == 0 || e.text.empty() ? e.subject : e.text;
      size_t at = rng() % from.size();
      while ((uint8_t(from[at]) & 0xC0) == 0x80) --at;
      terms.push_back(reader.FoldTerm(SwapCase(FirstCharacters(from.substr(at), 2 + k % 3))));
    }
    terms.push_back(reader.FoldTerm("\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96"));
    for (const std::string& term : terms) {
      SCOPED_TRACE(term);
      for (int start : {0, int(entries.size()) / 2}) {
        const auto [wantRecord, wantPos] = ExpectedHit(entries, start, term);
        const int wantResult = wantRecord < int(entries.size()) ? ql::kSearchHit : ql::kSearchNone;
        int record = start, pos = -1;
        EXPECT_EQ(reader.Search(ql::SearchSubjectsAndText, term, record, pos, false, false),
                  wantResult);
        if (wantResult == ql::kSearchHit) {
          EXPECT_EQ(std::make_pair(record, pos), std::make_pair(wantRecord, wantPos));
        }
        ql::SearchQuery query;
        query.term1 = term;
        record = start;
        pos = -1;
        EXPECT_EQ(reader.FindMatch(query, record, pos), wantResult);
        if (wantResult == ql::kSearchHit) {
          EXPECT_EQ(std::make_pair(record, pos), std::make_pair(wantRecord, wantPos));
        }
        ql::ParallelSearch parallel;
        ASSERT_EQ(parallel.Start(reader, query, start, -1, 3), ql::OpenResult::kOk);
        const ql::SearchOutcome outcome = parallel.Wait();
        EXPECT_EQ(outcome.result, wantResult);
        if (wantResult == ql::kSearchHit) {
          EXPECT_EQ(std::make_pair(outcome.record, outcome.pos),
                    std::make_pair(wantRecord, wantPos));
        }
      }
    }

    // The text export writes every entry as it is stored; empty texts are
    // the ones it cannot carry.
    ql::StringSink out;
    ql::TabTextReport report;
    EXPECT_EQ(reader.WriteTabText(out, nullptr, &report), int(entries.size()));
    std::string expected;
    int empty = 0;
    for (const Entry& e : entries) {
      expected += e.subject + "\t" + e.text + "\r\n";
      empty += e.text.empty();
    }
    EXPECT_EQ(out.Data(), expected);
    EXPECT_EQ(report.damaged, 0);
    EXPECT_EQ(report.notCarried, empty);
    EXPECT_TRUE(reader.CheckBook().empty());
  }
}

TEST(UnicodeBook, ALookupDecodesOnlyTheSubjectBlockOfItsKey) {
  qltest::TempDir dir;
  // Subjects over many blocks; the book's subjects sort as they are made.
  std::vector<Entry> entries;
  for (int i = 0; i < 12000; ++i) {
    char subject[32];
    std::snprintf(subject, sizeof subject, "entry%06d", i * 3);
    entries.push_back({subject, "text"});
  }
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(WriteBook(dir, "many.ql", entries), ql::kOpenReadOnly),
            ql::OpenResult::kOk);
  ASSERT_TRUE(reader.IsUnicode());
  ASSERT_EQ(reader.GetSorted(), 1);
  struct Case {
    std::string key;
    int mode, found;
  };
  std::vector<Case> cases = {{"entry000000", ql::MatchWhole, 0},
                             {"ENTRY035997", ql::MatchWhole, 11999},
                             {"entry000001", ql::MatchWhole, -1},
                             {"entry01", ql::MatchPrefix, 3334},
                             {"entry1", ql::MatchPrefix, -1},
                             {"entry99", ql::MatchPrefix, -1},
                             {"a", ql::MatchWhole, -1}};
  for (int i = 7; i < 12000; i += 997)
    cases.push_back({entries[size_t(i)].subject, ql::MatchWhole, i});
  // Twice: the second time each block's first subject is known, and a
  // lookup decodes no more than the block that holds its key and, when the
  // key lies at its edge, the neighbouring one.
  for (int round = 0; round < 2; ++round) {
    const int64_t before = reader.Stats().subjectBlockLoads;
    for (const Case& c : cases) EXPECT_EQ(reader.FindSubject(c.mode, c.key), c.found) << c.key;
    if (round == 1) {
      EXPECT_LE(reader.Stats().subjectBlockLoads - before, 2 * int64_t(cases.size()));
    }
  }
}

TEST(UnicodeBook, SharedTextsAreStoredOnceAndReadWhole) {
  qltest::TempDir dir;
  std::mt19937 rng(7);
  // Texts far longer than a record block, of characters zstd finds no
  // repeats in: stored twice, a text costs its bytes twice.
  const std::string a = RandomText(rng, 150000);
  const std::string b = RandomText(rng, 90000);
  const std::string small = RandomText(rng, 100);
  const std::vector<Entry> expected = {
      {"one", a},    {"two", a}, {"three", small}, {"four", small}, {"five", b + "\t\x09" + a},
      {"six", a + b}};
  size_t sizes[2] = {};
  for (const bool share : {true, false}) {
    SCOPED_TRACE(share);
    ql::BookBuilder builder;
    builder.SetUnicode(true);
    auto add = [&](const std::string& subject, const std::string& text, int64_t source) {
      return share ? builder.AddSharedEntry(subject, text, source, int64_t(text.size()))
                   : builder.AddEntry(subject, text);
    };
    auto append = [&](const std::string& text, int64_t source) {
      return share ? builder.AppendSharedText(text, source, int64_t(text.size()))
                   : builder.AppendEntryText(text);
    };
    ASSERT_EQ(add("one", a, 0), ql::BuildResult::kOk);
    ASSERT_EQ(add("two", a, 0), ql::BuildResult::kOk);
    // Texts kept in their entry are not shared.
    ASSERT_EQ(add("three", small, 1), ql::BuildResult::kOk);
    ASSERT_EQ(add("four", small, 1), ql::BuildResult::kOk);
    ASSERT_EQ(builder.BeginEntry("five"), ql::BuildResult::kOk);
    ASSERT_EQ(append(b, 2), ql::BuildResult::kOk);
    ASSERT_EQ(builder.AppendEntryText("\t\x09"), ql::BuildResult::kOk);
    ASSERT_EQ(append(a, 0), ql::BuildResult::kOk);
    ASSERT_EQ(builder.EndEntry(), ql::BuildResult::kOk);
    ASSERT_EQ(builder.BeginEntry("six"), ql::BuildResult::kOk);
    ASSERT_EQ(append(a, 0), ql::BuildResult::kOk);
    ASSERT_EQ(append(b, 2), ql::BuildResult::kOk);
    ASSERT_EQ(builder.EndEntry(), ql::BuildResult::kOk);
    // a is taken again three times, b once: two texts shared.
    EXPECT_EQ(builder.SharedTexts(), share ? 2 : 0);
    EXPECT_EQ(builder.SharedBytes(), share ? int64_t(3 * a.size() + b.size()) : 0);
    const std::string path = dir.File(share ? "shared.ql" : "apart.ql");
    ASSERT_EQ(builder.WriteBookFile(path), ql::BuildResult::kOk);
    sizes[share ? 0 : 1] = std::filesystem::file_size(path);
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
    EXPECT_EQ(qltest::ReadEntries(reader), qltest::AsPairs(expected));
    EXPECT_TRUE(reader.CheckBook().empty());
    for (int i = 0; i < reader.GetSubjectCount(); ++i)
      EXPECT_EQ(reader.GetRecordHead(i), ExpectedHead(expected[size_t(i)].text)) << i;
  }
  // Without sharing a is stored three times more and b once more: well
  // over twice the book.
  EXPECT_LT(2 * sizes[0], sizes[1]);
}

TEST(UnicodeBook, ARecordOfMoreSharedPiecesThanAnEntryNamesReadsWhole) {
  // One stored text taken again thousands of times within a record, each
  // time a piece of its own: past the most pieces an entry names, the
  // rest is stored as it comes, and the record still reads whole.
  qltest::TempDir dir;
  const std::string piece = Pattern(40, 'p') + "\xCE\xA9";
  const std::string first = Pattern(200, 'f');
  std::string whole;
  ql::BookBuilder builder;
  builder.SetUnicode(true);
  ASSERT_EQ(builder.AddSharedEntry("a", first + piece, 0, 242), ql::BuildResult::kOk);
  ASSERT_EQ(builder.BeginEntry("b"), ql::BuildResult::kOk);
  // The piece is stored once with the first entry it comes with.
  for (int k = 0; k < ql::kUnicodeMaxPieces + 100; ++k) {
    ASSERT_EQ(builder.AppendSharedText(piece, 1, int64_t(piece.size())), ql::BuildResult::kOk);
    whole += piece;
    if (k % 1000 == 999) {
      const std::string own = "#" + std::to_string(k);
      ASSERT_EQ(builder.AppendSharedText(own, 100 + k, int64_t(own.size())), ql::BuildResult::kOk);
      whole += own;
    }
  }
  ASSERT_EQ(builder.EndEntry(), ql::BuildResult::kOk);
  const std::string path = dir.File("pieces.ql");
  ASSERT_EQ(builder.WriteBookFile(path), ql::BuildResult::kOk);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  ASSERT_EQ(reader.LoadRecord(1), 1);
  EXPECT_FALSE(reader.CurrentRecordDamaged());
  EXPECT_EQ(reader.CurrentRecordText(), whole);
  EXPECT_TRUE(reader.CheckBook().empty());
}

TEST(UnicodeBook, ConversionsBetweenTheVersionsWithTheirCounts) {
  qltest::TempDir dir;
  const std::string tail = Pattern(200, 't');
  // Three characters without a Windows-1252 form: a snowman in a subject,
  // an emoji in a text's tail, a CJK character as a whole subject.
  const std::vector<Entry> utf8 = {
      {"caf\xC3\xA9", "\xE2\x82\xAC 5, na\xC3\xAFve"},
      {"snow\xE2\x98\x83", tail + "\xF0\x9F\x98\x80!"},
      {"\xE4\xB8\xAD", "\xC5\x93uvre \xE2\x80\x94 \xC2\xA0"},
  };
  const std::vector<Entry> cp1252 = {
      {"caf\xE9", "\x80 5, na\xEFve"},
      {"snow?", tail + "?!"},
      {"?", "\x9Cuvre \x97 \xA0"},
  };
  // The same text as it came from Windows-1252 bytes.
  const std::vector<Entry> fromCp1252 = {
      {"caf\xC3\xA9", "\xE2\x82\xAC 5, na\xC3\xAFve"},
      {"snow?", tail + "?!"},
      {"?", "\xC5\x93uvre \xE2\x80\x94 \xC2\xA0"},
  };
  const std::string unicodeBook = WriteBook(dir, "u.ql", utf8);
  const std::string westernBook = WriteBook(dir, "w.ql", cp1252, false);
  const std::string fixtureBook = dir.File("fixture.ql");
  qltest::WriteFileBytes(fixtureBook, qltest::BuildBookBytes(cp1252));
  const std::string legacyBook = dir.File("legacy.ql");
  qltest::WriteFileBytes(legacyBook, qltest::BuildLegacyBookBytes(cp1252, 1));
  const struct {
    const char* what;
    const std::string& from;
    int version;
    const std::vector<Entry>& expected;
    int64_t replaced;
  } cases[] = {
      {"2002 to 2001", unicodeBook, 2001, cp1252, 3},
      {"2002 to 2002", unicodeBook, 2002, utf8, 0},
      {"2001 to 2002", westernBook, 2002, fromCp1252, 0},
      {"2001 to 2001", westernBook, 2001, cp1252, 0},
      {"a fixture's 2001 book to 2002", fixtureBook, 2002, fromCp1252, 0},
      {"a legacy book to 2002", legacyBook, 2002, fromCp1252, 0},
      {"a legacy book to 2001", legacyBook, 2001, cp1252, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ql::BookReader source;
    ASSERT_EQ(source.Open(c.from, ql::kOpenReadOnly), ql::OpenResult::kOk);
    const std::string out = dir.File("out.ql");
    ql::UpgradeReport report;
    const auto failure = ql::ConvertBook(source, out, c.version, nullptr, &report);
    ASSERT_FALSE(failure) << ql::UpgradeResultText(*failure);
    EXPECT_EQ(report.replaced, c.replaced);
    EXPECT_EQ(report.damaged, 0);
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(out, ql::kOpenReadOnly), ql::OpenResult::kOk);
    EXPECT_EQ(reader.IsUnicode(), c.version == 2002);
    EXPECT_EQ(qltest::ReadEntries(reader), qltest::AsPairs(c.expected));
  }

  // A 2001 book reads byte for byte, and comes back from 2002 as it was.
  ql::BookReader fixture;
  ASSERT_EQ(fixture.Open(fixtureBook, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(qltest::ReadEntries(fixture), qltest::AsPairs(cp1252));
  for (size_t i = 0; i < cp1252.size(); ++i)
    EXPECT_EQ(fixture.GetRecordHead(int(i)), cp1252[i].text.substr(0, 150)) << i;
  ASSERT_FALSE(ql::ConvertBook(fixture, dir.File("there.ql"), 2002, nullptr, nullptr));
  ql::BookReader there;
  ASSERT_EQ(there.Open(dir.File("there.ql"), ql::kOpenReadOnly), ql::OpenResult::kOk);
  ASSERT_FALSE(ql::ConvertBook(there, dir.File("back.ql"), 2001, nullptr, nullptr));
  EXPECT_EQ(qltest::ReadFileBytes(dir.File("back.ql")), qltest::ReadFileBytes(westernBook));
}

}  // namespace
