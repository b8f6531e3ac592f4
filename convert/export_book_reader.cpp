// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "export_book_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <span>

#include "book_sections.h"
#include "byte_order.h"
#include "codecs.h"
#include "text_encoding.h"
#include "user_texts.h"

namespace ql {

namespace {

constexpr int kHeaderWords = 5;
constexpr int kHeaderUid3 = 2;
constexpr int kHeaderVersion = 4;
constexpr int kVersion2HeaderWords = 4;  // sorted, subjectCount, chunkCount, chunkAreaSize
constexpr int kLegacyCodingPlain = 1;
constexpr int kLegacyCodingNibble2 = 2;
constexpr int kLegacyCodingNibble3 = 3;
constexpr uint32_t kLegacySubjectLengthMask = 0xFFFF;
constexpr char kLegacyLineBreak = '@';
constexpr char kLineFeed = '\n';

// This reader's nibble coding: one byte per symbol.
constexpr std::string_view kNibbleSingle = " eoatnirslh.";
constexpr std::string_view kNibbleLower = "bcdfgjkmpquvwxyz";
constexpr std::string_view kNibbleUpper = "ABCDEFGHIJKLMNOP";
constexpr std::string_view kNibbleRest = "QRSTUVWXYZ,;@'()";
constexpr uint8_t kNibbleByte = 12, kNibbleLowerSet = 13, kNibbleUpperSet = 14;

// Decodes coded into out (at most capacity bytes, then a NUL). Decoding ends
// once every coded byte has been fetched after a symbol, so a low nibble
// left in the last byte is never decoded, and a zero byte ends the text.
size_t DecodeLegacyNibbles(const uint8_t* coded, size_t length, char* out, size_t capacity) {
  size_t nibble = 0, j = 0;
  const size_t total = 2 * length;
  auto fetch = [&](uint8_t& v) {
    if (nibble >= total) return false;
    uint8_t b = coded[nibble / 2];
    v = (nibble % 2 == 0) ? static_cast<uint8_t>(b >> 4) : static_cast<uint8_t>(b & 0x0F);
    ++nibble;
    return true;
  };
  while (j < capacity && (nibble + 1) / 2 < length) {
    uint8_t n0, x, y;
    if (!fetch(n0)) break;
    char c;
    if (n0 < kNibbleByte) {
      c = kNibbleSingle[n0];
    } else if (n0 == kNibbleByte) {
      if (!fetch(x) || !fetch(y)) break;
      c = static_cast<char>((x << 4) | y);
      if (c == 0) break;
    } else {
      if (!fetch(x)) break;
      c = n0 == kNibbleLowerSet   ? kNibbleLower[x]
          : n0 == kNibbleUpperSet ? kNibbleUpper[x]
                                  : kNibbleRest[x];
    }
    out[j++] = c;
  }
  out[j] = 0;
  return j;
}

}  // namespace

ExportBookReader::~ExportBookReader() {
  CloseSource();
}

void ExportBookReader::CloseSource() {
  iUnicode.reset();  // reads through the file closed below
  CloseSourceFile();
  iSourceOpen = false;
}

int ExportBookReader::GetSourceSubjectCount() {
  return iSourceOpen ? iSubjectCount : 0;
}
int ExportBookReader::GetMaxSubjectLength() {
  return iSourceOpen ? kExportMaxSubjectLength : 0;
}
int ExportBookReader::GetMaxRecordLength() {
  return iSourceOpen ? kExportMaxRecordLength : 0;
}
int ExportBookReader::GetSourceSorted() {
  return iSourceOpen ? iSorted : 0;
}

SourceResult ExportBookReader::Seek(int64_t position) {
  if (!iFile || position < 0 || fseeko(iFile, static_cast<off_t>(position), SEEK_SET) != 0)
    return SourceResult::kSeekFailed;
  return SourceResult::kOk;
}

SourceResult ExportBookReader::ReadExact(void* into, size_t size) {
  if (size == 0) return SourceResult::kOk;
  if (!iFile || std::fread(into, 1, size, iFile) != size) return SourceResult::kShortRead;
  return SourceResult::kOk;
}

SourceResult ExportBookReader::ReadWord(int32_t& value) {
  uint8_t b[4];
  if (const SourceResult r = ReadExact(b, sizeof b); r != SourceResult::kOk) return r;
  value = ReadLE32s(b);
  return SourceResult::kOk;
}

SourceResult ExportBookReader::OpenSource(const std::string& path) {
  iPath = path;
  CloseSource();
  iSubjectCount = 0;
  iSorted = 0;
  iIndexWindowStart = -1;
  iIndexWindowValid = 0;
  iSubjectBlockCached = -1;
  iRecordBlockCached = -1;
  iSubjectOrder = OrderCheck{};
  iRecordOrder = OrderCheck{};
  iOverlapFound = false;

  iFile = std::fopen(iPath.c_str(), "rb");
  if (!iFile) return SourceResult::kCannotOpen;
  struct stat st {};
  if (fstat(fileno(iFile), &st) != 0 || !S_ISREG(st.st_mode)) return SourceResult::kCannotOpen;
  iFileSize = static_cast<int64_t>(st.st_size);

  uint8_t head[kHeaderWords * 4];
  if (const SourceResult r = ReadExact(head, sizeof head); r != SourceResult::kOk) return r;
  for (int k = 0; k < kHeaderWords; ++k) iHeader[static_cast<size_t>(k)] = ReadLE32s(head + 4 * k);
  uint32_t uid3 = static_cast<uint32_t>(iHeader[kHeaderUid3]);
  if (uid3 != kBookUid3 && uid3 != kBookUid3Legacy) return SourceResult::kNotABook;

  int32_t version = iHeader[kHeaderVersion];
  if (version < kVersion2Min) {
    int32_t count = 0;
    if (const SourceResult r = ReadWord(count); r != SourceResult::kOk) return r;
    if (const SourceResult r = ReadWord(iHeaderSize); r != SourceResult::kOk) return r;
    // The offset table must lie inside the file.
    if (count < 0 || kLegacyOffsetTable + 4 * int64_t{count} > iFileSize)
      return SourceResult::kShortRead;
    iSubjectCount = count;
    iSorted = 0;
    iSourceOpen = true;
    return SourceResult::kOk;
  }
  if (version == kVersionUnicode) {
    const SourceResult r = OpenUnicode();
    if (r == SourceResult::kOk) iSourceOpen = true;
    return r;
  }
  if (version > kVersion2Max) return SourceResult::kUnsupported;
  const SourceResult r = OpenVersion2();
  if (r == SourceResult::kOk) iSourceOpen = true;
  return r;
}

SourceResult ExportBookReader::OpenUnicode() {
  auto book = std::make_unique<UnicodeBookFile>();
  switch (book->Open(fileno(iFile), iFileSize)) {
    case UnicodeBookFile::Result::kOk:
      break;
    case UnicodeBookFile::Result::kUnsupported:
      return SourceResult::kUnsupported;
    case UnicodeBookFile::Result::kNoMemory:
      return SourceResult::kNoMemory;
    case UnicodeBookFile::Result::kDamaged:
      return SourceResult::kShortRead;
  }
  // A handheld database addresses its records with 32-bit offsets: a book
  // whose text passes 2 GiB cannot become one.
  if (book->RecordStreamLength() + book->SubjectStreamLength() > INT32_MAX)
    return SourceResult::kTooLarge;
  iSubjectCount = book->SubjectCount();
  iSorted = book->Sorted();
  iReplaced = 0;
  iReplacedSubjects.clear();
  iReplacedLast = -1;
  iUnicode = std::move(book);
  return SourceResult::kOk;
}

void ExportBookReader::Store(std::string_view utf8, int index, std::string& out) {
  out.clear();
  int64_t replaced = 0;
  AppendUtf8AsCp1252(utf8, out, replaced);
  if (replaced == 0) return;
  iReplaced += replaced;
  if (index != iReplacedLast && iReplacedSubjects.size() < TabTextReport::kReportNames) {
    bool damaged = false;
    iReplacedSubjects.push_back(RecordName(iUnicode->Subject(index, damaged), index));
  }
  iReplacedLast = index;
}

SourceResult ExportBookReader::OpenVersion2() {
  int32_t words[kVersion2HeaderWords];
  for (int32_t& w : words)
    if (const SourceResult r = ReadWord(w); r != SourceResult::kOk) return r;
  const int32_t sorted = words[0], count = words[1], chunkCount = words[2],
                chunkAreaSize = words[3];
  // Each chunk header takes 12 bytes of the file, so a short read ends this
  // walk long before a hostile count could.
  for (int32_t c = 0; c < chunkCount; ++c) {
    ChunkHeader chunk;
    if (const SourceResult r = ReadWord(chunk.type); r != SourceResult::kOk) return r;
    if (const SourceResult r = ReadWord(chunk.flag); r != SourceResult::kOk) return r;
    if (const SourceResult r = ReadWord(chunk.length); r != SourceResult::kOk) return r;
    if (chunk.flag != kChunkFlagSkippable) return SourceResult::kUnsupported;
    if (chunk.length < 0 || fseeko(iFile, chunk.length, SEEK_CUR) != 0)
      return SourceResult::kSeekFailed;
  }
  iSubjectIndexOffset = int64_t{kBookHeaderSize} + chunkAreaSize;
  if (count < 0 || iSubjectIndexOffset < 0 || iSubjectIndexOffset + 4 * int64_t{count} > iFileSize)
    return SourceResult::kShortRead;
  const int64_t subjectSection = iSubjectIndexOffset + 4 * int64_t{count};

  try {
    iIndexWindow.assign(static_cast<size_t>(kIndexWindowSize), 0);
  } catch (const std::bad_alloc&) {
    return SourceResult::kNoMemory;
  }
  iIndexWindowStart = -1;
  iIndexWindowSize = kIndexWindowSize;

  int32_t subjectSectionLength = 0, unused = 0;
  if (const SourceResult r =
          ReadSection(subjectSection, iSubjectBlockSize, iSubjectBlockCount, iSubjectBlockTable,
                      iSubjectDataOffset, subjectSectionLength);
      r != SourceResult::kOk)
    return r;
  const int64_t recordSection = subjectSection + 4 + int64_t{subjectSectionLength};
  if (const SourceResult r = ReadSection(recordSection, iRecordBlockSize, iRecordBlockCount,
                                         iRecordBlockTable, iRecordDataOffset, unused);
      r != SourceResult::kOk)
    return r;
  const size_t m = static_cast<size_t>(std::max(iSubjectBlockSize, iRecordBlockSize));
  try {
    iSubjectBlockBuffer.assign(static_cast<size_t>(iSubjectBlockSize) + kSubjectBufferExtra, 0);
    // One byte past the block tells a block that decodes long.
    iRecordBlockBuffer.assign(static_cast<size_t>(iRecordBlockSize) + 1, 0);
    iCompressedBuffer.assign(static_cast<size_t>(CompressedBufferSize(static_cast<int>(m))), 0);
    iSpillBuffer.assign(kSpillReadBytes, 0);
  } catch (const std::bad_alloc&) {
    return SourceResult::kNoMemory;
  }
  iSubjectBlockCached = -1;
  iRecordBlockCached = -1;
  iSubjectCount = count;
  iSorted = sorted;
  return SourceResult::kOk;
}

SourceResult ExportBookReader::ReadSection(int64_t sectionStart, int32_t& blockSize,
                                           int32_t& blockCount, std::vector<BlockTableEntry>& table,
                                           int64_t& dataOffset, int32_t& sectionLength) {
  if (const SourceResult r = Seek(sectionStart); r != SourceResult::kOk) return r;
  BookSection section;
  const ReadAtFunction read = [this](int64_t at, uint8_t* bytes, size_t count) -> size_t {
    if (Seek(at) != SourceResult::kOk) return 0;
    return std::fread(bytes, 1, count, iFile);
  };
  switch (ReadBookSection(read, iFileSize, sectionStart, true, section)) {
    case SectionResult::kOk:
      break;
    case SectionResult::kNoMemory:
      return SourceResult::kNoMemory;
    case SectionResult::kDamaged:
      return SourceResult::kShortRead;
  }
  table = std::move(section.table);
  blockSize = section.blockSize;
  blockCount = section.blockCount;
  dataOffset = section.dataOffset;
  sectionLength = section.sectionLength;
  return SourceResult::kOk;
}

SourceResult ExportBookReader::WindowIndex(int index) {
  if (iIndexWindowStart >= 0 && index >= iIndexWindowStart &&
      index < iIndexWindowStart + iIndexWindowValid)
    return SourceResult::kOk;
  iIndexWindowStart = -1;
  if (const SourceResult r = Seek(iSubjectIndexOffset + 4 * int64_t{index}); r != SourceResult::kOk)
    return r;
  uint8_t raw[kIndexWindowSize * 4];
  // Near the end of the index the window runs on into the following bytes;
  // in a small book the file may end sooner, which is fine as long as the
  // value asked for is there.
  size_t got = std::fread(raw, 1, sizeof raw, iFile);
  int32_t valid = static_cast<int32_t>(
      std::min<int64_t>(static_cast<int64_t>(got / 4), int64_t{iSubjectCount} - index));
  if (valid < 1) return SourceResult::kShortRead;
  for (int32_t k = 0; k < valid; ++k) iIndexWindow[static_cast<size_t>(k)] = ReadLE32s(raw + 4 * k);
  iIndexWindowStart = index;
  iIndexWindowValid = valid;
  return SourceResult::kOk;
}

SourceResult ExportBookReader::ReadCompressedBlock(const std::vector<BlockTableEntry>& table,
                                                   int32_t blockCount, int64_t dataOffset,
                                                   int32_t block, size_t& length) {
  if (block < 0 || block >= blockCount) return SourceResult::kShortRead;
  const BlockTableEntry& e = table[static_cast<size_t>(block)];
  const int64_t start = dataOffset + int64_t{e.offset};
  if (e.offset < 0 || e.compressedLength < 0 ||
      static_cast<size_t>(e.compressedLength) > iCompressedBuffer.size() ||
      start + e.compressedLength > iFileSize)
    return SourceResult::kShortRead;
  if (const SourceResult r = Seek(start); r != SourceResult::kOk) return r;
  length = static_cast<size_t>(e.compressedLength);
  return ReadExact(iCompressedBuffer.data(), length);
}

SourceResult ExportBookReader::LoadSubjectBlock(int32_t block) {
  if (iSubjectBlockCached == block) return SourceResult::kOk;
  iSubjectBlockCached = -1;
  size_t length = 0;
  if (const SourceResult r = ReadCompressedBlock(iSubjectBlockTable, iSubjectBlockCount,
                                                 iSubjectDataOffset, block, length);
      r != SourceResult::kOk)
    return r;
  const size_t blockSize = static_cast<size_t>(iSubjectBlockSize);
  // The byte past the block, which tells one that decodes long, is the
  // read-on's first and written over by it.
  const SectionBlock decoded =
      DecodeSectionBlock(iSubjectBlockTable, iSubjectBlockSize, block,
                         std::span<const uint8_t>(iCompressedBuffer.data(), length),
                         std::span<uint8_t>(iSubjectBlockBuffer.data(), blockSize + 1));
  iSubjectBlockLength = decoded.length;
  iSubjectBlockWhole = decoded.whole;
  iSubjectSpillLength = 0;
  if (block + 1 < iSubjectBlockCount) {
    // Read on into the next block so an entry that crosses the boundary
    // needs no second load.
    size_t spill = std::fread(iSpillBuffer.data(), 1, iSpillBuffer.size(), iFile);
    spill = SpillDecodeLength(iSubjectBlockTable, block, spill);
    iSubjectSpillLength = DecompressBlock(
        std::span<const uint8_t>(iSpillBuffer.data(), spill),
        std::span<uint8_t>(iSubjectBlockBuffer.data() + blockSize, kSubjectBufferExtra), true);
  }
  iSubjectBlockCached = block;
  return SourceResult::kOk;
}

SourceResult ExportBookReader::LoadRecordBlock(int32_t block) {
  if (iRecordBlockCached == block) return SourceResult::kOk;
  iRecordBlockCached = -1;
  size_t length = 0;
  if (const SourceResult r = ReadCompressedBlock(iRecordBlockTable, iRecordBlockCount,
                                                 iRecordDataOffset, block, length);
      r != SourceResult::kOk)
    return r;
  const SectionBlock decoded =
      DecodeSectionBlock(iRecordBlockTable, iRecordBlockSize, block,
                         std::span<const uint8_t>(iCompressedBuffer.data(), length),
                         std::span<uint8_t>(iRecordBlockBuffer));
  iRecordBlockLength = decoded.length;
  iRecordBlockWhole = decoded.whole;
  iRecordBlockCached = block;
  return SourceResult::kOk;
}

// Bytes of the subject buffer that hold decoded text: the block, and when the
// block is whole, the read-on from the next block right after it.
size_t ExportBookReader::SubjectBufferEnd() const {
  const size_t blockSize = static_cast<size_t>(iSubjectBlockSize);
  return iSubjectBlockLength == blockSize ? blockSize + iSubjectSpillLength : iSubjectBlockLength;
}

SourceResult ExportBookReader::SubjectByteAt(StreamCursor& cursor) {
  const size_t blockSize = static_cast<size_t>(iSubjectBlockSize);
  // Each turn moves one block on, so the loop ends with the stream.
  for (;;) {
    if (const SourceResult r = LoadSubjectBlock(cursor.block); r != SourceResult::kOk) return r;
    iSubjectDamageSeen |= !iSubjectBlockWhole;
    if (cursor.pos < SubjectBufferEnd()) return SourceResult::kOk;
    // A block that decoded short is damaged: what follows is not its text.
    if (iSubjectBlockLength < blockSize || cursor.pos < blockSize ||
        cursor.block + 1 >= iSubjectBlockCount)
      return SourceResult::kShortRead;
    cursor.pos -= blockSize;
    ++cursor.block;
  }
}

SourceResult ExportBookReader::ReadSubjectString(StreamCursor& cursor, std::string* out,
                                                 size_t keep) {
  for (;;) {
    if (const SourceResult r = SubjectByteAt(cursor); r != SourceResult::kOk) return r;
    const uint8_t* from = iSubjectBlockBuffer.data() + cursor.pos;
    const size_t available = SubjectBufferEnd() - cursor.pos;
    const void* nul = std::memchr(from, 0, available);
    const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - from) : available;
    if (out && out->size() < keep)
      out->append(reinterpret_cast<const char*>(from), std::min(n, keep - out->size()));
    cursor.pos += n;
    if (nul) {
      ++cursor.pos;
      return SourceResult::kOk;
    }
  }
}

int64_t ExportBookReader::StreamOffset(const StreamCursor& cursor) const {
  return int64_t{cursor.block} * iSubjectBlockSize + static_cast<int64_t>(cursor.pos);
}

SourceResult ExportBookReader::FindSubjectEntry(int index, StreamCursor& cursor, bool& hasTail,
                                                int32_t& tailOffset) {
  if (!iSourceOpen) return SourceResult::kNotOpen;
  if (index < 0 || index >= iSubjectCount) return SourceResult::kIndexOutOfRange;
  if (const SourceResult r = WindowIndex(index); r != SourceResult::kOk) return r;
  const int32_t o = iIndexWindow[static_cast<size_t>(index - iIndexWindowStart)];
  // A book without subject blocks has no entries to point into.
  if (o < 0 || iSubjectBlockSize <= 0) return SourceResult::kShortRead;
  cursor.block = o / iSubjectBlockSize;
  cursor.pos = static_cast<size_t>(o % iSubjectBlockSize);
  iSubjectDamageSeen = false;
  if (const SourceResult r = SubjectByteAt(cursor); r != SourceResult::kOk) return r;
  const uint8_t flags = iSubjectBlockBuffer[cursor.pos++];
  hasTail = (flags & kSubjectFlagTailBit) != 0;
  tailOffset = 0;
  if (hasTail) {
    uint32_t tail = 0;
    for (int k = 0; k < 4; ++k) {
      if (const SourceResult r = SubjectByteAt(cursor); r != SourceResult::kOk) return r;
      tail |= static_cast<uint32_t>(iSubjectBlockBuffer[cursor.pos++]) << (8 * k);
    }
    tailOffset = static_cast<int32_t>(tail);
  }
  return SourceResult::kOk;
}

int64_t ExportBookReader::NextEntryStart(int index) {
  if (index + 1 >= iSubjectCount) return -1;
  int32_t next = -1;
  if (Seek(iSubjectIndexOffset + 4 * (int64_t{index} + 1)) != SourceResult::kOk ||
      ReadWord(next) != SourceResult::kOk)
    return -1;
  if (next < 0 || next >= int64_t{iSubjectBlockCount} * iSubjectBlockSize) return -1;
  return next;
}

SourceResult ExportBookReader::LegacyRecordPosition(int index, int64_t& recordPosition) {
  int64_t entryPosition = 0;
  int32_t subjectLength = 0, position = 0;
  if (const SourceResult r = LegacySeekEntry(index, entryPosition, subjectLength);
      r != SourceResult::kOk)
    return r;
  if (const SourceResult r = Seek(entryPosition + 4 + int64_t{subjectLength});
      r != SourceResult::kOk)
    return r;
  if (const SourceResult r = ReadWord(position); r != SourceResult::kOk) return r;
  recordPosition = position;
  return SourceResult::kOk;
}

SourceResult ExportBookReader::LegacySeekEntry(int index, int64_t& entryPosition,
                                               int32_t& subjectLength) {
  if (const SourceResult r = Seek(kLegacyOffsetTable + 4 * int64_t{index}); r != SourceResult::kOk)
    return r;
  int32_t position = 0;
  if (const SourceResult r = ReadWord(position); r != SourceResult::kOk) return r;
  entryPosition = position;
  if (const SourceResult r = Seek(entryPosition); r != SourceResult::kOk) return r;
  return ReadWord(subjectLength);
}

SourceResult ExportBookReader::CheckOrder(OrderCheck& order, int index, const EntryExtent& extent) {
  if (index == 0) {
    order = OrderCheck{};
    order.next = 0;
  }
  if (order.next != index) {
    order.next = -1;
    return SourceResult::kOk;
  }
  if (!order.check.Follows(extent)) {
    iOverlapFound = true;
    CloseSource();
    return SourceResult::kEntriesOverlap;
  }
  order.next = index + 1;
  return SourceResult::kOk;
}

SourceResult ExportBookReader::GetSourceSubject(int index, char* buffer, int capacity) {
  if (!buffer) return SourceResult::kNullBuffer;
  buffer[0] = 0;
  const size_t cap = static_cast<size_t>(std::max(capacity, 0));
  if (!iSourceOpen) return SourceResult::kNotOpen;
  if (index < 0 || index >= iSubjectCount) return SourceResult::kIndexOutOfRange;

  if (iUnicode) {
    bool damaged = false;
    try {
      Store(iUnicode->Subject(index, damaged), index, iSubjectText);
    } catch (const std::bad_alloc&) {
      return SourceResult::kNoMemory;
    }
    const size_t length = std::min(iSubjectText.size(), cap);
    std::memcpy(buffer, iSubjectText.data(), length);
    buffer[length] = 0;
    return SourceResult::kOk;
  }

  if (IsLegacy()) {
    int64_t entryPosition = 0;
    int32_t subjectLength = 0;
    if (const SourceResult r = LegacySeekEntry(index, entryPosition, subjectLength);
        r != SourceResult::kOk)
      return r;
    size_t n = static_cast<uint32_t>(subjectLength) & kLegacySubjectLengthMask;
    EntryExtent extent;
    extent.entryStart = entryPosition;
    extent.entryEnd = entryPosition + 8 + static_cast<int64_t>(n);
    if (const SourceResult r = CheckOrder(iSubjectOrder, index, extent); r != SourceResult::kOk)
      return r;
    n = std::min(n, cap);
    size_t got = std::fread(buffer, 1, n, iFile);
    buffer[got] = 0;
    return got == n ? SourceResult::kOk : SourceResult::kShortRead;
  }

  StreamCursor cursor;
  bool hasTail = false;
  int32_t tailOffset = 0;
  if (const SourceResult r = FindSubjectEntry(index, cursor, hasTail, tailOffset);
      r != SourceResult::kOk)
    return r;
  iSubjectText.clear();
  EntryExtent extent;
  extent.entryStart = iIndexWindow[static_cast<size_t>(index - iIndexWindowStart)];
  const int64_t subjectStart = StreamOffset(cursor);
  // A subject cut off by the end of the stream gives what there is.
  try {
    ReadSubjectString(cursor, &iSubjectText, cap);
  } catch (const std::bad_alloc&) {
    return SourceResult::kNoMemory;
  }
  extent.entryEnd = StreamOffset(cursor);
  // One that runs on into the next entry is cut before it: those bytes are
  // the next entry's.
  const int64_t next = NextEntryStart(index);
  if (next > extent.entryStart && extent.entryEnd > next) {
    iSubjectText.resize(std::min(iSubjectText.size(),
                                 static_cast<size_t>(std::max<int64_t>(next - subjectStart, 0))));
    extent.entryEnd = next;
  }
  if (const SourceResult r = CheckOrder(iSubjectOrder, index, extent); r != SourceResult::kOk)
    return r;
  const size_t length = std::min(iSubjectText.size(), cap);
  std::memcpy(buffer, iSubjectText.data(), length);
  buffer[length] = 0;
  return SourceResult::kOk;
}

SourceResult ExportBookReader::GetSourceRecord(int index, int32_t& piece, char* buffer,
                                               int capacity) {
  piece = kSourcePieceComplete;  // the whole record always comes in one piece
  if (!buffer) return SourceResult::kNullBuffer;
  buffer[0] = 0;
  if (!iSourceOpen) return SourceResult::kNotOpen;
  if (index < 0 || index >= iSubjectCount) return SourceResult::kIndexOutOfRange;
  const size_t cap = static_cast<size_t>(std::max(capacity, 0));

  bool damaged = false;
  if (iUnicode) {
    EntryExtent extent;
    try {
      if (!iUnicode->ReadRecord(index, iUnicodeText, damaged, extent))
        return SourceResult::kNoMemory;
      if (const SourceResult r = CheckOrder(iRecordOrder, index, extent); r != SourceResult::kOk)
        return r;
      Store(std::string_view(reinterpret_cast<const char*>(iUnicodeText.data()),
                             iUnicodeText.size() - 1),
            index, iRecordText);
    } catch (const std::bad_alloc&) {
      return SourceResult::kNoMemory;
    }
    return HandOut(buffer, capacity, damaged);
  }

  if (IsLegacy()) {
    int64_t entryPosition = 0;
    int32_t subjectLength = 0, recordPosition = 0, codedLength = 0;
    if (const SourceResult r = LegacySeekEntry(index, entryPosition, subjectLength);
        r != SourceResult::kOk)
      return r;
    if (const SourceResult r = Seek(entryPosition + 4 + int64_t{subjectLength});
        r != SourceResult::kOk)
      return r;
    if (const SourceResult r = ReadWord(recordPosition); r != SourceResult::kOk) return r;
    if (const SourceResult r = Seek(recordPosition); r != SourceResult::kOk) return r;
    if (const SourceResult r = ReadWord(codedLength); r != SourceResult::kOk) return r;
    // Never allocate for bytes the file does not have.
    if (codedLength < 0 || int64_t{recordPosition} + 4 + codedLength > iFileSize)
      return SourceResult::kShortRead;
    // Entries and records lie back to back: the next subject's start where
    // this one's end, and a record that runs on into the next is cut there.
    int64_t nextEntry = 0, nextRecord = 0;
    int32_t nextLength = 0;
    if (index + 1 < iSubjectCount &&
        LegacySeekEntry(index + 1, nextEntry, nextLength) == SourceResult::kOk &&
        LegacyRecordPosition(index + 1, nextRecord) == SourceResult::kOk) {
      const int64_t entryEnd =
          entryPosition + 8 + (static_cast<uint32_t>(subjectLength) & kLegacySubjectLengthMask);
      const bool runsOn =
          nextRecord > recordPosition && int64_t{recordPosition} + 4 + codedLength > nextRecord;
      if (runsOn)
        codedLength = static_cast<int32_t>(std::max<int64_t>(nextRecord - recordPosition - 4, 0));
      damaged = runsOn || nextEntry != entryEnd ||
                nextRecord != int64_t{recordPosition} + 4 + codedLength;
    }
    EntryExtent extent;
    extent.entryStart = entryPosition;
    extent.entryEnd =
        entryPosition + 8 + (static_cast<uint32_t>(subjectLength) & kLegacySubjectLengthMask);
    extent.textStart = recordPosition;
    extent.textEnd = int64_t{recordPosition} + 4 + codedLength;
    if (const SourceResult r = CheckOrder(iRecordOrder, index, extent); r != SourceResult::kOk)
      return r;
    if (const SourceResult r = Seek(int64_t{recordPosition} + 4); r != SourceResult::kOk) return r;
    std::vector<uint8_t> coded;
    try {
      coded.resize(static_cast<size_t>(codedLength) + 1);
    } catch (const std::bad_alloc&) {
      return SourceResult::kNoMemory;
    }
    if (const SourceResult r = ReadExact(coded.data(), static_cast<size_t>(codedLength));
        r != SourceResult::kOk)
      return r;
    if (static_cast<size_t>(codedLength) > cap) return SourceResult::kRecordTooLong;
    size_t length = 0;
    switch (iHeader[kHeaderVersion] % 10) {
      case kLegacyCodingPlain:
        std::memcpy(buffer, coded.data(), static_cast<size_t>(codedLength));
        length = static_cast<size_t>(codedLength);
        buffer[length] = 0;
        break;
      case kLegacyCodingNibble2:
      case kLegacyCodingNibble3:
        // The decoded text can be twice the coded length; it is cut at the
        // caller's capacity rather than run past the buffer.
        length = DecodeLegacyNibbles(coded.data(), static_cast<size_t>(codedLength), buffer, cap);
        break;
      default:
        return SourceResult::kUnsupported;
    }
    for (size_t k = 0; k < length && buffer[k]; ++k)
      if (buffer[k] == kLegacyLineBreak) buffer[k] = kLineFeed;
    return damaged ? SourceResult::kDamaged : SourceResult::kOk;
  }

  StreamCursor cursor;
  bool hasTail = false;
  int32_t tailOffset = 0;
  if (const SourceResult r = FindSubjectEntry(index, cursor, hasTail, tailOffset);
      r != SourceResult::kOk)
    return r;
  EntryExtent extent;
  extent.entryStart = iIndexWindow[static_cast<size_t>(index - iIndexWindowStart)];
  if (const SourceResult r = ReadSubjectString(cursor, nullptr, 0); r != SourceResult::kOk)
    return r;
  const int64_t headStart = StreamOffset(cursor);
  iSubjectText.clear();
  // A head cut off by the end of what can be read gives what there is.
  bool headCut = false;
  try {
    headCut = ReadSubjectString(cursor, &iSubjectText, kRecordHeadMax + 1) != SourceResult::kOk;
  } catch (const std::bad_alloc&) {
    return SourceResult::kNoMemory;
  }
  extent.entryEnd = StreamOffset(cursor);
  if (hasTail) extent.textStart = tailOffset;
  // What the format lets a reader check of the entry: its blocks, a head as
  // long as the tail flag says, and its end where the next entry starts (or
  // the stream ends). One that runs on into the next entry is cut before it.
  damaged = headCut || iSubjectDamageSeen ||
            (hasTail ? iSubjectText.size() != kRecordHeadMax
                     : iSubjectText.size() > static_cast<size_t>(kRecordHeadMax));
  const int64_t next = NextEntryStart(index);
  if (next > extent.entryStart && extent.entryEnd > next) {
    iSubjectText.resize(
        std::min(iSubjectText.size(), static_cast<size_t>(std::max<int64_t>(next - headStart, 0))));
    extent.entryEnd = next;
    damaged = true;
  } else if (next >= 0 && extent.entryEnd != next) {
    damaged = true;
  } else if (index + 1 == iSubjectCount && cursor.block + 1 == iSubjectBlockCount &&
             iSubjectBlockCached == cursor.block && cursor.pos != iSubjectBlockLength) {
    damaged = true;
  }

  // Only the first capacity - 20 bytes are handed out, so reading stops once
  // the text is known to reach that far.
  const size_t keep = cap + 1;
  try {
    iRecordText.assign(iSubjectText);
    if (hasTail) {
      if (tailOffset < 0 || iRecordBlockSize <= 0) return SourceResult::kShortRead;
      int32_t block = tailOffset / iRecordBlockSize;
      size_t p = static_cast<size_t>(tailOffset % iRecordBlockSize);
      const size_t headLength = iRecordText.size();
      bool ended = false;
      while (iRecordText.size() < keep) {
        if (const SourceResult r = LoadRecordBlock(block); r != SourceResult::kOk) return r;
        if (p > iRecordBlockLength) return SourceResult::kShortRead;
        damaged = damaged || !iRecordBlockWhole;
        const uint8_t* from = iRecordBlockBuffer.data() + p;
        const size_t available = iRecordBlockLength - p;
        const void* nul = std::memchr(from, 0, available);
        size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - from) : available;
        iRecordText.append(reinterpret_cast<const char*>(from), n);
        // Where the tail ends, or at least runs to.
        extent.textEnd = int64_t{block} * iRecordBlockSize + static_cast<int64_t>(p + n) + 1;
        if (nul) {
          ended = true;
          // The last record's tail ends the stream.
          if (index + 1 == iSubjectCount &&
              (block + 1 != iRecordBlockCount || p + n + 1 != iRecordBlockLength))
            damaged = true;
          break;
        }
        // What follows a damaged block is not known to be this tail's.
        if (!iRecordBlockWhole) break;
        ++block;
        p = 0;
      }
      // A tail holds one byte at least, and the next record's starts where
      // it ends (a text cut at the capacity is not read to its end). One
      // that runs on into it is cut there, as those bytes are the next one's.
      const bool cutShort = !ended && iRecordText.size() < keep;
      if (cutShort || (ended && iRecordText.size() == headLength)) damaged = true;
      StreamCursor nextCursor;
      bool nextHasTail = false;
      int32_t nextTail = 0;
      if ((ended || cutShort) && index + 1 < iSubjectCount &&
          FindSubjectEntry(index + 1, nextCursor, nextHasTail, nextTail) == SourceResult::kOk &&
          !iSubjectDamageSeen && nextHasTail) {
        if (nextTail > tailOffset && (cutShort || extent.textEnd > nextTail)) {
          iRecordText.resize(std::min(iRecordText.size(),
                                      headLength + static_cast<size_t>(nextTail - tailOffset)));
          extent.textEnd = nextTail;
          damaged = true;
        } else if (nextTail != extent.textEnd) {
          damaged = true;
        }
      }
    }
    if (const SourceResult r = CheckOrder(iRecordOrder, index, extent); r != SourceResult::kOk)
      return r;
  } catch (const std::bad_alloc&) {
    return SourceResult::kNoMemory;
  }
  return HandOut(buffer, capacity, damaged);
}

SourceResult ExportBookReader::HandOut(char* buffer, int capacity, bool damaged) {
  const size_t cap = static_cast<size_t>(std::max(capacity, 0));
  const size_t length = iRecordText.size();
  const int64_t limit = int64_t{capacity} - kTooLongMargin;
  const size_t copied = std::min(length, static_cast<size_t>(std::max<int64_t>(limit, 0)));
  std::memcpy(buffer, iRecordText.data(), copied);
  buffer[copied] = 0;
  if (static_cast<int64_t>(length) >= limit && copied + kTooLongMark.size() <= cap) {
    std::memcpy(buffer + copied, kTooLongMark.data(), kTooLongMark.size());
    buffer[copied + kTooLongMark.size()] = 0;
  }
  return damaged ? SourceResult::kDamaged : SourceResult::kOk;
}

std::string ExportOpenFailureText(SourceResult code) {
  switch (code) {
    case SourceResult::kCannotOpen:
      return translate("messages", "cannot open the book");
    case SourceResult::kShortRead:
    case SourceResult::kSeekFailed:
      return translate("messages", "the book is damaged or truncated");
    case SourceResult::kNoMemory:
      return translate("messages", "not enough memory to read the book");
    case SourceResult::kNotABook:
      return translate("messages", "not a book");
    case SourceResult::kUnsupported:
      return translate("messages", "the book's version or one of its chunks is not supported");
    case SourceResult::kTooLarge:
      return translate("messages",
                       "the book's text passes 2 GiB, more than a handheld database can hold");
    default:
      return Fill(translate("messages", "cannot read the book (error %1)"),
                  {std::to_string(static_cast<int>(code))});
  }
}

}  // namespace ql
