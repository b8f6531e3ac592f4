// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Books a handheld database cannot hold, known before the book is read: by
// the count in the book's header, or by its subjects alone. They are refused
// before any record is read and without asking for memory by the book's
// size; books that fit are written as before.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>

#include "book_fixture.h"
#include "book_format.h"
#include "export_book_reader.h"
#include "handheld_compress.h"
#include "handheld_test_util.h"
#include "pdb_format.h"

namespace {

using hhtest::FakeSource;
using hhtest::RecordingMessages;
using qltest::TempDir;

constexpr size_t kMiB = size_t{1} << 20;

// The limits rest on no full block compressing below 819 bytes; the most
// compressible blocks come close, and a record of them holds 74.
TEST(HandheldLimits, NoFullBlockCompressesBelowWhatTheLimitsAssume) {
  const std::string blocks[] = {
      std::string(ql::kQLPBlockSize, '\0'),
      std::string(ql::kQLPBlockSize, 'x'),
      std::string(ql::kQLPBlockSize, ' '),
      std::string(ql::kQLPBlockSize, '\x80'),
      [] {
        std::string s;
        while (s.size() < ql::kQLPBlockSize) s += " a";
        return s.substr(0, ql::kQLPBlockSize);
      }(),
  };
  std::vector<uint8_t> out(2 * ql::kQLPBlockSize);
  for (const std::string& b : blocks) {
    const size_t c =
        ql::CompressHandheldBlock(reinterpret_cast<const uint8_t*>(b.data()), b.size(), out.data());
    EXPECT_GE(c, size_t{ql::kQLPMinFullBlockCompressed}) << hhtest::Hex(b.substr(0, 4));
    EXPECT_LT(c, size_t{ql::kQLPMinFullBlockCompressed} + 8) << hhtest::Hex(b.substr(0, 4));
  }
  TempDir dir;
  FakeSource s({{"x", std::string(100 * ql::kQLPBlockSize, 'x')}});
  s.OpenSource("book.ql");
  const std::string pdb = dir.File("out.pdb");
  ASSERT_EQ(s.ExportToHandheld(pdb.c_str(), "Book", nullptr), ql::HandheldResult::kOk);
  const hhtest::ExportedBook book = hhtest::ReadExport(qltest::ReadFileBytes(pdb));
  ASSERT_TRUE(book.ok) << book.error;
  ASSERT_GE(book.blocks.size(), 2u);
  EXPECT_EQ(book.blocks[0].size(), size_t{ql::kQLPMaxFullBlocksPerRecord});
}

TEST(HandheldLimits, BookPastTheLimitsIsRefusedBeforeAnyRecordIsRead) {
  struct Case {
    const char* name;
    int count;
    int subjectLength;
    size_t allocationLimit;  // 0: none
    int subjectReads;
  };
  // 155 subjects of 1000000 bytes and their NULs leave the stream below
  // 155151360 bytes; the 156th passes it.
  const Case cases[] = {
      {"one entry more than the stream can start", static_cast<int>(ql::kQLPMaxSubjects) + 1, 0,
       kMiB, 0},
      {"the largest count", INT_MAX, 0, kMiB, 0},
      {"subjects that alone fill the stream", 200, 1000000, 0, 156},
  };
  for (const Case& c : cases) {
    TempDir dir;
    FakeSource s;
    s.generatedCount = c.count;
    s.generatedSubjectLength = c.subjectLength;
    s.SetAllocationLimit(c.allocationLimit);
    RecordingMessages messages;
    s.SetMessageSink(&messages);
    s.OpenSource("book.ql");
    const std::string out = dir.File("out.pdb");
    EXPECT_EQ(s.ExportToHandheld(out.c_str(), "Book", nullptr), ql::HandheldResult::kTooLarge)
        << c.name;
    EXPECT_EQ(s.recordReads, 0) << c.name;
    EXPECT_EQ(s.subjectReads, c.subjectReads) << c.name;
    EXPECT_TRUE(messages.texts.empty()) << c.name << ": " << messages.texts.front();
    EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
  }
}

// The reader, counting what the writer asks of it.
class CountingReader : public ql::ExportBookReader {
 public:
  int subjectReads = 0;
  int recordReads = 0;
  ql::SourceResult GetSourceSubject(int index, char* buffer, int capacity) override {
    ++subjectReads;
    return ExportBookReader::GetSourceSubject(index, buffer, capacity);
  }
  ql::SourceResult GetSourceRecord(int index, int32_t& piece, char* buffer, int capacity) override {
    ++recordReads;
    return ExportBookReader::GetSourceRecord(index, piece, buffer, capacity);
  }
};

// A version 2 book whose header counts count subjects: one real entry, and
// a subject index that is a hole of a sparse file (every value 0, the entry).
void WriteCountedBook(const std::string& path, int32_t count) {
  const std::string bytes = qltest::BuildBookBytes({{"a", "b"}});
  const size_t index = ql::kBookHeaderSize +
                       static_cast<size_t>(qltest::WordAt(bytes, ql::kHeaderOffsetChunkAreaSize));
  std::string head = bytes.substr(0, index);
  for (int k = 0; k < 4; ++k)
    head[ql::kHeaderOffsetSubjectCount + k] = static_cast<char>((count >> (8 * k)) & 0xFF);
  const std::string sections = bytes.substr(index + 4);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(head.data(), 1, head.size(), f), head.size());
  ASSERT_EQ(fseeko(f, static_cast<off_t>(index + 4 * static_cast<size_t>(count)), SEEK_SET), 0);
  ASSERT_EQ(std::fwrite(sections.data(), 1, sections.size(), f), sections.size());
  ASSERT_EQ(std::fclose(f), 0);
}

// The count comes from the book's header: a book past it is refused at once,
// with a writer that may ask for no more than 64 MiB (the count alone would
// need 300 MiB for the data header table).
TEST(HandheldLimits, BookCountedPastTheLimitIsRefusedFromItsHeader) {
  struct Case {
    int32_t count;
    ql::HandheldResult result;
  };
  const Case cases[] = {
      {1, ql::HandheldResult::kOk},
      {static_cast<int32_t>(ql::kQLPMaxSubjects) + 1, ql::HandheldResult::kTooLarge}};
  for (const Case& c : cases) {
    TempDir dir;
    const std::string book = dir.File("counted.ql");
    WriteCountedBook(book, c.count);
    CountingReader reader;
    ASSERT_EQ(reader.OpenSource(book), ql::SourceResult::kOk) << c.count;
    ASSERT_EQ(reader.GetSourceSubjectCount(), c.count);
    reader.SetAllocationLimit(64 * kMiB);
    RecordingMessages messages;
    reader.SetMessageSink(&messages);
    const std::string out = dir.File("out.pdb");
    EXPECT_EQ(reader.ExportToHandheld(out.c_str(), "Book", nullptr), c.result) << c.count;
    EXPECT_TRUE(messages.texts.empty()) << messages.texts.front();
    if (c.result == ql::HandheldResult::kOk) continue;
    EXPECT_EQ(reader.subjectReads, 0);
    EXPECT_EQ(reader.recordReads, 0);
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

}  // namespace
