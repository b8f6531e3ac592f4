// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Search and FindMatch over books built in the test.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "reader_fixture.h"
#include "text_case.h"

namespace {

using qltest::Hit;

Hit Find(ql::BookReader& reader, int mode, const std::string& term, int record, int pos,
         bool wholeWord = false, bool sameRecordOnly = false) {
  int r = reader.Search(mode, term, record, pos, wholeWord, sameRecordOnly);
  return {r, record, pos};
}

Hit Match(ql::BookReader& reader, const ql::SearchQuery& query, int record = 0, int pos = -1) {
  int r = reader.FindMatch(query, record, pos);
  return {r, record, pos};
}

constexpr int kText = ql::SearchSubjectsAndText;
constexpr int kSubjects = ql::SearchSubjects;

TEST(Search, WholeWordsAndLinks) {
  qltest::OpenBookFixture book({{"a", "concatenate cat"},
                                {"b", "cat's"},
                                {"c", "catalogue"},
                                {"d",
                                 "see \t\x11"
                                 "cat\t\x12 and \t\x11"
                                 "x>the cat\t\x12"},
                                {"e", "the CAT"}});
  ASSERT_TRUE(book.Ok());
  ql::BookReader& reader = book.Reader();
  EXPECT_EQ(Find(reader, kText, "cat", 0, -1, true), (Hit{1, 0, 12}));
  EXPECT_EQ(Find(reader, kText, "cat", 0, -1, false), (Hit{1, 0, 3}));
  EXPECT_EQ(Find(reader, kText, "cat", 0, 13, true), (Hit{1, 1, 0}));
  // "catalogue" is no whole word; the links of record 3 hide their cats, so
  // the next whole-word hit is in record 4 (found through the case mapping).
  EXPECT_EQ(Find(reader, kText, "cat", 1, 1, true), (Hit{1, 4, 4}));
  EXPECT_EQ(Find(reader, kText, "cat", 3, -1, false), (Hit{1, 4, 4}));
  EXPECT_EQ(reader.CurrentRecord(), 4);
  EXPECT_EQ(Find(reader, kText, "cat", 4, 5, false), (Hit{-1, 5, -1}));
}

TEST(Search, SubjectHitsThenTexts) {
  qltest::OpenBookFixture book({{"Cat", "a cat here"}, {"Dog", "no"}, {"\xC9t\xC9", "\xC9T\xC9"}});
  ASSERT_TRUE(book.Ok());
  ql::BookReader& reader = book.Reader();
  EXPECT_EQ(Find(reader, kText, "cat", 0, -1), (Hit{1, 0, -1}));
  EXPECT_EQ(Find(reader, kText, "cat", 0, 0), (Hit{1, 0, 2}));  // skips the subject
  EXPECT_EQ(Find(reader, kText, "cat", 0, 3), (Hit{-1, 3, -1}));
  // Accented capitals lower to their small forms in subjects and texts.
  EXPECT_EQ(Find(reader, kText, "\xE9t\xE9", 0, -1), (Hit{1, 2, -1}));
  EXPECT_EQ(Find(reader, kText, "\xE9t\xE9", 2, 0), (Hit{1, 2, 0}));
  EXPECT_EQ(Find(reader, kSubjects, "\xE9t\xE9", 0, -1), (Hit{1, 2, -1}));
  // Any other mode finds nothing.
  EXPECT_EQ(Find(reader, 1, "cat", 0, -1).result, -1);
}

TEST(Search, EndsAndSameRecord) {
  qltest::OpenBookFixture book({{"a", "first"}, {"b", "second"}, {"c", "dog"}});
  ASSERT_TRUE(book.Ok());
  ql::BookReader& reader = book.Reader();
  ASSERT_EQ(reader.LoadRecord(1), 1);
  // Nothing to the end: the record shown before is current again.
  EXPECT_EQ(Find(reader, kText, "zebra", 0, -1).result, -1);
  EXPECT_EQ(reader.CurrentRecord(), 1);
  EXPECT_EQ(reader.CurrentRecordText(), "second");
  // A start at the subject count ends at once, reading nothing.
  ql::ReaderStats before = reader.Stats();
  EXPECT_EQ(Find(reader, kText, "first", 3, -1), (Hit{-1, 3, -1}));
  EXPECT_EQ(reader.Stats().subjectBlockLoads, before.subjectBlockLoads);
  // Same record only: leaving record 0 gives -5, a hit inside it 1.
  EXPECT_EQ(Find(reader, kText, "dog", 0, -1, false, true), (Hit{-5, 1, -1}));
  EXPECT_EQ(Find(reader, kText, "irs", 0, -1, false, true), (Hit{1, 0, 1}));
}

TEST(FindMatch, AndAndExclude) {
  qltest::OpenBookFixture book(
      {{"dog", "a cat"}, {"x", "cat and dog"}, {"pets", "dog and cat"}, {"bird", "cat only"}});
  ASSERT_TRUE(book.Ok());
  ql::BookReader& reader = book.Reader();
  ql::SearchQuery q;
  q.term1 = "cat";
  q.term2 = "dog";
  // dog only in the subject still counts in mode 3.
  EXPECT_EQ(Match(reader, q), (Hit{1, 0, 2}));
  // dog before cat: the hit is at cat.
  EXPECT_EQ(Match(reader, q, 2), (Hit{1, 2, 8}));
  q.exclude2 = true;
  EXPECT_EQ(Match(reader, q), (Hit{1, 3, 0}));
  // A third term: both conditions must hold.
  q.exclude2 = false;
  q.term3 = "and";
  EXPECT_EQ(Match(reader, q), (Hit{1, 1, 0}));
  q.exclude3 = true;
  EXPECT_EQ(Match(reader, q), (Hit{1, 0, 2}));
  // Mode 2 looks for every term in subjects only.
  ql::SearchQuery s;
  s.mode = kSubjects;
  s.term1 = "dog";
  EXPECT_EQ(Match(reader, s), (Hit{1, 0, -1}));
  s.term2 = "cat";
  EXPECT_EQ(Match(reader, s).result, -1);
}

TEST(Search, BlockReads) {
  // Long records with tails in a record stream of many small blocks.
  std::vector<qltest::Entry> entries;
  for (int i = 0; i < 40; ++i)
    entries.push_back(
        {"subject " + std::to_string(100 + i), std::string(400, static_cast<char>('a' + i % 20))});
  entries.back().text += " needle";
  entries[7].subject += " needle";
  qltest::BookOptions options;
  options.recordBlockSize = 1000;
  qltest::OpenBookFixture book(entries, options);
  ASSERT_TRUE(book.Ok());
  ql::BookReader& reader = book.Reader();

  // Subjects only: no record block is read.
  EXPECT_EQ(Find(reader, kSubjects, "needle", 0, -1), (Hit{1, 7, -1}));
  EXPECT_EQ(Find(reader, kSubjects, "needle", 8, -1), (Hit{-1, 40, -1}));
  EXPECT_EQ(reader.Stats().recordBlockLoads, 0);

  // A whole-book walk decompresses each record block once.
  const int recordBlocks = (40 * (400 - 150 + 1) + 7 + 999) / 1000;
  EXPECT_EQ(Find(reader, kText, "zebra", 0, -1).result, -1);
  EXPECT_EQ(reader.Stats().recordBlockLoads, recordBlocks);
  EXPECT_EQ(Find(reader, kText, "needle", 8, -1), (Hit{1, 39, 401}));
}

// Every hit of term in record 0 as Find Next gives them, walking on from
// each.
std::vector<int> AllHits(ql::BookReader& reader, const std::string& term, bool wholeWord) {
  std::vector<int> hits;
  int record = 0, pos = -1;
  while (reader.Search(kText, term, record, pos, wholeWord, true) == ql::kSearchHit) {
    hits.push_back(pos);
    ++pos;
  }
  return hits;
}

// The same hits found the plain way: every place the lowered term stands,
// kept when it passes the word and link tests.
std::vector<int> PlainHits(const std::string& text, const std::string& term, bool wholeWord) {
  std::vector<int> hits;
  const std::string lower = ql::LowerCaseCp1252(text);
  for (size_t at = lower.find(term); at != std::string::npos; at = lower.find(term, at + 1))
    if ((!wholeWord || ql::IsWholeWord(text, at, term.size())) && !ql::IsInsideLink(text, at))
      hits.push_back(int(at));
  return hits;
}

TEST(Search, HitsAgreeWithAPlainSearchOnRandomRecords) {
  std::mt19937 rng(11);
  const std::vector<std::string> pieces = {"a",      "A", "b",      "ab",  " ",    "\t\x11",
                                           "\t\x12", ">", "\t\x01", "aba", "\xC0", "\xE0"};
  const std::vector<std::string> terms = {"a", "ab", "aba", "b a", "abab", "\xe0", "a\xe0"};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    for (size_t k = rng() % 60; k > 0; --k) text += pieces[rng() % pieces.size()];
    qltest::OpenBookFixture book({{"s", text}});
    ASSERT_TRUE(book.Ok());
    for (const std::string& term : terms)
      for (bool wholeWord : {false, true})
        ASSERT_EQ(AllHits(book.Reader(), term, wholeWord), PlainHits(text, term, wholeWord))
            << "round " << round << " term " << term;
  }
}

TEST(Search, WorkFollowsTheTextNotHitsTimesLength) {
  {
    // Many hits in one long record: each must not cost the whole record.
    std::string text;
    while (text.size() < 2000000) text += "ab ";
    qltest::OpenBookFixture book({{"s", text}});
    ASSERT_TRUE(book.Ok());
    EXPECT_EQ(AllHits(book.Reader(), "ab", true).size(), text.size() / 3);
    // One pass of the scan and one of the link test, give or take a term's
    // length at each hit.
    EXPECT_LE(book.Reader().Stats().searchTextPassed, static_cast<int64_t>(3 * text.size()));
  }
  {
    // A further term found only at the end of the record, asked for at each hit.
    std::string text;
    while (text.size() < 1000000) text += "ab ";
    qltest::OpenBookFixture book({{"s", text + "zz"}});
    ASSERT_TRUE(book.Ok());
    ql::SearchQuery q;
    q.term1 = "ab";
    q.term2 = "zz";
    int record = 0, pos = -1;
    size_t hits = 0;
    while (book.Reader().FindMatch(q, record, pos) == ql::kSearchHit && record == 0) {
      ++hits;
      ++pos;
    }
    EXPECT_EQ(hits, text.size() / 3);
    EXPECT_LE(book.Reader().Stats().searchTextPassed, static_cast<int64_t>(8 * text.size()));
  }
  {
    // Hits deep inside one long link: none is a hit, none walks back far.
    std::string text = "\t\x11";
    while (text.size() < 2000000) text += "x ";
    qltest::OpenBookFixture book({{"s", text}});
    ASSERT_TRUE(book.Ok());
    EXPECT_TRUE(AllHits(book.Reader(), "x", false).empty());
    EXPECT_LE(book.Reader().Stats().searchTextPassed, static_cast<int64_t>(3 * text.size()));
  }
  {
    // A long term whose first and last bytes match everywhere.
    const std::string text(2000000, 'a');
    const std::string term = std::string(2000, 'a') + "b" + std::string(2000, 'a');
    qltest::OpenBookFixture book({{"s", text + term}});
    ASSERT_TRUE(book.Ok());
    EXPECT_EQ(AllHits(book.Reader(), term, false), std::vector<int>{2000000});
    // Comparing the whole term at each place would be thousands of times
    // the text.
    EXPECT_LE(book.Reader().Stats().searchTextPassed, static_cast<int64_t>(8 * text.size()));
  }
}

}  // namespace
