// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "unicode_book_file.h"

#include <unistd.h>
// The dictionary is used where the book's bytes were read, not copied.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include "block_filter.h"
#include "book_format.h"
#include "book_reader.h"
#include "byte_order.h"
#include "same_file.h"
#include "unicode_text.h"

namespace ql {

namespace {

// Index values are read this many at a time.
constexpr int kIndexWindow = 512;
// Decoded blocks kept per stream: an entry or text that runs over a block
// boundary, and a walk that goes back and forth between neighbours.
constexpr int kCachedBlocks = 2;

struct DictionaryDeleter {
  void operator()(ZSTD_DDict* d) const { ZSTD_freeDDict(d); }
};

}  // namespace

struct UnicodeBookFile::Layout {
  struct Section {
    int32_t blockCount = 0;
    int32_t blockSize = 0;
    int64_t streamLength = 0;
    int64_t dataOffset = 0;
    std::vector<int64_t> offsets;  // blockCount + 1: each block's start, then the end
    // The size block k decodes to.
    size_t BlockLength(int k) const {
      const int64_t start = int64_t{k} * blockSize;
      return static_cast<size_t>(std::min<int64_t>(blockSize, streamLength - start));
    }
  };
  int64_t indexOffset = 0;
  Section subjects;
  Section records;
  std::vector<uint8_t> dictionaryBytes;  // the dictionary refers to them
  std::unique_ptr<ZSTD_DDict, DictionaryDeleter> dictionary;
  size_t dictionarySize = 0;
  // The subject blocks' search filters: none while filterBytes is 0.
  uint32_t filterBytes = 0;
  int64_t filterCount = 0;
  int64_t filterOffset = 0;
};

struct UnicodeBookFile::Stream {
  const Layout::Section* section = nullptr;
  ZSTD_DCtx* context = nullptr;  // the file's, shared by its two streams
  struct Cached {
    int block = -1;
    uint64_t used = 0;
    size_t length = 0;
    bool whole = false;
    std::vector<uint8_t> bytes;
  };
  Cached cache[kCachedBlocks];
  uint64_t uses = 0;
  std::vector<uint8_t> coded;
  int64_t loads = 0;
  // Whether a term occurs in a block, for the last block and term asked.
  int termBlock = -1;
  uint64_t termId = 0;
  bool termOccurs = false;
  // Subjects: the term's filter bits, and the last block's filter as read.
  bool probed = false;
  std::string probeTerm;
  BlockFilterProbe probe;
  std::vector<uint8_t> filter;
  int64_t filterBlock = -1;
  bool filterRulesOut = false;
};

void UnicodeBookFile::ContextDeleter::operator()(ZSTD_DCtx* c) const {
  ZSTD_freeDCtx(c);
}

UnicodeBookFile::UnicodeBookFile() = default;
UnicodeBookFile::~UnicodeBookFile() = default;

size_t UnicodeBookFile::ReadAt(int64_t offset, uint8_t* bytes, size_t count) const {
  return ReadFileAt(iFile, offset, bytes, count);
}

UnicodeBookFile::Result UnicodeBookFile::Open(int fd, int64_t fileSize) {
  iFile = fd;
  auto layout = std::make_shared<Layout>();
  uint8_t header[kUnicodeHeaderSize];
  if (ReadAt(0, header, sizeof header) != sizeof header) return Result::kDamaged;
  if (ReadLE32s(header + kHeaderOffsetTextEncoding) != kTextEncodingUtf8 ||
      ReadLE32s(header + kHeaderOffsetBlockCoding) != kBlockCodingZstd)
    return Result::kUnsupported;
  iSorted = ReadLE32s(header + kHeaderOffsetSorted);
  iSubjectCount = ReadLE32s(header + kHeaderOffsetSubjectCount);
  const int32_t chunkCount = ReadLE32s(header + kHeaderOffsetChunkCount);
  const int32_t chunkAreaSize = ReadLE32s(header + kHeaderOffsetChunkAreaSize);
  if (iSubjectCount < 0 || chunkCount < 0 || chunkAreaSize < 0) return Result::kDamaged;
  if (chunkCount > (fileSize - kUnicodeHeaderSize) / kChunkHeaderSize) return Result::kDamaged;

  int64_t pos = kUnicodeHeaderSize;
  for (int32_t c = 0; c < chunkCount; ++c) {
    uint8_t chunk[kChunkHeaderSize];
    if (pos > fileSize - kChunkHeaderSize || ReadAt(pos, chunk, sizeof chunk) != sizeof chunk)
      return Result::kDamaged;
    const int32_t type = ReadLE32s(chunk);
    const int32_t flag = ReadLE32s(chunk + 4);
    const int32_t length = ReadLE32s(chunk + 8);
    if (length < 0 || length > fileSize - pos - kChunkHeaderSize) return Result::kDamaged;
    const int64_t data = pos + kChunkHeaderSize;
    if (type == kChunkTypeBookmarks) {
      if (length >= kBookmarkBlockSize) iBookmarkOffset = data;
    } else if (type == kChunkTypeDictionary) {
      if (length > kUnicodeMaxDictionary || layout->dictionary) return Result::kDamaged;
      std::vector<uint8_t>& bytes = layout->dictionaryBytes;
      bytes.resize(static_cast<size_t>(length));
      if (ReadAt(data, bytes.data(), bytes.size()) != bytes.size()) return Result::kDamaged;
      if (length > 0) {
        layout->dictionary.reset(ZSTD_createDDict_advanced(
            bytes.data(), bytes.size(), ZSTD_dlm_byRef, ZSTD_dct_auto, ZSTD_defaultCMem));
        if (!layout->dictionary) return Result::kDamaged;
      }
      layout->dictionarySize = bytes.size();
    } else if (type == kChunkTypeBlockFilters && layout->filterBytes == 0) {
      // Filters that do not add up are passed over, as any skippable chunk.
      uint8_t h[kBlockFilterChunkHeaderSize];
      if (length >= kBlockFilterChunkHeaderSize && ReadAt(data, h, sizeof h) == sizeof h) {
        const uint32_t bytes = ReadLE32(h);
        const int64_t count = ReadLE32(h + 4);
        const int64_t each = int64_t{bytes} + int64_t{kBlockFilterCheckSize};
        if (bytes >= kBlockFilterMinBytes && bytes <= kBlockFilterMaxBytes &&
            (bytes & (bytes - 1)) == 0 &&
            count * each == int64_t{length} - kBlockFilterChunkHeaderSize) {
          layout->filterBytes = bytes;
          layout->filterCount = count;
          layout->filterOffset = data + kBlockFilterChunkHeaderSize;
        }
      }
      if (layout->filterBytes == 0 && flag != kChunkFlagSkippable) return Result::kUnsupported;
    } else if (flag != kChunkFlagSkippable) {
      return Result::kUnsupported;
    }
    pos = data + length;
  }
  // The chunk area's size is the header's word, as in version 2001.
  layout->indexOffset = int64_t{kUnicodeHeaderSize} + chunkAreaSize;
  const int64_t subjectSection = layout->indexOffset + 8 * int64_t{iSubjectCount};
  if (layout->indexOffset > fileSize || subjectSection > fileSize) return Result::kDamaged;

  auto readSection = [&](int64_t at, Layout::Section& s, int64_t& end) {
    uint8_t h[kUnicodeSectionHeaderSize];
    if (at > fileSize - kUnicodeSectionHeaderSize || ReadAt(at, h, sizeof h) != sizeof h)
      return false;
    const int64_t sectionLength = ReadLE64s(h);
    s.blockCount = ReadLE32s(h + 8);
    s.blockSize = ReadLE32s(h + 12);
    s.streamLength = ReadLE64s(h + 16);
    if (sectionLength < kUnicodeSectionHeaderSize - 8 || sectionLength > fileSize - at - 8)
      return false;
    if (s.blockCount < 0 ||
        s.blockCount > (sectionLength - (kUnicodeSectionHeaderSize - 8)) / kUnicodeBlockEntrySize)
      return false;
    if (s.blockSize < 1 || s.blockSize > kUnicodeMaxBlockSize) return false;
    // The stream fills every block but the last, which holds 1 byte at least.
    if (s.streamLength < 0 || s.streamLength > int64_t{s.blockCount} * s.blockSize ||
        (s.blockCount > 0 && s.streamLength <= (int64_t{s.blockCount} - 1) * s.blockSize))
      return false;
    const int64_t tableAt = at + kUnicodeSectionHeaderSize;
    const size_t tableSize = static_cast<size_t>(s.blockCount) * kUnicodeBlockEntrySize;
    std::vector<uint8_t> table(tableSize);
    if (ReadAt(tableAt, table.data(), tableSize) != tableSize) return false;
    s.dataOffset = tableAt + static_cast<int64_t>(tableSize);
    end = at + 8 + sectionLength;
    const int64_t dataSize = end - s.dataOffset;
    s.offsets.resize(static_cast<size_t>(s.blockCount) + 1);
    int64_t expected = 0;
    for (int32_t k = 0; k < s.blockCount; ++k) {
      const uint8_t* e = table.data() + static_cast<size_t>(k) * kUnicodeBlockEntrySize;
      const int64_t offset = ReadLE64s(e);
      const int32_t length = ReadLE32s(e + 8);
      // Blocks lie back to back inside the section.
      if (offset != expected || length < 0 || length > dataSize - offset) return false;
      s.offsets[static_cast<size_t>(k)] = offset;
      expected = offset + length;
    }
    s.offsets.back() = expected;
    return true;
  };
  try {
    int64_t recordSection = 0, end = 0;
    if (!readSection(subjectSection, layout->subjects, recordSection) ||
        !readSection(recordSection, layout->records, end))
      return Result::kDamaged;
    if (layout->filterCount != layout->subjects.blockCount) layout->filterBytes = 0;
    iLayout = std::move(layout);
    return OpenView(*this, fd);
  } catch (const std::bad_alloc&) {
    return Result::kNoMemory;
  }
}

UnicodeBookFile::Result UnicodeBookFile::OpenView(const UnicodeBookFile& owner, int fd) {
  try {
    iFile = fd;
    if (&owner != this) {
      iLayout = owner.iLayout;
      iSubjectCount = owner.iSubjectCount;
      iSorted = owner.iSorted;
      iBookmarkOffset = -1;  // a view writes nothing
    }
    if (!iLayout) return Result::kDamaged;
    iContext.reset(ZSTD_createDCtx());
    if (!iContext) throw std::bad_alloc();
    // A frame may not ask for a window beyond the block it decodes into.
    ZSTD_DCtx_setParameter(iContext.get(), ZSTD_d_windowLogMax, 21);
    auto stream = [this](const Layout::Section& section) {
      auto s = std::make_unique<Stream>();
      s->section = &section;
      s->context = iContext.get();
      return s;
    };
    iSubjects = stream(iLayout->subjects);
    iRecords = stream(iLayout->records);
    iIndexWindow.assign(kIndexWindow, -1);
    iIndexWindowStart = -1;
    iEntry = Entry{};
    return Result::kOk;
  } catch (const std::bad_alloc&) {
    return Result::kNoMemory;
  }
}

int64_t UnicodeBookFile::RecordStreamLength() const {
  return iLayout ? iLayout->records.streamLength : 0;
}
int64_t UnicodeBookFile::SubjectStreamLength() const {
  return iLayout ? iLayout->subjects.streamLength : 0;
}
int UnicodeBookFile::SubjectBlockCount() const {
  return iLayout ? iLayout->subjects.blockCount : 0;
}
int UnicodeBookFile::RecordBlockCount() const {
  return iLayout ? iLayout->records.blockCount : 0;
}
size_t UnicodeBookFile::DictionarySize() const {
  return iLayout ? iLayout->dictionarySize : 0;
}
int64_t UnicodeBookFile::SubjectBlockLoads() const {
  return iSubjects ? iSubjects->loads : 0;
}
int64_t UnicodeBookFile::RecordBlockLoads() const {
  return iRecords ? iRecords->loads : 0;
}

const uint8_t* UnicodeBookFile::Block(Stream& stream, int block, size_t& length, bool& whole) {
  length = 0;
  whole = false;
  const Layout::Section& s = *stream.section;
  if (block < 0 || block >= s.blockCount) return nullptr;
  Stream::Cached* slot = &stream.cache[0];
  for (Stream::Cached& c : stream.cache) {
    if (c.block == block) {
      c.used = ++stream.uses;
      length = c.length;
      whole = c.whole;
      return c.bytes.data();
    }
    if (c.used < slot->used) slot = &c;
  }
  const int64_t codedAt = s.offsets[static_cast<size_t>(block)];
  const size_t codedLength =
      static_cast<size_t>(s.offsets[static_cast<size_t>(block) + 1] - codedAt);
  const size_t expected = s.BlockLength(block);
  slot->block = -1;
  stream.coded.resize(codedLength);
  slot->bytes.resize(expected);
  ++stream.loads;
  size_t got = 0;
  if (ReadAt(s.dataOffset + codedAt, stream.coded.data(), codedLength) == codedLength) {
    const size_t r =
        ZSTD_decompress_usingDDict(stream.context, slot->bytes.data(), expected,
                                   stream.coded.data(), codedLength, iLayout->dictionary.get());
    if (!ZSTD_isError(r)) got = r;
    slot->whole = !ZSTD_isError(r) && r == expected;
  } else {
    slot->whole = false;
  }
  // A block that does not decode whole gives nothing: what it did decode
  // cannot be trusted to be where the stream says.
  slot->length = slot->whole ? got : 0;
  slot->block = block;
  slot->used = ++stream.uses;
  length = slot->length;
  whole = slot->whole;
  return slot->bytes.data();
}

int64_t UnicodeBookFile::ReadString(Stream& stream, int64_t offset, size_t max, std::string& out,
                                    bool& damaged) {
  const Layout::Section& s = *stream.section;
  while (offset >= 0 && offset < s.streamLength) {
    size_t length = 0;
    bool whole = false;
    const uint8_t* bytes = Block(stream, static_cast<int>(offset / s.blockSize), length, whole);
    const size_t at = static_cast<size_t>(offset % s.blockSize);
    if (!whole || at >= length) break;
    const size_t room = length - at;
    const void* zero = std::memchr(bytes + at, 0, room);
    const size_t n =
        zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - (bytes + at)) : room;
    if (n > max - out.size()) break;  // longer than any string of a book
    out.append(reinterpret_cast<const char*>(bytes + at), n);
    if (zero) return offset + static_cast<int64_t>(n) + 1;
    offset += static_cast<int64_t>(n);
  }
  damaged = true;
  return -1;
}

bool UnicodeBookFile::ReadBytes(Stream& stream, int64_t offset, int64_t count,
                                std::vector<uint8_t>& out) {
  const Layout::Section& s = *stream.section;
  if (offset < 0 || count < 0 || offset > s.streamLength || count > s.streamLength - offset)
    return false;
  while (count > 0) {
    const int block = static_cast<int>(offset / s.blockSize);
    size_t length = 0;
    bool whole = false;
    const uint8_t* bytes = Block(stream, block, length, whole);
    const size_t at = static_cast<size_t>(offset % s.blockSize);
    if (!whole || at >= length) return false;
    const size_t n = static_cast<size_t>(std::min<int64_t>(count, int64_t(length - at)));
    out.insert(out.end(), bytes + at, bytes + at + n);
    offset += static_cast<int64_t>(n);
    count -= static_cast<int64_t>(n);
  }
  return true;
}

int64_t UnicodeBookFile::EntryStart(int index) {
  if (index < 0 || index >= iSubjectCount) return -1;
  if (iIndexWindowStart < 0 || index < iIndexWindowStart ||
      index >= iIndexWindowStart + kIndexWindow) {
    iIndexWindowStart = -1;
    const int start = index - index % kIndexWindow;
    const int count = std::min(kIndexWindow, iSubjectCount - start);
    uint8_t bytes[kIndexWindow * 8];
    const size_t want = static_cast<size_t>(count) * 8;
    const size_t got = ReadAt(iLayout->indexOffset + int64_t{start} * 8, bytes, want);
    for (int k = 0; k < kIndexWindow; ++k)
      iIndexWindow[static_cast<size_t>(k)] =
          static_cast<size_t>(k + 1) * 8 <= got ? ReadLE64s(bytes + k * 8) : -1;
    iIndexWindowStart = start;
  }
  const int64_t value = iIndexWindow[static_cast<size_t>(index - iIndexWindowStart)];
  return value < 0 || value >= iLayout->subjects.streamLength ? -1 : value;
}

bool UnicodeBookFile::FirstOfBlock(int lo, int index, int& first, std::string& subject) {
  if (lo < 0 || index <= lo || index >= iSubjectCount) return false;
  const Layout::Section& section = iLayout->subjects;
  const int64_t start = EntryStart(index);
  if (start < 0) return false;
  const auto block = static_cast<size_t>(start / section.blockSize);
  if (block >= static_cast<size_t>(section.blockCount)) return false;
  if (iBlockFirst.empty()) {
    iBlockFirst.assign(static_cast<size_t>(section.blockCount), -1);
    iBlockFirstSubject.resize(static_cast<size_t>(section.blockCount));
  }
  // Any entry between lo and index serves the search: the one remembered
  // for the block when it lies there, else the block's first one, found by
  // halving (entries start in stream order in a sound book; in another this
  // still ends on an entry in range, its subject read whole).
  const int known = iBlockFirst[block];
  if (known > lo && known <= index) {
    first = known;
    subject = iBlockFirstSubject[block];
    return true;
  }
  const int64_t blockStart = start - start % section.blockSize;
  // When lo lies in the block too, the search is within it: its subjects
  // are read from the one block decoded.
  const int64_t loStart = EntryStart(lo);
  if (loStart < 0 || loStart >= blockStart) return false;
  int from = lo + 1, to = index;
  while (from < to) {
    const int m = from + (to - from) / 2;
    const int64_t at = EntryStart(m);
    if (at < 0) return false;
    if (at >= blockStart)
      to = m;
    else
      from = m + 1;
  }
  bool damaged = false;
  const std::string_view read = Subject(from, damaged);
  if (damaged) return false;
  first = from;
  iBlockFirst[block] = from;
  iBlockFirstSubject[block].assign(read);
  subject = iBlockFirstSubject[block];
  return true;
}

const UnicodeBookFile::Entry& UnicodeBookFile::ReadEntry(int index) {
  if (iEntry.index == index) return iEntry;
  iEntry = Entry{};
  Entry& e = iEntry;
  e.index = index;
  e.start = EntryStart(index);
  if (e.start < 0) {
    e.damaged = true;
    return e;
  }
  std::vector<uint8_t> head;
  Stream& s = *iSubjects;
  if (!ReadBytes(s, e.start, 1, head)) {
    e.damaged = true;
    return e;
  }
  int64_t at = e.start + 1;
  e.inRecordStream = (head[0] & kSubjectFlagTailBit) != 0;
  if (e.inRecordStream) {
    head.clear();
    if (!ReadBytes(s, at, 4, head)) {
      e.damaged = true;
      return e;
    }
    const int32_t count = ReadLE32s(head.data());
    at += 4;
    head.clear();
    if (count < 1 || count > kUnicodeMaxPieces ||
        !ReadBytes(s, at, int64_t{count} * kUnicodePieceSize, head)) {
      e.damaged = true;
      return e;
    }
    at += int64_t{count} * kUnicodePieceSize;
    const int64_t stream = iLayout->records.streamLength;
    e.pieces.reserve(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k) {
      const uint8_t* p = head.data() + static_cast<size_t>(k) * kUnicodePieceSize;
      int64_t offset = ReadLE64s(p);
      int64_t length = ReadLE32s(p + 8);
      if (offset < 0 || length < 0 || offset > stream || length > stream - offset ||
          e.textLength + length > INT32_MAX) {
        e.damaged = true;
        offset = std::clamp<int64_t>(offset, 0, stream);
        length =
            std::clamp<int64_t>(length, 0, std::min(stream - offset, INT32_MAX - e.textLength));
      }
      e.pieces.emplace_back(offset, length);
      e.textLength += length;
    }
  }
  at = ReadString(s, at, kUnicodeMaxEntryString, e.subject, e.damaged);
  if (at >= 0 && !e.inRecordStream)
    at = ReadString(s, at, kUnicodeMaxEntryString, e.inlineText, e.damaged);
  if (at < 0) return e;
  e.end = at;
  // Entries lie back to back: one that does not end where the next starts
  // (the last where the stream ends) was not written so.
  const int64_t next =
      index + 1 < iSubjectCount ? EntryStart(index + 1) : iLayout->subjects.streamLength;
  if (next != at) e.damaged = true;
  return e;
}

std::string_view UnicodeBookFile::Subject(int index, bool& damaged) {
  const Entry& e = ReadEntry(index);
  damaged = e.damaged;
  return e.subject;
}

int64_t UnicodeBookFile::RecordLength(int index) {
  const Entry& e = ReadEntry(index);
  if (e.end < 0) return -1;
  return e.inRecordStream ? e.textLength : static_cast<int64_t>(e.inlineText.size());
}

bool UnicodeBookFile::ReadRecord(int index, std::vector<uint8_t>& text, bool& damaged,
                                 EntryExtent& extent) {
  text.clear();
  try {
    const Entry& e = ReadEntry(index);
    damaged = e.damaged;
    extent.entryStart = e.start;
    extent.entryEnd = e.end;
    if (e.end >= 0) {
      if (!e.inRecordStream) {
        text.assign(e.inlineText.begin(), e.inlineText.end());
      } else {
        text.reserve(static_cast<size_t>(e.textLength) + 1);
        for (const auto& [offset, length] : e.pieces)
          if (!ReadBytes(*iRecords, offset, length, text)) damaged = true;
        // Texts are shared: their places are not checked against each other.
        extent.textStart = extent.textEnd = -1;
      }
    }
    // Zero bytes end a text in every reader, as in the streams of 2001.
    const auto zero = std::find(text.begin(), text.end(), uint8_t{0});
    if (zero != text.end()) {
      text.erase(zero, text.end());
      damaged = true;
    }
    text.push_back(0);
    return true;
  } catch (const std::bad_alloc&) {
    text = {};
    return false;
  }
}

bool UnicodeBookFile::OnePiece(int index, int64_t& offset, int64_t& length) {
  const Entry& e = ReadEntry(index);
  if (e.end < 0 || e.damaged || !e.inRecordStream || e.pieces.size() != 1) return false;
  offset = e.pieces[0].first;
  length = e.pieces[0].second;
  return true;
}

std::string UnicodeBookFile::RecordHead(int index, size_t limit) {
  const Entry& e = ReadEntry(index);
  std::string head;
  if (e.end < 0) return head;
  if (!e.inRecordStream) {
    head = e.inlineText.substr(0, limit + 4);
  } else {
    std::vector<uint8_t> bytes;
    int64_t want = static_cast<int64_t>(limit) + 4;
    for (const auto& [offset, length] : e.pieces) {
      if (want <= 0) break;
      const int64_t n = std::min(want, length);
      if (!ReadBytes(*iRecords, offset, n, bytes)) break;
      want -= n;
    }
    head.assign(bytes.begin(), bytes.end());
  }
  head.erase(std::min(head.find('\0'), head.size()));
  if (head.size() <= limit) return head;
  // Cut before the first byte of the character that would not fit.
  size_t cut = limit;
  while (cut > 0 && (static_cast<uint8_t>(head[cut]) & 0xC0) == 0x80 && limit - cut < 3) --cut;
  head.resize(cut);
  return head;
}

bool UnicodeBookFile::CannotHold(int index, const Utf8FoldedFinder& finder, uint64_t finderId,
                                 bool subjectsOnly) {
  if (FilterRulesOut(index, finder)) return true;
  const Entry& e = ReadEntry(index);
  if (e.damaged || e.end <= e.start) return false;
  // Whether the term occurs in the block of stream that holds [from, to).
  auto absent = [&](Stream& stream, int64_t from, int64_t to) {
    const int64_t size = stream.section->blockSize;
    const int block = static_cast<int>(from / size);
    if (to > from && (to - 1) / size != block) return false;
    if (stream.termBlock != block || stream.termId != finderId) {
      size_t length = 0;
      bool whole = false;
      const uint8_t* bytes = Block(stream, block, length, whole);
      if (!whole) return false;
      stream.termOccurs =
          finder.Find(std::string_view(reinterpret_cast<const char*>(bytes), length), 0)
              .has_value();
      stream.termBlock = block;
      stream.termId = finderId;
    }
    return !stream.termOccurs;
  };
  if (!absent(*iSubjects, e.start, e.end)) return false;
  if (subjectsOnly || !e.inRecordStream) return true;
  if (e.pieces.size() != 1) return false;
  return absent(*iRecords, e.pieces[0].first, e.pieces[0].first + e.pieces[0].second);
}

bool UnicodeBookFile::FilterRulesOut(int index, const Utf8FoldedFinder& finder) {
  const Layout& layout = *iLayout;
  if (layout.filterBytes == 0) return false;
  const int64_t start = EntryStart(index);
  if (start < 0) return false;
  const int64_t block = start / layout.subjects.blockSize;
  if (block >= layout.filterCount) return false;
  Stream& s = *iSubjects;
  // Find Next asks again with a new finder for the same term: the filter
  // read for it still holds.
  if (!s.probed || s.probeTerm != finder.Term()) {
    s.probe = BlockFilterProbe(finder.Term(), layout.filterBytes);
    s.probeTerm.assign(finder.Term());
    s.probed = true;
    s.filterBlock = -1;
  }
  if (!s.probe.Useful()) return false;
  if (s.filterBlock != block) {
    const size_t each = layout.filterBytes + kBlockFilterCheckSize;
    s.filter.resize(each);
    s.filterBlock = block;
    s.filterRulesOut = false;
    // A filter that cannot be read whole, or is damaged, proves nothing.
    if (ReadAt(layout.filterOffset + block * static_cast<int64_t>(each), s.filter.data(), each) ==
            each &&
        ReadLE32(s.filter.data() + layout.filterBytes) ==
            BlockFilterCheck(s.filter.data(), layout.filterBytes))
      s.filterRulesOut = !s.probe.MayHold(s.filter.data());
  }
  return s.filterRulesOut;
}

std::vector<int> UnicodeBookFile::DamagedBlocks(bool subjects) {
  Stream& s = subjects ? *iSubjects : *iRecords;
  std::vector<int> damaged;
  for (int k = 0; k < s.section->blockCount; ++k) {
    size_t length = 0;
    bool whole = false;
    Block(s, k, length, whole);
    if (!whole) damaged.push_back(k);
  }
  return damaged;
}

void UnicodeBookFile::RecordsInBlock(bool subjects, int block, int& first, int& last) {
  first = last = -1;
  const Layout::Section& s = subjects ? iLayout->subjects : iLayout->records;
  const int64_t from = int64_t{block} * s.blockSize;
  const int64_t to = from + s.blockSize;
  for (int i = 0; i < iSubjectCount; ++i) {
    int64_t start = -1, end = -1;
    if (subjects) {
      start = EntryStart(i);
      const int64_t next = i + 1 < iSubjectCount ? EntryStart(i + 1) : s.streamLength;
      end = std::max(next, start + 1);
    } else {
      // The text's place is in the entry, which a damaged subject block may
      // not give.
      const Entry& e = ReadEntry(i);
      if (!e.inRecordStream || e.end < 0) continue;
      const bool touches = std::any_of(e.pieces.begin(), e.pieces.end(), [&](const auto& p) {
        return p.first < to && std::max(p.first + p.second, p.first + 1) > from;
      });
      if (!touches) continue;
      start = from;
      end = to;
    }
    if (start < 0 || start >= to || end <= from) continue;
    if (first < 0) first = i;
    last = i;
  }
}

}  // namespace ql
