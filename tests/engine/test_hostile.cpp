// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Damaged and hostile books: truncations, impossible counts, block tables,
// index values and tail offsets pointing anywhere, and random damage. The
// reader must refuse them at Open or give damaged text, never crash (these
// run under ASan and UBSan in CI).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_format.h"
#include "book_reader.h"
#include "byte_order.h"
#include "reader_test_util.h"

namespace {

using qltest::Entry;

const std::vector<Entry> kEntries = {{"alpha", "short text"},
                                     {"beta", qltest::PatternText(400, 'b')},
                                     {"gamma", ""},
                                     {"delta", qltest::PatternText(151, 'd')}};

void Put(std::string& bytes, size_t offset, int32_t value) {
  uint8_t w[4];
  ql::WriteLE32(w, static_cast<uint32_t>(value));
  bytes.replace(offset, 4, reinterpret_cast<const char*>(w), 4);
}

// Reads everything the reader offers; the result only has to exist.
size_t Walk(ql::BookReader& reader) {
  size_t total = 0;
  const int count = std::min(reader.GetSubjectCount(), 500);
  for (int i = 0; i < count; ++i) {
    total += reader.GetSubject(i).size() + reader.GetRecordHead(i).size();
    if (reader.LoadRecord(i) == 1) total += reader.CurrentRecordText().size();
  }
  if (reader.GetSubjectCount() <= 500) {
    reader.FindSubject(ql::MatchWhole, "beta");
    reader.FindSubject(ql::MatchPrefix, "zz");
  }
  return total;
}

ql::OpenResult OpenBytes(const qltest::TempDir& dir, const std::string& bytes,
                         ql::BookReader& reader, int mode = ql::kOpenReadOnly) {
  const std::string path = dir.File("hostile.ql");
  qltest::WriteFileBytes(path, bytes);
  return reader.Open(path, mode);
}

// Layout of a book as the fixture writes it (one bookmark chunk, one block
// per section of 25000 bytes, literal groups).
struct Layout {
  explicit Layout(const std::string& b, int n) : bytes(b) {
    subjectSection = ql::kSubjectIndexOffsetWritten + 4 * size_t(n);
    const size_t subjectCount = size_t(qltest::WordAt(bytes, subjectSection + 4));
    subjectData = subjectSection + 12 + 8 * subjectCount;
    recordSection = subjectSection + 4 + size_t(qltest::WordAt(bytes, subjectSection));
    recordData = recordSection + 12 + 8 * size_t(qltest::WordAt(bytes, recordSection + 4));
  }
  // File position of byte o of a literal-coded block: one control byte per 8.
  static size_t Literal(size_t data, size_t o) { return data + o / 8 * 9 + 1 + o % 8; }
  std::string bytes;
  size_t subjectSection, subjectData, recordSection, recordData;
};

TEST(HostileBook, TruncatedAtEveryLength) {
  qltest::TempDir dir;
  qltest::BookOptions small;
  small.subjectBlockSize = 64;
  small.recordBlockSize = 64;
  const std::string books[] = {
      qltest::BuildBookBytes(kEntries, small), qltest::BuildLegacyBookBytes(kEntries, 2),
      qltest::BuildLegacyBookBytes(kEntries, 1501) + std::string(88 + 4743, '\0')};
  for (const std::string& whole : books) {
    for (size_t length = 0; length < whole.size(); length += (length < 5000 ? 7 : 1)) {
      ql::BookReader reader;
      if (OpenBytes(dir, whole.substr(0, length), reader) == ql::OpenResult::kOk) Walk(reader);
    }
  }
  // Cut inside the streams: the header is whole, so the book opens and the
  // first entries still read back.
  ql::BookReader reader;
  const std::string& v2 = books[0];
  ASSERT_EQ(OpenBytes(dir, v2.substr(0, v2.size() - 40), reader), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetSubject(0), "alpha");
  Walk(reader);
}

TEST(HostileBook, ImpossibleCountsAndSizesFailAtOpen) {
  qltest::TempDir dir;
  const std::string good = qltest::BuildBookBytes(kEntries);
  Layout at(good, 4);
  struct Patch {
    size_t offset;
    int32_t value;
  };
  const Patch patches[] = {
      {24, 0x7FFFFFFF},                     // subjectCount
      {24, 1000000},                        // subjectCount larger than the file holds
      {24, -1},                             //
      {28, 0x7FFFFFFF},                     // chunkCount
      {28, -5},                             //
      {32, 0x7FFFFFF0},                     // chunkAreaSize
      {32, -36},                            //
      {44, 0x7FFFFFFF},                     // bookmark chunk length
      {at.subjectSection + 4, 0x7FFFFFFF},  // blockCount
      {at.subjectSection + 4, -1},          //
      {at.subjectSection + 8, 0x7FFFFFFF},  // blockSize
      {at.subjectSection + 8, 0},           //
      {at.subjectSection, 0x7FFFFF00},      // sectionLength: the record section is past the end
      {at.recordSection + 4, 0x10000000},   //
      {at.recordSection + 8, -25000},       //
  };
  for (const Patch& p : patches) {
    std::string bytes = good;
    Put(bytes, p.offset, p.value);
    ql::BookReader reader;
    EXPECT_EQ(OpenBytes(dir, bytes, reader), ql::OpenResult::kFailed) << p.offset << " " << p.value;
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.GetSubjectCount(), 0);
  }
}

TEST(HostileBook, BlockTablesAndIndexValuesPointingAnywhere) {
  qltest::TempDir dir;
  const std::string good = qltest::BuildBookBytes(kEntries);
  Layout at(good, 4);
  for (int32_t offset : {0x7FFFFFF0, -8, 100000}) {
    std::string bytes = good;
    Put(bytes, at.subjectSection + 12, offset);
    ql::BookReader reader;
    ASSERT_EQ(OpenBytes(dir, bytes, reader), ql::OpenResult::kOk);
    EXPECT_EQ(reader.GetSubject(0), "") << offset;
    EXPECT_EQ(reader.LoadRecord(1), 1);
    EXPECT_EQ(reader.CurrentRecordText(), "");
  }
  {
    // An oversized compressed length decodes what the file holds.
    std::string bytes = good;
    Put(bytes, at.recordSection + 16, 0x7FFFFFFF);
    ql::BookReader reader;
    ASSERT_EQ(OpenBytes(dir, bytes, reader), ql::OpenResult::kOk);
    ASSERT_EQ(reader.LoadRecord(1), 1);
    EXPECT_EQ(reader.CurrentRecordText(), kEntries[1].text);
  }
  for (int32_t value : {0x7FFFFFFF, -5, 30000, 24999}) {
    std::string bytes = good;
    Put(bytes, ql::kSubjectIndexOffsetWritten + 4, value);  // index value of subject 1
    ql::BookReader reader;
    ASSERT_EQ(OpenBytes(dir, bytes, reader), ql::OpenResult::kOk);
    EXPECT_EQ(reader.GetSubject(1), "") << value;
    EXPECT_EQ(reader.GetSubject(0), "alpha");
    EXPECT_EQ(reader.GetSubject(2), "gamma");
    EXPECT_EQ(reader.FindSubject(ql::MatchWhole, "gamma"), 2);
  }
}

TEST(HostileBook, TailOffsetsOutsideTheRecordStream) {
  qltest::TempDir dir;
  const std::string good = qltest::BuildBookBytes(kEntries);
  Layout at(good, 4);
  qltest::Streams s = qltest::BuildStreams(kEntries);
  const size_t tailField = size_t(s.index[1]) + 1;
  for (int32_t tail : {0x7FFFFFF0, int32_t(s.records.size()), -2}) {
    std::string bytes = good;
    for (size_t k = 0; k < 4; ++k)
      bytes[Layout::Literal(at.subjectData, tailField + k)] = char(uint32_t(tail) >> (8 * k));
    ql::BookReader reader;
    ASSERT_EQ(OpenBytes(dir, bytes, reader), ql::OpenResult::kOk);
    ASSERT_EQ(reader.LoadRecord(1), 1);
    EXPECT_EQ(reader.CurrentRecordText(), kEntries[1].text.substr(0, 150)) << tail;
    EXPECT_EQ(reader.GetSubject(1), "beta");
  }
  {
    // The last tail has lost its zero byte: it stops at the end of the stream.
    std::string bytes = good;
    bytes[Layout::Literal(at.recordData, s.records.size() - 1)] = 'X';
    ql::BookReader reader;
    ASSERT_EQ(OpenBytes(dir, bytes, reader), ql::OpenResult::kOk);
    ASSERT_EQ(reader.LoadRecord(3), 1);
    EXPECT_EQ(reader.CurrentRecordText(), kEntries[3].text + "X");
  }
  {
    // Likewise the last subject entry's head.
    std::string bytes = good;
    bytes[Layout::Literal(at.subjectData, s.subjects.size() - 1)] = 'Y';
    ql::BookReader reader;
    ASSERT_EQ(OpenBytes(dir, bytes, reader), ql::OpenResult::kOk);
    EXPECT_EQ(reader.GetRecordHead(3), kEntries[3].text.substr(0, 150) + "Y");
  }
}

TEST(HostileBook, ShortBookmarkChunkIsNeitherReadNorWritten) {
  qltest::TempDir dir;
  qltest::BookOptions o;
  o.bookmarkBlock = std::string(200, '\x05');
  const std::string bytes = qltest::BuildBookBytes(kEntries, o);
  ql::BookReader reader;
  ASSERT_EQ(OpenBytes(dir, bytes, reader, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetBookmark(1).textLength, 0);
  qltest::ExpectReadsBack(reader, kEntries);
  reader.SetBookmark(1, 5, 0, 0, "alpha");
  reader.Close();
  EXPECT_EQ(qltest::ReadFileBytes(dir.File("hostile.ql")), bytes);
}

TEST(HostileLegacyBook, DamagedHeaderAndEntries) {
  qltest::TempDir dir;
  const std::string good = qltest::BuildLegacyBookBytes(kEntries, 2);
  const int32_t headerSize = qltest::WordAt(good, 24);
  for (int32_t value : {int32_t(good.size()) + 1, 27, -1, 0x7FFFFFFF}) {
    std::string bytes = good;
    Put(bytes, 24, value);
    ql::BookReader reader;
    EXPECT_EQ(OpenBytes(dir, bytes, reader), ql::OpenResult::kFailed) << value;
  }
  for (int32_t count : {5000, -1, 0x7FFFFFFF}) {
    std::string bytes = good;
    Put(bytes, 20, count);
    ql::BookReader reader;
    EXPECT_EQ(OpenBytes(dir, bytes, reader), ql::OpenResult::kFailed) << count;
  }
  const size_t entry1 = size_t(qltest::WordAt(good, 32));
  const size_t record1 = entry1 + 4 + kEntries[1].subject.size();
  struct Patch {
    size_t offset;
    int32_t value;
  };
  const Patch patches[] = {{32, headerSize},
                           {32, -4},
                           {32, 0x7FFFFFFF},
                           {entry1, 0x7FFFFFFF},
                           {entry1, -1},
                           {entry1, headerSize},
                           {record1, int32_t(good.size())},
                           {record1, -3}};
  for (const Patch& p : patches) {
    std::string bytes = good;
    Put(bytes, p.offset, p.value);
    ql::BookReader reader;
    ASSERT_EQ(OpenBytes(dir, bytes, reader), ql::OpenResult::kOk);
    EXPECT_EQ(reader.GetRecordHead(1), "") << p.offset << " " << p.value;
    ASSERT_EQ(reader.LoadRecord(1), 1);
    EXPECT_EQ(reader.CurrentRecordText(), "");
    EXPECT_EQ(reader.GetSubject(0), "alpha");
    EXPECT_EQ(reader.GetSubject(3), "delta");
  }
  {
    // A coded length beyond the file decodes what is there.
    std::string bytes = good;
    const size_t lastRecord = size_t(
        qltest::WordAt(good, size_t(qltest::WordAt(good, 40)) + 4 + kEntries[3].subject.size()));
    Put(bytes, lastRecord, 0x7FFFFFF0);
    ql::BookReader reader;
    ASSERT_EQ(OpenBytes(dir, bytes, reader), ql::OpenResult::kOk);
    ASSERT_EQ(reader.LoadRecord(3), 1);
    std::string expected = kEntries[3].text;  // nibble coding: "@" is a line break
    for (size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@'))
      expected.replace(at, 1, "\t\x08");
    EXPECT_EQ(reader.CurrentRecordText(), expected);
  }
  {
    // Marked as carrying bookmarks, but too short to hold them: nothing is
    // read from or written over the header.
    std::string bytes = qltest::BuildLegacyBookBytes(kEntries, 1502);
    ql::BookReader reader;
    ASSERT_EQ(OpenBytes(dir, bytes, reader, ql::kOpenReadWrite), ql::OpenResult::kOk);
    reader.SetBookmark(1, 5, 0, 0, "alpha");
    reader.Close();
    EXPECT_EQ(qltest::ReadFileBytes(dir.File("hostile.ql")), bytes);
  }
}

TEST(HostileBook, RandomDamage) {
  qltest::TempDir dir;
  qltest::BookOptions small;
  small.subjectBlockSize = 64;
  small.recordBlockSize = 64;
  const std::string books[] = {
      qltest::BuildBookBytes(kEntries, small), qltest::BuildBookBytes(kEntries),
      qltest::BuildLegacyBookBytes(kEntries, 3), qltest::BuildLegacyBookBytes(kEntries, 1)};
  std::mt19937 rng(12345);
  int opened = 0;
  for (int round = 0; round < 1200; ++round) {
    std::string bytes = books[size_t(round) % 4];
    const int damage = 1 + int(rng() % 6);
    for (int d = 0; d < damage; ++d) {
      const size_t at = rng() % bytes.size();
      // Damage near the header and tables most of the time, where it matters.
      const size_t pos = (rng() % 2) ? at % std::min<size_t>(bytes.size(), 64) : at;
      bytes[pos] = char(rng() % 3 == 0 ? 0xFF : rng());
    }
    ql::BookReader reader;
    if (OpenBytes(dir, bytes, reader, round % 3 == 0 ? ql::kOpenReadWrite : ql::kOpenReadOnly) ==
        ql::OpenResult::kOk) {
      ++opened;
      Walk(reader);
      reader.SetBookmark(1, 2, 0, 0, "ab");
    }
  }
  EXPECT_GT(opened, 100);  // the damage must reach the readers, not only Open
}

}  // namespace
