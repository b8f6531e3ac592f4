// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// WriteBook: the builder's temporary streams become a version 2 book. Every
// write is checked, and WriteBookFile writes beside the target and renames
// only a complete book over it, so a full disk never costs the old file.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <new>
#include <vector>

#include "atomic_file.h"
#include "block_filter_writer.h"
#include "book_builder.h"
#include "book_format.h"
#include "byte_order.h"
#include "file_closer.h"
#include "zstd_blocks.h"

namespace ql {

namespace {

constexpr size_t kCopyBufferSize = 64 * 1024;

bool PutWords(std::FILE* out, std::initializer_list<uint32_t> words) {
  for (uint32_t w : words) {
    uint8_t b[4];
    WriteLE32(b, w);
    if (std::fwrite(b, 1, sizeof b, out) != sizeof b) return false;
  }
  return true;
}

// Copies from from's start to its end onto to.
bool CopyWhole(std::FILE* from, std::FILE* to) {
  if (std::fflush(from) != 0 || std::fseek(from, 0, SEEK_SET) != 0) return false;
  std::vector<char> buffer(kCopyBufferSize);
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), from)) > 0)
    if (std::fwrite(buffer.data(), 1, got, to) != got) return false;
  return std::ferror(from) == 0;
}

}  // namespace

BuildResult BookBuilder::WriteSection(std::FILE* stream, std::FILE* section) {
  OwnedFile data(OpenWorkFile());
  OwnedFile table(OpenWorkFile());
  if (!data || !table) return Fail(BuildResult::kIoFailed);
  if (std::fflush(stream) != 0 || std::fseek(stream, 0, SEEK_SET) != 0)
    return Fail(BuildResult::kIoFailed);

  std::vector<uint8_t> input, coded;
  try {
    input.resize(size_t(kBlockSizeWritten));
    coded.resize(CompressBound(size_t(kBlockSizeWritten)));
  } catch (const std::bad_alloc&) {
    return Failed(BuildResult::kNoMemory);
  }

  int64_t blockCount = 0;
  int64_t offset = 0;
  size_t got;
  while ((got = std::fread(input.data(), 1, input.size(), stream)) > 0) {
    size_t length = iCompressor.Compress(input.data(), coded.data(), got);
    if (length == 0) return Failed(BuildResult::kCompressFailed);
    if (offset + int64_t(length) > INT32_MAX) return Fail(BuildResult::kTooLarge);
    ++blockCount;
    if (!PutWords(table.get(), {uint32_t(offset), uint32_t(length)}) ||
        std::fwrite(coded.data(), 1, length, data.get()) != length)
      return Fail(BuildResult::kIoFailed);
    offset += int64_t(length);
    iWriteDone += int64_t(got);
    if (iWriteBar) iWriteBar->SetPos(iWriteDone);
  }
  if (std::ferror(stream)) return Fail(BuildResult::kIoFailed);
  int64_t sectionLength = offset + kBlockTableEntrySize * blockCount + 8;
  if (sectionLength > INT32_MAX) return Fail(BuildResult::kTooLarge);
  if (!PutWords(section,
                {uint32_t(sectionLength), uint32_t(blockCount), uint32_t(kBlockSizeWritten)}) ||
      !CopyWhole(table.get(), section) || !CopyWhole(data.get(), section) ||
      std::fflush(section) != 0)
    return Fail(BuildResult::kIoFailed);
  return BuildResult::kOk;
}

namespace {

// Blocks coded side by side at a time.
constexpr size_t kCodingBatch = 32;
// Pieces of the streams the dictionary learns from, and how much of them.
constexpr size_t kSampleSize = 4096;
constexpr int64_t kSampleTotal = 2 * 1024 * 1024;

bool PutBytes(std::FILE* out, const uint8_t* bytes, size_t count) {
  return std::fwrite(bytes, 1, count, out) == count;
}

// Pieces from all over the streams, each kSampleSize long at most.
bool TakeSamples(std::initializer_list<std::FILE*> streams, std::string& samples,
                 std::vector<size_t>& sizes) {
  int64_t total = 0;
  std::vector<int64_t> lengths;
  for (std::FILE* f : streams) {
    if (std::fflush(f) != 0 || std::fseek(f, 0, SEEK_END) != 0) return false;
    lengths.push_back(std::max<int64_t>(std::ftell(f), 0));
    total += lengths.back();
  }
  if (total == 0) return true;
  const int64_t pieces = std::max<int64_t>(1, std::min(total, kSampleTotal) / kSampleSize);
  size_t k = 0;
  for (std::FILE* f : streams) {
    const int64_t length = lengths[k++];
    const int64_t mine = std::max<int64_t>(1, pieces * length / total);
    const int64_t step = std::max<int64_t>(length / mine, 1);
    for (int64_t at = 0; at < length; at += step) {
      const size_t n = static_cast<size_t>(std::min<int64_t>(kSampleSize, length - at));
      const size_t was = samples.size();
      samples.resize(was + n);
      if (std::fseek(f, at, SEEK_SET) != 0 || std::fread(samples.data() + was, 1, n, f) != n)
        return false;
      sizes.push_back(n);
    }
  }
  return true;
}

}  // namespace

BuildResult BookBuilder::WriteUnicodeSection(std::FILE* stream, int32_t blockSize,
                                             ZstdBlockCoder& coder, std::FILE* section) {
  OwnedFile data(OpenWorkFile());
  OwnedFile table(OpenWorkFile());
  if (!data || !table) return Fail(BuildResult::kIoFailed);
  if (std::fflush(stream) != 0 || std::fseek(stream, 0, SEEK_SET) != 0)
    return Fail(BuildResult::kIoFailed);
  std::vector<std::string> blocks, coded;
  int64_t blockCount = 0, offset = 0, streamLength = 0;
  bool ended = false;
  const int threads = CodingThreads();
  while (!ended) {
    try {
      blocks.resize(kCodingBatch);
      size_t n = 0;
      for (; n < kCodingBatch; ++n) {
        blocks[n].resize(static_cast<size_t>(blockSize));
        const size_t got = std::fread(blocks[n].data(), 1, blocks[n].size(), stream);
        blocks[n].resize(got);
        if (got < static_cast<size_t>(blockSize)) {
          ended = true;
          if (got > 0) ++n;
          break;
        }
      }
      blocks.resize(n);
    } catch (const std::bad_alloc&) {
      return Failed(BuildResult::kNoMemory);
    }
    if (std::ferror(stream)) return Fail(BuildResult::kIoFailed);
    if (blocks.empty()) break;
    if (!coder.Code(blocks, coded, threads)) return Failed(BuildResult::kCompressFailed);
    for (size_t k = 0; k < blocks.size(); ++k) {
      uint8_t entry[kUnicodeBlockEntrySize];
      WriteLE64(entry, static_cast<uint64_t>(offset));
      WriteLE32(entry + 8, static_cast<uint32_t>(coded[k].size()));
      if (!PutBytes(table.get(), entry, sizeof entry) ||
          std::fwrite(coded[k].data(), 1, coded[k].size(), data.get()) != coded[k].size())
        return Fail(BuildResult::kIoFailed);
      offset += static_cast<int64_t>(coded[k].size());
      streamLength += static_cast<int64_t>(blocks[k].size());
      ++blockCount;
      iWriteDone += static_cast<int64_t>(blocks[k].size());
    }
    if (blockCount > INT32_MAX) return Fail(BuildResult::kTooLarge);
    if (iWriteBar) iWriteBar->SetPos(iWriteDone);
  }
  uint8_t header[kUnicodeSectionHeaderSize];
  WriteLE64(header, static_cast<uint64_t>(kUnicodeSectionHeaderSize - 8 +
                                          kUnicodeBlockEntrySize * blockCount + offset));
  WriteLE32(header + 8, static_cast<uint32_t>(blockCount));
  WriteLE32(header + 12, static_cast<uint32_t>(blockSize));
  WriteLE64(header + 16, static_cast<uint64_t>(streamLength));
  if (!PutBytes(section, header, sizeof header) || !CopyWhole(table.get(), section) ||
      !CopyWhole(data.get(), section) || std::fflush(section) != 0)
    return Fail(BuildResult::kIoFailed);
  return BuildResult::kOk;
}

BuildResult BookBuilder::WriteUnicodeBook(std::FILE* output) {
  ZstdBlockCoder coder(iCodingLevel);
  {
    std::string samples;
    std::vector<size_t> sizes;
    try {
      if (!TakeSamples({iSubjectStreamFile, iRecordStreamFile}, samples, sizes))
        return Fail(BuildResult::kIoFailed);
    } catch (const std::bad_alloc&) {
      return Failed(BuildResult::kNoMemory);
    }
    if (!coder.Train(samples, sizes)) return Failed(BuildResult::kNoMemory);
  }
  BuildResult r =
      WriteUnicodeSection(iSubjectStreamFile, kUnicodeSubjectBlockSize, coder, iSubjectSectionFile);
  if (r != BuildResult::kOk) return r;
  r = WriteUnicodeSection(iRecordStreamFile, kUnicodeRecordBlockSize, coder, iRecordSectionFile);
  if (r != BuildResult::kOk) return r;

  const std::string& dictionary = coder.Dictionary();
  // A filter for each subject block: those done are in the filter file, the
  // one of the block the last entry starts in is being made, and blocks
  // after it hold no entry's start.
  const int64_t filterBlocks =
      (iSubjectStreamOffset + kUnicodeSubjectBlockSize - 1) / kUnicodeSubjectBlockSize;
  const int64_t filterEach = kBlockFilterBytesWritten + kBlockFilterCheckSize;
  const int64_t baseArea = kChunkAreaSizeWritten + kChunkHeaderSize + int64_t(dictionary.size());
  const int64_t filterChunk =
      kChunkHeaderSize + kBlockFilterChunkHeaderSize + filterBlocks * filterEach;
  // A book too large for its filters in the chunk area goes without them.
  if (iFilter && !iFilter->Sync()) return Fail(BuildResult::kIoFailed);
  const bool withFilters = iFilter && filterBlocks > 0 && iFilter->Written() <= filterBlocks &&
                           baseArea + filterChunk <= INT32_MAX;
  const uint32_t chunkArea = uint32_t(baseArea + (withFilters ? filterChunk : 0));
  bool ok = PutWords(output,
                     {kBookUid1, kBookUid2, kBookUid3, kBookUidChecksum, uint32_t(kVersionUnicode),
                      uint32_t(iSorted), uint32_t(iSubjectCount), withFilters ? 3u : 2u, chunkArea,
                      uint32_t(kTextEncodingUtf8), uint32_t(kBlockCodingZstd)});
  ok = ok && PutWords(output, {uint32_t(kChunkTypeBookmarks), uint32_t(kChunkFlagSkippable),
                               uint32_t(kBookmarkBlockSize)});
  static const uint8_t kEmptyBookmarks[kBookmarkBlockSize] = {};
  ok = ok && PutBytes(output, kEmptyBookmarks, sizeof kEmptyBookmarks);
  ok = ok && PutWords(output, {uint32_t(kChunkTypeDictionary), uint32_t(kChunkFlagRequired),
                               uint32_t(dictionary.size())});
  ok = ok && std::fwrite(dictionary.data(), 1, dictionary.size(), output) == dictionary.size();
  if (withFilters) {
    ok = ok && PutWords(output, {uint32_t(kChunkTypeBlockFilters), uint32_t(kChunkFlagSkippable),
                                 uint32_t(filterChunk - kChunkHeaderSize), kBlockFilterBytesWritten,
                                 uint32_t(filterBlocks)});
    ok = ok && CopyWhole(iFilterFile, output);
    // Later entries may still join the block being made: its filter is
    // written as it stands, and left to go on.
    std::vector<uint8_t> bits = iFilter->Current();
    for (int64_t k = iFilter->Written(); ok && k < filterBlocks; ++k) {
      uint8_t check[kBlockFilterCheckSize];
      WriteLE32(check, BlockFilterCheck(bits.data(), bits.size()));
      ok = PutBytes(output, bits.data(), bits.size()) && PutBytes(output, check, sizeof check);
      std::fill(bits.begin(), bits.end(), 0);
    }
  }
  ok = ok && CopyWhole(iIndexFile, output) && CopyWhole(iSubjectSectionFile, output) &&
       CopyWhole(iRecordSectionFile, output);
  ok = ok && std::fflush(output) == 0 && std::ferror(output) == 0;
  for (std::FILE* f : {iIndexFile, iSubjectStreamFile, iRecordStreamFile})
    ok = ok && std::fseek(f, 0, SEEK_END) == 0;
  if (iFilterFile) ok = ok && std::fseek(iFilterFile, 0, SEEK_END) == 0;
  return ok ? BuildResult::kOk : Failed(BuildResult::kIoFailed);
}

BuildResult BookBuilder::WriteBook(std::FILE* output) {
  if (!IsReady()) return iError;
  // The section files may hold an earlier attempt's bytes; start them afresh.
  for (std::FILE* f : {iSubjectSectionFile, iRecordSectionFile})
    if (std::fflush(f) != 0 || ftruncate(fileno(f), 0) != 0 || std::fseek(f, 0, SEEK_SET) != 0)
      return Fail(BuildResult::kIoFailed);
  iWriteDone = 0;
  if (iWriteBar) {
    int64_t total = 0;
    for (std::FILE* f : {iSubjectStreamFile, iRecordStreamFile})
      if (std::fseek(f, 0, SEEK_END) == 0) total += std::max<int64_t>(std::ftell(f), 0);
    iWriteBar->SetRange(0, total);
  }
  if (iUnicode) return WriteUnicodeBook(output);
  BuildResult r = WriteSection(iSubjectStreamFile, iSubjectSectionFile);
  if (r != BuildResult::kOk) return r;
  r = WriteSection(iRecordStreamFile, iRecordSectionFile);
  if (r != BuildResult::kOk) return r;

  bool ok = PutWords(
      output, {kBookUid1, kBookUid2, kBookUid3, kBookUidChecksum, uint32_t(kVersion2Written),
               uint32_t(iSorted), uint32_t(iSubjectCount), 1u, uint32_t(kChunkAreaSizeWritten)});
  ok = ok && PutWords(output, {uint32_t(kChunkTypeBookmarks), uint32_t(kChunkFlagSkippable),
                               uint32_t(kBookmarkBlockSize)});
  static const uint8_t kEmptyBookmarks[kBookmarkBlockSize] = {};
  ok = ok &&
       std::fwrite(kEmptyBookmarks, 1, sizeof kEmptyBookmarks, output) == sizeof kEmptyBookmarks;
  ok = ok && CopyWhole(iIndexFile, output) && CopyWhole(iSubjectSectionFile, output) &&
       CopyWhole(iRecordSectionFile, output);
  ok = ok && std::fflush(output) == 0 && std::ferror(output) == 0;
  // Later entries append to the streams; leave them positioned at their ends.
  for (std::FILE* f : {iIndexFile, iSubjectStreamFile, iRecordStreamFile})
    ok = ok && std::fseek(f, 0, SEEK_END) == 0;
  // A failed output (a full disk) leaves the streams good for another try.
  return ok ? BuildResult::kOk : Failed(BuildResult::kIoFailed);
}

BuildResult BookBuilder::WriteBookFile(const std::string& path) {
  iWritePath = path;
  // Only what fails from here on may name its errno.
  errno = 0;
  AtomicFile file;
  BuildResult r = file.Open(path) ? WriteBook(file.Stream()) : Failed(BuildResult::kIoFailed);
  if (r != BuildResult::kOk)
    file.Discard();
  else if (!file.Commit())
    r = Failed(BuildResult::kIoFailed);
  iWritePath.clear();
  return r;
}

}  // namespace ql
