// WriteBook: the builder's temporary streams become a version 2 book. Every
// write is checked, and WriteBookFile writes beside the target and renames
// only a complete book over it, so a full disk never costs the old file.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <vector>

#include "atomic_file.h"
#include "book_builder.h"
#include "book_format.h"
#include "byte_order.h"
#include "file_closer.h"

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
