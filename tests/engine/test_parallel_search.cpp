// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The search on several threads against the plain walk of FindMatch, on
// random books split into many ranges; cancelling; views of a book another
// reader holds; damaged books.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "book_fixture.h"
#include "parallel_search.h"
#include "reader_fixture.h"
#include "reader_test_util.h"

namespace {

using qltest::Hit;

using qltest::Entry;

constexpr int kThreadCounts[] = {1, 2, 3, 8};

std::string Describe(const ql::SearchQuery& q) {
  return "term1 '" + q.term1 + "' term2 '" + q.term2 + (q.exclude2 ? "' excl" : "'") + " term3 '" +
         q.term3 + (q.exclude3 ? "' excl" : "'") + " whole " + std::to_string(q.wholeWord) +
         " mode " + std::to_string(q.mode);
}

Hit Plain(ql::BookReader& reader, const ql::SearchQuery& query, int record, int pos) {
  const int r = reader.FindMatch(query, record, pos);
  return {r, record, pos};
}

Hit Parallel(const ql::BookReader& owner, const ql::SearchQuery& query, int record, int pos,
             int threads, int* ranges = nullptr) {
  ql::ParallelSearch search;
  EXPECT_EQ(search.Start(owner, query, record, pos, threads), ql::OpenResult::kOk);
  const ql::SearchOutcome o = search.Wait();
  if (ranges) *ranges = search.RangeCount();
  return {o.result, o.record, o.pos};
}

// Every hit from record 0 on, walking on after each as Find Next does.
std::vector<Hit> PlainEveryHit(ql::BookReader& reader, const ql::SearchQuery& query) {
  std::vector<Hit> hits;
  int record = 0, pos = -1;
  while (record < reader.GetSubjectCount() &&
         reader.FindMatch(query, record, pos) == ql::kSearchHit) {
    hits.push_back({ql::kSearchHit, record, pos});
    if (query.mode == ql::SearchSubjects) {
      ++record;
      pos = -1;
    } else {
      ++pos;
    }
  }
  return hits;
}

std::vector<Hit> ParallelEveryHit(const ql::BookReader& owner, ql::BookReader& subjects,
                                  const ql::SearchQuery& query, int threads) {
  std::vector<Hit> hits;
  const int64_t n = ql::ForEachHit(owner, query, threads, [&](const ql::SearchHit& h) {
    EXPECT_EQ(h.subject, subjects.GetSubject(h.record));
    hits.push_back({ql::kSearchHit, h.record, h.pos});
    return true;
  });
  EXPECT_EQ(n, static_cast<int64_t>(hits.size()));
  return hits;
}

// Random books of words, capitals (Windows-1252 ones too), links and tags.
class RandomBooks {
 public:
  explicit RandomBooks(unsigned seed) : iRng(seed) {}

  std::string Word() { return kWords[iRng() % kWords.size()]; }

  std::string Text(size_t pieces) {
    std::string text;
    for (size_t k = 0; k < pieces; ++k) {
      switch (iRng() % 8) {
        case 0:
          text += "\t\x11" + Word() + ">" + Word() + "\t\x12";  // a link: target>display
          break;
        case 1:
          text += std::string("\t") + static_cast<char>(1 + iRng() % 16);  // a tag
          break;
        case 2:
          text += Capitalised(Word());
          break;
        default:
          text += Word();
      }
      text += (iRng() % 5 == 0) ? "," : " ";
    }
    return text;
  }

  std::vector<Entry> Book(int records) {
    std::vector<Entry> entries;
    for (int i = 0; i < records; ++i) {
      std::string subject = iRng() % 3 ? Word() : Capitalised(Word());
      if (iRng() % 2) subject += " " + Word();
      // Some texts end within the head, most run on into a tail.
      entries.push_back({subject, Text(iRng() % 4 == 0 ? 1 + iRng() % 8 : 10 + iRng() % 60)});
    }
    return entries;
  }

  ql::SearchQuery Query() {
    ql::SearchQuery q;
    q.term1 = Term();
    if (iRng() % 2) {
      q.term2 = Term();
      q.exclude2 = iRng() % 2;
    }
    if (iRng() % 3 == 0) {
      q.term3 = Term();
      q.exclude3 = iRng() % 2;
    }
    q.wholeWord = iRng() % 2;
    q.mode = iRng() % 4 == 0 ? ql::SearchSubjects : ql::SearchSubjectsAndText;
    return q;
  }

  unsigned Next() { return static_cast<unsigned>(iRng()); }

 private:
  // A term as the Find dialog passes it on (lower case): a word, part of
  // one, two words, or a word the books never hold.
  std::string Term() {
    switch (iRng() % 6) {
      case 0:
        return Word().substr(0, 2);
      case 1:
        return Word() + " " + Word();
      case 2:
        return "zebu";
      default:
        return Word();
    }
  }

  std::string Capitalised(std::string word) {
    for (char& c : word) {
      const auto b = static_cast<uint8_t>(c);
      if (b >= 'a' && b <= 'z' && iRng() % 2) c = static_cast<char>(b - 0x20);
      if (b >= 0xE0 && b <= 0xFE && b != 0xF7) c = static_cast<char>(b - 0x20);
    }
    return word;
  }

  inline static const std::vector<std::string> kWords = {"cat",
                                                         "cats",
                                                         "dog",
                                                         "concatenate",
                                                         "the",
                                                         "a",
                                                         "and",
                                                         "caf\xE9",
                                                         "\xE9t\xE9",
                                                         "\xFE"
                                                         "at",
                                                         "do",
                                                         "og",
                                                         "tea",
                                                         "at",
                                                         "b"};
  std::mt19937 iRng;
};

TEST(ParallelSearch, SameHitsAsThePlainWalkOnRandomBooks) {
  RandomBooks random(20261208);
  int manyRanges = 0;
  int chainsWithHits = 0, midRecordStarts = 0;
  for (int round = 0; round < 24; ++round) {
    const std::vector<Entry> entries = random.Book(40 + static_cast<int>(random.Next() % 160));
    qltest::BookOptions small;
    small.subjectBlockSize = 64 + static_cast<int>(random.Next() % 200);
    small.recordBlockSize = 64 + static_cast<int>(random.Next() % 200);
    qltest::OpenBookFixture book(entries, small);
    ASSERT_TRUE(book.Ok());
    ql::BookReader& reader = book.Reader();
    const int count = reader.GetSubjectCount();
    for (int q = 0; q < 8; ++q) {
      const ql::SearchQuery query = random.Query();
      SCOPED_TRACE("round " + std::to_string(round) + " " + Describe(query));
      // Find, then Find Next from each hit: on from the hit's position + 1
      // in text mode, with the next record in subject mode.
      int record = static_cast<int>(random.Next() % static_cast<unsigned>(count));
      int pos = -1;
      for (int step = 0; step < 6 && record < count; ++step) {
        const Hit expected = Plain(reader, query, record, pos);
        for (int threads : kThreadCounts) {
          int ranges = 0;
          ASSERT_EQ(Parallel(reader, query, record, pos, threads, &ranges), expected)
              << "from " << record << "/" << pos << " on " << threads << " threads";
          if (ranges > 2 * threads) ++manyRanges;
        }
        if (expected.result != ql::kSearchHit) break;
        chainsWithHits += step == 1;
        midRecordStarts += expected.pos >= 0;
        record = expected.record;
        pos = expected.pos;
        if (query.mode == ql::SearchSubjects) {
          ++record;
          pos = -1;
        } else {
          ++pos;
        }
      }
      // A start inside a record's text that no hit led to.
      const int inside = static_cast<int>(random.Next() % static_cast<unsigned>(count));
      const int at = static_cast<int>(random.Next() % 200);
      const Hit expected = Plain(reader, query, inside, at);
      for (int threads : {2, 3})
        ASSERT_EQ(Parallel(reader, query, inside, at, threads), expected)
            << "from " << inside << "/" << at;

      const std::vector<Hit> every = PlainEveryHit(reader, query);
      for (int threads : kThreadCounts)
        ASSERT_EQ(ParallelEveryHit(reader, reader, query, threads), every) << threads << " threads";
    }
  }
  // The books were split finely enough that the ranges outnumbered the threads.
  EXPECT_GT(manyRanges, 100);
  // And the queries found something, often inside texts, and went on from there.
  EXPECT_GT(chainsWithHits, 40);
  EXPECT_GT(midRecordStarts, 100);
}

TEST(ParallelSearch, StartsOutsideTheBookAndEmptyTerms) {
  qltest::OpenBookFixture book({{"cat", "a cat"}, {"dog", "a dog"}});
  ASSERT_TRUE(book.Ok());
  ql::BookReader& reader = book.Reader();
  ql::SearchQuery q;
  q.term1 = "cat";
  for (const auto& [record, pos] : std::vector<std::pair<int, int>>{{2, 5}, {-1, 3}, {7, -1}})
    for (int threads : kThreadCounts)
      EXPECT_EQ(Parallel(reader, q, record, pos, threads), Plain(reader, q, record, pos));
  q.term1 = "";
  EXPECT_EQ(Parallel(reader, q, 0, -1, 2), Plain(reader, q, 0, -1));
  q.term1 = "cat";
  q.mode = 1;  // no such mode: finds nothing
  EXPECT_EQ(Parallel(reader, q, 0, -1, 2), Plain(reader, q, 0, -1));
}

TEST(ParallelSearch, RangesStartWhereSubjectBlocksStart) {
  RandomBooks random(7);
  const std::vector<Entry> entries = random.Book(300);
  qltest::BookOptions small;
  small.subjectBlockSize = 300;
  qltest::OpenBookFixture book(entries, small);
  ASSERT_TRUE(book.Ok());
  const std::vector<int32_t> index = qltest::BuildStreams(entries).index;
  auto block = [&](int r) { return index[static_cast<size_t>(r)] / small.subjectBlockSize; };
  for (int first : {0, 1, 137}) {
    const std::vector<int> starts = book.Reader().SplitForSearch(first, 16);
    ASSERT_EQ(starts.size(), 16u);
    EXPECT_EQ(starts.front(), first);
    for (size_t k = 1; k < starts.size(); ++k) {
      EXPECT_GT(starts[k], starts[k - 1]);
      EXPECT_LT(starts[k], 300);
      // The first record whose entry opens a new block.
      EXPECT_GT(block(starts[k]), block(starts[k] - 1)) << starts[k];
    }
  }
  EXPECT_EQ(book.Reader().SplitForSearch(295, 16), (std::vector<int>{295, 296, 297, 298, 299}));
  EXPECT_TRUE(book.Reader().SplitForSearch(300, 4).empty());
  EXPECT_TRUE(book.Reader().SplitForSearch(-1, 4).empty());
}

TEST(BoundedSearch, EndsBeforeTheEndRecordOrWhenTheWatchSaysSo) {
  qltest::OpenBookFixture book({{"a", "one"}, {"b", "two"}, {"c", "three"}, {"d", "two"}});
  ASSERT_TRUE(book.Ok());
  ql::BookReader& reader = book.Reader();
  ASSERT_EQ(reader.LoadRecord(0), 1);
  ql::SearchQuery q;
  q.term1 = "two";
  int record = 2, pos = -1;
  EXPECT_EQ(reader.FindMatchUpTo(q, record, pos, 3, nullptr), ql::kSearchNone);
  EXPECT_EQ(record, 3);
  EXPECT_EQ(pos, -1);
  // Stopping short of the book's end leaves the last record read current.
  EXPECT_EQ(reader.CurrentRecord(), 2);
  record = 1;
  pos = 1;
  EXPECT_EQ(reader.FindMatchUpTo(q, record, pos, 3, nullptr), ql::kSearchNone);
  record = 0;
  pos = -1;
  EXPECT_EQ(reader.FindMatchUpTo(q, record, pos, 2, nullptr), ql::kSearchHit);
  EXPECT_EQ(record, 1);

  struct StopAt final : ql::SearchWatch {
    int stop;
    std::vector<int> asked;
    explicit StopAt(int s) : stop(s) {}
    bool Continue(int r) override {
      asked.push_back(r);
      return r != stop;
    }
  };
  StopAt watch(3);
  record = 2;
  pos = -1;
  EXPECT_EQ(reader.FindMatchUpTo(q, record, pos, 4, &watch), ql::kSearchCancelled);
  EXPECT_EQ(record, 3);
  EXPECT_EQ(watch.asked, (std::vector<int>{2, 3}));
  // Find Next within one record asks again for that record.
  StopAt never(-2);
  record = 1;
  pos = 0;
  EXPECT_EQ(reader.FindMatchUpTo(q, record, pos, 4, &never), ql::kSearchHit);
  ++pos;
  EXPECT_EQ(reader.FindMatchUpTo(q, record, pos, 4, &never), ql::kSearchHit);
  EXPECT_EQ(record, 3);
  EXPECT_EQ(never.asked, (std::vector<int>{1, 1, 2, 3}));
}

// A book big enough that a search over it is still running while the test
// acts on it from another thread.
std::vector<Entry> LargeBook() {
  std::vector<Entry> entries;
  for (int i = 0; i < 3000; ++i)
    entries.push_back({"subject " + std::to_string(i), qltest::PatternText(600, char(i % 50))});
  return entries;
}

TEST(ParallelSearch, CancelledLeavesTheCallerAsItWas) {
  qltest::BookOptions small;
  small.recordBlockSize = 2000;
  qltest::OpenBookFixture book(LargeBook(), small);
  ASSERT_TRUE(book.Ok());
  ql::BookReader& reader = book.Reader();
  ASSERT_EQ(reader.LoadRecord(5), 1);
  const std::string shown(reader.CurrentRecordText());
  ql::SearchQuery q;
  q.term1 = "zebu";

  {
    // The caller's flag was set before the start: nothing is searched.
    const std::atomic<bool> cancelled{true};
    ql::ParallelSearch search;
    ASSERT_EQ(search.Start(reader, q, 10, 4, 2, &cancelled), ql::OpenResult::kOk);
    const ql::SearchOutcome o = search.Wait();
    EXPECT_EQ(o.result, ql::kSearchCancelled);
    EXPECT_EQ(o.record, 10);
    EXPECT_EQ(o.pos, 4);
    EXPECT_TRUE(search.Done());
    EXPECT_EQ(search.RecordsSearched(), 0);
  }
  {
    // Cancelled at once after the start.
    ql::ParallelSearch search;
    ASSERT_EQ(search.Start(reader, q, 10, 4, 2), ql::OpenResult::kOk);
    search.Cancel();
    EXPECT_EQ(search.Wait().result, ql::kSearchCancelled);
  }
  {
    // Cancelled from another thread once it is under way.
    ql::ParallelSearch search;
    std::atomic<bool> cancel{false};
    ASSERT_EQ(search.Start(reader, q, 0, -1, 2, &cancel), ql::OpenResult::kOk);
    std::thread canceller([&search, &cancel] {
      while (search.RecordsSearched() == 0) std::this_thread::yield();
      cancel = true;
    });
    canceller.join();
    const ql::SearchOutcome o = search.Wait();
    EXPECT_EQ(o.result, ql::kSearchCancelled);
    EXPECT_EQ(o.record, 0);
    EXPECT_EQ(o.pos, -1);
    EXPECT_LE(search.RecordsSearched(), search.RecordsToSearch());
  }
  {
    // Destroyed while it runs: cancelled, its threads waited for.
    ql::ParallelSearch search;
    ASSERT_EQ(search.Start(reader, q, 0, -1, 8), ql::OpenResult::kOk);
  }
  {
    // A new start cancels the search still running and answers for itself.
    ql::ParallelSearch search;
    ASSERT_EQ(search.Start(reader, q, 0, -1, 2), ql::OpenResult::kOk);
    ql::SearchQuery found = q;
    found.term1 = "subject 2999";
    ASSERT_EQ(search.Start(reader, found, 0, -1, 2), ql::OpenResult::kOk);
    const ql::SearchOutcome o = search.Wait();
    EXPECT_EQ(o.result, ql::kSearchHit);
    EXPECT_EQ(o.record, 2999);
  }
  // The owner's reader was never touched.
  EXPECT_EQ(reader.CurrentRecord(), 5);
  EXPECT_EQ(reader.CurrentRecordText(), shown);

  // Run to its end, every record is counted once.
  ql::ParallelSearch search;
  ASSERT_EQ(search.Start(reader, q, 100, -1, 3), ql::OpenResult::kOk);
  const ql::SearchOutcome o = search.Wait();
  EXPECT_EQ(o.result, ql::kSearchNone);
  EXPECT_EQ(o.record, 3000);
  EXPECT_EQ(search.RecordsToSearch(), 2900);
  EXPECT_EQ(search.RecordsSearched(), 2900);
  EXPECT_EQ(search.Progress(), 1.0);
}

TEST(ParallelSearch, ForEachHitStopsWhenAsked) {
  qltest::BookOptions small;
  small.subjectBlockSize = 500;
  qltest::OpenBookFixture book(LargeBook(), small);
  ASSERT_TRUE(book.Ok());
  ql::SearchQuery q;
  q.term1 = "subject";
  q.mode = ql::SearchSubjects;
  std::vector<int> records;
  const int64_t n = ql::ForEachHit(book.Reader(), q, 3, [&](const ql::SearchHit& h) {
    records.push_back(h.record);
    return records.size() < 700;
  });
  EXPECT_EQ(n, 699);
  ASSERT_EQ(records.size(), 700u);
  for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i], static_cast<int>(i));
}

// Whether another open of path can take it for writing.
bool CanOpenForWriting(const std::string& path) {
  ql::BookReader writer;
  return writer.Open(path, ql::kOpenReadWrite) == ql::OpenResult::kOk;
}

TEST(ReaderView, ReadsABookHeldForWritingAndLeavesItsLock) {
  qltest::TempDir dir;
  const std::string path = dir.File("held.ql");
  RandomBooks random(3);
  const std::vector<Entry> entries = random.Book(120);
  qltest::BookOptions small;
  small.subjectBlockSize = 100;
  small.recordBlockSize = 100;
  const std::string bytes = qltest::BuildBookBytes(entries, small);
  qltest::WriteFileBytes(path, bytes);

  ql::BookReader owner;
  ASSERT_EQ(owner.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  ASSERT_FALSE(CanOpenForWriting(path));
  {
    // A second writer cannot open it, but a view can.
    ql::BookReader other;
    EXPECT_EQ(other.Open(path, ql::kOpenReadWrite), ql::OpenResult::kFailed);
    EXPECT_EQ(other.LastOpenFailure().kind, ql::OpenFailureKind::kInUse);
    ql::BookReader view;
    ASSERT_EQ(view.OpenView(owner), ql::OpenResult::kOk);
    EXPECT_TRUE(view.IsReadOnly());
    EXPECT_FALSE(view.HasBookmarkBlock());
    qltest::ExpectReadsBack(view, entries);
    ql::SearchQuery q;
    q.term1 = "cat";
    for (int threads : kThreadCounts)
      EXPECT_EQ(Parallel(owner, q, 0, -1, threads), Plain(view, q, 0, -1));
    view.SetBookmark(1, 3, 0, 0, "cat");
    EXPECT_TRUE(view.Close());
  }
  // The views closed; the owner still holds the book and nothing was written.
  EXPECT_FALSE(CanOpenForWriting(path));
  ql::BookReader later;
  EXPECT_EQ(later.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  later.Close();
  EXPECT_EQ(qltest::ReadFileBytes(path), bytes);
  // The owner's own writes still go through.
  owner.SetBookmark(1, 3, 7, 0, "dog");
  EXPECT_TRUE(owner.SaveBookmarks());

  // A view holds no lock of its own: once the owner closes, the book can be
  // opened for writing again (the window reopens its book while a lookup
  // may still hold a view), and the view reads on from the file it opened.
  {
    ql::BookReader view;
    ASSERT_EQ(view.OpenView(owner), ql::OpenResult::kOk);
    owner.Close();
    EXPECT_TRUE(CanOpenForWriting(path));
    ql::BookReader again;
    EXPECT_EQ(again.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
    EXPECT_EQ(view.GetSubject(0), entries[0].subject);
  }
  // No view of a reader without a book.
  ql::BookReader view;
  EXPECT_EQ(view.OpenView(owner), ql::OpenResult::kFailed);
  EXPECT_FALSE(view.IsOpen());
  ql::SearchQuery q;
  q.term1 = "cat";
  ql::ParallelSearch search;
  EXPECT_EQ(search.Start(owner, q, 0, -1, 2), ql::OpenResult::kOk);  // nothing to search
  EXPECT_EQ(search.Wait().result, ql::kSearchNone);
}

TEST(ReaderView, LegacyBooksAreSearchedInParallelToo) {
  qltest::TempDir dir;
  RandomBooks random(5);
  std::vector<Entry> entries = random.Book(90);
  for (int version : {1, 3}) {
    const std::string path = dir.File("legacy" + std::to_string(version) + ".ql");
    const std::string bytes = qltest::BuildLegacyBookBytes(entries, version);
    qltest::WriteFileBytes(path, bytes);
    ql::BookReader owner;
    ASSERT_EQ(owner.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
    ASSERT_FALSE(owner.IsVersion2());
    ql::BookReader view;
    ASSERT_EQ(view.OpenView(owner), ql::OpenResult::kOk);
    EXPECT_EQ(view.GetLegacyVersion(), version);
    for (int i = 0; i < 90; i += 7) {
      ASSERT_EQ(view.LoadRecord(i), 1);
      ASSERT_EQ(owner.LoadRecord(i), 1);
      EXPECT_EQ(view.CurrentRecordText(), owner.CurrentRecordText());
    }
    for (int q = 0; q < 10; ++q) {
      const ql::SearchQuery query = random.Query();
      SCOPED_TRACE(Describe(query));
      EXPECT_EQ(Parallel(owner, query, 0, -1, 3), Plain(owner, query, 0, -1));
      EXPECT_EQ(ParallelEveryHit(owner, owner, query, 2), PlainEveryHit(owner, query));
    }
    owner.Close();
    EXPECT_EQ(qltest::ReadFileBytes(path), bytes);
  }
}

TEST(ParallelSearch, DamagedBooksAnswerAsThePlainWalk) {
  qltest::TempDir dir;
  RandomBooks random(99);
  const std::vector<Entry> entries = random.Book(60);
  qltest::BookOptions small;
  small.subjectBlockSize = 64;
  small.recordBlockSize = 64;
  const std::string good = qltest::BuildBookBytes(entries, small);
  std::mt19937 rng(4242);
  int searched = 0, hits = 0;
  for (int round = 0; round < 150; ++round) {
    std::string bytes = good;
    for (int d = 1 + int(rng() % 8); d > 0; --d) {
      // Mostly the tables and entries; now and then anywhere.
      const size_t at =
          rng() % 4 ? rng() % std::min<size_t>(bytes.size(), 6000) : rng() % bytes.size();
      bytes[at] = char(rng() % 3 == 0 ? 0xFF : rng());
    }
    const std::string path = dir.File("damaged.ql");
    qltest::WriteFileBytes(path, bytes);
    ql::BookReader reader;
    if (reader.Open(path, ql::kOpenReadOnly) != ql::OpenResult::kOk ||
        reader.GetSubjectCount() > 1000)
      continue;
    ++searched;
    for (int q = 0; q < 3; ++q) {
      const ql::SearchQuery query = random.Query();
      SCOPED_TRACE("round " + std::to_string(round) + " " + Describe(query));
      ql::BookReader plain;  // a reader of its own, fresh as the views are
      ASSERT_EQ(plain.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
      for (int threads : {2, 3})
        ASSERT_EQ(Parallel(reader, query, 0, -1, threads), Plain(plain, query, 0, -1));
      const std::vector<Hit> every = PlainEveryHit(plain, query);
      ASSERT_EQ(ParallelEveryHit(reader, plain, query, 3), every);
      hits += !every.empty();
    }
  }
  EXPECT_GT(searched, 30);
  EXPECT_GT(hits, 20);
}

}  // namespace
