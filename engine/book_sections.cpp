// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "book_sections.h"

#include <algorithm>
#include <limits>
#include <new>

#include "byte_order.h"
#include "codecs.h"

namespace ql {

SectionResult ReadBookSection(const ReadAtFunction& read, int64_t fileSize, int64_t offset,
                              bool sizelessEmpty, BookSection& section) {
  uint8_t head[kSectionHeaderSize];
  if (offset < 0 || offset > fileSize - kSectionHeaderSize ||
      read(offset, head, sizeof head) != sizeof head)
    return SectionResult::kDamaged;
  const int32_t length = ReadLE32s(head);
  const int32_t count = ReadLE32s(head + 4);
  const int32_t size = ReadLE32s(head + 8);
  if (count < 0 || size < 0 || size > kMaxBlockSizeRead) return SectionResult::kDamaged;
  if (size == 0 && !(sizelessEmpty && count == 0)) return SectionResult::kDamaged;
  if (size > kBlockSizeWritten && size > kMaxBlockExpansion * fileSize)
    return SectionResult::kDamaged;
  const int64_t tableBytes = int64_t{count} * kBlockTableEntrySize;
  if (tableBytes > fileSize - offset - kSectionHeaderSize) return SectionResult::kDamaged;
  const int64_t data = offset + kSectionHeaderSize + tableBytes;
  if (data > std::numeric_limits<int32_t>::max()) return SectionResult::kDamaged;
  std::vector<uint8_t> raw;
  try {
    raw.resize(static_cast<size_t>(tableBytes));
    section.table.assign(static_cast<size_t>(count), {});
  } catch (const std::bad_alloc&) {
    return SectionResult::kNoMemory;
  }
  if (read(offset + kSectionHeaderSize, raw.data(), raw.size()) != raw.size())
    return SectionResult::kDamaged;
  for (size_t k = 0; k < section.table.size(); ++k) {
    section.table[k].offset = ReadLE32s(raw.data() + k * kBlockTableEntrySize);
    section.table[k].compressedLength = ReadLE32s(raw.data() + k * kBlockTableEntrySize + 4);
  }
  section.sectionLength = length;
  section.blockCount = count;
  section.blockSize = size;
  section.dataOffset = data;
  return SectionResult::kOk;
}

size_t SpillDecodeLength(const std::vector<BlockTableEntry>& table, int block, size_t got) {
  size_t decode = std::min<size_t>(got, kSpillDecodeBytes);
  const size_t next = static_cast<size_t>(block) + 1;
  if (block < 0 || next >= table.size()) return 0;
  return std::min(decode, static_cast<size_t>(std::max(table[next].compressedLength, 0)));
}

bool SectionBlockWhole(const std::vector<BlockTableEntry>& table, int32_t blockSize, int block,
                       size_t codedSize, size_t room, const BlockDecoding& decoded) {
  if (block < 0 || static_cast<size_t>(block) >= table.size() || blockSize <= 0) return false;
  const size_t size = static_cast<size_t>(blockSize);
  const BlockTableEntry& e = table[static_cast<size_t>(block)];
  const bool last = static_cast<size_t>(block) + 1 == table.size();
  const int64_t start = block == 0 ? 0
                                   : int64_t{table[static_cast<size_t>(block) - 1].offset} +
                                         table[static_cast<size_t>(block) - 1].compressedLength;
  return decoded.clean && room > size && e.offset == start &&
         codedSize == static_cast<size_t>(std::max(e.compressedLength, 0)) &&
         (last ? decoded.length >= 1 && decoded.length <= size : decoded.length == size);
}

SectionBlock DecodeSectionBlock(const std::vector<BlockTableEntry>& table, int32_t blockSize,
                                int block, std::span<const uint8_t> coded, std::span<uint8_t> dst) {
  if (block < 0 || static_cast<size_t>(block) >= table.size() || blockSize <= 0) return {};
  const size_t size = static_cast<size_t>(blockSize);
  const size_t room = std::min(dst.size(), size + 1);
  const BlockDecoding decoded = DecompressBlockChecked(coded, dst.first(room));
  SectionBlock result;
  result.length = std::min(decoded.length, size);
  result.whole = SectionBlockWhole(table, blockSize, block, coded.size(), room, decoded);
  return result;
}

}  // namespace ql
