// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// CompressBlock: the block coder of version 2 books. A greedy LZ77 coder that
// finds matches through a table of two-byte pairs; its output is what
// DecompressBlock decodes, and it is fixed byte for byte by the algorithm:
// the oldest of equally long candidates wins, lengths are 3 to 17, distances
// at most 4095, and a short final group carries its item bits plus one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ql {

inline constexpr int kCompressMaxDistance = 4095;
inline constexpr int kCompressMinMatch = 3;
inline constexpr int kCompressMaxMatch = 17;
inline constexpr int kCompressPairValues = 65536;
inline constexpr int kCompressGroupItems = 8;

// Output room CompressBlock needs for an input of n bytes: n + n / 8 + 16.
constexpr size_t CompressBound(size_t n) {
  return n + n / 8 + 16;
}

// Compresses input[0, n) into output, which must hold CompressBound(n)
// bytes; returns the number of bytes written, 0 when n is 0 or the working
// memory cannot be had.
size_t CompressBlock(const uint8_t* input, uint8_t* output, size_t n);

// The same coder with its working memory (the pair table and the position
// array) kept between blocks, for writers that compress many blocks.
class BlockCompressor {
 public:
  size_t Compress(const uint8_t* input, uint8_t* output, size_t n);

 private:
  std::vector<int32_t> iPairCount;  // entries entered so far, per pair value
  std::vector<int32_t> iPairStart;  // start of each pair's run in iPositions
  std::vector<int32_t> iPairFirst;  // first entry of the run still inside the window
  std::vector<int32_t> iPositions;
};

}  // namespace ql
