// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// BookReader over version 2 books built by the fixture: reading back every
// layout corner (entries and tails across block boundaries), opening rules,
// FindSubject, bookmarks, exclusive use and the block caches.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_format.h"
#include "book_reader.h"
#include "byte_order.h"
#include "open_failure.h"
#include "reader_test_util.h"

namespace {

using qltest::BookOptions;
using qltest::Entry;
using qltest::PatternText;

std::string WriteBook(const qltest::TempDir& dir, const std::vector<Entry>& entries,
                      const BookOptions& options = {}, const std::string& name = "book.ql") {
  std::string path = dir.File(name);
  qltest::WriteFileBytes(path, qltest::BuildBookBytes(entries, options));
  return path;
}

std::vector<Entry> MixedEntries(int count) {
  std::vector<Entry> entries;
  const size_t lengths[] = {0, 1, 149, 150, 151, 152, 300, 64, 63, 65, 1000, 5000};
  for (int i = 0; i < count; ++i) {
    std::string subject = "subject " + std::to_string(1000 + i);
    if (i % 7 == 3) subject += std::string(static_cast<size_t>(i % 90), 'x');
    entries.push_back({subject, PatternText(lengths[static_cast<size_t>(i) % 12], char(i))});
  }
  return entries;
}

class ReadBack : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(ReadBack, EveryEntryForwardAndBackward) {
  qltest::TempDir dir;
  std::vector<Entry> entries = MixedEntries(130);
  BookOptions options;
  options.subjectBlockSize = GetParam().first;
  options.recordBlockSize = GetParam().second;
  std::string path = WriteBook(dir, entries, options);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_TRUE(reader.IsVersion2());
  qltest::ExpectReadsBack(reader, entries);
  // Backward: every index misses the window.
  for (int i = static_cast<int>(entries.size()) - 1; i >= 0; --i) {
    ASSERT_EQ(reader.GetSubject(i), entries[static_cast<size_t>(i)].subject);
    ASSERT_EQ(reader.LoadRecord(i), 1);
    ASSERT_EQ(reader.CurrentRecordText(), entries[static_cast<size_t>(i)].text);
  }
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, ReadBack,
                         ::testing::Values(std::make_pair(25000, 25000), std::make_pair(64, 64),
                                           std::make_pair(7, 13), std::make_pair(25000, 64),
                                           std::make_pair(1000, 25000)));

TEST(BookReader, ShortRecordsNeedNoRecordBlock) {
  qltest::TempDir dir;
  std::vector<Entry> entries = {
      {"a", PatternText(150, 'a')}, {"b", PatternText(151, 'b')}, {"c", ""}, {"d", "x"}};
  std::string bytes = qltest::BuildBookBytes(entries);
  // 150 bytes: flags 0x60 and no tail; 151: flags 0xE0 and a one-byte tail.
  qltest::Streams s = qltest::BuildStreams(entries);
  EXPECT_EQ(uint8_t(s.subjects[size_t(s.index[0])]), ql::kSubjectFlagsNoTail);
  EXPECT_EQ(uint8_t(s.subjects[size_t(s.index[1])]), ql::kSubjectFlagsHasTail);
  qltest::WriteFileBytes(dir.File("b.ql"), bytes);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(dir.File("b.ql"), ql::kOpenReadOnly), ql::OpenResult::kOk);
  for (int i : {0, 2, 3}) {
    ASSERT_EQ(reader.LoadRecord(i), 1);
    EXPECT_EQ(reader.CurrentRecordText(), entries[size_t(i)].text);
  }
  EXPECT_EQ(reader.Stats().recordBlockLoads, 0);
  EXPECT_EQ(reader.GetRecordHead(2), "");
  ASSERT_EQ(reader.LoadRecord(1), 1);
  EXPECT_EQ(reader.CurrentRecordText(), entries[1].text);
  EXPECT_EQ(reader.Stats().recordBlockLoads, 1);
  EXPECT_EQ(reader.Stats().subjectBlockLoads, 1);
}

TEST(BookReader, TailsAcrossRecordBlocks) {
  qltest::TempDir dir;
  // Record block size 64. Tail 0 is 64 bytes: it fills block 0 and its zero
  // byte is the first byte of block 1. Tail 1 crosses blocks 1 and 2.
  std::vector<Entry> entries = {{"end on boundary", PatternText(150 + 64, 'e')},
                                {"crossing", PatternText(150 + 100, 'c')},
                                {"many blocks", PatternText(150 + 400, 'm')}};
  BookOptions options;
  options.recordBlockSize = 64;
  std::string path = WriteBook(dir, entries, options);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  ASSERT_EQ(reader.LoadRecord(0), 1);
  EXPECT_EQ(reader.CurrentRecordText(), entries[0].text);
  EXPECT_EQ(reader.Stats().recordBlockLoads, 2);  // the zero byte is in block 1
  qltest::ExpectReadsBack(reader, entries);
}

TEST(BookReader, EntryStartingJustBeforeASubjectBlockEndUsesTheSpillOver) {
  qltest::TempDir dir;
  // Entry 0 takes 24997 bytes (flags, subject, zero, empty head, zero), so
  // entry 1 starts 3 bytes before the end of block 0 with its tail offset,
  // subject and head split across the boundary.
  std::vector<Entry> entries = {
      {std::string(24994, 'a'), ""}, {"split entry", PatternText(400, 's')}, {"after", "short"}};
  ASSERT_EQ(qltest::BuildStreams(entries).index[1], 24997);
  std::string path = WriteBook(dir, entries);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetSubject(1), "split entry");
  EXPECT_EQ(reader.GetRecordHead(1), entries[1].text.substr(0, 150));
  EXPECT_EQ(reader.Stats().subjectBlockLoads, 1);  // block 1 came with the spill-over
  qltest::ExpectReadsBack(reader, entries);
}

TEST(BookReader, SubjectRunningFarIntoFollowingBlocksReadsWhole) {
  qltest::TempDir dir;
  // Entry 1 runs 6000 bytes into block 1, beyond the spill-over, and with
  // 64-byte blocks an entry spans many blocks.
  std::vector<Entry> entries = {{std::string(24990, 'a'), ""},
                                {PatternText(6000, 'l'), PatternText(200, 'h')},
                                {"next", "text"}};
  std::string path = WriteBook(dir, entries);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  qltest::ExpectReadsBack(reader, entries);

  BookOptions small;
  small.subjectBlockSize = 64;
  std::vector<Entry> longOnes = {{PatternText(300, 'p'), PatternText(160, 'q')},
                                 {"b", PatternText(3000, 'r')},
                                 {PatternText(5000, 's'), ""}};
  std::string path2 = WriteBook(dir, longOnes, small, "small.ql");
  ASSERT_EQ(reader.Open(path2, ql::kOpenReadOnly), ql::OpenResult::kOk);
  qltest::ExpectReadsBack(reader, longOnes);
}

TEST(BookReader, SequentialReadsShareBlocks) {
  qltest::TempDir dir;
  std::vector<Entry> entries;
  for (int i = 0; i < 120; ++i) entries.push_back({"s" + std::to_string(i), PatternText(160, 'x')});
  std::string path = WriteBook(dir, entries);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  for (int i = 0; i < 120; ++i) reader.GetSubject(i);
  for (int i = 0; i < 120; ++i) ASSERT_EQ(reader.LoadRecord(i), 1);
  EXPECT_EQ(reader.Stats().subjectBlockLoads, 1);
  EXPECT_EQ(reader.Stats().recordBlockLoads, 1);
}

TEST(BookReader, ReadsInAnyOrderMatchTheBookAndNothingOutlivesIt) {
  // The reader keeps the last entry it parsed: a subject read first and the
  // head asked for later (same block or not), reads of other entries in
  // between, and a second book opened in the same reader must all give what
  // the book holds.
  qltest::TempDir dir;
  std::vector<Entry> entries = MixedEntries(60);
  std::vector<Entry> others = MixedEntries(60);
  for (Entry& e : others) {
    e.subject = "other " + e.subject;
    e.text = "other " + e.text;
  }
  for (int subjectBlock : {25000, 90, 7}) {
    BookOptions options;
    options.subjectBlockSize = subjectBlock;
    options.recordBlockSize = 64;
    std::string first = WriteBook(dir, entries, options, "first.ql");
    std::string second = WriteBook(dir, others, options, "second.ql");
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(first, ql::kOpenReadOnly), ql::OpenResult::kOk);
    std::mt19937 rng(static_cast<unsigned>(subjectBlock));
    for (int step = 0; step < 600; ++step) {
      const int index = static_cast<int>(rng() % entries.size());
      const Entry& e = entries[static_cast<size_t>(index)];
      switch (rng() % 3) {
        case 0:
          ASSERT_EQ(reader.GetSubject(index), e.subject) << index;
          break;
        case 1:
          ASSERT_EQ(reader.GetRecordHead(index), e.text.substr(0, 150)) << index;
          break;
        default:
          ASSERT_EQ(reader.LoadRecord(index), 1);
          ASSERT_EQ(reader.CurrentRecordText(), e.text) << index;
      }
    }
    const int last = static_cast<int>(entries.size()) - 1;
    EXPECT_EQ(reader.GetSubject(last), entries.back().subject);
    ASSERT_EQ(reader.Open(second, ql::kOpenReadOnly), ql::OpenResult::kOk);
    EXPECT_EQ(reader.GetSubject(last), others.back().subject);
    EXPECT_EQ(reader.GetRecordHead(last), others.back().text.substr(0, 150));
    ASSERT_EQ(reader.LoadRecord(last), 1);
    EXPECT_EQ(reader.CurrentRecordText(), others.back().text);
    reader.Close();
    EXPECT_EQ(reader.GetSubject(last), "");
  }
}

TEST(BookReader, OpenVersionsAndChunks) {
  qltest::TempDir dir;
  std::vector<Entry> entries = {{"one", "text one"}, {"two", PatternText(200, 't')}};
  ql::BookReader reader;
  for (int version : {2000, 2001}) {
    BookOptions o;
    o.version = version;
    ASSERT_EQ(reader.Open(WriteBook(dir, entries, o), ql::kOpenReadOnly), ql::OpenResult::kOk);
    EXPECT_EQ(reader.GetVersion(), version);
    qltest::ExpectReadsBack(reader, entries);
  }
  BookOptions newer;
  newer.version = 2002;
  EXPECT_EQ(reader.Open(WriteBook(dir, entries, newer), ql::kOpenReadOnly),
            ql::OpenResult::kUnsupported);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(reader.GetSubjectCount(), 0);

  BookOptions skippable;
  skippable.chunksBefore.push_back({7, 1, "abc"});
  skippable.chunksAfter.push_back({9, 1, std::string(100, 'z')});
  ASSERT_EQ(reader.Open(WriteBook(dir, entries, skippable), ql::kOpenReadWrite),
            ql::OpenResult::kOk);
  qltest::ExpectReadsBack(reader, entries);

  BookOptions mustUnderstand;
  mustUnderstand.chunksAfter.push_back({7, 0, "abc"});
  EXPECT_EQ(reader.Open(WriteBook(dir, entries, mustUnderstand), ql::kOpenReadWrite),
            ql::OpenResult::kUnsupported);

  // The bookmark chunk is understood whatever its flag.
  BookOptions bookmarkFlag0;
  bookmarkFlag0.bookmarkChunkFlag = 0;
  EXPECT_EQ(reader.Open(WriteBook(dir, entries, bookmarkFlag0), ql::kOpenReadOnly),
            ql::OpenResult::kOk);

  EXPECT_EQ(reader.Open(dir.File("missing.ql"), ql::kOpenReadOnly), ql::OpenResult::kFailed);
  EXPECT_EQ(reader.Open(dir.Path(), ql::kOpenReadOnly), ql::OpenResult::kFailed);
}

TEST(BookReader, EmptyBook) {
  qltest::TempDir dir;
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(WriteBook(dir, {}), ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetSubjectCount(), 0);
  EXPECT_EQ(reader.FindSubject(ql::MatchWhole, "x"), -1);
  EXPECT_EQ(reader.FindSubject(ql::MatchPrefix, ""), -1);
}

TEST(CompareSubjects, FoldsAsciiLettersOnly) {
  EXPECT_EQ(ql::CompareSubjects("Cat", "cat"), 0);
  EXPECT_LT(ql::CompareSubjects("cat", "catalogue"), 0);
  EXPECT_GT(ql::CompareSubjects("Catalogue", "cat"), 0);
  EXPECT_GT(ql::CompareSubjects("Z", "a"), 0);
  EXPECT_LT(ql::CompareSubjects("\xC9", "\xE9"), 0);  // no folding above ASCII
  EXPECT_GT(ql::CompareSubjects("\x80", "z"), 0);     // unsigned bytes
  EXPECT_LT(ql::CompareSubjects("[", "a"), 0);
  EXPECT_LT(ql::CompareSubjects("[", "A"), 0);  // "A" folds to 0x61, above "["
}

int Find(const std::vector<std::string>& subjects, int sorted, int mode, std::string_view key) {
  qltest::TempDir dir;
  std::vector<Entry> entries;
  for (const auto& s : subjects) entries.push_back({s, "text of " + s});
  BookOptions o;
  o.sorted = sorted;
  ql::BookReader reader;
  if (reader.Open(WriteBook(dir, entries, o), ql::kOpenReadOnly) != ql::OpenResult::kOk) return -99;
  return reader.FindSubject(mode, key);
}

TEST(FindSubject, SortedBinarySearch) {
  EXPECT_EQ(Find({"Cat", "cat", "catalogue"}, 1, ql::MatchWhole, "cat"), 0);
  EXPECT_EQ(Find({"Catalogue", "catalogue"}, 1, ql::MatchWhole, "cat"), 0);
  EXPECT_EQ(Find({"Catalogue", "catalogue"}, 1, ql::MatchPrefix, "CAT"), 0);
  EXPECT_EQ(Find({"catalogue"}, 1, ql::MatchWhole, "cat"), 0);
  EXPECT_EQ(Find({"dog"}, 1, ql::MatchWhole, "cat"), -1);

  std::vector<std::string> words;
  for (char c = 'a'; c <= 'z'; ++c)
    for (char d = 'a'; d <= 'z'; d = char(d + 5)) words.push_back(std::string(1, c) + d + "word");
  // Every subject is found at its own index, in both modes.
  for (size_t i = 0; i < words.size(); i += 7) {
    EXPECT_EQ(Find(words, 1, ql::MatchWhole, words[i]), int(i)) << words[i];
    EXPECT_EQ(Find(words, 1, ql::MatchPrefix, words[i].substr(0, 2)), int(i)) << words[i];
  }
  EXPECT_EQ(Find(words, 1, ql::MatchWhole, "zzz"), -1);
  EXPECT_EQ(Find(words, 1, ql::MatchWhole, "0"), -1);
  // Runs of equal subjects give the first of them.
  EXPECT_EQ(Find({"a", "b", "b", "B", "b", "c", "d", "e"}, 1, ql::MatchWhole, "b"), 1);
  EXPECT_EQ(Find({"a", "a", "a", "a", "a", "a", "a", "a", "a"}, 1, ql::MatchWhole, "A"), 0);
}

TEST(FindSubject, SortedAcrossManySmallBlocks) {
  // Subjects over many blocks: runs of one subject across block ends, long
  // records (entries with a tail) beside short ones, and long subjects.
  std::vector<std::string> subjects;
  for (int i = 0; i < 400; ++i) {
    std::string s = "w" + std::to_string(1000 + i * 3);
    if (i % 37 == 5) s += std::string(90, 'q');
    subjects.push_back(s);
    if (i % 50 == 20)
      for (int k = 0; k < 12; ++k) subjects.push_back(s);
  }
  std::vector<Entry> entries;
  for (size_t i = 0; i < subjects.size(); ++i)
    entries.push_back({subjects[i], i % 3 == 0 ? std::string(400, 't') : "short"});
  qltest::TempDir dir;
  for (int blockSize : {300, 1000, 4000}) {
    BookOptions o;
    o.subjectBlockSize = blockSize;
    const std::string path = WriteBook(dir, entries, o, "b" + std::to_string(blockSize) + ".ql");
    // What a search of a sorted book must give: the first subject equal to
    // the key, else the first after it when it begins with the key.
    auto expected = [&](const std::string& key) {
      for (size_t i = 0; i < subjects.size(); ++i)
        if (ql::CompareSubjects(subjects[i], key) == 0) return static_cast<int>(i);
      for (size_t i = 0; i < subjects.size(); ++i)
        if (ql::CompareSubjects(subjects[i], key) > 0)
          return subjects[i].compare(0, key.size(), key) == 0 ? static_cast<int>(i) : -1;
      return -1;
    };
    std::vector<std::string> keys = {"a", "w", "w1", "W1000", "w1001", "w2197", "x", "w1q"};
    for (size_t i = 0; i < subjects.size(); i += 3) {
      keys.push_back(subjects[i]);
      keys.push_back(subjects[i].substr(0, 4));
      keys.push_back(subjects[i] + "0");
    }
    int64_t loads = 0;
    for (const std::string& key : keys) {
      ql::BookReader reader;  // fresh: nothing loaded before
      ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
      const int want = expected(key);
      EXPECT_EQ(reader.FindSubject(ql::MatchWhole, key), want) << blockSize << " " << key;
      // Only the blocks where the search ends are decoded whole, not one
      // for each step of the search.
      EXPECT_LE(reader.Stats().subjectBlockLoads, 3) << blockSize << " " << key;
      loads += reader.Stats().subjectBlockLoads;
      EXPECT_EQ(reader.FindSubject(ql::MatchPrefix, key), want) << blockSize << " " << key;
    }
    EXPECT_LE(loads, static_cast<int64_t>(keys.size()) * 3 / 2) << blockSize;
  }
}

TEST(FindSubject, UnsortedScan) {
  std::vector<std::string> subjects = {"zebra", "Apple", "applesauce", "mango", "ap"};
  EXPECT_EQ(Find(subjects, 0, ql::MatchWhole, "apple"), 1);
  EXPECT_EQ(Find(subjects, 0, ql::MatchWhole, "appl"), -1);  // whole subjects only
  EXPECT_EQ(Find(subjects, 0, ql::MatchPrefix, "appl"), 1);
  EXPECT_EQ(Find(subjects, 0, ql::MatchPrefix, "applesauces"), -1);
  EXPECT_EQ(Find(subjects, 0, ql::MatchPrefix, "ap"), 1);
  EXPECT_EQ(Find(subjects, 0, ql::MatchWhole, "AP"), 4);
  EXPECT_EQ(Find(subjects, 0, 5, "mango"), -1);  // other modes match nothing
  EXPECT_EQ(Find(subjects, 0, ql::MatchPrefix, std::string(60, 'm')), -1);
}

TEST(Bookmarks, WrittenBackOnCloseAndReopen) {
  qltest::TempDir dir;
  std::vector<Entry> entries = {{"alpha", "a"}, {"beta", "b"}};
  std::string path = WriteBook(dir, entries);
  std::string other = WriteBook(dir, entries, {}, "other.ql");
  const std::string longText(100, 'L');
  {
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
    EXPECT_EQ(reader.GetBookmark(1).textLength, 0);
    reader.SetBookmark(1, 5, 0, 0, "alpha");
    reader.SetBookmark(50, 100, 1, 0, longText);
    reader.SetBookmark(0, 4, 1, 0, "zero");  // slot 0 is never used
    reader.SetBookmark(51, 4, 1, 0, "past");
    // Opening another book writes this one's bookmarks first.
    ASSERT_EQ(reader.Open(other, ql::kOpenReadWrite), ql::OpenResult::kOk);
    EXPECT_EQ(reader.GetBookmark(1).textLength, 0);  // the other book's own table
  }
  std::string bytes = qltest::ReadFileBytes(path);
  const size_t block = ql::kBookHeaderSize + ql::kChunkHeaderSize;
  EXPECT_EQ(qltest::WordAt(bytes, block + 93), 5);
  EXPECT_EQ(bytes.substr(block + 93 + 12, 6), std::string("alpha\0", 6));
  EXPECT_EQ(qltest::WordAt(bytes, block + 50 * 93), 100);
  EXPECT_EQ(qltest::WordAt(bytes, block + 50 * 93 + 4), 1);
  EXPECT_EQ(bytes.substr(block + 50 * 93 + 12, 81), longText.substr(0, 81));
  EXPECT_EQ(qltest::WordAt(bytes, block), 0);

  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  ql::BookmarkEntry b1 = reader.GetBookmark(1), b50 = reader.GetBookmark(50);
  EXPECT_EQ(b1.textLength, 5);
  EXPECT_EQ(b1.text, "alpha");
  EXPECT_EQ(b50.textLength, 100);
  EXPECT_EQ(b50.recordIndex, 1);
  EXPECT_EQ(b50.text, longText.substr(0, 81));
  EXPECT_EQ(reader.GetBookmark(0).textLength, 0);
  // Read-only: changes stay in memory.
  reader.SetBookmark(2, 4, 1, 0, "beta");
  EXPECT_EQ(reader.GetBookmark(2).text, "beta");
  reader.Close();
  EXPECT_EQ(qltest::ReadFileBytes(path), bytes);

  // The placeholder path saves and closes the open book.
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  reader.SetBookmark(1, 0, 0, 0, "");
  reader.SetBookmark(3, 4, 1, 7, "beta");
  EXPECT_EQ(reader.Open(ql::kNoFilePath, ql::kOpenReadWrite), ql::OpenResult::kFailed);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(reader.GetBookmark(3).textLength, 0);
  bytes = qltest::ReadFileBytes(path);
  EXPECT_EQ(qltest::WordAt(bytes, block + 93), 0);
  EXPECT_EQ(bytes.substr(block + 93 + 12, 5), std::string(5, '\0'));
  EXPECT_EQ(qltest::WordAt(bytes, block + 3 * 93), 4);
  EXPECT_EQ(qltest::WordAt(bytes, block + 3 * 93 + 8), 7);
  // A failing Open also closes the previous book after saving.
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  reader.SetBookmark(4, 5, 0, 0, "alpha");
  EXPECT_EQ(reader.Open(dir.File("missing.ql"), ql::kOpenReadWrite), ql::OpenResult::kFailed);
  EXPECT_EQ(qltest::WordAt(qltest::ReadFileBytes(path), block + 4 * 93), 5);
}

TEST(Bookmarks, StoredTableReadWhenReadOnly) {
  qltest::TempDir dir;
  std::string block(ql::kBookmarkBlockSize, '\0');
  auto put = [&](int slot, int32_t length, int32_t index, std::string_view text) {
    std::string w;
    ql::AppendLE32(w, uint32_t(length));
    ql::AppendLE32(w, uint32_t(index));
    block.replace(size_t(slot) * 93, 8, w);
    block.replace(size_t(slot) * 93 + 12, text.size(), text);
  };
  put(2, 3, 1, "two");
  put(7, 200, 0, std::string(81, 'w'));  // no terminating zero at 81 and more
  put(8, 2, 0, "abcdef");                // only textLength bytes count
  BookOptions o;
  o.bookmarkBlock = block;
  std::string path = WriteBook(dir, {{"a", "b"}, {"c", "d"}}, o);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetBookmark(2).text, "two");
  EXPECT_EQ(reader.GetBookmark(2).recordIndex, 1);
  EXPECT_EQ(reader.GetBookmark(7).text, std::string(81, 'w'));
  EXPECT_EQ(reader.GetBookmark(8).text, "ab");
  EXPECT_EQ(reader.GetBookmark(1).textLength, 0);
}

TEST(Bookmarks, FailedWriteIsReportedBySaveAndClose) {
  qltest::TempDir dir;
  std::string path = WriteBook(dir, {{"a", "b"}});
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_TRUE(reader.HasBookmarkBlock());
  reader.SetBookmark(1, 1, 0, 0, "a");
  // Writes past byte 100 fail: the block starts at 48 and runs 4743 bytes.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool savedOk = reader.SaveBookmarks();
  const int error = reader.LastWriteError();
  const bool closedOk = reader.Close();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(savedOk);
  EXPECT_EQ(error, EFBIG);
  EXPECT_FALSE(closedOk);
  EXPECT_EQ(reader.LastWriteError(), EFBIG);
  // With room both succeed; read-only and closed readers have nothing to fail.
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_EQ(reader.LastWriteError(), 0);
  EXPECT_TRUE(reader.SaveBookmarks());
  EXPECT_TRUE(reader.Close());
  EXPECT_TRUE(reader.Close());
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_TRUE(reader.Close());
}

TEST(BookReader, RecordsThatCannotBeReadWholeAreMarkedDamaged) {
  qltest::TempDir dir;
  const std::vector<Entry> entries = {{"ant", "small"}, {"bee", std::string(400, 'b')}};
  const std::string full = qltest::BuildBookBytes(entries);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(WriteBook(dir, entries), ql::kOpenReadOnly), ql::OpenResult::kOk);
  for (int i : {0, 1}) {
    ASSERT_EQ(reader.LoadRecord(i), 1);
    EXPECT_FALSE(reader.CurrentRecordDamaged()) << i;
  }
  // The record block cut short: the tail of "bee" has no end.
  std::string cut = dir.File("cut.ql");
  qltest::WriteFileBytes(cut, full.substr(0, full.size() - 100));
  ASSERT_EQ(reader.Open(cut, ql::kOpenReadOnly), ql::OpenResult::kOk);
  ASSERT_EQ(reader.LoadRecord(0), 1);
  EXPECT_FALSE(reader.CurrentRecordDamaged());
  ASSERT_EQ(reader.LoadRecord(1), 1);
  EXPECT_TRUE(reader.CurrentRecordDamaged());
  EXPECT_EQ(reader.CurrentRecordText().substr(0, 150), std::string(150, 'b'));
  // An index value past the subject stream (0x7F0B: past its one block; a
  // value inside the stream would make record 0 end before the index says).
  std::string bytes = full;
  bytes[4791 + 5] = '\x7f';
  std::string wild = dir.File("wild.ql");
  qltest::WriteFileBytes(wild, bytes);
  ASSERT_EQ(reader.Open(wild, ql::kOpenReadOnly), ql::OpenResult::kOk);
  ASSERT_EQ(reader.LoadRecord(1), 1);
  EXPECT_TRUE(reader.CurrentRecordDamaged());
  ASSERT_EQ(reader.LoadRecord(0), 1);
  EXPECT_FALSE(reader.CurrentRecordDamaged());
  // A legacy book cut inside its last record.
  const std::string legacy = qltest::BuildLegacyBookBytes(entries, 1);
  std::string short1 = dir.File("short.ql");
  qltest::WriteFileBytes(short1, legacy.substr(0, legacy.size() - 50));
  ASSERT_EQ(reader.Open(short1, ql::kOpenReadOnly), ql::OpenResult::kOk);
  ASSERT_EQ(reader.LoadRecord(0), 1);
  EXPECT_FALSE(reader.CurrentRecordDamaged());
  ASSERT_EQ(reader.LoadRecord(1), 1);
  EXPECT_TRUE(reader.CurrentRecordDamaged());
  EXPECT_EQ(reader.CurrentRecordText(), std::string(350, 'b'));
}

TEST(BookReader, OpenSaysWhyItFailed) {
  qltest::TempDir dir;
  ql::BookReader reader, holder;
  EXPECT_EQ(reader.Open(dir.File("missing.ql"), ql::kOpenReadOnly), ql::OpenResult::kFailed);
  EXPECT_EQ(reader.LastOpenFailure().kind, ql::OpenFailureKind::kSystem);
  EXPECT_EQ(reader.LastOpenFailure().error, ENOENT);
  EXPECT_EQ(reader.Open(dir.Path(), ql::kOpenReadOnly), ql::OpenResult::kFailed);
  EXPECT_EQ(reader.LastOpenFailure().error, EISDIR);

  std::string path = WriteBook(dir, {{"a", "b"}});
  ASSERT_EQ(holder.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kFailed);
  EXPECT_EQ(reader.LastOpenFailure().kind, ql::OpenFailureKind::kInUse);
  holder.Close();

  BookOptions newer;
  newer.version = 2002;
  EXPECT_EQ(reader.Open(WriteBook(dir, {{"a", "b"}}, newer, "new.ql"), ql::kOpenReadOnly),
            ql::OpenResult::kUnsupported);
  EXPECT_EQ(reader.LastOpenFailure().kind, ql::OpenFailureKind::kUnsupported);
  std::string cut = dir.File("cut.ql");
  qltest::WriteFileBytes(cut, qltest::BuildBookBytes({{"a", "b"}}).substr(0, 4800));
  EXPECT_EQ(reader.Open(cut, ql::kOpenReadOnly), ql::OpenResult::kFailed);
  EXPECT_EQ(reader.LastOpenFailure().kind, ql::OpenFailureKind::kDamaged);
  EXPECT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(reader.LastOpenFailure().kind, ql::OpenFailureKind::kNone);
}

TEST(BookReader, CarriedReasonNamesWhatWentWrong) {
  // The reason Open carries, in words, for every way a file fails to be a
  // book it can open, read-only and for writing.
  qltest::TempDir dir;
  struct Case {
    std::string name;  // empty: the directory itself
    std::string bytes;
    std::string reason;
  };
  const std::string book = qltest::BuildBookBytes({{"a", "b"}});
  BookOptions newer;
  newer.version = 2002;
  BookOptions chunk;
  chunk.chunksBefore = {{7, 0, "x"}};
  std::string alien = book.substr(0, 4800);  // damaged and without the words
  alien[8] = 'X';
  const std::string notABook = "not a Quillary book";
  const std::string damaged = "cannot open the book (it is in use by another program, or damaged)";
  const std::vector<Case> cases = {
      {"missing.ql", {}, std::strerror(ENOENT)},
      {"", {}, "is a directory"},
      {"text.txt", "just text, not a book at all, but long enough for the words", notABook},
      {"short.ql", "tiny", notABook},
      {"newer.ql", qltest::BuildBookBytes({{"a", "b"}}, newer),
       "the book's version (2002) or one of its chunks is not supported"},
      {"chunk.ql", qltest::BuildBookBytes({{"a", "b"}}, chunk),
       "the book's version (2001) or one of its chunks is not supported"},
      {"cut.ql", book.substr(0, 4800), damaged},
      {"legacy4.ql", qltest::BuildLegacyBookBytes({{"a", "b"}}, 4),
       "the book's version (4) or one of its chunks is not supported"},
      {"alien.ql", alien, notABook},
  };
  ql::BookReader reader;
  for (const Case& c : cases) {
    const std::string path = c.name.empty() ? dir.Path() : dir.File(c.name);
    if (!c.bytes.empty()) qltest::WriteFileBytes(path, c.bytes);
    for (int mode : {ql::kOpenReadOnly, ql::kOpenReadWrite}) {
      SCOPED_TRACE(path + " mode " + std::to_string(mode));
      ASSERT_NE(reader.Open(path, mode), ql::OpenResult::kOk);
      EXPECT_EQ(ql::OpenFailureReason(reader.LastOpenFailure()), c.reason);
      EXPECT_EQ(reader.LastOpenFailure().path, path);
    }
  }
  // A book another writer holds is refused only for writing.
  const std::string held = dir.File("held.ql");
  qltest::WriteFileBytes(held, book);
  ql::BookReader holder;
  ASSERT_EQ(holder.Open(held, ql::kOpenReadWrite), ql::OpenResult::kOk);
  ASSERT_EQ(reader.Open(held, ql::kOpenReadWrite), ql::OpenResult::kFailed);
  EXPECT_EQ(ql::OpenFailureReason(reader.LastOpenFailure()),
            "another Quillary has the book open for writing");
  // A device is no book either.
  EXPECT_EQ(reader.Open("/dev/null", ql::kOpenReadOnly), ql::OpenResult::kFailed);
  EXPECT_EQ(reader.LastOpenFailure().kind, ql::OpenFailureKind::kNotABook);
}

TEST(BookReader, ExclusiveUseAndReadOnlyFiles) {
  qltest::TempDir dir;
  std::string path = WriteBook(dir, {{"a", "b"}});
  ql::BookReader first, second;
  // Readers share the book with each other and with one writer.
  ASSERT_EQ(first.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(second.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(second.GetSubject(0), "a");
  second.Close();
  EXPECT_EQ(second.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_FALSE(first.OpenedWithoutLock());
  EXPECT_FALSE(second.OpenedWithoutLock());
  first.Close();
  EXPECT_EQ(first.Open(path, ql::kOpenReadWrite), ql::OpenResult::kFailed);
  EXPECT_EQ(first.LastOpenFailure().kind, ql::OpenFailureKind::kInUse);
  EXPECT_EQ(first.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(first.GetSubject(0), "a");
  second.Close();

  std::string before = qltest::ReadFileBytes(path);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_EQ(first.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_TRUE(first.IsReadOnly());
  first.SetBookmark(1, 1, 0, 0, "a");
  first.Close();
  if (geteuid() != 0) {
    EXPECT_EQ(first.Open(path, ql::kOpenReadWrite), ql::OpenResult::kFailed);
  }
  EXPECT_EQ(qltest::ReadFileBytes(path), before);
}

TEST(BookReader, FontDefaults) {
  const ql::RenderOptions options;
  EXPECT_EQ(options.face, "Arial");
  EXPECT_EQ(options.size, 3);
  ql::BookReader reader;
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(reader.GetSubjectCount(), 0);
  EXPECT_EQ(reader.LoadRecord(0), 0);
  EXPECT_EQ(reader.GetSubject(0), "");
}

}  // namespace
