#include "book_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "book_format.h"
#include "byte_order.h"

namespace qltest {

namespace {

void Append32(std::string& out, int32_t v) { ql::AppendLE32(out, static_cast<uint32_t>(v)); }

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
  Streams s = BuildStreams(entries);
  auto encode = o.encodeBlock ? o.encodeBlock : EncodeLiteralBlock;
  int32_t sorted = o.sorted;
  if (sorted < 0) {
    sorted = 1;
    for (size_t i = 1; i < entries.size(); ++i)
      if (FoldCompare(entries[i].subject, entries[i - 1].subject) < 0) sorted = 0;
  }
  std::string chunks;
  for (const ExtraChunk& c : o.chunksBefore) AppendChunk(chunks, c);
  if (o.bookmarkChunk) {
    ExtraChunk bm{ql::kChunkTypeBookmarks, o.bookmarkChunkFlag,
                  o.bookmarkBlock.empty() ? std::string(ql::kBookmarkBlockSize, '\0')
                                          : o.bookmarkBlock};
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
  Append32(out, static_cast<int32_t>(entries.size()));
  Append32(out, chunkCount);
  Append32(out, static_cast<int32_t>(chunks.size()));
  out += chunks;
  for (int32_t v : s.index) Append32(out, v);
  out += Section(s.subjects, o.subjectBlockSize, encode);
  out += Section(s.records, o.recordBlockSize, encode);
  return out;
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
      nibbles.insert(nibbles.end(), {12, static_cast<uint8_t>(c >> 4), static_cast<uint8_t>(c & 15)});
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
