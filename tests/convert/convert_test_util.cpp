// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "convert_test_util.h"

#include "book_format.h"
#include "byte_order.h"
#include "codecs.h"

namespace qltest {

MemoryInput::MemoryInput(std::string bytes) : iBytes(std::move(bytes)) {
  // fmemopen refuses a zero size; an empty input is an empty temporary file.
  if (iBytes.empty()) {
    iFile = std::tmpfile();
  } else {
    iFile = fmemopen(iBytes.data(), iBytes.size(), "rb");
  }
  if (!iFile) ADD_FAILURE() << "cannot open a memory stream";
}

MemoryInput::~MemoryInput() {
  if (iFile) std::fclose(iFile);
}

std::string StreamBytes(std::FILE* file) {
  std::string out;
  std::fflush(file);
  std::fseek(file, 0, SEEK_SET);
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, got);
  std::fseek(file, 0, SEEK_END);
  return out;
}

Streams BuilderStreams(ql::BookBuilder& builder) {
  Streams s;
  s.subjects = StreamBytes(builder.iSubjectStreamFile);
  s.records = StreamBytes(builder.iRecordStreamFile);
  std::string index = StreamBytes(builder.iIndexFile);
  for (size_t i = 0; i + 4 <= index.size(); i += 4) s.index.push_back(WordAt(index, i));
  return s;
}

void Import(ql::BookBuilder& builder, std::string_view input, bool tab) {
  MemoryInput in{std::string(input)};
  ql::BuildResult r = tab ? builder.ImportTabText(in.Get(), nullptr, false)
                          : builder.ImportTaggedText(in.Get(), nullptr);
  EXPECT_EQ(r, ql::BuildResult::kOk);
}

namespace {

bool ParseSection(const std::string& bytes, size_t at, std::string& stream,
                  std::vector<int32_t>& sizes, size_t& next) {
  if (at + ql::kSectionHeaderSize > bytes.size()) return false;
  int32_t sectionLength = WordAt(bytes, at);
  int32_t blockCount = WordAt(bytes, at + 4);
  int32_t blockSize = WordAt(bytes, at + 8);
  if (sectionLength < 8 || blockCount < 0 || blockSize != ql::kBlockSizeWritten) return false;
  size_t table = at + ql::kSectionHeaderSize;
  size_t data = table + size_t(ql::kBlockTableEntrySize) * size_t(blockCount);
  next = at + 4 + size_t(sectionLength);
  if (next > bytes.size() || data > next) return false;
  int32_t expectOffset = 0;
  std::vector<uint8_t> out(size_t(ql::kBlockSizeWritten));
  for (int32_t k = 0; k < blockCount; ++k) {
    int32_t offset = WordAt(bytes, table + 8 * size_t(k));
    int32_t length = WordAt(bytes, table + 8 * size_t(k) + 4);
    // Blocks lie back to back: each starts where the one before ended.
    if (offset != expectOffset || length <= 0 || data + size_t(offset + length) > next)
      return false;
    expectOffset += length;
    auto src = std::span<const uint8_t>(
        reinterpret_cast<const uint8_t*>(bytes.data()) + data + size_t(offset), size_t(length));
    size_t got = ql::DecompressBlock(src, out, false);
    sizes.push_back(int32_t(got));
    stream.append(reinterpret_cast<const char*>(out.data()), got);
  }
  return data + size_t(expectOffset) == next;
}

}  // namespace

ParsedBook ParseBook(const std::string& bytes) {
  ParsedBook book;
  if (bytes.size() < size_t(ql::kBookHeaderSize)) return book;
  for (size_t i = 0; i < 9; ++i) book.header.push_back(WordAt(bytes, 4 * i));
  int32_t count = book.header[6];
  int32_t chunkAreaSize = book.header[8];
  size_t indexAt = size_t(ql::kBookHeaderSize) + size_t(chunkAreaSize);
  if (count < 0 || indexAt + 4 * size_t(count) > bytes.size()) return book;
  book.chunkArea = bytes.substr(size_t(ql::kBookHeaderSize), size_t(chunkAreaSize));
  for (int32_t i = 0; i < count; ++i) book.index.push_back(WordAt(bytes, indexAt + 4 * size_t(i)));
  size_t next = 0;
  if (!ParseSection(bytes, indexAt + 4 * size_t(count), book.subjects, book.subjectBlockSizes,
                    next))
    return book;
  size_t end = 0;
  if (!ParseSection(bytes, next, book.records, book.recordBlockSizes, end)) return book;
  book.ok = end == bytes.size();
  return book;
}

void ExpectStreamsEqual(const Streams& got, const Streams& want) {
  EXPECT_EQ(got.index, want.index);
  EXPECT_EQ(got.subjects, want.subjects);
  EXPECT_EQ(got.records, want.records);
}

}  // namespace qltest
