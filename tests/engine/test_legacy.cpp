// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// BookReader over legacy books (version word below 2000): the three text
// codings, first lines and their limits, the marks and blocks added on the
// first read-write open, and the bookmark table at the end of the file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_format.h"
#include "book_reader.h"

namespace {

using qltest::Entry;

const std::vector<Entry> kEntries = {
    {"Aardvark", "An animal@It digs (burrows); see Anteater."},
    {"anteater", "Eats ants"},
    {"Zebra", ""},
    {"apple pie", "A pie.@@Baked"},
};

std::string WriteLegacy(const qltest::TempDir& dir, int32_t versionWord,
                        const std::vector<Entry>& entries = kEntries) {
  std::string path = dir.File("legacy" + std::to_string(versionWord) + ".ql");
  qltest::WriteFileBytes(path, qltest::BuildLegacyBookBytes(entries, versionWord));
  return path;
}

std::string RecordForm(std::string text, int coding) {
  if (coding == 1) return text;
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 2))
    text.replace(at, 1, "\t\x08");
  return text;
}

class LegacyCoding : public ::testing::TestWithParam<int> {};

TEST_P(LegacyCoding, ReadOnlyReadsAndLeavesTheFileAlone) {
  const int coding = GetParam();
  qltest::TempDir dir;
  std::string path = WriteLegacy(dir, coding);
  const std::string before = qltest::ReadFileBytes(path);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_FALSE(reader.IsVersion2());
  EXPECT_EQ(reader.GetLegacyVersion(), coding);
  EXPECT_EQ(reader.GetVersion(), coding);
  ASSERT_EQ(reader.GetSubjectCount(), 4);
  for (size_t i = 0; i < kEntries.size(); ++i) {
    const int index = static_cast<int>(i);
    EXPECT_EQ(reader.GetSubject(index), kEntries[i].subject);
    const std::string& text = kEntries[i].text;
    EXPECT_EQ(reader.GetRecordHead(index), text.substr(0, text.find('@')));
    ASSERT_EQ(reader.LoadRecord(index), 1);
    EXPECT_EQ(reader.CurrentRecordText(), RecordForm(text, coding));
  }
  EXPECT_EQ(reader.FindSubject(ql::MatchWhole, "ZEBRA"), 2);
  EXPECT_EQ(reader.FindSubject(ql::MatchWhole, "apple"), -1);
  EXPECT_EQ(reader.FindSubject(ql::MatchPrefix, "apple"), 3);
  EXPECT_EQ(reader.FindSubject(ql::MatchPrefix, "AN"), 1);
  reader.SetBookmark(1, 5, 0, 0, "Zebra");
  reader.Close();
  EXPECT_EQ(qltest::ReadFileBytes(path), before);
}

TEST_P(LegacyCoding, FirstReadWriteOpenAddsMarksAndBlocksOnce) {
  const int coding = GetParam();
  qltest::TempDir dir;
  std::string path = WriteLegacy(dir, coding);
  const std::string before = qltest::ReadFileBytes(path);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  reader.Close();
  std::string after = qltest::ReadFileBytes(path);
  ASSERT_EQ(after.size(), before.size() + ql::kLegacyReservedTail + ql::kBookmarkBlockSize);
  EXPECT_EQ(qltest::WordAt(after, 16), coding + 1500);
  EXPECT_EQ(after.substr(0, 16), before.substr(0, 16));
  EXPECT_EQ(after.substr(20, before.size() - 20), before.substr(20));
  EXPECT_EQ(after.substr(before.size()), std::string(88 + 4743, '\0'));

  // Opening again changes nothing, and the book reads as before.
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetLegacyVersion(), coding);
  EXPECT_EQ(reader.GetSubject(0), "Aardvark");
  ASSERT_EQ(reader.LoadRecord(3), 1);
  EXPECT_EQ(reader.CurrentRecordText(), RecordForm(kEntries[3].text, coding));
  reader.Close();
  EXPECT_EQ(qltest::ReadFileBytes(path), after);
}

INSTANTIATE_TEST_SUITE_P(Codings, LegacyCoding, ::testing::Values(1, 2, 3));

TEST(LegacyBook, PartlyMarkedBookGetsOnlyTheMissingBlock) {
  qltest::TempDir dir;
  // Marked as opened (+1000, 88 reserved bytes) but without bookmarks yet.
  std::string bytes = qltest::BuildLegacyBookBytes(kEntries, 1002) + std::string(88, '\0');
  std::string path = dir.File("partly.ql");
  qltest::WriteFileBytes(path, bytes);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetLegacyVersion(), 2);
  reader.Close();
  std::string after = qltest::ReadFileBytes(path);
  EXPECT_EQ(after.size(), bytes.size() + ql::kBookmarkBlockSize);
  EXPECT_EQ(qltest::WordAt(after, 16), 1502);
}

TEST(LegacyBook, BookmarksLiveAtTheEndAndOnlyReadWrite) {
  qltest::TempDir dir;
  std::string path = WriteLegacy(dir, 3);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  reader.SetBookmark(2, 8, 0, 0, "Aardvark");
  reader.SetBookmark(50, 5, 2, 0, "Zebra");
  reader.Close();
  std::string bytes = qltest::ReadFileBytes(path);
  const size_t block = bytes.size() - ql::kBookmarkBlockSize;
  EXPECT_EQ(qltest::WordAt(bytes, block + 2 * 93), 8);
  EXPECT_EQ(bytes.substr(block + 2 * 93 + 12, 9), std::string("Aardvark\0", 9));
  EXPECT_EQ(qltest::WordAt(bytes, block + 50 * 93 + 4), 2);

  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetBookmark(2).text, "Aardvark");
  EXPECT_EQ(reader.GetBookmark(50).recordIndex, 2);
  reader.Close();
  EXPECT_EQ(qltest::ReadFileBytes(path), bytes);

  // Read-only: the stored table is not loaded, and nothing is written.
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetBookmark(2).textLength, 0);
  reader.SetBookmark(3, 5, 2, 0, "Zebra");
  reader.Close();
  EXPECT_EQ(qltest::ReadFileBytes(path), bytes);

  // Like a version 2 book: one writer at a time, and readers beside it.
  ql::BookReader other;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_EQ(other.Open(path, ql::kOpenReadWrite), ql::OpenResult::kFailed);
  EXPECT_EQ(other.LastOpenFailure().kind, ql::OpenFailureKind::kInUse);
  ASSERT_EQ(other.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  other.LoadStoredBookmarks();
  EXPECT_EQ(other.GetBookmark(2).text, "Aardvark");
  reader.Close();
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(other.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_EQ(qltest::ReadFileBytes(path), bytes);
}

TEST(LegacyBook, FirstLineLimits) {
  qltest::TempDir dir;
  std::vector<Entry> entries = {{"long", std::string(300, 'e')},
                                {"escapes", std::string(150, '\x80')},
                                {"break", "short line@second line"},
                                {"break late", std::string(230, 'a') + "@b"}};
  ql::BookReader reader;
  for (int coding : {2, 3}) {
    ASSERT_EQ(reader.Open(WriteLegacy(dir, coding, entries), ql::kOpenReadOnly),
              ql::OpenResult::kOk);
    EXPECT_EQ(reader.GetRecordHead(0), std::string(201, 'e'));
    EXPECT_EQ(reader.GetRecordHead(1), std::string(67, '\x80'));  // symbols start at 0, 3 ... 198
    EXPECT_EQ(reader.GetRecordHead(2), "short line");
    EXPECT_EQ(reader.GetRecordHead(3), std::string(201, 'a'));
    ASSERT_EQ(reader.LoadRecord(0), 1);
    EXPECT_EQ(reader.CurrentRecordText(), entries[0].text);
  }
  ASSERT_EQ(reader.Open(WriteLegacy(dir, 1, entries), ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetRecordHead(0), std::string(250, 'e'));
  EXPECT_EQ(reader.GetRecordHead(2), "short line");
  EXPECT_EQ(reader.GetRecordHead(3), std::string(230, 'a'));
}

TEST(LegacyBook, UnsupportedVersionsAreRefusedUntouched) {
  qltest::TempDir dir;
  ql::BookReader reader;
  for (int32_t word : {4, 1504, 1999, 0, -3}) {
    std::string path = WriteLegacy(dir, word);
    const std::string before = qltest::ReadFileBytes(path);
    EXPECT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kUnsupported) << word;
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.GetSubjectCount(), 0);
    EXPECT_EQ(qltest::ReadFileBytes(path), before) << word;
  }
}

// Runs body with writes past limit bytes of any file failing (EFBIG).
template <typename Body>
void WithFileSizeLimit(rlim_t limit, Body body) {
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = limit;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  body();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
}

TEST(LegacyBookmarks, FailedMarkingIsUndoneAndSaid) {
  qltest::TempDir dir;
  std::string path = WriteLegacy(dir, 1);
  const std::string before = qltest::ReadFileBytes(path);
  ql::BookReader reader;
  ql::OpenResult r = ql::OpenResult::kOk;
  // Room for the 88 reserved bytes but not for the whole block.
  WithFileSizeLimit(before.size() + 1000, [&] { r = reader.Open(path, ql::kOpenReadWrite); });
  EXPECT_EQ(r, ql::OpenResult::kFailed);
  EXPECT_EQ(reader.LastOpenFailure().kind, ql::OpenFailureKind::kWriteFailed);
  EXPECT_EQ(reader.LastOpenFailure().error, EFBIG);
  EXPECT_EQ(qltest::ReadFileBytes(path), before);
  // With room it is marked as before.
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_EQ(reader.LastOpenFailure().kind, ql::OpenFailureKind::kNone);
  EXPECT_TRUE(reader.HasBookmarkBlock());
}

TEST(LegacyBookmarks, ClaimedBlockOverlappingTheRecordsIsNeverWritten) {
  qltest::TempDir dir;
  const std::vector<Entry> entries = {{"ant", "small"}, {"bee", std::string(6000, 'b')}};
  // Marked +1500 but without the block: the last 4743 bytes are text.
  for (int32_t word : {1501, 501}) {
    std::string path = dir.File("claims" + std::to_string(word) + ".ql");
    const std::string bytes = qltest::BuildLegacyBookBytes(entries, word);
    qltest::WriteFileBytes(path, bytes);
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
    EXPECT_FALSE(reader.HasBookmarkBlock());
    EXPECT_EQ(reader.GetBookmark(1).textLength, 0) << "record bytes read as bookmarks";
    reader.SetBookmark(1, 3, 0, 0, "ant");
    EXPECT_TRUE(reader.SaveBookmarks());  // nothing to save into
    EXPECT_TRUE(reader.Close());
    ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
    ASSERT_EQ(reader.LoadRecord(1), 1);
    EXPECT_TRUE(reader.CurrentRecordText() == entries[1].text) << word;
  }
  // A real block behind the records is used, read-only too on request.
  std::string path = dir.File("real.ql");
  qltest::WriteFileBytes(path, qltest::BuildLegacyBookBytes(entries, 1));
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  reader.SetBookmark(4, 3, 1, 0, "bee");
  EXPECT_TRUE(reader.Close());
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetBookmark(4).textLength, 0);
  reader.LoadStoredBookmarks();
  EXPECT_EQ(reader.GetBookmark(4).text, "bee");
}

TEST(LegacyBookmarks, FailedBookmarkWriteIsReported) {
  qltest::TempDir dir;
  std::string path = WriteLegacy(dir, 2);
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  reader.SetBookmark(1, 5, 2, 0, "Zebra");
  bool saved = true, closed = true;
  WithFileSizeLimit(100, [&] {
    saved = reader.SaveBookmarks();
    closed = reader.Close();
  });
  EXPECT_FALSE(saved);
  EXPECT_FALSE(closed);
  EXPECT_EQ(reader.LastWriteError(), EFBIG);
}

}  // namespace
