// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The version 2 book layout: named constants and the plain structs of the
// header, chunk header, bookmark entry and block table entry. All integers in
// a book are 32-bit little-endian and are read as signed values.
#pragma once

#include <cstdint>

namespace ql {

// Identifying words at offset 0.
inline constexpr uint32_t kBookUid1 = 0x10000037;
inline constexpr uint32_t kBookUid2 = 0x1000006D;
inline constexpr uint32_t kBookUid3 = 0x100016D2;
inline constexpr uint32_t kBookUid3Legacy = 0x10004297;
inline constexpr uint32_t kBookUidChecksum = 0xFCDDF4DC;

// Version word: 2000..2001 is this format, above is newer, below is legacy.
inline constexpr int32_t kVersion2Min = 2000;
inline constexpr int32_t kVersion2Written = 2001;
inline constexpr int32_t kVersion2Max = 2001;

// Version 2002: the version 2 layout with UTF-8 text, blocks coded with zstd
// (with a dictionary the book carries), 64-bit stream offsets, and record
// texts that several entries may share. Its header is longer by two words
// that name the text encoding and the block coding, so that a reader of
// this version refuses what it cannot read rather than misreading it.
inline constexpr int32_t kVersionUnicode = 2002;
inline constexpr int kUnicodeHeaderSize = 44;
inline constexpr int kHeaderOffsetTextEncoding = 36;
inline constexpr int kHeaderOffsetBlockCoding = 40;
inline constexpr int32_t kTextEncodingUtf8 = 1;
inline constexpr int32_t kBlockCodingZstd = 2;
// The chunk that holds the zstd dictionary the blocks were coded with (it
// must be understood: flag 0 as written).
inline constexpr int32_t kChunkTypeDictionary = 2;
inline constexpr int32_t kChunkFlagRequired = 0;
// The chunk of the subject blocks' search filters (block_filter.h), which a
// reader may pass over: filterBytes (4), blockCount (4), then each block's
// filter and its check (4).
inline constexpr int32_t kChunkTypeBlockFilters = 3;
inline constexpr int kBlockFilterChunkHeaderSize = 8;
// Section header: sectionLength (8), blockCount (4), blockSize (4),
// streamLength (8); block table entries: offset (8), compressedLength (4).
inline constexpr int kUnicodeSectionHeaderSize = 24;
inline constexpr int kUnicodeBlockEntrySize = 12;
// SubjectEntry: flags, then with kSubjectFlagTailBit the pieces of the
// record stream the text is made of, one after the other (their count, 4
// bytes, then offset 8 and length 4 each), the subject and its zero byte;
// without it the subject, its zero byte, the text itself and its zero byte.
// Pieces let records share stored texts: a record merged from several
// texts names each where it is stored.
inline constexpr int kUnicodePieceSize = 12;
inline constexpr int32_t kUnicodeMaxPieces = 4096;
// Block sizes as written, chosen by measurement on dictionaries: subject
// blocks small for lookups, record blocks larger for the coding.
inline constexpr int32_t kUnicodeSubjectBlockSize = 16 * 1024;
inline constexpr int32_t kUnicodeRecordBlockSize = 64 * 1024;
// Readers refuse larger blocks and dictionaries: zstd expands without a
// useful bound, so a block's size is the allocation's only limit.
inline constexpr int32_t kUnicodeMaxBlockSize = 1 << 20;
inline constexpr int32_t kUnicodeMaxDictionary = 1 << 20;
// The longest subject, or text kept in its entry, a reader takes.
inline constexpr int kUnicodeMaxEntryString = 1 << 16;

inline constexpr int kBookHeaderSize = 36;
inline constexpr int kHeaderOffsetVersion = 16;
inline constexpr int kHeaderOffsetSorted = 20;
inline constexpr int kHeaderOffsetSubjectCount = 24;
inline constexpr int kHeaderOffsetChunkCount = 28;
inline constexpr int kHeaderOffsetChunkAreaSize = 32;

inline constexpr int kChunkHeaderSize = 12;
inline constexpr int32_t kChunkTypeBookmarks = 1;
inline constexpr int32_t kChunkFlagSkippable = 1;

inline constexpr int kBookmarkSlots = 51;  // slot 0 is never used
inline constexpr int kBookmarkTextSize = 81;
inline constexpr int kBookmarkEntrySize = 12 + kBookmarkTextSize;                           // 93
inline constexpr int kBookmarkBlockSize = kBookmarkSlots * kBookmarkEntrySize;              // 4743
inline constexpr int kChunkAreaSizeWritten = kChunkHeaderSize + kBookmarkBlockSize;         // 4755
inline constexpr int kSubjectIndexOffsetWritten = kBookHeaderSize + kChunkAreaSizeWritten;  // 4791

inline constexpr int kSectionHeaderSize = 12;  // sectionLength, blockCount, blockSize
inline constexpr int kBlockTableEntrySize = 8;
inline constexpr int32_t kBlockSizeWritten = 25000;
// Readers refuse larger block sizes: no book needs them, and a hostile header
// must not make a reader ask for huge buffers. No block decodes to more than
// 8 times its coded size (one control byte and eight 2-byte references give
// 136 bytes from 17), so larger sizes than that of the whole file are refused
// too.
inline constexpr int32_t kMaxBlockSizeRead = 1 << 24;
inline constexpr int64_t kMaxBlockExpansion = 8;

// SubjectEntry flags: bit 7 says a tailOffset follows and the record has a tail.
inline constexpr uint8_t kSubjectFlagsHasTail = 0xE0;
inline constexpr uint8_t kSubjectFlagsNoTail = 0x60;
inline constexpr uint8_t kSubjectFlagTailBit = 0x80;
inline constexpr int kRecordHeadMax = 150;

// Readers of a subject block decode this much of the following block so an
// entry that crosses the boundary reads on without a second block load.
inline constexpr int kSpillReadBytes = 5000;
inline constexpr int kSpillDecodeBytes = 4000;
inline constexpr int kSpillLimit = 2000;
inline constexpr int kSubjectBufferExtra = 3000;
inline constexpr int kIndexWindowSize = 50;

// Legacy books (version word below 2000).
inline constexpr int kLegacyOffsetSubjectCount = 20;
inline constexpr int kLegacyOffsetHeaderSize = 24;
inline constexpr int kLegacyOffsetTable = 28;
inline constexpr int kLegacyReservedTail = 88;
inline constexpr int32_t kLegacyOpenedMark = 1000;
inline constexpr int32_t kLegacyBookmarkMark = 500;

struct BookHeader {
  uint32_t uid1 = kBookUid1;
  uint32_t uid2 = kBookUid2;
  uint32_t uid3 = kBookUid3;
  uint32_t uidChecksum = kBookUidChecksum;
  int32_t version = kVersion2Written;
  int32_t sorted = 0;
  int32_t subjectCount = 0;
  int32_t chunkCount = 1;
  int32_t chunkAreaSize = kChunkAreaSizeWritten;
};

struct ChunkHeader {
  int32_t type = 0;
  int32_t flag = 0;
  int32_t length = 0;
};

struct BlockTableEntry {
  int32_t offset = 0;
  int32_t compressedLength = 0;
};

// Compressed-buffer size for a block size m: m + m / 8 + 16.
constexpr int CompressedBufferSize(int m) {
  return m + m / 8 + 16;
}

}  // namespace ql
