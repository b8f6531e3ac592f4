// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "dict_fixture.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "book_fixture.h"
#include "byte_order.h"

namespace qltest {

namespace {

constexpr std::string_view kDigits =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void AppendLE16(std::string& out, uint16_t v) {
  out.push_back(char(v & 0xFF));
  out.push_back(char(v >> 8));
}

// Deflates in raw, ending with flush (Z_FULL_FLUSH or Z_FINISH).
std::string Deflate(z_stream& z, std::string_view in, int flush) {
  std::string out(deflateBound(&z, uLong(in.size())) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = uInt(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  const int r = deflate(&z, flush);
  EXPECT_TRUE(r == Z_OK || r == Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u);
  out.resize(out.size() - z.avail_out);
  return out;
}

}  // namespace

std::string DictdNumber(uint64_t value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 63]);
    value >>= 6;
  } while (value);
  return digits;
}

std::string Dictzip(std::string_view text, uint32_t chunkLength) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<std::string> chunks;
  for (size_t at = 0; at < text.size(); at += chunkLength) {
    const bool last = at + chunkLength >= text.size();
    chunks.push_back(Deflate(z, text.substr(at, chunkLength), last ? Z_FINISH : Z_FULL_FLUSH));
  }
  deflateEnd(&z);
  std::string extra = "RA";
  AppendLE16(extra, uint16_t(6 + 2 * chunks.size()));
  AppendLE16(extra, 1);
  AppendLE16(extra, uint16_t(chunkLength));
  AppendLE16(extra, uint16_t(chunks.size()));
  for (const std::string& c : chunks) AppendLE16(extra, uint16_t(c.size()));
  std::string file = {'\x1f', '\x8b', 8, 4 | 8, 0, 0, 0, 0, 2, 3};
  AppendLE16(file, uint16_t(extra.size()));
  file += extra;
  file += std::string("name.dict") + '\0';
  for (const std::string& c : chunks) file += c;
  ql::AppendLE32(
      file, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(text.data()), uInt(text.size()))));
  ql::AppendLE32(file, uint32_t(text.size()));
  return file;
}

std::string Gzip(std::string_view text) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out = Deflate(z, text, Z_FINISH);
  deflateEnd(&z);
  return out;
}

std::string GzipMemberOfSize(std::string_view text, size_t size) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  const std::string deflated = Deflate(z, text, Z_FINISH);
  deflateEnd(&z);
  constexpr size_t kHeader = 10, kTrailer = 8;
  EXPECT_GT(size, kHeader + deflated.size() + kTrailer + 1);
  std::string member = {'\x1f', '\x8b', 8, 8, 0, 0, 0, 0, 2, 3};
  member.append(size - kHeader - deflated.size() - kTrailer - 1, 'n');
  member.push_back('\0');
  member += deflated;
  ql::AppendLE32(
      member, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(text.data()), uInt(text.size()))));
  ql::AppendLE32(member, uint32_t(text.size()));
  EXPECT_EQ(member.size(), size);
  return member;
}

std::string DictdIndexLine(std::string_view headword, uint64_t offset, uint64_t length) {
  return std::string(headword) + "\t" + DictdNumber(offset) + "\t" + DictdNumber(length) + "\n";
}

std::string WriteDictd(const std::string& base, const std::vector<DictItem>& items, DictText kind,
                       bool utf8, uint32_t chunkLength, bool metadata) {
  std::string text, index;
  const auto add = [&](std::string_view headword, std::string_view body) {
    index += DictdIndexLine(headword, text.size(), body.size());
    text += body;
  };
  if (metadata) add("00-database-info", "00-database-info\n  A test dictionary\n");
  if (utf8) add("00-database-utf8", "");
  for (const DictItem& item : items) add(item.headword, item.text);
  WriteFileBytes(base + ".index", index);
  if (kind == DictText::kPlain) WriteFileBytes(base + ".dict", text);
  if (kind == DictText::kDictzip) WriteFileBytes(base + ".dict.dz", Dictzip(text, chunkLength));
  if (kind == DictText::kGzip) WriteFileBytes(base + ".dict.gz", Gzip(text));
  return text;
}

std::string StarDictIfo(size_t count, size_t idxSize, std::string_view sameTypeSequence,
                        std::string_view extra) {
  std::string ifo = "StarDict's dict ifo file\nversion=2.4.2\nwordcount=" + std::to_string(count) +
                    "\nidxfilesize=" + std::to_string(idxSize) + "\nbookname=Test\n";
  if (!sameTypeSequence.empty()) ifo += "sametypesequence=" + std::string(sameTypeSequence) + "\n";
  ifo += extra;
  return ifo;
}

std::string StarDictIdxRecord(std::string_view headword, uint32_t offset, uint32_t size) {
  std::string record(headword);
  record.push_back('\0');
  ql::AppendBE32(record, offset);
  ql::AppendBE32(record, size);
  return record;
}

std::string WriteStarDict(const std::string& base, const std::vector<DictItem>& items,
                          std::string_view sameTypeSequence) {
  std::string dict, idx;
  for (const DictItem& item : items) {
    idx += StarDictIdxRecord(item.headword, uint32_t(dict.size()), uint32_t(item.text.size()));
    dict += item.text;
  }
  WriteFileBytes(base + ".ifo", StarDictIfo(items.size(), idx.size(), sameTypeSequence));
  WriteFileBytes(base + ".idx", idx);
  WriteFileBytes(base + ".dict", dict);
  return idx;
}

}  // namespace qltest
