// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Damaged and hostile version 2002 books: every byte of the header, the
// chunk headers, the subject index and the section tables changed, the file
// cut at every length, blocks replaced by garbage zstd frames, and the
// dictionary chunk given garbage or impossible lengths. The reader refuses
// them at Open or reads what it can, flagged damaged; a record it reads as
// whole is one the book was made with, and memory stays bounded.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "book_builder.h"
#include "book_fixture.h"
#include "book_format.h"
#include "book_reader.h"
#include "byte_order.h"
#include "memory_bound.h"

namespace {

using qltest::Entry;

const std::string kGreek = [] {
  std::string s;
  while (s.size() < 400) s += "\xCE\xB1\xCE\xB2\xCE\xB3 \xCF\x89 ";
  return s;
}();

const std::vector<Entry> kEntries = {
    {"alpha", "short text"},
    {"\xCE\xB2\xCE\xAE\xCF\x84\xCE\xB1", kGreek},
    {"gamma", ""},
    {"\xCE\xB4\xCE\xAD\xCE\xBB\xCF\x84\xCE\xB1", std::string(151, 'd')},
    {"epsilon", kGreek}};

// A book of entries, the second and last sharing one text; with words, a
// text large enough for the writer to train a dictionary on.
std::string BuildBook(const std::vector<Entry>& entries) {
  qltest::TempDir dir;
  ql::BookBuilder builder;
  builder.SetUnicode(true);
  for (const Entry& e : entries)
    EXPECT_EQ(builder.AddSharedEntry(e.subject, e.text, int64_t(std::hash<std::string>{}(e.text)),
                                     int64_t(e.text.size())),
              ql::BuildResult::kOk);
  EXPECT_EQ(builder.WriteBookFile(dir.File("b.ql")), ql::BuildResult::kOk);
  return qltest::ReadFileBytes(dir.File("b.ql"));
}

std::vector<Entry> DictionaryEntries() {
  std::mt19937 rng(5);
  const char* words[] = {"\xD1\x81\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE",
                         "word",
                         "\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82",
                         "sense",
                         "\xE8\xA9\x9E",
                         "see",
                         "noun",
                         "verb"};
  std::vector<Entry> entries;
  for (int i = 0; i < 400; ++i) {
    std::string text;
    while (text.size() < 900) text += std::string(words[rng() % 8]) + " ";
    entries.push_back({"w" + std::to_string(1000 + i), text});
  }
  return entries;
}

int64_t Le64(const std::string& b, size_t at) {
  return ql::ReadLE64s(reinterpret_cast<const uint8_t*>(b.data()) + at);
}

// Where the parts of a book lie, from its own header and tables.
struct Layout {
  explicit Layout(const std::string& b) {
    const size_t count = size_t(qltest::WordAt(b, ql::kHeaderOffsetSubjectCount));
    dictionaryChunk = ql::kUnicodeHeaderSize + ql::kChunkAreaSizeWritten;
    dictionaryLength = size_t(qltest::WordAt(b, dictionaryChunk + 8));
    index = ql::kUnicodeHeaderSize + size_t(qltest::WordAt(b, ql::kHeaderOffsetChunkAreaSize));
    subjects = index + 8 * count;
    subjectBlocks = size_t(qltest::WordAt(b, subjects + 8));
    records = subjects + 8 + size_t(Le64(b, subjects));
    recordBlocks = size_t(qltest::WordAt(b, records + 8));
  }
  size_t Table(size_t section, size_t blocks) const {
    return section + ql::kUnicodeSectionHeaderSize + ql::kUnicodeBlockEntrySize * blocks;
  }
  // The coded bytes of the first block of a section: offset and length.
  std::pair<size_t, size_t> FirstBlock(const std::string& b, size_t section, size_t blocks) const {
    const size_t entry = section + ql::kUnicodeSectionHeaderSize;
    return {Table(section, blocks) + size_t(Le64(b, entry)), size_t(qltest::WordAt(b, entry + 8))};
  }
  size_t dictionaryChunk, dictionaryLength, index, subjects, subjectBlocks, records, recordBlocks;
};

// Opens bytes and reads every part of the book; with check, what reads as
// whole must be what the book was made with. False when Open refused it.
bool OpenAndWalk(const qltest::TempDir& dir, const std::string& bytes,
                 const std::vector<Entry>& entries, bool check = true) {
  const std::string path = dir.File("hostile.ql");
  qltest::WriteFileBytes(path, bytes);
  ql::BookReader reader;
  if (reader.Open(path, ql::kOpenReadOnly) != ql::OpenResult::kOk) return false;
  std::set<std::pair<std::string, std::string>> made;
  for (const Entry& e : entries) made.emplace(e.subject, e.text);
  const int count = std::min(reader.GetSubjectCount(), 1000);
  for (int i = 0; i < count; ++i) {
    const std::string subject = reader.GetSubject(i);
    (void)reader.GetRecordHead(i);
    if (reader.LoadRecord(i) != 1) continue;
    if (check && !reader.CurrentRecordDamaged()) {
      EXPECT_TRUE(made.count({subject, std::string(reader.CurrentRecordText())})) << i;
    }
  }
  reader.FindSubject(ql::MatchWhole, "gamma");
  reader.FindSubject(ql::MatchPrefix, "\xCE\x94");
  int record = 0, pos = -1;
  reader.Search(ql::SearchSubjectsAndText, reader.FoldTerm("\xCE\xA9"), record, pos, false, false);
  (void)reader.CheckBook();
  return true;
}

void Put(std::string& bytes, size_t at, int64_t value, size_t width) {
  for (size_t k = 0; k < width; ++k) bytes[at + k] = char(uint64_t(value) >> (8 * k));
}

TEST(HostileUnicodeBook, EveryHeaderTableAndIndexByteChanged) {
  qltest::TempDir dir;
  const std::string good = BuildBook(kEntries);
  const Layout at(good);
  ASSERT_EQ(at.dictionaryLength, 0u);  // too little text to train on
  ASSERT_TRUE(OpenAndWalk(dir, good, kEntries));
  // An index value is checked against the end of the entry before it: a
  // changed one flags that entry, while its own is read from where the
  // value points. Everywhere else what reads as whole is as it was made.
  const struct {
    size_t from, to;
    bool check;
  } spans[] = {{0, ql::kUnicodeHeaderSize + ql::kChunkHeaderSize, true},
               {at.dictionaryChunk, at.dictionaryChunk + ql::kChunkHeaderSize, true},
               {at.index, at.subjects, false},
               {at.subjects, at.Table(at.subjects, at.subjectBlocks), true},
               {at.records, at.Table(at.records, at.recordBlocks), true}};
  int opened = 0, tried = 0;
  for (const auto& [from, to, check] : spans) {
    for (size_t offset = from; offset < to; ++offset) {
      for (const int change : {0x00, 0xFF, 0x01 ^ 0x100, 0x80 ^ 0x100}) {
        std::string bytes = good;
        bytes[offset] = char(change > 0xFF ? uint8_t(bytes[offset]) ^ (change & 0xFF) : change);
        if (bytes == good) continue;
        SCOPED_TRACE(testing::Message()
                     << "byte " << offset << " to " << int(uint8_t(bytes[offset])));
        ++tried;
        opened += OpenAndWalk(dir, bytes, kEntries, check);
      }
    }
  }
  // Most changes are told at Open, but not all: the sorted word, the
  // bookmarks' chunk and index values read on as damaged records.
  EXPECT_GT(opened, 0);
  EXPECT_LT(opened, tried);
}

TEST(HostileUnicodeBook, CutAtEveryLength) {
  qltest::TempDir dir;
  const std::string good = BuildBook(kEntries);
  const Layout at(good);
  for (size_t length = 0; length < good.size(); ++length) {
    // Inside the bookmark block only a few cuts: its bytes are all alike.
    if (length > 80 && length < at.dictionaryChunk && length % 97 != 0) continue;
    SCOPED_TRACE(length);
    const bool opened = OpenAndWalk(dir, good.substr(0, length), kEntries);
    // The last block's bytes are the last of the file: any cut leaves the
    // tables naming bytes that are not there.
    EXPECT_FALSE(opened);
  }
}

TEST(HostileUnicodeBook, GarbageZstdFramesReadAsDamagedBlocks) {
  qltest::TempDir dir;
  const std::string good = BuildBook(kEntries);
  const Layout at(good);
  const auto [recordAt, recordLength] = at.FirstBlock(good, at.records, at.recordBlocks);
  const auto [subjectAt, subjectLength] = at.FirstBlock(good, at.subjects, at.subjectBlocks);
  std::mt19937 rng(3);
  auto garbage = [&](size_t n) {
    std::string g(n, '\0');
    for (char& c : g) c = char(rng());
    return g;
  };
  // A frame that claims 2^40 bytes of content, one that asks for a window
  // of 2^41 bytes, and bytes that are no frame at all.
  const std::string magic = "\x28\xB5\x2F\xFD";
  const std::string hugeContent = magic + "\xE0" + std::string("\0\0\0\0\0\x01\0\0", 8);
  const std::string hugeWindow = magic + "\x00\xF8";
  const struct {
    const char* what;
    size_t offset, length;
    std::string head;
    ql::BookReader::DamagedPart::Kind kind;
    std::vector<int> damaged;  // records that read damaged
  } cases[] = {
      {"record block, no frame",
       recordAt,
       recordLength,
       "",
       ql::BookReader::DamagedPart::Kind::kRecordBlock,
       {1, 3, 4}},
      {"record block, huge content",
       recordAt,
       recordLength,
       hugeContent,
       ql::BookReader::DamagedPart::Kind::kRecordBlock,
       {1, 3, 4}},
      {"record block, huge window",
       recordAt,
       recordLength,
       hugeWindow,
       ql::BookReader::DamagedPart::Kind::kRecordBlock,
       {1, 3, 4}},
      {"subject block, no frame",
       subjectAt,
       subjectLength,
       "",
       ql::BookReader::DamagedPart::Kind::kSubjectBlock,
       {0, 1, 2, 3, 4}},
      {"subject block, huge window",
       subjectAt,
       subjectLength,
       hugeWindow,
       ql::BookReader::DamagedPart::Kind::kSubjectBlock,
       {0, 1, 2, 3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    const std::string frame = (c.head + garbage(c.length)).substr(0, c.length);
    bytes.replace(c.offset, c.length, frame);
    qltest::WriteFileBytes(dir.File("g.ql"), bytes);
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(dir.File("g.ql"), ql::kOpenReadOnly), ql::OpenResult::kOk);
    std::vector<int> damaged;
    for (int i = 0; i < reader.GetSubjectCount(); ++i) {
      ASSERT_EQ(reader.LoadRecord(i), 1);
      if (reader.CurrentRecordDamaged())
        damaged.push_back(i);
      else
        EXPECT_EQ(reader.CurrentRecordText(), kEntries[size_t(i)].text);
    }
    EXPECT_EQ(damaged, c.damaged);
    const auto parts = reader.CheckBook();
    ASSERT_FALSE(parts.empty());
    EXPECT_EQ(parts.front().kind, c.kind);
    EXPECT_EQ(parts.front().number, 0);
  }
}

TEST(HostileUnicodeBook, DictionaryChunkWithGarbageOrImpossibleLengths) {
  qltest::TempDir dir;
  const std::vector<Entry> entries = DictionaryEntries();
  const std::string good = BuildBook(entries);
  const Layout at(good);
  ASSERT_GT(at.dictionaryLength, 8u);
  ASSERT_TRUE(OpenAndWalk(dir, good, entries));
  const size_t lengthAt = at.dictionaryChunk + 8;
  const size_t data = at.dictionaryChunk + ql::kChunkHeaderSize;
  std::mt19937 rng(11);
  std::vector<std::pair<std::string, std::string>> books;
  for (const int64_t length : {int64_t{0x7FFFFFFF}, int64_t{ql::kUnicodeMaxDictionary} + 1,
                               int64_t{-1}, int64_t{0}, int64_t(at.dictionaryLength) - 1,
                               int64_t(at.dictionaryLength) + 1, int64_t(good.size() - data)}) {
    std::string bytes = good;
    Put(bytes, lengthAt, length, 4);
    books.emplace_back("length " + std::to_string(length), bytes);
  }
  for (const size_t from : {size_t{0}, size_t{8}}) {
    std::string bytes = good;
    for (size_t k = from; k < at.dictionaryLength; ++k) bytes[data + k] = char(rng());
    books.emplace_back("garbage from byte " + std::to_string(from), bytes);
  }
  // Frames carry no checksum: a dictionary cut or run on by a byte can
  // decode a block to other text of its length, so only safety is checked.
  for (const auto& [what, bytes] : books) {
    SCOPED_TRACE(what);
    OpenAndWalk(dir, bytes, entries, false);
  }
  // The impossible lengths and a hostile header's sizes, under a bound on
  // memory far below what they claim.
  if (qltest::kAddressSanitizer) return;
  std::vector<std::string> huge;
  for (const auto& book : books) huge.push_back(book.second);
  for (const auto& [offset, width, value] : std::vector<std::tuple<size_t, size_t, int64_t>>{
           {size_t(ql::kHeaderOffsetSubjectCount), 4, 0x7FFFFFFF},
           {at.subjects, 8, int64_t{1} << 40},
           {at.subjects + 8, 4, 0x7FFFFFFF},
           {at.subjects + 12, 4, ql::kUnicodeMaxBlockSize},
           {at.subjects + 16, 8, int64_t{1} << 40},
           {at.records + 12, 4, 0x7FFFFFFF}}) {
    std::string bytes = good;
    Put(bytes, offset, value, width);
    huge.push_back(bytes);
  }
  const auto [out, ended] = qltest::RunUnderMemoryBound(size_t(64) << 20, [&] {
    int opened = 0;
    for (const std::string& bytes : huge) opened += OpenAndWalk(dir, bytes, entries, false);
    return std::to_string(opened);
  });
  EXPECT_TRUE(ended) << out;
}

}  // namespace
