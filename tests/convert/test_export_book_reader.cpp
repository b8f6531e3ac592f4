// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// ExportBookReader on books built in the tests: versions and identifying
// words, chunk flags, entries across block boundaries, the TOO LONG mark,
// legacy codings, the closed state, and damaged files of every length.
#include <gtest/gtest.h>

#include <random>

#include "book_fixture.h"
#include "byte_order.h"
#include "export_book_reader.h"

using qltest::BookOptions;
using qltest::Entry;
using qltest::TempDir;

namespace {

std::string Subject(ql::ExportBookReader& r, int i, int capacity = ql::kExportMaxSubjectLength,
                    int* result = nullptr) {
  std::vector<char> buf(static_cast<size_t>(capacity) + 1, 'X');
  const int got = static_cast<int>(r.GetSourceSubject(i, buf.data(), capacity));
  if (result) *result = got;
  return std::string(buf.data());
}

std::string Record(ql::ExportBookReader& r, int i, int capacity = ql::kExportMaxRecordLength,
                   int* result = nullptr) {
  std::vector<char> buf(static_cast<size_t>(capacity) + 1, 'X');
  int32_t piece = 0;
  const int got = static_cast<int>(r.GetSourceRecord(i, piece, buf.data(), capacity));
  EXPECT_EQ(piece, 0xFFFF);
  if (result) *result = got;
  return std::string(buf.data());
}

int OpenBytes(ql::ExportBookReader& r, const TempDir& dir, const std::string& bytes) {
  std::string path = dir.File("book.ql");
  qltest::WriteFileBytes(path, bytes);
  return static_cast<int>(r.OpenSource(path));
}

std::vector<Entry> SampleEntries(int n) {
  std::vector<Entry> entries;
  for (int i = 0; i < n; ++i) {
    std::string text = "Text of entry " + std::to_string(i) + ". ";
    for (int k = 0; k < i % 9; ++k)
      text +=
          "More words in a longer record, \t\x01"
          "bold\t\x02 too. ";
    entries.push_back({"entry " + std::to_string(1000 + i), text});
  }
  return entries;
}

TEST(ExportBookReaderOpen, VersionsAndIdentifyingWords) {
  TempDir dir;
  std::vector<Entry> entries = {{"alpha", "first"}, {"beta", "second"}};
  struct Case {
    std::string bytes;
    int result;
    int count;
  };
  BookOptions v2000, v2002;
  v2000.version = 2000;
  v2002.version = 2002;
  std::string badUid = qltest::BuildBookBytes(entries);
  ql::WriteLE32(reinterpret_cast<uint8_t*>(badUid.data()) + 8, 0x10000037);
  std::string oldUid = qltest::BuildBookBytes(entries);
  ql::WriteLE32(reinterpret_cast<uint8_t*>(oldUid.data()) + 8, 0x10004297);
  const Case cases[] = {
      {qltest::BuildLegacyBookBytes(entries, 1999), 0, 2},
      {qltest::BuildBookBytes(entries, v2000), 0, 2},
      {qltest::BuildBookBytes(entries), 0, 2},
      {oldUid, 0, 2},
      {qltest::BuildBookBytes(entries, v2002), 10, 0},
      {badUid, 9, 0},
      {qltest::BuildLegacyBookBytes(entries, 2, 0x10000037), 9, 0},
      {"short", 3, 0},
  };
  for (size_t k = 0; k < std::size(cases); ++k) {
    ql::ExportBookReader r;
    EXPECT_EQ(OpenBytes(r, dir, cases[k].bytes), cases[k].result) << "case " << k;
    EXPECT_EQ(r.GetSourceSubjectCount(), cases[k].count) << "case " << k;
    EXPECT_EQ(r.IsSourceOpen(), cases[k].result == 0);
    if (cases[k].result == 0) {
      EXPECT_EQ(Subject(r, 1), "beta") << "case " << k;
    }
  }
  ql::ExportBookReader r;
  EXPECT_EQ(static_cast<int>(r.OpenSource(dir.File("missing.ql"))), 2);
  EXPECT_EQ(static_cast<int>(r.OpenSource(dir.Path())), 2);
}

TEST(ExportBookReaderOpen, ChunksNeedTheSkipFlag) {
  TempDir dir;
  std::vector<Entry> entries = {{"a", "b"}};
  BookOptions flag0;
  flag0.bookmarkChunkFlag = 0;
  BookOptions extra;
  extra.chunksBefore.push_back({7, 1, "extra chunk data"});
  BookOptions extraFlag0;
  extraFlag0.chunksAfter.push_back({7, 0, "x"});
  ql::ExportBookReader r;
  EXPECT_EQ(OpenBytes(r, dir, qltest::BuildBookBytes(entries, flag0)), 10);
  EXPECT_EQ(r.GetSourceSubjectCount(), 0);
  EXPECT_EQ(OpenBytes(r, dir, qltest::BuildBookBytes(entries, extra)), 0);
  EXPECT_EQ(Record(r, 0), "b");
  EXPECT_EQ(OpenBytes(r, dir, qltest::BuildBookBytes(entries, extraFlag0)), 10);
}

TEST(ExportBookReaderOpen, ClosedReaderAnswersZeroAndFailsOperations) {
  ql::ExportBookReader r;
  EXPECT_EQ(r.GetSourceSubjectCount(), 0);
  EXPECT_EQ(r.GetMaxSubjectLength(), 0);
  EXPECT_EQ(r.GetMaxRecordLength(), 0);
  EXPECT_EQ(r.GetSourceSorted(), 0);
  int result = 0;
  EXPECT_EQ(Record(r, 0, 100, &result), "");
  EXPECT_EQ(result, 13);
  EXPECT_EQ(Subject(r, 0, 100, &result), "");
  EXPECT_EQ(result, 13);
  int32_t piece = 0;
  EXPECT_EQ(static_cast<int>(r.GetSourceRecord(0, piece, nullptr, 10)), 1);
  EXPECT_EQ(piece, 0xFFFF);
  EXPECT_EQ(static_cast<int>(r.GetSourceSubject(0, nullptr, 10)), 1);

  TempDir dir;
  EXPECT_EQ(OpenBytes(r, dir, qltest::BuildBookBytes({{"a", "b"}})), 0);
  EXPECT_EQ(r.GetMaxSubjectLength(), 1048575);
  EXPECT_EQ(r.GetMaxRecordLength(), 1920000);
  EXPECT_EQ(r.GetSourceSorted(), 1);
  Record(r, 5, 100, &result);
  EXPECT_EQ(result, 12);
  Subject(r, -1, 100, &result);
  EXPECT_EQ(result, 12);
  r.CloseSource();
  EXPECT_FALSE(r.IsSourceOpen());
  EXPECT_EQ(r.GetSourceSubjectCount(), 0);
}

// Small blocks make entries, heads and tails cross block boundaries, and the
// last subject block is followed by far fewer than 5000 bytes of file. (An
// entry may cross into the following subject block only, so subject blocks
// stay larger than the largest entry, about 170 bytes here; tails may span
// any number of record blocks.)
TEST(ExportBookReaderVersion2, EveryEntryReadsBackAcrossBlocks) {
  TempDir dir;
  std::vector<Entry> entries = SampleEntries(120);
  entries.push_back({"empty", ""});
  entries.push_back({"exactly 150", std::string(150, 'h')});
  entries.push_back({"151", std::string(151, 'i')});
  const std::pair<int32_t, int32_t> sizes[] = {{25000, 25000}, {171, 13}, {200, 64}, {256, 97}};
  for (auto [subjectBlockSize, blockSize] : sizes) {
    BookOptions o;
    o.subjectBlockSize = subjectBlockSize;
    o.recordBlockSize = blockSize;
    ql::ExportBookReader r;
    ASSERT_EQ(OpenBytes(r, dir, qltest::BuildBookBytes(entries, o)), 0);
    ASSERT_EQ(r.GetSourceSubjectCount(), static_cast<int>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      int rs = -1, rr = -1;
      EXPECT_EQ(Subject(r, static_cast<int>(i), ql::kExportMaxSubjectLength, &rs),
                entries[i].subject)
          << "block size " << blockSize << ", subject " << i;
      EXPECT_EQ(Record(r, static_cast<int>(i), ql::kExportMaxRecordLength, &rr), entries[i].text)
          << "block size " << blockSize << ", record " << i;
      EXPECT_EQ(rs, 0);
      EXPECT_EQ(rr, 0);
    }
    // Out of order too: the caches reload.
    EXPECT_EQ(Record(r, 3), entries[3].text);
    EXPECT_EQ(Subject(r, 119), entries[119].subject);
    EXPECT_EQ(Subject(r, 0), entries[0].subject);
  }
}

TEST(ExportBookReaderVersion2, LongSubjectsReadOnAcrossBlocks) {
  TempDir dir;
  // Subjects longer than the read-on into the next block, one of them far
  // longer than a block, each followed by its head and a tail.
  std::vector<Entry> entries = SampleEntries(30);
  entries.insert(entries.begin() + 10, {std::string(3000, 's'), "head after a long subject"});
  entries.insert(entries.begin() + 20, {std::string(1000000, 'm'), std::string(400, 't')});
  entries.push_back({std::string(60000, 'z'), "last"});
  for (int32_t subjectBlockSize : {25000, 997}) {
    BookOptions o;
    o.subjectBlockSize = subjectBlockSize;
    ql::ExportBookReader r;
    ASSERT_EQ(OpenBytes(r, dir, qltest::BuildBookBytes(entries, o)), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
      int rs = -1, rr = -1;
      EXPECT_TRUE(Subject(r, static_cast<int>(i), ql::kExportMaxSubjectLength, &rs) ==
                  entries[i].subject)
          << "block size " << subjectBlockSize << ", subject " << i;
      EXPECT_EQ(Record(r, static_cast<int>(i), ql::kExportMaxRecordLength, &rr), entries[i].text)
          << "block size " << subjectBlockSize << ", record " << i;
      EXPECT_EQ(rs, 0);
      EXPECT_EQ(rr, 0);
    }
    // A subject longer than the caller's capacity is cut there.
    EXPECT_EQ(Subject(r, 20, 5), "mmmmm");
  }
}

TEST(ExportBookReaderHostile, BlockSizesPastTheReadersCapAreRefused) {
  TempDir dir;
  std::string bytes = qltest::BuildBookBytes({{"a", "b"}, {"c", "d"}});
  // The subject section follows the two index values; a file large enough
  // that eight times its size does not rule the block size out.
  const size_t blockSizeAt = 4791 + 2 * 4 + 8;
  bytes += std::string(3u << 20, '\0');
  for (int32_t size : {(1 << 24) + 1, 1 << 24}) {
    std::string word;
    ql::AppendLE32(word, static_cast<uint32_t>(size));
    bytes.replace(blockSizeAt, 4, word);
    ql::ExportBookReader r;
    EXPECT_EQ(static_cast<ql::SourceResult>(OpenBytes(r, dir, bytes)),
              size > (1 << 24) ? ql::SourceResult::kShortRead : ql::SourceResult::kOk)
        << size;
  }
}

TEST(ExportBookReaderVersion2, TooLongMarkAtCapacityMinus20) {
  TempDir dir;
  const int capacity = 500;
  std::vector<Entry> entries = {{"at", std::string(capacity - 20, 'a')},
                                {"below", std::string(capacity - 21, 'b')},
                                {"above", std::string(capacity + 50, 'c')}};
  ql::ExportBookReader r;
  ASSERT_EQ(OpenBytes(r, dir, qltest::BuildBookBytes(entries)), 0);
  EXPECT_EQ(Record(r, 0, capacity), std::string(capacity - 20, 'a') + " <TOO LONG>");
  EXPECT_EQ(Record(r, 1, capacity), std::string(capacity - 21, 'b'));
  EXPECT_EQ(Record(r, 2, capacity), std::string(capacity - 20, 'c') + " <TOO LONG>");
  EXPECT_EQ(Subject(r, 1, 3), "bel");
}

TEST(ExportBookReaderLegacy, PlainAndNibbleCodings) {
  TempDir dir;
  std::vector<Entry> entries = {{"first", "abc@def"}, {"second", "The cat sat.@Next line, (yes)"}};
  ql::ExportBookReader r;
  ASSERT_EQ(OpenBytes(r, dir, qltest::BuildLegacyBookBytes(entries, 1)), 0);
  EXPECT_EQ(r.GetSourceSorted(), 0);
  std::string rec = Record(r, 0);
  EXPECT_EQ(rec, "abc\ndef");
  EXPECT_EQ(rec.size(), 7u);
  EXPECT_EQ(Subject(r, 1), "second");
  EXPECT_EQ(Subject(r, 1, 3), "sec");
  for (int version : {2, 3, 1502, 2 + 1000 + 500 - 1000}) {
    ASSERT_EQ(OpenBytes(r, dir, qltest::BuildLegacyBookBytes(entries, version)), 0);
    EXPECT_EQ(Record(r, 0), "abc\ndef") << "version " << version;
    EXPECT_EQ(Record(r, 1), "The cat sat.\nNext line, (yes)") << "version " << version;
  }
  // An unknown coding digit, and a coded record longer than the capacity.
  ASSERT_EQ(OpenBytes(r, dir, qltest::BuildLegacyBookBytes(entries, 1999)), 0);
  int result = 0;
  Record(r, 0, 100, &result);
  EXPECT_EQ(result, 10);
  ASSERT_EQ(OpenBytes(r, dir, qltest::BuildLegacyBookBytes(entries, 1)), 0);
  EXPECT_EQ(Record(r, 0, 6, &result), "");
  EXPECT_EQ(result, 15);
  Record(r, 2, 100, &result);
  EXPECT_EQ(result, 12);
  // An entry position before the start of the file: the seek fails.
  std::string bad = qltest::BuildLegacyBookBytes(entries, 1);
  ql::WriteLE32(reinterpret_cast<uint8_t*>(bad.data()) + 28, 0xFFFFFFF0u);
  ASSERT_EQ(OpenBytes(r, dir, bad), 0);
  Subject(r, 0, 100, &result);
  EXPECT_EQ(result, 5);
  Record(r, 0, 100, &result);
  EXPECT_EQ(result, 5);
  EXPECT_EQ(Subject(r, 1), "second");
}

// A legacy book whose one record holds the given coded bytes.
std::string LegacyWithCoded(const std::string& coded, int32_t version) {
  std::string out;
  for (uint32_t w : {0x10000037u, 0x1000006Du, 0x10004297u, 0u}) ql::AppendLE32(out, w);
  ql::AppendLE32(out, static_cast<uint32_t>(version));
  ql::AppendLE32(out, 1);
  ql::AppendLE32(out, 28 + 4 + 4 + 1 + 4);
  ql::AppendLE32(out, 32);  // entry position
  ql::AppendLE32(out, 1);
  out += "s";
  ql::AppendLE32(out, 41);  // record position
  ql::AppendLE32(out, static_cast<uint32_t>(coded.size()));
  return out + coded;
}

TEST(ExportBookReaderLegacy, NibbleEdges) {
  TempDir dir;
  ql::ExportBookReader r;
  // "the": t h e in the nibbles 4 A 1, and a 0 left in the last low nibble
  // that must not become a space.
  ASSERT_EQ(OpenBytes(r, dir, LegacyWithCoded("\x4A\x10", 2)), 0);
  EXPECT_EQ(Record(r, 0), "the");
  // Every symbol group: single, 12 x y, 13, 14, 15 (with the "@" symbol).
  ASSERT_EQ(OpenBytes(r, dir, LegacyWithCoded("\xB0\xC4\x1D\x0E\x0F\x9F\xC0\xFA\x0C\x7E\x30", 3)),
            0);
  EXPECT_EQ(Record(r, 0), ". AbAZ\n , ~a");
  // Decoding stops at an encoded zero byte.
  ASSERT_EQ(OpenBytes(r, dir, LegacyWithCoded("\x4C\x00\x41", 2)), 0);
  EXPECT_EQ(Record(r, 0), "t");
}

// Decoded nibble text can be twice the coded length: it is cut at the
// capacity the caller gave (the buffer holds exactly capacity + 1 bytes).
TEST(ExportBookReaderLegacy, NibbleTextCutAtCapacity) {
  TempDir dir;
  std::string coded(100, '\x11');  // "ee" per byte: 200 bytes of text
  ql::ExportBookReader r;
  ASSERT_EQ(OpenBytes(r, dir, LegacyWithCoded(coded, 2)), 0);
  int result = -1;
  EXPECT_EQ(Record(r, 0, 100, &result), std::string(100, 'e'));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Record(r, 0, 150), std::string(150, 'e'));
  EXPECT_EQ(Record(r, 0, 1000), std::string(199, 'e'));  // the last low nibble is never read
}

// Every prefix of a book, and random damage, gives a code or damaged text
// but never a crash (ASan builds check the reads and writes).
TEST(ExportBookReaderHostile, TruncatedAndDamagedFiles) {
  TempDir dir;
  BookOptions o;
  o.subjectBlockSize = 40;
  o.recordBlockSize = 40;
  std::vector<Entry> entries = SampleEntries(12);
  std::vector<std::string> books = {qltest::BuildBookBytes(entries, o),
                                    qltest::BuildLegacyBookBytes(entries, 1),
                                    qltest::BuildLegacyBookBytes(entries, 2)};
  auto exercise = [&](const std::string& bytes) {
    ql::ExportBookReader r;
    if (OpenBytes(r, dir, bytes) != 0) {
      EXPECT_EQ(r.GetSourceSubjectCount(), 0);
      return;
    }
    int n = std::min(r.GetSourceSubjectCount(), 40);
    for (int i = 0; i < n; ++i) {
      Subject(r, i, 300);
      Record(r, i, 300);
    }
  };
  // Sections without blocks, and so without a block size, next to an index
  // that points into them.
  for (int32_t section : {0, 1}) {
    std::string book = qltest::BuildBookBytes({{"a", std::string(200, 'b')}});
    size_t at = 4791 + 4;
    if (section == 1) at += 4 + static_cast<size_t>(qltest::WordAt(book, at));
    ql::WriteLE32(reinterpret_cast<uint8_t*>(book.data()) + at + 4, 0);
    ql::WriteLE32(reinterpret_cast<uint8_t*>(book.data()) + at + 8, 0);
    ql::ExportBookReader r;
    ASSERT_EQ(OpenBytes(r, dir, book), 0);
    int result = 0;
    Subject(r, 0, 300, &result);
    EXPECT_EQ(result, section == 0 ? 3 : 0);
    Record(r, 0, 300, &result);
    EXPECT_EQ(result, 3);
  }
  for (const std::string& book : books) {
    // Every length through the header, then a prime stride through the rest.
    for (size_t len = 0; len < book.size(); len += (len < 64 ? 1 : 17))
      exercise(book.substr(0, len));
    std::mt19937 rng(99);
    for (int round = 0; round < 120; ++round) {
      std::string damaged = book;
      for (int k = 0; k < 4; ++k)
        damaged[rng() % damaged.size()] = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng());
      exercise(damaged);
    }
  }
}

}  // namespace

namespace {

// The handheld export's reader tells the same damaged records as the book
// reader, each with what could be read; subjects always read, as the export
// stops at the first that does not.
TEST(ExportBookReaderDamaged, DamagedRecordsAreToldAndTheRestReadBack) {
  for (const qltest::DamagedBook& book : qltest::DamagedBooks()) {
    TempDir dir;
    ql::ExportBookReader r;
    ASSERT_EQ(static_cast<ql::SourceResult>(OpenBytes(r, dir, book.bytes)), ql::SourceResult::kOk)
        << book.name;
    const int n = r.GetSourceSubjectCount();
    ASSERT_EQ(n, static_cast<int>(book.entries.size())) << book.name;
    for (int i = 0; i < n; ++i) {
      int result = -1;
      Subject(r, i, ql::kExportMaxSubjectLength, &result);
      EXPECT_EQ(static_cast<ql::SourceResult>(result), ql::SourceResult::kOk)
          << book.name << " subject " << i;
    }
    std::vector<int> damaged;
    for (int i = 0; i < n; ++i) {
      int result = -1;
      const std::string text = Record(r, i, ql::kExportMaxRecordLength, &result);
      if (static_cast<ql::SourceResult>(result) == ql::SourceResult::kDamaged) {
        damaged.push_back(i);
        continue;
      }
      EXPECT_EQ(static_cast<ql::SourceResult>(result), ql::SourceResult::kOk)
          << book.name << " record " << i;
      EXPECT_EQ(text, book.entries[static_cast<size_t>(i)].text) << book.name << " record " << i;
    }
    EXPECT_EQ(damaged, book.damaged) << book.name;
    EXPECT_FALSE(r.EntriesOverlap()) << book.name;
  }
}

}  // namespace
