// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "book_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "book_format.h"
#include "byte_order.h"

namespace qltest {

namespace {

void Append32(std::string& out, int32_t v) {
  ql::AppendLE32(out, static_cast<uint32_t>(v));
}

int FoldCompare(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string Section(const std::string& stream, int32_t blockSize,
                    const std::function<std::string(std::string_view)>& encode) {
  std::string table, data;
  int32_t count = 0;
  for (size_t pos = 0; pos < stream.size(); pos += static_cast<size_t>(blockSize)) {
    std::string_view piece = std::string_view(stream).substr(pos, static_cast<size_t>(blockSize));
    std::string coded = encode(piece);
    Append32(table, static_cast<int32_t>(data.size()));
    Append32(table, static_cast<int32_t>(coded.size()));
    data += coded;
    ++count;
  }
  std::string out;
  Append32(out, static_cast<int32_t>(8 + table.size() + data.size()));
  Append32(out, count);
  Append32(out, blockSize);
  return out + table + data;
}

void AppendChunk(std::string& out, const ExtraChunk& c) {
  Append32(out, c.type);
  Append32(out, c.flag);
  Append32(out, static_cast<int32_t>(c.data.size()));
  out += c.data;
}

}  // namespace

std::string EncodeLiteralBlock(std::string_view piece) {
  std::string out;
  size_t i = 0;
  while (piece.size() - i >= 8) {
    out.push_back('\0');
    out.append(piece.substr(i, 8));
    i += 8;
  }
  if (i < piece.size()) {
    out.push_back('\x01');
    out.append(piece.substr(i));
  }
  return out;
}

Streams BuildStreams(const std::vector<Entry>& entries) {
  Streams s;
  for (const Entry& e : entries) {
    s.index.push_back(static_cast<int32_t>(s.subjects.size()));
    size_t len = e.text.size();
    if (len > ql::kRecordHeadMax) {
      s.subjects.push_back(static_cast<char>(ql::kSubjectFlagsHasTail));
      Append32(s.subjects, static_cast<int32_t>(s.records.size()));
      s.records.append(e.text.substr(ql::kRecordHeadMax));
      s.records.push_back('\0');
    } else {
      s.subjects.push_back(static_cast<char>(ql::kSubjectFlagsNoTail));
    }
    s.subjects += e.subject;
    s.subjects.push_back('\0');
    s.subjects.append(e.text.substr(0, std::min<size_t>(len, ql::kRecordHeadMax)));
    s.subjects.push_back('\0');
  }
  return s;
}

std::string BuildBookBytes(const std::vector<Entry>& entries, const BookOptions& o) {
  BookOptions options = o;
  if (options.sorted < 0) {
    options.sorted = 1;
    for (size_t i = 1; i < entries.size(); ++i)
      if (FoldCompare(entries[i].subject, entries[i - 1].subject) < 0) options.sorted = 0;
  }
  return BuildBookFromStreams(BuildStreams(entries), options);
}

std::string BuildBookFromStreams(const Streams& s, const BookOptions& o) {
  auto encode = o.encodeBlock ? o.encodeBlock : EncodeLiteralBlock;
  const int32_t sorted = std::max(o.sorted, 0);
  std::string chunks;
  for (const ExtraChunk& c : o.chunksBefore) AppendChunk(chunks, c);
  if (o.bookmarkChunk) {
    ExtraChunk bm{
        ql::kChunkTypeBookmarks, o.bookmarkChunkFlag,
        o.bookmarkBlock.empty() ? std::string(ql::kBookmarkBlockSize, '\0') : o.bookmarkBlock};
    AppendChunk(chunks, bm);
  }
  for (const ExtraChunk& c : o.chunksAfter) AppendChunk(chunks, c);
  int32_t chunkCount = static_cast<int32_t>(o.chunksBefore.size() + o.chunksAfter.size() +
                                            (o.bookmarkChunk ? 1 : 0));
  std::string out;
  ql::AppendLE32(out, ql::kBookUid1);
  ql::AppendLE32(out, ql::kBookUid2);
  ql::AppendLE32(out, ql::kBookUid3);
  ql::AppendLE32(out, ql::kBookUidChecksum);
  Append32(out, o.version);
  Append32(out, sorted);
  Append32(out, static_cast<int32_t>(s.index.size()));
  Append32(out, chunkCount);
  Append32(out, static_cast<int32_t>(chunks.size()));
  out += chunks;
  for (int32_t v : s.index) Append32(out, v);
  out += Section(s.subjects, o.subjectBlockSize, encode);
  out += Section(s.records, o.recordBlockSize, encode);
  return out;
}

BlockSpans FindBlockSpans(std::string_view book) {
  BlockSpans spans;
  const int64_t count = WordAt(book, ql::kHeaderOffsetSubjectCount);
  const int64_t chunks = WordAt(book, ql::kHeaderOffsetChunkAreaSize);
  size_t section = static_cast<size_t>(ql::kBookHeaderSize + chunks + 4 * count);
  for (auto* blocks : {&spans.subjects, &spans.records}) {
    const int32_t length = WordAt(book, section);
    const int32_t blocksIn = WordAt(book, section + 4);
    const size_t data = section + 12 + 8 * static_cast<size_t>(blocksIn);
    for (int32_t k = 0; k < blocksIn; ++k) {
      const size_t entry = section + 12 + 8 * static_cast<size_t>(k);
      blocks->emplace_back(data + static_cast<size_t>(WordAt(book, entry)),
                           static_cast<size_t>(WordAt(book, entry + 4)));
    }
    section += 4 + static_cast<size_t>(length);
  }
  return spans;
}

std::vector<Entry> DamageTestEntries() {
  std::vector<Entry> entries;
  for (int i = 0; i < 30; ++i) {
    std::string text(151 + static_cast<size_t>(i * 37 % 110), ' ');
    for (size_t k = 0; k < text.size(); ++k)
      text[k] = static_cast<char>('a' + (static_cast<size_t>(i) * 11 + k) % 26);
    text.replace(20, 4, "fern");
    entries.push_back({"entry " + std::to_string(100 + i), text});
  }
  return entries;
}

BookOptions DamageTestOptions() {
  BookOptions options;
  options.subjectBlockSize = 200;
  options.recordBlockSize = 300;
  return options;
}

std::vector<DamagedBook> DamagedBooks() {
  const std::vector<Entry> entries = DamageTestEntries();
  const BookOptions options = DamageTestOptions();
  const Streams streams = BuildStreams(entries);
  const int n = static_cast<int>(entries.size());
  const size_t subjectSize = static_cast<size_t>(options.subjectBlockSize);
  const size_t recordSize = static_cast<size_t>(options.recordBlockSize);
  auto entryStart = [&](int i) {
    return static_cast<size_t>(streams.index[static_cast<size_t>(i)]);
  };
  auto entryEnd = [&](int i) { return i + 1 < n ? entryStart(i + 1) : streams.subjects.size(); };
  std::vector<size_t> tails;  // every record has one
  for (int i = 0; i < n; ++i)
    tails.push_back(static_cast<size_t>(WordAt(streams.subjects, entryStart(i) + 1)));
  auto tailEnd = [&](int i) {
    return i + 1 < n ? tails[static_cast<size_t>(i) + 1] : streams.records.size();
  };
  // The records whose entry (or tail) overlaps [from, to), or starts in it.
  auto entriesOver = [&](size_t from, size_t to) {
    std::vector<int> hit;
    for (int i = 0; i < n; ++i)
      if (entryStart(i) < to && entryEnd(i) > from) hit.push_back(i);
    return hit;
  };
  auto entriesStartingIn = [&](size_t from, size_t to) {
    std::vector<int> hit;
    for (int i = 0; i < n; ++i)
      if (entryStart(i) >= from && entryStart(i) < to) hit.push_back(i);
    return hit;
  };
  auto tailsOver = [&](size_t from, size_t to) {
    std::vector<int> hit;
    for (int i = 0; i < n; ++i)
      if (tails[static_cast<size_t>(i)] < to && tailEnd(i) > from) hit.push_back(i);
    return hit;
  };
  const std::string good = BuildBookFromStreams(streams, options);
  const BlockSpans spans = FindBlockSpans(good);
  const size_t subjectBlocks = spans.subjects.size();

  // Block `which` of the book (subject blocks first, then record blocks)
  // coded from its piece as change makes it.
  auto recoded = [&](size_t which, std::function<std::string(std::string)> change) {
    BookOptions o = options;
    auto calls = std::make_shared<size_t>(0);
    o.encodeBlock = [calls, which, change](std::string_view piece) {
      const std::string p(piece);
      return EncodeLiteralBlock((*calls)++ == which ? change(p) : p);
    };
    return BuildBookFromStreams(streams, o);
  };
  auto zeroed = [&](const std::pair<size_t, size_t>& span) {
    std::string bytes = good;
    std::fill_n(bytes.begin() + static_cast<long>(span.first), span.second, '\0');
    return bytes;
  };
  auto withSubjects = [&](size_t at, char byte) {
    Streams s = streams;
    s.subjects[at] = byte;
    return BuildBookFromStreams(s, options);
  };
  auto withRecords = [&](size_t at, char byte) {
    Streams s = streams;
    s.records[at] = byte;
    return BuildBookFromStreams(s, options);
  };
  auto shorter = [](std::string p) { return p.substr(0, p.size() - 7); };
  auto longer = [](std::string p) { return p + "LONG"; };
  // The entry that starts in the first block and runs on into the second.
  int crossing = 0;
  while (entryEnd(crossing) <= subjectSize) ++crossing;

  std::vector<DamagedBook> books;
  books.push_back({"subject block zeroed", zeroed(spans.subjects[1]), entries,
                   entriesOver(subjectSize, 2 * subjectSize)});
  books.push_back({"record block zeroed", zeroed(spans.records[1]), entries,
                   tailsOver(recordSize, 2 * recordSize)});
  books.push_back({"subject block decoding short", recoded(1, shorter), entries,
                   entriesStartingIn(subjectSize, 2 * subjectSize)});
  books.push_back({"subject block decoding long", recoded(1, longer), entries,
                   entriesStartingIn(subjectSize, 2 * subjectSize)});
  books.push_back({"record block decoding short", recoded(subjectBlocks + 1, shorter), entries,
                   tailsOver(recordSize, 2 * recordSize)});
  books.push_back({"record block decoding long", recoded(subjectBlocks + 1, longer), entries,
                   tailsOver(recordSize, 2 * recordSize)});
  books.push_back({"entry running past its block",
                   withSubjects(entryEnd(crossing) - 1, 'x'),
                   entries,
                   {crossing}});
  books.push_back({"last entry running past the stream",
                   withSubjects(streams.subjects.size() - 1, 'x'),
                   entries,
                   {n - 1}});
  books.push_back(
      {"head ending before the index says", withSubjects(entryStart(5) + 80, '\0'), entries, {5}});
  books.push_back(
      {"tail ending before the next tail", withRecords(tails[7] + 1, '\0'), entries, {7}});

  // Legacy, plain coding: record 3's length word one short, and one long.
  const std::string legacy = BuildLegacyBookBytes(entries, 1);
  size_t recordAt = static_cast<size_t>(WordAt(legacy, ql::kLegacyOffsetHeaderSize));
  for (size_t i = 0; i < 3; ++i) recordAt += 4 + entries[i].text.size();
  for (int delta : {-1, 1}) {
    std::string bytes = legacy;
    std::string length;
    Append32(length, WordAt(bytes, recordAt) + delta);
    bytes.replace(recordAt, 4, length);
    books.push_back(
        {delta < 0 ? "legacy record ending before the next" : "legacy record running into the next",
         bytes,
         entries,
         {3},
         true});
  }
  return books;
}

std::string EncodeNibbleText(std::string_view text) {
  static const std::string_view kSingle = " eoatnirslh.";
  static const std::string_view kLower = "bcdfgjkmpquvwxyz";
  static const std::string_view kPunct = ",;@'()";
  std::vector<uint8_t> nibbles;
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    size_t at;
    if (c != 0 && (at = kSingle.find(ch)) != std::string_view::npos) {
      nibbles.push_back(static_cast<uint8_t>(at));
    } else if (c != 0 && (at = kLower.find(ch)) != std::string_view::npos) {
      nibbles.insert(nibbles.end(), {13, static_cast<uint8_t>(at)});
    } else if (c >= 'A' && c <= 'P') {
      nibbles.insert(nibbles.end(), {14, static_cast<uint8_t>(c - 'A')});
    } else if (c >= 'Q' && c <= 'Z') {
      nibbles.insert(nibbles.end(), {15, static_cast<uint8_t>(c - 'Q')});
    } else if (c != 0 && (at = kPunct.find(ch)) != std::string_view::npos) {
      nibbles.insert(nibbles.end(), {15, static_cast<uint8_t>(10 + at)});
    } else {
      nibbles.insert(nibbles.end(),
                     {12, static_cast<uint8_t>(c >> 4), static_cast<uint8_t>(c & 15)});
    }
  }
  nibbles.insert(nibbles.end(), {12, 0, 0});
  if (nibbles.size() % 2) nibbles.push_back(0);
  std::string out;
  for (size_t i = 0; i < nibbles.size(); i += 2)
    out.push_back(static_cast<char>((nibbles[i] << 4) | nibbles[i + 1]));
  return out;
}

std::string BuildLegacyBookBytes(const std::vector<Entry>& entries, int32_t versionWord,
                                 uint32_t uid3) {
  int32_t n = static_cast<int32_t>(entries.size());
  int32_t headerSize = ql::kLegacyOffsetTable + 4 * n;
  for (const Entry& e : entries) headerSize += 4 + static_cast<int32_t>(e.subject.size()) + 4;
  std::string table, subjects, records;
  int32_t entryPos = ql::kLegacyOffsetTable + 4 * n;
  int32_t recordPos = headerSize;
  int coding = versionWord % 10;
  for (const Entry& e : entries) {
    Append32(table, entryPos);
    Append32(subjects, static_cast<int32_t>(e.subject.size()));
    subjects += e.subject;
    Append32(subjects, recordPos);
    entryPos += 8 + static_cast<int32_t>(e.subject.size());
    std::string coded = coding == 1 ? e.text : EncodeNibbleText(e.text);
    Append32(records, static_cast<int32_t>(coded.size()));
    records += coded;
    recordPos += 4 + static_cast<int32_t>(coded.size());
  }
  std::string out;
  ql::AppendLE32(out, 0x10000037);
  ql::AppendLE32(out, 0x1000006D);
  ql::AppendLE32(out, uid3);
  ql::AppendLE32(out, 0);
  Append32(out, versionWord);
  Append32(out, n);
  Append32(out, headerSize);
  return out + table + subjects + records;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qltest.XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  iPath = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(iPath, ec);
}

void UsePrivateHome(const TempDir& dir) {
  setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
  setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
  setenv("XDG_CACHE_HOME", dir.File("cache").c_str(), 1);
  setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

int32_t WordAt(std::string_view bytes, size_t offset) {
  if (offset + 4 > bytes.size()) return INT32_MIN;
  return ql::ReadLE32s(reinterpret_cast<const uint8_t*>(bytes.data()) + offset);
}

}  // namespace qltest
