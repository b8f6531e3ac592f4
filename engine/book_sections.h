// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The sections of a version 2 book as both of its readers (BookReader and
// the export's reader) see them: the section header, the block table and the
// read-on from a subject block into the next one, each checked against the
// file. The reading itself stays the caller's (pread or stdio), through a
// function that reads count bytes at an offset and returns how many it got.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "book_format.h"
#include "codecs.h"

namespace ql {

using ReadAtFunction = std::function<size_t(int64_t offset, uint8_t* bytes, size_t count)>;

struct BookSection {
  int32_t sectionLength = 0;
  int32_t blockCount = 0;
  int32_t blockSize = 0;
  int64_t dataOffset = 0;  // where the first block's coded bytes begin
  std::vector<BlockTableEntry> table;
};

enum class SectionResult { kOk, kDamaged, kNoMemory };

// Reads the section at offset of a file of fileSize bytes. Refused: a header
// or table that does not fit the file, a negative block count, block data
// beyond the 32-bit offsets of the format, a block size above
// kMaxBlockSizeRead or above both the written size and kMaxBlockExpansion
// times the file's size, and a block size below 1 (with sizelessEmpty, a
// size of 0 passes for a section without blocks).
SectionResult ReadBookSection(const ReadAtFunction& read, int64_t fileSize, int64_t offset,
                              bool sizelessEmpty, BookSection& section);

// Of got coded bytes read after block's own, how many the read-on into the
// next block decodes: at most kSpillDecodeBytes, and never past the next
// block's coded end (bytes beyond belong to the block after it).
size_t SpillDecodeLength(const std::vector<BlockTableEntry>& table, int block, size_t got);

// One block of a section decoded. length counts the bytes of the block's
// text (never more than its size); whole tells that nothing the format lets
// a reader check is wrong with it: its coded bytes are all in the file and
// start where the previous block's end, they decode cleanly (see
// DecompressBlockChecked), and to exactly blockSize bytes, the last block to
// 1 to blockSize.
struct SectionBlock {
  size_t length = 0;
  bool whole = false;
};

// Whether block, decoded (or scanned, see ScanBlockEnd) from codedSize bytes
// read for it into room bytes to decoded, is whole (see DecodeSectionBlock).
bool SectionBlockWhole(const std::vector<BlockTableEntry>& table, int32_t blockSize, int block,
                       size_t codedSize, size_t room, const BlockDecoding& decoded);

// Decodes block of the section with table and blockSize from coded, the
// bytes read for it (fewer than its compressedLength where the file ends),
// into dst, which must hold at least blockSize + 1 bytes: a block that
// decodes long is told by the byte past its size.
SectionBlock DecodeSectionBlock(const std::vector<BlockTableEntry>& table, int32_t blockSize,
                                int block, std::span<const uint8_t> coded, std::span<uint8_t> dst);

}  // namespace ql
