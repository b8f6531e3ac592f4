// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "book_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "book_lock.h"
#include "book_sections.h"
#include "byte_order.h"
#include "codecs.h"
#include "legacy_book_file.h"
#include "same_file.h"
#include "text_case.h"
#include "unicode_book_file.h"
#include "unicode_text.h"

namespace ql {

namespace {

constexpr int64_t kMaxFileOffset = std::numeric_limits<int32_t>::max();
constexpr size_t kSpillCapacity = kSubjectBufferExtra;
// How many records on a damaged tail looks for the next tail, to cut it there.
constexpr int kTailSearchRecords = 64;
// A record block is decoded this far past a tail's start first, then in
// steps twice as long each time, until the tail's end is in.
constexpr size_t kRecordDecodeStep = 512;
constexpr size_t kWholeUnit = static_cast<size_t>(-1);
// The same for a subject block, from a string's start.
constexpr size_t kSubjectDecodeStep = 256;

}  // namespace

int BookReader::CompareBookSubjects(std::string_view a, std::string_view b) const {
  return iUnicode ? CompareFoldedUtf8(a, b) : CompareSubjects(a, b);
}

BookReader::UnicodeLayout BookReader::GetUnicodeLayout() const {
  UnicodeLayout layout;
  if (!iUnicode) return layout;
  layout.dictionary = iUnicode->DictionarySize();
  layout.subjectBytes = iUnicode->SubjectStreamLength();
  layout.recordBytes = iUnicode->RecordStreamLength();
  layout.subjectBlocks = iUnicode->SubjectBlockCount();
  layout.recordBlocks = iUnicode->RecordBlockCount();
  return layout;
}

std::string BookReader::FoldTerm(std::string_view term) const {
  return iUnicode ? FoldUtf8(term) : LowerCaseCp1252(term);
}

bool BookReader::BeginsWith(std::string_view subject, std::string_view key) const {
  if (iUnicode) return FoldUtf8(subject).starts_with(FoldUtf8(key));
  return subject.size() >= key.size() && CompareSubjects(subject.substr(0, key.size()), key) == 0;
}

bool BookReader::SharedTextPlace(int index, int64_t& offset, int64_t& length) {
  return iOpen && iUnicode && index >= 0 && index < iSubjectCount &&
         iUnicode->OnePiece(index, offset, length);
}

bool OverlapCheck::Follows(const EntryExtent& extent) {
  if (extent.entryStart >= 0 && extent.entryStart < iEntryEnd) return false;
  if (extent.textStart >= 0 && extent.textStart < iTextEnd) return false;
  iEntryEnd = std::max(iEntryEnd, extent.entryEnd);
  iTextEnd = std::max(iTextEnd, extent.textEnd);
  return true;
}

std::string RecordName(std::string_view subject, int index) {
  return subject.empty() ? "#" + std::to_string(index) : std::string(subject);
}

int CompareSubjects(std::string_view a, std::string_view b) {
  return CompareFoldedAscii(a, b);
}

BookReader::BookReader() = default;

BookReader::~BookReader() {
  Close();
}

int BookReader::GetLegacyVersion() const {
  return iLegacy ? iLegacy->LegacyVersion() : 0;
}

int BookReader::BookFile() const {
  return iLegacy ? iLegacy->Descriptor() : iFile;
}

size_t BookReader::ReadFile(int64_t offset, uint8_t* bytes, size_t count) const {
  return ReadFileAt(iFile, offset, bytes, count);
}

size_t BookReader::ReadFixed(int64_t offset, uint8_t* bytes, size_t count) {
  if (iFile < 0 || offset < 0) return 0;
  size_t done = 0;
  while (done < count) {
    const int64_t at = offset + static_cast<int64_t>(done);
    const int64_t start = at - at % static_cast<int64_t>(kFixedPageSize);
    FixedPage* page = nullptr;
    FixedPage* oldest = &iFixedPages[0];
    for (FixedPage& p : iFixedPages) {
      if (p.offset == start) page = &p;
      if (p.used < oldest->used) oldest = &p;
    }
    if (!page) {
      // A read of a whole page or more gains nothing from the pages.
      if (count - done >= kFixedPageSize) return done + ReadFile(at, bytes + done, count - done);
      page = oldest;
      page->offset = -1;
      if (!page->bytes) {
        page->bytes.reset(new (std::nothrow) uint8_t[kFixedPageSize]);
        if (!page->bytes) return done + ReadFile(at, bytes + done, count - done);
      }
      page->fill = ReadFile(start, page->bytes.get(), kFixedPageSize);
      page->offset = start;
    }
    page->used = ++iFixedUse;
    const size_t in = static_cast<size_t>(at - start);
    if (in >= page->fill) break;  // the file ends here
    const size_t n = std::min(count - done, page->fill - in);
    std::memcpy(bytes + done, page->bytes.get() + in, n);
    done += n;
    if (page->fill < kFixedPageSize) break;
  }
  return done;
}

bool BookReader::WriteFile(int64_t offset, const uint8_t* bytes, size_t count) {
  if (iFile < 0 || offset < 0) return false;
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(iFile, bytes + done, count - done,
                               static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void BookReader::ReleaseBuffers() {
  for (FixedPage& p : iFixedPages) p = FixedPage{};
  iIndexWindow = {};
  iIndexWindowStart = -1;
  iSubjectBlockTable = {};
  iSubjectBlockBuffer = {};
  iSubjectBlockCached = -1;
  iSubjectBlockFill = 0;
  iSubjectBlockSize = 0;
  iSubjectBlockCount = 0;
  iRecordBlockTable = {};
  iRecordBlockBuffer = {};
  iRecordBlockCached = -1;
  iRecordBlockFill = 0;
  iRecordCoded = {};
  iRecordCodedLength = 0;
  iRecordBlockSize = 0;
  iRecordBlockCount = 0;
  iCompressedBuffer = {};
  iEntry = EntryCache{};
  iRecordText = {};
  iRecordLength = 0;
  iCurrentRecord = -1;
  iLinkScanRecord = -1;
  for (TermInRecord& known : iTermInRecord) known.record = -1;
}

bool BookReader::Close() {
  const bool saved = !iOpen || SaveBookmarks();
  ReleaseBuffers();
  iLegacy.reset();
  iUnicode.reset();
  if (iFile >= 0) ::close(iFile);  // also drops the lock
  iFile = -1;
  iOpen = false;
  iIsVersion2 = false;
  iSubjectOrder.reset();
  iSubjectCount = 0;
  iFileSize = 0;
  iBookmarkOffset = -1;
  // A closed reader holds no bookmarks: the next book must not show these.
  for (BookmarkEntry& slot : iBookmarks) slot = BookmarkEntry{};
  iBookmarksPending = false;
  return saved;
}

OpenResult BookReader::Open(const std::string& path, int mode) {
  Close();
  iOpenFailure = {};
  iWriteError = 0;
  iReadOnly = mode == kOpenReadOnly;
  auto failure = [this, &path](OpenFailureKind kind, int error) {
    iOpenFailure.kind = kind;
    iOpenFailure.error = error;
    iOpenFailure.path = path;
  };
  // The placeholder path only releases the open book.
  if (path == kNoFilePath) {
    failure(OpenFailureKind::kSystem, ENOENT);
    return OpenResult::kFailed;
  }

  const int fd = ::open(path.c_str(), (iReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (fd < 0) {
    failure(OpenFailureKind::kSystem, errno);
    return OpenResult::kFailed;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = errno;
    if (!S_ISREG(st.st_mode) && st.st_mode != 0)
      failure(S_ISDIR(st.st_mode) ? OpenFailureKind::kSystem : OpenFailureKind::kNotABook, EISDIR);
    else
      failure(OpenFailureKind::kSystem, error);
    ::close(fd);
    return OpenResult::kFailed;
  }
  // Open itself goes by the version word alone; the identifying words only
  // name a failure "not a book" rather than damage.
  // A writer tells them before it takes its role; a reader reads them with
  // the header, under the lock below.
  uint8_t id[12];
  auto identifies = [](const uint8_t* words) {
    return ReadLE32(words + 8) == kBookUid3 || ReadLE32(words + 8) == kBookUid3Legacy;
  };
  bool identified = !iReadOnly &&
                    ::pread(fd, id, sizeof id, 0) == static_cast<ssize_t>(sizeof id) &&
                    identifies(id);
  auto named = [&identified](OpenFailureKind kind) {
    return identified ? kind : OpenFailureKind::kNotABook;
  };
  // Readers take no lock a writer can refuse; a writer takes the writer
  // role, which only another writer holds against it (see book_lock.h).
  // Where the file system has no locks the book is used all the same.
  iWithoutLock = false;
  if (!iReadOnly) {
    const LockResult role = TakeWriterRole(fd);
    if (role == LockResult::kUnsupported) {
      iWithoutLock = true;
    } else if (role != LockResult::kLocked) {
      failure(
          role == LockResult::kRefused ? named(OpenFailureKind::kInUse) : OpenFailureKind::kSystem,
          errno);
      ::close(fd);
      return OpenResult::kFailed;
    }
  }
  // Until the open ends: a writer marks a legacy book under it, a reader
  // reads the header and the file's size under it.
  const RangeLock header(fd, kHeaderOffsetVersion, 4, !iReadOnly);
  if (header.Unsupported()) iWithoutLock = true;
  iFile = fd;
  iFileSize = st.st_size;
  iOpen = true;
  iIsVersion2 = true;
  iCurrentRecord = -1;
  if (iReadOnly) identified = ReadFixed(0, id, sizeof id) == sizeof id && identifies(id);

  auto fail = [this, &failure, &named](OpenResult result) {
    const int version = iVersion;
    Close();  // nothing is written: iOpen is cleared first
    if (iOpenFailure.kind == OpenFailureKind::kNone)
      failure(result == OpenResult::kUnsupported ? OpenFailureKind::kUnsupported
                                                 : OpenFailureKind::kDamaged,
              0);
    iOpenFailure.kind = named(iOpenFailure.kind);
    iOpenFailure.version = version;
    return result;
  };
  uint8_t word[4];
  if (ReadFixed(kHeaderOffsetVersion, word, sizeof word) != sizeof word) {
    iOpen = false;
    return fail(OpenResult::kFailed);
  }
  iVersion = ReadLE32s(word);
  if (iVersion == kVersionUnicode) {
    const OpenResult r = OpenUnicode();
    if (r != OpenResult::kOk) {
      iOpen = false;
      return fail(r);
    }
    return OpenResult::kOk;
  }
  if (iVersion > kVersion2Max) {
    iOpen = false;
    return fail(OpenResult::kUnsupported);
  }
  if (iVersion < kVersion2Min) {
    // Legacy book: the LegacyBookFile takes over the open, locked file.
    iIsVersion2 = false;
    iSorted = 0;
    auto legacy = std::make_unique<LegacyBookFile>();
    const int r = legacy->Open(iFile, iReadOnly);
    const int error = errno;
    iFile = -1;
    if (r < 0) {
      if (legacy->MarkFailed()) failure(OpenFailureKind::kWriteFailed, error != 0 ? error : EIO);
      iOpen = false;
      legacy.reset();
      return fail(r == -2 ? OpenResult::kUnsupported : OpenResult::kFailed);
    }
    iLegacy = std::move(legacy);
    iSubjectCount = r;
    iFileSize = iLegacy->FileSize();
    const int64_t bookmarks = iFileSize - kBookmarkBlockSize;
    // The block sits behind everything the book held before it was marked.
    iBookmarkOffset = (iLegacy->HasBookmarkBlock() && bookmarks >= iLegacy->HeaderSize() &&
                       bookmarks <= kMaxFileOffset)
                          ? static_cast<int>(bookmarks)
                          : -1;
    if (!iReadOnly) LoadBookmarks();
    return OpenResult::kOk;
  }
  const OpenResult r = OpenVersion2();
  if (r != OpenResult::kOk) {
    iOpen = false;
    return fail(r);
  }
  return OpenResult::kOk;
}

OpenResult BookReader::OpenView(const BookReader& owner) {
  Close();
  iOpenFailure = {};
  iWriteError = 0;
  iReadOnly = true;
  auto failed = [this](OpenFailureKind kind, int error) {
    Close();
    iOpenFailure.kind = kind;
    iOpenFailure.error = error;
    return OpenResult::kFailed;
  };
  if (&owner == this || !owner.iOpen) return failed(OpenFailureKind::kSystem, EBADF);
  try {
    if (owner.iLegacy) {
      auto legacy = std::make_unique<LegacyBookFile>();
      errno = 0;
      if (!legacy->OpenView(*owner.iLegacy))
        return failed(OpenFailureKind::kSystem, errno != 0 ? errno : EBADF);
      iLegacy = std::move(legacy);
    } else if (owner.iUnicode) {
      iFile = OpenSameFileReadOnly(owner.iFile);
      if (iFile < 0) return failed(OpenFailureKind::kSystem, errno);
      auto book = std::make_unique<UnicodeBookFile>();
      if (book->OpenView(*owner.iUnicode, iFile) != UnicodeBookFile::Result::kOk)
        return failed(OpenFailureKind::kSystem, ENOMEM);
      iUnicode = std::move(book);
    } else {
      // The file owner read, whatever has been renamed onto the path since,
      // opened anew: a duplicate would share owner's lock and keep the book
      // locked after owner closes it, so that it could not be opened again.
      iFile = OpenSameFileReadOnly(owner.iFile);
      if (iFile < 0) return failed(OpenFailureKind::kSystem, errno);
      iSubjectIndexOffset = owner.iSubjectIndexOffset;
      iSubjectDataOffset = owner.iSubjectDataOffset;
      iRecordDataOffset = owner.iRecordDataOffset;
      iIndexWindow.assign(kIndexWindowSize, -1);
      iIndexWindowStart = -1;
      iIndexWindowSize = kIndexWindowSize;
      iSubjectBlockSize = owner.iSubjectBlockSize;
      iSubjectBlockCount = owner.iSubjectBlockCount;
      iSubjectBlockTable = owner.iSubjectBlockTable;
      iSubjectBlockBuffer.assign(owner.iSubjectBlockBuffer.size(), 0);
      iRecordBlockSize = owner.iRecordBlockSize;
      iRecordBlockCount = owner.iRecordBlockCount;
      iRecordBlockTable = owner.iRecordBlockTable;
      iRecordBlockBuffer.assign(owner.iRecordBlockBuffer.size(), 0);
      iRecordCoded.assign(owner.iRecordCoded.size(), 0);
      iCompressedBuffer.assign(owner.iCompressedBuffer.size(), 0);
    }
  } catch (const std::bad_alloc&) {
    return failed(OpenFailureKind::kSystem, ENOMEM);
  }
  iVersion = owner.iVersion;
  iSorted = owner.iSorted;
  iSubjectCount = owner.iSubjectCount;
  iFileSize = owner.iFileSize;
  iIsVersion2 = owner.iIsVersion2;
  // No bookmark block: a view has nothing to write back.
  iBookmarkOffset = -1;
  iWithoutLock = owner.iWithoutLock;
  iCurrentRecord = -1;
  iOpen = true;
  return OpenResult::kOk;
}

OpenResult BookReader::OpenUnicode() {
  auto book = std::make_unique<UnicodeBookFile>();
  const UnicodeBookFile::Result r = book->Open(iFile, iFileSize);
  if (r == UnicodeBookFile::Result::kUnsupported) return OpenResult::kUnsupported;
  if (r == UnicodeBookFile::Result::kNoMemory) {
    iOpenFailure.kind = OpenFailureKind::kSystem;
    iOpenFailure.error = ENOMEM;
    return OpenResult::kFailed;
  }
  if (r != UnicodeBookFile::Result::kOk) return OpenResult::kFailed;
  iSorted = book->Sorted();
  iSubjectCount = book->SubjectCount();
  const int64_t bookmarks = book->BookmarkOffset();
  iBookmarkOffset =
      bookmarks >= 0 && bookmarks <= kMaxFileOffset ? static_cast<int>(bookmarks) : -1;
  iBookmarksPending = true;
  iUnicode = std::move(book);
  return OpenResult::kOk;
}

void BookReader::UnicodeStats() {
  iStats.subjectBlockLoads = iUnicode->SubjectBlockLoads();
  iStats.recordBlockLoads = iUnicode->RecordBlockLoads();
}

OpenResult BookReader::OpenVersion2() {
  uint8_t header[kBookHeaderSize];
  if (ReadFixed(0, header, sizeof header) != sizeof header) return OpenResult::kFailed;
  iSorted = ReadLE32s(header + kHeaderOffsetSorted);
  iSubjectCount = ReadLE32s(header + kHeaderOffsetSubjectCount);
  const int32_t chunkCount = ReadLE32s(header + kHeaderOffsetChunkCount);
  const int32_t chunkAreaSize = ReadLE32s(header + kHeaderOffsetChunkAreaSize);
  if (iSubjectCount < 0 || chunkCount < 0 || chunkAreaSize < 0) return OpenResult::kFailed;
  if (chunkCount > (iFileSize - kBookHeaderSize) / kChunkHeaderSize) return OpenResult::kFailed;

  // Every chunk header takes 12 bytes of the file, so the walk ends within
  // the file's size whatever chunkCount says.
  int64_t pos = kBookHeaderSize;
  iBookmarkOffset = -1;
  for (int32_t c = 0; c < chunkCount; ++c) {
    uint8_t chunk[kChunkHeaderSize];
    if (pos > iFileSize - kChunkHeaderSize || ReadFixed(pos, chunk, sizeof chunk) != sizeof chunk)
      return OpenResult::kFailed;
    const int32_t type = ReadLE32s(chunk);
    const int32_t flag = ReadLE32s(chunk + 4);
    const int32_t length = ReadLE32s(chunk + 8);
    if (type != kChunkTypeBookmarks && flag != kChunkFlagSkippable) return OpenResult::kUnsupported;
    if (length < 0 || length > iFileSize - pos - kChunkHeaderSize) return OpenResult::kFailed;
    // A bookmark chunk too short for the block is not used: writing the
    // block back would run over what follows it.
    if (type == kChunkTypeBookmarks && length >= kBookmarkBlockSize && pos <= kMaxFileOffset)
      iBookmarkOffset = static_cast<int>(pos + kChunkHeaderSize);
    pos += kChunkHeaderSize + int64_t{length};
  }
  iBookmarksPending = true;

  const int64_t indexOffset = int64_t{kBookHeaderSize} + chunkAreaSize;
  const int64_t subjectSection = indexOffset + 4 * int64_t{iSubjectCount};
  if (subjectSection > iFileSize - kSectionHeaderSize || subjectSection > kMaxFileOffset)
    return OpenResult::kFailed;
  iSubjectIndexOffset = static_cast<int>(indexOffset);
  try {
    iIndexWindow.assign(kIndexWindowSize, -1);
    iIndexWindowStart = -1;
    iIndexWindowSize = kIndexWindowSize;
    int64_t recordSection = 0, sectionEnd = 0;
    if (!ReadSection(subjectSection, iSubjectBlockSize, iSubjectBlockCount, iSubjectBlockTable,
                     iSubjectDataOffset, recordSection))
      return OpenResult::kFailed;
    if (!ReadSection(recordSection, iRecordBlockSize, iRecordBlockCount, iRecordBlockTable,
                     iRecordDataOffset, sectionEnd))
      return OpenResult::kFailed;
    iSubjectBlockBuffer.assign(static_cast<size_t>(iSubjectBlockSize) + kSubjectBufferExtra, 0);
    iSubjectBlockCached = -1;
    // One byte past the block tells a block that decodes long.
    iRecordBlockBuffer.assign(static_cast<size_t>(iRecordBlockSize) + 1, 0);
    iRecordBlockCached = -1;
    const int m = std::max(iSubjectBlockSize, iRecordBlockSize);
    // Room for a block's coded bytes and its spill-over's behind them.
    const size_t codedRoom =
        static_cast<size_t>(std::max(CompressedBufferSize(m), kSpillReadBytes));
    iCompressedBuffer.assign(codedRoom + kSpillReadBytes, 0);
    iRecordCoded.assign(codedRoom, 0);
  } catch (const std::bad_alloc&) {
    return OpenResult::kFailed;
  }
  return OpenResult::kOk;
}

std::vector<int> BookReader::SplitForSearch(int first, int parts) const {
  std::vector<int> starts;
  if (!iOpen || first < 0 || first >= iSubjectCount) return starts;
  const int64_t span = iSubjectCount - first;
  const int64_t count = std::clamp<int64_t>(parts, 1, span);
  // The index value of a record, -1 when it cannot be read. Any value, a
  // hostile one too, still gives ranges that cover every record once.
  auto entryAt = [this](int index) -> int64_t {
    uint8_t word[4];
    if (ReadFile(iSubjectIndexOffset + 4 * int64_t{index}, word, sizeof word) != sizeof word)
      return -1;
    return ReadLE32s(word);
  };
  starts.push_back(first);
  for (int64_t k = 1; k < count; ++k) {
    const int nominal = static_cast<int>(first + span * k / count);
    const int limit = static_cast<int>(first + span * (k + 1) / count);
    int at = nominal;
    if (iIsVersion2 && iSubjectBlockSize > 0) {
      // The first record from nominal on whose entry starts in a block after
      // the one the record before nominal starts in (entries run in index
      // order), found by halving; when the range holds none, nominal.
      const int64_t before = entryAt(nominal - 1);
      if (before >= 0) {
        const int64_t next = (before / iSubjectBlockSize + 1) * int64_t{iSubjectBlockSize};
        int lo = nominal, hi = limit;
        while (lo < hi) {
          const int mid = lo + (hi - lo) / 2;
          if (entryAt(mid) >= next)
            hi = mid;
          else
            lo = mid + 1;
        }
        if (lo < limit) at = lo;
      }
    }
    starts.push_back(at);
  }
  return starts;
}

bool BookReader::ReadSection(int64_t offset, int& blockSize, int& blockCount,
                             std::vector<BlockTableEntry>& table, int& dataOffset,
                             int64_t& sectionEnd) {
  BookSection section;
  const ReadAtFunction read = [this](int64_t at, uint8_t* bytes, size_t count) {
    return ReadFixed(at, bytes, count);
  };
  if (ReadBookSection(read, iFileSize, offset, false, section) != SectionResult::kOk) return false;
  table = std::move(section.table);
  blockSize = section.blockSize;
  blockCount = section.blockCount;
  dataOffset = static_cast<int>(section.dataOffset);
  sectionEnd = offset + 4 + int64_t{section.sectionLength};
  return true;
}

bool BookReader::LoadSubjectBlock(int block) {
  if (iSubjectBlockCached == block) {
    iSubjectTouched = true;
    return true;
  }
  SubjectDamageSeen();  // the block being left was touched: its verdict counts
  // The block after the one cached: a walk through the book, which will
  // want all of it.
  const bool onward = iSubjectBlockCached >= 0 && block == iSubjectBlockCached + 1;
  iSubjectBlockCached = -1;
  iSubjectBlockFill = 0;
  iSubjectVerdictKnown = false;
  iSubjectProgress = {};
  iSubjectCodedLength = 0;
  iSubjectSpillLength = 0;
  iSubjectSpillRead = false;
  const size_t size = static_cast<size_t>(iSubjectBlockSize);
  if (block < 0 || static_cast<size_t>(block) >= iSubjectBlockTable.size() ||
      iCompressedBuffer.size() < size_t{kSpillReadBytes} ||
      iSubjectBlockBuffer.size() < size + kSpillCapacity) {
    iSubjectDamageSeen = true;
    return false;
  }
  const BlockTableEntry& e = iSubjectBlockTable[static_cast<size_t>(block)];
  const int64_t at = int64_t{iSubjectDataOffset} + e.offset;
  if (e.offset < 0 || e.compressedLength < 0 || at > iFileSize) {
    iSubjectDamageSeen = true;
    return false;
  }
  // A truncated file or an oversized entry decodes what there is.
  const size_t room = iCompressedBuffer.size() - kSpillReadBytes;
  const size_t length = static_cast<size_t>(
      std::min<int64_t>({e.compressedLength, iFileSize - at, static_cast<int64_t>(room)}));
  iSubjectCodedLength = ReadFile(at, iCompressedBuffer.data(), length);
  ++iStats.subjectBlockLoads;
  iSubjectBlockCached = block;
  iSubjectTouched = true;
  SubjectBytesTo(onward ? kWholeUnit : 0);
  return true;
}

size_t BookReader::SubjectBytesTo(size_t upto) {
  if (iSubjectBlockCached < 0) return 0;
  const size_t size = static_cast<size_t>(iSubjectBlockSize);
  if (!iSubjectProgress.ended && upto >= iSubjectProgress.out) {
    // Into the block's size alone: the spill-over lies behind it. A block
    // that decodes long stops there, unclean, as it would one byte on.
    DecompressBlockUntil(std::span<const uint8_t>(iCompressedBuffer.data(), iSubjectCodedLength),
                         std::span<uint8_t>(iSubjectBlockBuffer.data(), size), upto,
                         iSubjectProgress);
    iSubjectBlockFill = std::min(iSubjectProgress.out, size);
    if (iSubjectProgress.ended && iSubjectBlockCached + 1 < iSubjectBlockCount) {
      // A block that decoded short is damaged; zeros end any entry in the
      // gap rather than stale bytes of another block.
      std::fill(iSubjectBlockBuffer.begin() + static_cast<long>(iSubjectBlockFill),
                iSubjectBlockBuffer.begin() + static_cast<long>(size), 0);
      iSubjectBlockFill = size;
    }
  }
  if (iSubjectProgress.ended && upto >= size && !iSubjectSpillRead &&
      iSubjectBlockCached + 1 < iSubjectBlockCount) {
    // The spill-over, read only for an entry that runs on past the block:
    // the first 2000-odd bytes of the next block, from where this block's
    // coded bytes end, read behind them.
    iSubjectSpillRead = true;
    const BlockTableEntry& e = iSubjectBlockTable[static_cast<size_t>(iSubjectBlockCached)];
    const int64_t at = int64_t{iSubjectDataOffset} + e.offset + e.compressedLength;
    uint8_t* spill = iCompressedBuffer.data() + iSubjectCodedLength;
    const size_t got = at <= iFileSize ? ReadFile(at, spill, kSpillReadBytes) : 0;
    if (got > 0) {
      const size_t decode = SpillDecodeLength(iSubjectBlockTable, iSubjectBlockCached, got);
      iSubjectSpillLength = DecompressBlock(
          std::span<const uint8_t>(spill, decode),
          std::span<uint8_t>(iSubjectBlockBuffer.data() + size, kSpillCapacity), true);
    }
    iSubjectBlockFill = size + iSubjectSpillLength;
  }
  return iSubjectBlockFill;
}

bool BookReader::SubjectBytesAllThere() const {
  return iSubjectProgress.ended && (iSubjectSpillRead || iSubjectBlockCached < 0 ||
                                    iSubjectBlockCached + 1 >= iSubjectBlockCount);
}

bool BookReader::SubjectBlockWhole() {
  if (iSubjectBlockCached < 0) return false;
  if (!iSubjectVerdictKnown) {
    // Decoded into the block's size, judged as one byte more: a block that
    // decodes long is told either way, and a whole one ends the same.
    const size_t room = static_cast<size_t>(iSubjectBlockSize) + 1;
    const BlockDecoding end =
        ScanBlockEnd(std::span<const uint8_t>(iCompressedBuffer.data(), iSubjectCodedLength), room,
                     iSubjectProgress);
    iSubjectBlockWhole = SectionBlockWhole(iSubjectBlockTable, iSubjectBlockSize,
                                           iSubjectBlockCached, iSubjectCodedLength, room, end);
    iSubjectVerdictKnown = true;
  }
  return iSubjectBlockWhole;
}

bool BookReader::SubjectDamageSeen() {
  if (iSubjectTouched) {
    iSubjectTouched = false;
    iSubjectDamageSeen |= !SubjectBlockWhole();
  }
  return iSubjectDamageSeen;
}

bool BookReader::LoadRecordBlock(int block) {
  if (iRecordBlockCached == block) return true;
  const bool onward = iRecordBlockCached >= 0 && block == iRecordBlockCached + 1;  // a walk
  iRecordBlockCached = -1;
  iRecordBlockFill = 0;
  iRecordVerdictKnown = false;
  iRecordProgress = {};
  iRecordCodedLength = 0;
  if (block < 0 || static_cast<size_t>(block) >= iRecordBlockTable.size() || iRecordCoded.empty() ||
      iRecordBlockBuffer.size() <= static_cast<size_t>(iRecordBlockSize))
    return false;
  const BlockTableEntry& e = iRecordBlockTable[static_cast<size_t>(block)];
  const int64_t at = int64_t{iRecordDataOffset} + e.offset;
  if (e.offset < 0 || e.compressedLength < 0 || at > iFileSize) return false;
  // A truncated file or an oversized entry decodes what there is.
  const size_t length = static_cast<size_t>(std::min<int64_t>(
      {e.compressedLength, iFileSize - at, static_cast<int64_t>(iRecordCoded.size())}));
  iRecordCodedLength = ReadFile(at, iRecordCoded.data(), length);
  ++iStats.recordBlockLoads;
  iRecordBlockCached = block;
  DecodeRecordBlockTo(onward ? kWholeUnit : 0);
  return true;
}

void BookReader::DecodeRecordBlockTo(size_t upto) {
  if (iRecordBlockCached < 0) return;
  const size_t room = static_cast<size_t>(iRecordBlockSize) + 1;
  DecompressBlockUntil(std::span<const uint8_t>(iRecordCoded.data(), iRecordCodedLength),
                       std::span<uint8_t>(iRecordBlockBuffer.data(), room), upto, iRecordProgress);
  iRecordBlockFill = std::min(iRecordProgress.out, static_cast<size_t>(iRecordBlockSize));
}

bool BookReader::RecordBlockWhole() {
  if (iRecordBlockCached < 0) return false;
  if (!iRecordVerdictKnown) {
    const size_t room = static_cast<size_t>(iRecordBlockSize) + 1;
    const BlockDecoding end = ScanBlockEnd(
        std::span<const uint8_t>(iRecordCoded.data(), iRecordCodedLength), room, iRecordProgress);
    iRecordBlockWhole = SectionBlockWhole(iRecordBlockTable, iRecordBlockSize, iRecordBlockCached,
                                          iRecordCodedLength, room, end);
    iRecordVerdictKnown = true;
  }
  return iRecordBlockWhole;
}

bool BookReader::WindowIndex(int index) {
  if (index < 0 || index >= iSubjectCount || iIndexWindow.size() != kIndexWindowSize) return false;
  if (iIndexWindowStart != -1 && index >= iIndexWindowStart &&
      index - iIndexWindowStart < iIndexWindowSize)
    return true;
  uint8_t raw[kIndexWindowSize * 4];
  const size_t got = ReadFixed(iSubjectIndexOffset + 4 * int64_t{index}, raw, sizeof raw);
  for (size_t i = 0; i < kIndexWindowSize; ++i)
    iIndexWindow[i] = (4 * i + 4 <= got) ? ReadLE32s(raw + 4 * i) : -1;
  iIndexWindowStart = index;
  return true;
}

bool BookReader::ReadEntryString(int& block, size_t& pos, std::string& out) {
  const size_t size = static_cast<size_t>(iSubjectBlockSize);
  // Each turn either ends the string or moves one block on, so the loop is
  // bounded by the block count.
  for (;;) {
    if (iSubjectBlockCached == block) {
      // Decoded on, in growing steps, until the zero byte is in or the block
      // and its spill-over are all there.
      const uint8_t* data = iSubjectBlockBuffer.data();
      size_t fill = SubjectBytesTo(pos);
      size_t searched = pos;
      const void* zero = nullptr;
      for (size_t step = kSubjectDecodeStep;; step *= 2) {
        if (searched < fill) {
          zero = std::memchr(data + searched, 0, fill - searched);
          if (zero) break;
          searched = fill;
        }
        if (SubjectBytesAllThere()) break;
        fill = SubjectBytesTo(fill + step);
      }
      if (pos < fill) {
        const size_t stop =
            zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : fill;
        out.append(reinterpret_cast<const char*>(data + pos), stop - pos);
        if (zero) {
          pos = stop + 1;
          return true;
        }
        pos = fill;
      }
    }
    // An entry that runs past the spill-over reads on in the following block
    // at the same stream position.
    if (iSubjectBlockCached != block || block + 1 >= iSubjectBlockCount || pos < size) return false;
    pos -= size;
    ++block;
    if (!LoadSubjectBlock(block)) return false;
  }
}

const BookReader::SubjectEntryParts& BookReader::ReadSubjectEntry(int index, bool wantHead) {
  EntryCache& e = iEntry;
  if (e.index == index && index >= 0 && (e.hasHead || !wantHead)) return e.parts;
  if (e.index == index && index >= 0 && e.headBlock >= 0 && iSubjectBlockCached == e.headBlock) {
    // The subject was read before and its block is still loaded. The entry
    // counts as cached again only once the head is whole.
    e.index = -1;
    iSubjectDamageSeen = false;
    iSubjectTouched = true;
    if (ReadEntryString(e.headBlock, e.headPos, e.parts.head))
      e.parts.end = int64_t{e.headBlock} * iSubjectBlockSize + static_cast<int64_t>(e.headPos);
    else
      e.parts.damaged = true;
    const int64_t nextStart = NextEntryStart(index);
    if (KeepBeforeNextEntry(e.parts, true, nextStart) || SubjectDamageSeen() ||
        !EntryEndsWhereIndexSays(index, e.parts, e.headBlock, e.headPos, nextStart))
      e.parts.damaged = true;
    e.hasHead = true;
    e.headBlock = -1;
    e.index = index;
    return e.parts;
  }
  e.index = -1;
  e.hasHead = false;
  e.headBlock = -1;
  e.headPos = 0;
  e.parts.tailOffset = -1;
  e.parts.subject.clear();
  e.parts.head.clear();
  e.parts.damaged = true;  // until the entry is read to its end
  e.parts.start = -1;
  e.parts.end = -1;
  if (!iOpen || !iIsVersion2 || !WindowIndex(index)) return e.parts;
  // From here on the outcome depends on the file alone, so it is kept, a
  // damaged entry's empty parts included (but not a parse cut short by a
  // failed allocation).
  auto done = [&]() -> const SubjectEntryParts& {
    e.index = index;
    return e.parts;
  };
  e.hasHead = true;
  const int32_t o = iIndexWindow[static_cast<size_t>(index - iIndexWindowStart)];
  if (o < 0 || iSubjectBlockSize <= 0) return done();
  e.parts.start = o;
  int block = o / iSubjectBlockSize;
  size_t pos = static_cast<size_t>(o % iSubjectBlockSize);
  iSubjectDamageSeen = false;
  iSubjectTouched = false;
  if (block >= iSubjectBlockCount || !LoadSubjectBlock(block)) return done();
  const size_t size = static_cast<size_t>(iSubjectBlockSize);
  // Next byte of the subject stream, -1 at its end, for the flags and the
  // tail offset; the strings go by ReadEntryString under the same rules.
  auto next = [&]() -> int {
    for (;;) {
      if (iSubjectBlockCached == block && pos < SubjectBytesTo(pos))
        return iSubjectBlockBuffer[pos++];
      if (iSubjectBlockCached != block || block + 1 >= iSubjectBlockCount || pos < size) return -1;
      pos -= size;
      ++block;
      if (!LoadSubjectBlock(block)) return -1;
    }
  };
  const int flags = next();
  if (flags < 0) return done();
  if (flags & kSubjectFlagTailBit) {
    uint32_t tail = 0;
    for (int k = 0; k < 4; ++k) {
      const int b = next();
      if (b < 0) return done();
      tail |= static_cast<uint32_t>(b) << (8 * k);
    }
    e.parts.tailOffset = static_cast<int32_t>(tail);
  }
  if (!ReadEntryString(block, pos, e.parts.subject)) {
    KeepBeforeNextEntry(e.parts, false, NextEntryStart(index));
    return done();
  }
  if (wantHead) {
    e.parts.damaged = !ReadEntryString(block, pos, e.parts.head);
    if (!e.parts.damaged)
      e.parts.end = int64_t{block} * iSubjectBlockSize + static_cast<int64_t>(pos);
    const int64_t nextStart = NextEntryStart(index);
    if (KeepBeforeNextEntry(e.parts, true, nextStart) || SubjectDamageSeen() ||
        !EntryEndsWhereIndexSays(index, e.parts, block, pos, nextStart))
      e.parts.damaged = true;
  } else {
    // Only the subject is read: what tells of damage so far is its blocks,
    // and a subject that runs on into the next entry (the head is not read).
    e.parts.damaged = SubjectDamageSeen();
    if (KeepBeforeNextEntry(e.parts, false, NextEntryStart(index))) {
      e.parts.damaged = true;
      return done();
    }
    e.hasHead = false;
    e.headBlock = block;
    e.headPos = pos;
  }
  return done();
}

int64_t BookReader::NextEntryStartLoaded(int index) {
  if (index + 1 >= iSubjectCount || !WindowIndex(index + 1)) return -1;
  return EntryStartInStream(iIndexWindow[static_cast<size_t>(index + 1 - iIndexWindowStart)]);
}

bool BookReader::CutBeforeNextEntry(SubjectEntryParts& parts, int64_t next) {
  const int64_t subjectStart = parts.start + 1 + (parts.tailOffset >= 0 ? 4 : 0);
  const int64_t subjectEnd = subjectStart + static_cast<int64_t>(parts.subject.size());
  const int64_t headStart = subjectEnd + 1;
  if (next < subjectStart) {
    parts.tailOffset = -1;  // its bytes are partly the next entry's
    parts.subject.clear();
    parts.head.clear();
  } else if (next <= subjectEnd) {
    parts.subject.resize(static_cast<size_t>(next - subjectStart));
    parts.head.clear();
  } else {
    parts.head.resize(static_cast<size_t>(std::max<int64_t>(next - headStart, 0)));
  }
  parts.end = next;
  return true;
}

bool BookReader::EntryEndsWhereIndexSays(int index, const SubjectEntryParts& parts, int block,
                                         size_t pos, int64_t next) {
  if (parts.end < 0) return false;
  // A record with a tail has a head of exactly 150 bytes, one without at most that.
  const size_t head = parts.head.size();
  if (parts.tailOffset >= 0 ? head != kRecordHeadMax : head > kRecordHeadMax) return false;
  if (index + 1 < iSubjectCount) {
    // Entries lie back to back: the next one starts where this one ends. An
    // index value that cannot be read, or points outside the stream, tells
    // of the next entry, not of this one.
    return next < 0 || next == parts.end;
  }
  // The last entry ends the stream, where that is known.
  if (block + 1 == iSubjectBlockCount && iSubjectBlockCached == block)
    return pos == SubjectBytesTo(kWholeUnit);
  return true;
}

bool BookReader::PeekTailOffset(int64_t start, int64_t& tail) {
  if (iSubjectBlockCached < 0 || start < 0) return false;
  const int64_t at = start - int64_t{iSubjectBlockCached} * iSubjectBlockSize;
  if (at < 0) return false;
  const int64_t fill = static_cast<int64_t>(SubjectBytesTo(static_cast<size_t>(at) + 5));
  if (at >= fill) return false;
  const uint8_t* entry = iSubjectBlockBuffer.data() + at;
  if (!(entry[0] & kSubjectFlagTailBit)) {
    tail = -1;
    return true;
  }
  if (at + 5 > fill) return false;
  tail = ReadLE32s(entry + 1);
  return true;
}

std::string BookReader::GetSubject(int index) {
  if (!iOpen || index < 0 || index >= iSubjectCount) return {};
  if (iLegacy) return iLegacy->GetSubject(index);
  if (iUnicode) {
    bool damaged = false;
    std::string subject(iUnicode->Subject(index, damaged));
    UnicodeStats();
    return subject;
  }
  return ReadSubjectEntry(index, false).subject;
}

std::string_view BookReader::PeekSubject(int index, std::string& scratch, bool& damaged) {
  damaged = false;
  if (!iOpen || index < 0 || index >= iSubjectCount) return {};
  if (iLegacy) {
    scratch = iLegacy->GetSubject(index);
    damaged = !iLegacy->SubjectWhole(index);
    return scratch;
  }
  if (iUnicode) {
    const std::string_view subject = iUnicode->Subject(index, damaged);
    UnicodeStats();
    return subject;
  }
  const SubjectEntryParts& parts = ReadSubjectEntry(index, false);
  damaged = parts.damaged;
  return parts.subject;
}

void BookReader::NoteDamaged(int record) {
  if (!iDamageSeen.empty() && iDamageSeen.back() == record) return;
  // Searched again and again (the window's Find), the same records would
  // pile up: the list is made unique once it outgrows the book.
  if (iDamageSeen.size() >= 2 * static_cast<size_t>(iSubjectCount) + 64) {
    std::sort(iDamageSeen.begin(), iDamageSeen.end());
    iDamageSeen.erase(std::unique(iDamageSeen.begin(), iDamageSeen.end()), iDamageSeen.end());
  }
  try {
    iDamageSeen.push_back(record);
  } catch (const std::bad_alloc&) {
  }
}

std::vector<int> BookReader::TakeDamagedRecords() {
  std::vector<int> seen = std::move(iDamageSeen);
  iDamageSeen = {};
  std::sort(seen.begin(), seen.end());
  seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
  return seen;
}

std::string BookReader::GetRecordHead(int index) {
  if (!iOpen || index < 0 || index >= iSubjectCount) return {};
  if (iLegacy) return iLegacy->GetRecordHead(index);
  if (iUnicode) {
    std::string head = iUnicode->RecordHead(index, kRecordHeadMax);
    UnicodeStats();
    return head;
  }
  return ReadSubjectEntry(index, true).head;
}

int BookReader::LoadRecord(int index) {
  iRecordText.clear();  // keeps its room for the next record
  iRecordLength = 0;
  iRecordDamaged = false;
  iRecordExtent = {};
  iCurrentRecord = -1;
  if (!iOpen || index < 0 || index >= iSubjectCount) return 0;
  try {
    if (iLegacy) {
      iLegacy->Extent(index, iRecordExtent.entryStart, iRecordExtent.entryEnd,
                      iRecordExtent.textStart, iRecordExtent.textEnd);
      if (!iLegacy->ReadRecord(index, iRecordText, &iRecordDamaged)) {
        iRecordText = {};
        return 0;
      }
    } else if (iUnicode) {
      const bool read = iUnicode->ReadRecord(index, iRecordText, iRecordDamaged, iRecordExtent);
      UnicodeStats();
      if (!read) return 0;
    } else {
      const SubjectEntryParts& parts = ReadSubjectEntry(index, true);
      iRecordText.assign(parts.head.begin(), parts.head.end());
      iRecordDamaged = parts.damaged;
      iRecordExtent.entryStart = parts.start;
      iRecordExtent.entryEnd = parts.end;
      const int32_t tailOffset = parts.tailOffset;
      const int64_t entryEnd = parts.end;
      const bool entryDamaged = parts.damaged;
      if (tailOffset >= 0 && iRecordBlockSize > 0) {
        bool ended = false;
        bool whole = true;
        iRecordExtent.textStart = tailOffset;
        const size_t headLength = iRecordText.size();
        int block = tailOffset / iRecordBlockSize;
        size_t pos = static_cast<size_t>(tailOffset % iRecordBlockSize);
        // The tail runs to its zero byte, crossing blocks; the last block of
        // the stream ends it in any case.
        while (block < iRecordBlockCount && LoadRecordBlock(block)) {
          const uint8_t* data = iRecordBlockBuffer.data();
          // The block is decoded on, in growing steps, until the tail's zero
          // byte is in or the block has ended.
          const void* zero = nullptr;
          size_t searched = pos;
          for (size_t step = kRecordDecodeStep;; step *= 2) {
            const size_t fill = iRecordBlockFill;
            if (searched < fill) {
              zero = std::memchr(data + searched, 0, fill - searched);
              if (zero) break;
              searched = fill;
            }
            if (iRecordProgress.ended) break;
            DecodeRecordBlockTo(std::max(pos, fill) + step);
          }
          // The last record's tail ends the stream: the whole block is needed
          // to tell that it does.
          const bool lastRecord = index + 1 == iSubjectCount;
          if (zero && lastRecord) DecodeRecordBlockTo(kWholeUnit);
          const size_t end = iRecordBlockFill;
          const size_t stop =
              zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : end;
          whole = whole && RecordBlockWhole();
          if (pos < end) {
            iRecordText.insert(iRecordText.end(), data + pos, data + stop);
            if (zero) {
              ended = true;
              iRecordExtent.textEnd =
                  int64_t{block} * iRecordBlockSize + static_cast<int64_t>(stop) + 1;
              if (index + 1 == iSubjectCount && (block + 1 != iRecordBlockCount || stop + 1 != end))
                whole = false;
              break;
            }
          }
          // What follows a damaged block in the stream is not known to be
          // this tail's continuation.
          if (!RecordBlockWhole()) break;
          ++block;
          pos = 0;
        }
        // A tail holds the record's bytes past its head, one at least, and
        // the next record's tail starts where it ends. One that runs on into
        // the next is cut before it, as those bytes are the next one's.
        if (!ended || !whole || iRecordText.size() == headLength) iRecordDamaged = true;
        if (index + 1 < iSubjectCount) {
          // The next entry's tail offset, from the loaded block where this
          // entry ended whole, else from the entry itself.
          int64_t nextTail = -1;
          if (entryDamaged || !PeekTailOffset(entryEnd, nextTail)) {
            const SubjectEntryParts& next = ReadSubjectEntry(index + 1, false);
            nextTail = next.damaged ? -1 : next.tailOffset;
          }
          // A damaged tail is cut before the next tail there is, a few records
          // on at most (an undamaged one is only checked against the next).
          const int last = static_cast<int>(
              std::min<int64_t>(int64_t{index} + kTailSearchRecords, iSubjectCount - 1));
          for (int k = index + 2; iRecordDamaged && nextTail < 0 && k <= last; ++k) {
            const SubjectEntryParts& later = ReadSubjectEntry(k, false);
            if (!later.damaged) nextTail = later.tailOffset;
          }
          if (nextTail > tailOffset && (!ended || iRecordExtent.textEnd > nextTail)) {
            iRecordText.resize(std::min<size_t>(
                iRecordText.size(), headLength + static_cast<size_t>(nextTail - tailOffset)));
            iRecordExtent.textEnd = nextTail;
            iRecordDamaged = true;
          } else if (nextTail >= 0 && nextTail != iRecordExtent.textEnd) {
            iRecordDamaged = true;
          }
        }
      } else if (tailOffset >= 0) {
        iRecordDamaged = true;
      }
      iRecordText.push_back(0);
    }
  } catch (const std::bad_alloc&) {
    iRecordText = {};
    return 0;
  }
  iRecordLength = static_cast<int>(iRecordText.size() - 1);
  iCurrentRecord = index;
  return 1;
}

bool BookReader::PeekFirstSubjectOfBlock(int lo, int hi, int& mid, std::string& subject) {
  // How far into its block the first entry may start, and how many bytes of
  // its subject are decoded at most, for the peek to stay cheap.
  constexpr int kMaxEntryStart = 2048;
  constexpr int kMaxPeekSubject = 256;
  constexpr int kIndexChunk = 256;
  if (iUnicode) {
    if (mid <= lo || mid >= hi) return false;
    int first = mid;
    if (!iUnicode->FirstOfBlock(lo, mid, first, subject)) return false;
    mid = first;
    return true;
  }
  if (!iIsVersion2 || iLegacy || iSubjectBlockSize <= 0 || lo < 0 || mid <= lo || mid >= hi ||
      hi >= iSubjectCount)
    return false;
  // The index values from lo (or as far back as the chunk reaches) to mid.
  const int from = std::max(lo, mid - (kIndexChunk - 1));
  const size_t n = static_cast<size_t>(mid - from + 1);
  uint8_t raw[kIndexChunk * 4];
  if (ReadFixed(iSubjectIndexOffset + 4 * int64_t{from}, raw, 4 * n) != 4 * n) return false;
  auto value = [&](int i) { return int64_t{ReadLE32s(raw + 4 * static_cast<size_t>(i - from))}; };
  const int64_t size = iSubjectBlockSize;
  const int64_t midAt = value(mid);
  if (midAt < 0) return false;
  const int64_t block = midAt / size;
  if (block >= iSubjectBlockCount || block == iSubjectBlockCached) return false;
  // Back from mid to the first entry of that block: the one before it must
  // be seen to start in an earlier block.
  int first = mid;
  while (first > from && value(first - 1) >= block * size && value(first - 1) < midAt + 1) --first;
  if (first == from || value(first - 1) >= block * size) return false;
  const int64_t at = value(first);
  if (at < block * size || at - block * size > kMaxEntryStart) return false;
  const size_t pos = static_cast<size_t>(at - block * size);

  // The start of the block, decoded as the whole block is: the same bytes.
  const BlockTableEntry& e = iSubjectBlockTable[static_cast<size_t>(block)];
  const int64_t coded = int64_t{iSubjectDataOffset} + e.offset;
  if (e.offset < 0 || e.compressedLength < 0 || coded > iFileSize) return false;
  const size_t want = std::min(pos + 5 + kMaxPeekSubject, static_cast<size_t>(size));
  // Its own buffer: the cached block's coded bytes stay where they are.
  uint8_t codedBytes[CompressedBufferSize(kMaxEntryStart + 5 + kMaxPeekSubject)];
  const size_t length = static_cast<size_t>(std::min<int64_t>(
      {e.compressedLength, iFileSize - coded, static_cast<int64_t>(iCompressedBuffer.size()),
       static_cast<int64_t>(CompressedBufferSize(static_cast<int>(want)))}));
  const size_t got = ReadFile(coded, codedBytes, length);
  uint8_t bytes[kMaxEntryStart + 5 + kMaxPeekSubject];
  const size_t fill = DecompressBlock(std::span<const uint8_t>(codedBytes, got),
                                      std::span<uint8_t>(bytes, want), false);
  // The entry: flags, the tail offset when it has one, the subject to its
  // zero byte, all within what was decoded.
  size_t s = pos + 1;
  if (pos >= fill) return false;
  if (bytes[pos] & kSubjectFlagTailBit) s += 4;
  if (s >= fill) return false;
  const void* zero = std::memchr(bytes + s, 0, fill - s);
  if (!zero) return false;
  const size_t end = static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes);
  // A subject that runs into the next entry is cut when read in full: that
  // one is left to the full read.
  if (first + 1 < iSubjectCount) {
    uint8_t next[4];
    if (ReadFixed(iSubjectIndexOffset + 4 * (int64_t{first} + 1), next, 4) != 4) return false;
    const int64_t nextAt = EntryStartInStream(ReadLE32s(next));
    if (nextAt > at && block * size + static_cast<int64_t>(end) >= nextAt) return false;
  }
  subject.assign(reinterpret_cast<const char*>(bytes + s), end - s);
  mid = first;
  return true;
}

void BookReader::SetSubjectOrder(std::shared_ptr<const SubjectOrder> order) {
  iSubjectOrder.reset();
  if (iOpen && order && order->Size() == static_cast<size_t>(iSubjectCount))
    iSubjectOrder = std::move(order);
}

// How many subjects after the first that begins with the key are read, at
// most, for the lowest record among them; past it the walk finds it sooner.
constexpr int kOrderedPrefixReads = 256;

// -1: none; -2: the order cannot tell (the walk must).
int BookReader::FindInSubjectOrder(int mode, std::string_view key) {
  const SubjectOrder& order = *iSubjectOrder;
  const auto count = static_cast<uint32_t>(iSubjectCount);
  bool sound = true;
  auto at = [&](size_t i) {
    const uint32_t r = order.At(i);
    if (r >= count) sound = false;
    return r < count ? static_cast<int>(r) : 0;
  };
  // The first place whose subject is not below the key.
  size_t lo = 0, hi = order.Size();
  while (lo < hi && sound) {
    const size_t mid = lo + (hi - lo) / 2;
    if (CompareBookSubjects(GetSubject(at(mid)), key) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (!sound) return -2;
  if (lo == order.Size()) return -1;
  const int first = at(lo);
  const std::string subject = GetSubject(first);
  if (mode == MatchWhole) return CompareBookSubjects(subject, key) == 0 ? first : -1;
  if (!BeginsWith(subject, key)) return -1;
  // Every subject that begins with the key follows; the walk gives the
  // lowest record among them.
  int best = first;
  for (size_t i = lo + 1; i < order.Size(); ++i) {
    if (static_cast<int>(i - lo) > kOrderedPrefixReads) return -2;
    const int r = at(i);
    if (!sound) return -2;
    if (!BeginsWith(GetSubject(r), key)) break;
    best = std::min(best, r);
  }
  return best;
}

int BookReader::FindSubject(int mode, std::string_view key) {
  if (!iOpen) return -1;
  if (!iIsVersion2 || iSorted == 0) {
    if (mode != MatchWhole && mode != MatchPrefix) return -1;
    if (iSubjectOrder) {
      const int found = FindInSubjectOrder(mode, key);
      if (found != -2) return found;
    }
    for (int i = 0; i < iSubjectCount; ++i) {
      const std::string subject = GetSubject(i);
      if (mode == MatchWhole ? CompareBookSubjects(subject, key) == 0 : BeginsWith(subject, key))
        return i;
    }
    return -1;
  }
  // One binary search for both modes; when no subject equals the key it
  // settles on a neighbour that begins with it.
  if (iSubjectCount <= 0) return -1;
  // While the range spans blocks, each step compares the first subject of a
  // block, read from that block's start alone: only the block that holds
  // the key is decoded whole. The subjects at lo and hi, once compared, are
  // kept: the last steps need not read them again from their blocks.
  int lo = 0;
  int hi = iSubjectCount - 1;
  std::string probe, loSubject, hiSubject;
  bool loKnown = false, hiKnown = false;
  for (;;) {
    const int d = hi - lo;
    int mid = d == 1 ? lo : lo + d / 2;
    if (!(d > 1 && PeekFirstSubjectOfBlock(lo, hi, mid, probe)))
      probe = mid == lo && loKnown ? loSubject : GetSubject(mid);
    const int c = CompareBookSubjects(probe, key);
    if (c == 0) {
      while (mid > 0 && !(mid - 1 == lo && loKnown) &&
             CompareBookSubjects(GetSubject(mid - 1), key) == 0)
        --mid;
      return mid;
    }
    if (d > 1) {
      if (c < 0) {
        lo = mid;
        loSubject.swap(probe);
        loKnown = true;
      } else {
        hi = mid;
        hiSubject.swap(probe);
        hiKnown = true;
      }
      continue;
    }
    if (BeginsWith(probe, key)) return lo;
    if (BeginsWith(hi == lo ? probe : hiKnown ? hiSubject : GetSubject(hi), key)) return hi;
    return -1;
  }
}

BookmarkEntry BookReader::GetBookmark(int slot) const {
  if (slot < 1 || slot >= kBookmarkSlots) return {};
  TakePendingBookmarks();
  return iBookmarks[slot];
}

void BookReader::SetBookmark(int slot, int textLength, int recordIndex, int reserved,
                             std::string_view text) {
  if (slot < 1 || slot >= kBookmarkSlots) return;
  TakePendingBookmarks();
  BookmarkEntry& e = iBookmarks[slot];
  e.textLength = textLength;
  e.recordIndex = recordIndex;
  e.reserved = reserved;
  e.text.assign(text.substr(0, kBookmarkTextSize));
}

bool BookReader::SaveBookmarks() {
  // A table never read was never changed.
  if (!iOpen || iReadOnly || iBookmarkOffset < 0 || iBookmarksPending) return true;
  uint8_t block[kBookmarkBlockSize] = {};
  for (int slot = 0; slot < kBookmarkSlots; ++slot) {
    const BookmarkEntry& e = iBookmarks[slot];
    uint8_t* p = block + slot * kBookmarkEntrySize;
    WriteLE32(p, static_cast<uint32_t>(e.textLength));
    WriteLE32(p + 4, static_cast<uint32_t>(e.recordIndex));
    WriteLE32(p + 8, static_cast<uint32_t>(e.reserved));
    const size_t n = std::min<size_t>(e.text.size(), kBookmarkTextSize);
    std::memcpy(p + 12, e.text.data(), n);
  }
  bool written = false;
  int error = 0;
  {
    // A reader loading the table meanwhile waits for the whole of it.
    const RangeLock lock(BookFile(), iBookmarkOffset, kBookmarkBlockSize, true);
    errno = 0;
    written = iLegacy ? iLegacy->WriteAt(iBookmarkOffset, block, sizeof block)
                      : WriteFile(iBookmarkOffset, block, sizeof block);
    error = errno;
  }
  if (written) return true;
  // A write of no bytes leaves errno unset; it is still an I/O failure.
  iWriteError = error != 0 ? error : EIO;
  return false;
}

void BookReader::LoadStoredBookmarks() {
  LoadBookmarks();
}

void BookReader::LoadBookmarks() {
  ReadBookmarkTable();
}

void BookReader::ReadBookmarkTable() const {
  iBookmarksPending = false;
  if (!iOpen || iBookmarkOffset < 0) return;
  uint8_t block[kBookmarkBlockSize];
  bool read = false;
  {
    // The table as a writer last saved it whole, never one it is saving.
    const RangeLock lock(BookFile(), iBookmarkOffset, kBookmarkBlockSize, false);
    read = iLegacy ? iLegacy->ReadAt(iBookmarkOffset, block, sizeof block)
                   : ReadFile(iBookmarkOffset, block, sizeof block) == sizeof block;
  }
  if (!read) return;
  for (int slot = 0; slot < kBookmarkSlots; ++slot) {
    const uint8_t* p = block + slot * kBookmarkEntrySize;
    BookmarkEntry& e = iBookmarks[slot];
    e.textLength = ReadLE32s(p);
    e.recordIndex = ReadLE32s(p + 4);
    e.reserved = ReadLE32s(p + 8);
    const size_t n = static_cast<size_t>(std::clamp(e.textLength, 0, kBookmarkTextSize));
    e.text.assign(reinterpret_cast<const char*>(p + 12), n);
  }
}

}  // namespace ql
