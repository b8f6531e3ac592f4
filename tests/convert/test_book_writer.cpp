// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The book writer: the layout of what WriteBook writes, taken apart with the
// block decoder, block cutting at 25000 bytes, and failures that must not
// cost the book that stood at the target.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>

#include "book_builder.h"
#include "book_format.h"
#include "convert_test_util.h"

namespace {

using qltest::Entry;

std::string WriteToString(ql::BookBuilder& builder) {
  std::FILE* f = std::tmpfile();
  EXPECT_EQ(builder.WriteBook(f), ql::BuildResult::kOk);
  std::string bytes = qltest::StreamBytes(f);
  std::fclose(f);
  return bytes;
}

TEST(WriteBook, BookWithoutEntries) {
  ql::BookBuilder builder;
  qltest::Import(builder, "nothing here", false);
  std::string bytes = WriteToString(builder);
  ASSERT_EQ(bytes.size(), 4815u);  // 36 + 4755 + two 12-byte sections
  qltest::ParsedBook book = qltest::ParseBook(bytes);
  ASSERT_TRUE(book.ok);
  EXPECT_EQ(book.header, (std::vector<int32_t>{0x10000037, 0x1000006D, 0x100016D2,
                                               int32_t(0xFCDDF4DC), 2001, 1, 0, 1, 4755}));
  std::string chunk = book.chunkArea;
  EXPECT_EQ(qltest::WordAt(chunk, 0), 1);
  EXPECT_EQ(qltest::WordAt(chunk, 4), 1);
  EXPECT_EQ(qltest::WordAt(chunk, 8), 4743);
  EXPECT_EQ(chunk.substr(12), std::string(4743, '\0'));
  for (size_t at : {size_t(4791), size_t(4803)}) {
    EXPECT_EQ(qltest::WordAt(bytes, at), 8);
    EXPECT_EQ(qltest::WordAt(bytes, at + 4), 0);
    EXPECT_EQ(qltest::WordAt(bytes, at + 8), 25000);
  }
}

TEST(WriteBook, StreamsSurviveCompressionAcrossManyBlocks) {
  // Enough entries for several subject and record blocks, texts from empty
  // to long, some of them long runs the coder shortens a lot.
  std::mt19937 rng(42);
  std::vector<Entry> entries;
  for (int i = 0; i < 3000; ++i) {
    Entry e;
    e.subject = "subject " + std::to_string(100000 + i);
    size_t length = rng() % 7 == 0 ? rng() % 2000 : rng() % 200;
    for (size_t k = 0; k < length; ++k)
      e.text.push_back(rng() % 5 == 0 ? char('A' + rng() % 3) : char('a' + k % 26));
    entries.push_back(e);
  }
  entries[10].subject = "out of order";
  ql::BookBuilder builder;
  for (const Entry& e : entries)
    ASSERT_EQ(builder.AddEntry(e.subject, e.text), ql::BuildResult::kOk);
  std::string bytes = WriteToString(builder);
  qltest::ParsedBook book = qltest::ParseBook(bytes);
  ASSERT_TRUE(book.ok);
  EXPECT_EQ(book.header[5], 0);  // sorted
  EXPECT_EQ(book.header[6], 3000);
  qltest::Streams want = qltest::BuildStreams(entries);
  EXPECT_EQ(book.index, want.index);
  EXPECT_EQ(book.subjects, want.subjects);
  EXPECT_EQ(book.records, want.records);
  ASSERT_GT(book.subjectBlockSizes.size(), 2u);
  ASSERT_GT(book.recordBlockSizes.size(), 2u);
  for (size_t k = 0; k + 1 < book.subjectBlockSizes.size(); ++k)
    EXPECT_EQ(book.subjectBlockSizes[k], 25000);
  // Writing twice gives the same bytes, also with a bar following the
  // writing block by block up to both streams' whole length.
  struct Bar final : ql::ProgressSink {
    void SetRange(int64_t, int64_t upper) override { range = upper; }
    void SetPos(int64_t pos) override { positions.push_back(pos); }
    void Step() override {}
    int64_t range = -1;
    std::vector<int64_t> positions;
  } bar;
  builder.SetWriteProgress(&bar);
  EXPECT_EQ(WriteToString(builder), bytes);
  builder.SetWriteProgress(nullptr);
  const int64_t streams = int64_t(want.subjects.size() + want.records.size());
  EXPECT_EQ(bar.range, streams);
  ASSERT_EQ(bar.positions.size(), book.subjectBlockSizes.size() + book.recordBlockSizes.size());
  EXPECT_TRUE(std::is_sorted(bar.positions.begin(), bar.positions.end()));
  EXPECT_EQ(bar.positions.back(), streams);
  ASSERT_EQ(builder.AddEntry("zz", "last"), ql::BuildResult::kOk);
  entries.push_back({"zz", "last"});
  book = qltest::ParseBook(WriteToString(builder));
  ASSERT_TRUE(book.ok);
  EXPECT_EQ(book.subjects, qltest::BuildStreams(entries).subjects);
}

TEST(WriteBook, BlocksAreCutAt25000Bytes) {
  // One entry with an empty text: 1 + s + 1 + 0 + 1 bytes of subject stream.
  for (size_t streamSize : {size_t(25000), size_t(25001)}) {
    ql::BookBuilder builder;
    std::string subject(streamSize - 3, 's');
    ASSERT_EQ(builder.AddEntry(subject, ""), ql::BuildResult::kOk);
    qltest::ParsedBook book = qltest::ParseBook(WriteToString(builder));
    ASSERT_TRUE(book.ok);
    EXPECT_EQ(book.subjects.size(), streamSize);
    if (streamSize == 25000)
      EXPECT_EQ(book.subjectBlockSizes, (std::vector<int32_t>{25000}));
    else
      EXPECT_EQ(book.subjectBlockSizes, (std::vector<int32_t>{25000, 1}));
    EXPECT_TRUE(book.recordBlockSizes.empty());
  }
}

TEST(WriteBook, WriteFailuresAreReported) {
  ql::BookBuilder builder;
  builder.AddEntry("a", std::string(5000, 'x'));
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(builder.WriteBook(full), ql::BuildResult::kIoFailed);
  std::fclose(full);
  // A failed output does not spoil the builder.
  EXPECT_TRUE(qltest::ParseBook(WriteToString(builder)).ok);
}

TEST(WriteBook, FailedWriteKeepsTheOldBook) {
  qltest::TempDir dir;
  std::string target = dir.File("book.ql");
  qltest::WriteFileBytes(target, "the old book");
  ql::BookBuilder builder;
  builder.AddEntry("a", "text");
  // A file size limit makes every write past 1000 bytes fail with EFBIG.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ql::BuildResult r = builder.WriteBookFile(target);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(r, ql::BuildResult::kIoFailed);
  EXPECT_EQ(qltest::ReadFileBytes(target), "the old book");
  // Nothing is left beside it.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);
  // A directory that does not exist fails as cleanly.
  EXPECT_EQ(builder.WriteBookFile(dir.File("missing/book.ql")), ql::BuildResult::kIoFailed);
  // And with room, the same builder writes the book over the old one.
  EXPECT_EQ(builder.WriteBookFile(target), ql::BuildResult::kOk);
  EXPECT_TRUE(qltest::ParseBook(qltest::ReadFileBytes(target)).ok);
}

}  // namespace
