// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "compress_block.h"

#include <algorithm>
#include <new>

namespace ql {

namespace {

inline uint32_t PairAt(const uint8_t* input, size_t p) {
  return (uint32_t(input[p]) << 8) | input[p + 1];
}

// Gathers items under control bytes: eight items a group, bit 7 for the first.
class GroupWriter {
 public:
  explicit GroupWriter(uint8_t* output) : iOut(output) {}

  void Literal(uint8_t byte) {
    Begin();
    iOut[iPos++] = byte;
    End();
  }

  void Match(int length, int distance) {
    Begin();
    iOut[iControl] = uint8_t(iOut[iControl] | (0x80u >> iItems));
    iOut[iPos++] = uint8_t(((length - 2) << 4) + (distance >> 8));
    iOut[iPos++] = uint8_t(distance & 0xFF);
    End();
  }

  // A short final group gets bit 0 set, so its control byte is never 0 and
  // the decoder stops at the end of the input instead of reading 8 literals.
  size_t Finish() {
    if (iItems > 0) iOut[iControl] = uint8_t(iOut[iControl] + 1);
    return iPos;
  }

 private:
  void Begin() {
    if (iItems == 0) {
      iControl = iPos++;
      iOut[iControl] = 0;
    }
  }
  void End() {
    if (++iItems == kCompressGroupItems) iItems = 0;
  }

  uint8_t* iOut;
  size_t iPos = 0;
  size_t iControl = 0;
  int iItems = 0;
};

}  // namespace

size_t BlockCompressor::Compress(const uint8_t* input, uint8_t* output, size_t n) {
  if (n == 0 || n > size_t(INT32_MAX)) return 0;
  try {
    if (iPairCount.empty()) {
      iPairCount.assign(kCompressPairValues, 0);
      iPairStart.resize(kCompressPairValues);
      iPairFirst.resize(kCompressPairValues);
    }
    if (iPositions.size() < n) iPositions.resize(n);
  } catch (const std::bad_alloc&) {
    iPairCount.clear();
    return 0;
  }
  int32_t* count = iPairCount.data();
  int32_t* fill = iPairStart.data();  // next free slot of each pair's run
  int32_t* first = iPairFirst.data();
  int32_t* positions = iPositions.data();
  const int32_t size = int32_t(n);

  // Runs are laid out in order of first occurrence rather than by pair
  // value: only the contents of a run matter to the coder, and this way only
  // the pairs present are touched. count is left all zero for the next block.
  for (int32_t p = 0; p + 1 < size; ++p) ++count[PairAt(input, size_t(p))];
  int32_t sum = 0;
  for (int32_t p = 0; p + 1 < size; ++p) {
    uint32_t v = PairAt(input, size_t(p));
    if (count[v] != 0) {
      fill[v] = first[v] = sum;
      sum += count[v];
      count[v] = 0;
    }
  }
  auto enter = [&](int32_t p) {
    uint32_t v = PairAt(input, size_t(p));
    positions[fill[v]++] = p;
  };

  GroupWriter out(output);
  int32_t a = 0;
  while (a < size) {
    // Only lengths of 3 or more are emitted, and the winner is the oldest
    // candidate of the greatest length, so the search may start at best = 2
    // and stop once no later (nearer) candidate can be longer.
    int32_t best = kCompressMinMatch - 1;
    int32_t bestDistance = 0;
    const int32_t limit = std::min<int32_t>(kCompressMaxMatch, size - a);
    if (a + 1 < size && limit > best) {
      uint32_t v = PairAt(input, size_t(a));
      int32_t k = first[v];
      const int32_t end = fill[v];
      // Positions only fall out of the window as a grows, never back in.
      while (k < end && positions[k] < a - kCompressMaxDistance) ++k;
      first[v] = k;
      const uint8_t* here = input + a;
      for (; k < end; ++k) {
        int32_t p = positions[k];
        int32_t cap = std::min(limit, a - p - 1);
        if (cap <= best) break;  // caps shrink as candidates get nearer
        const uint8_t* there = input + p;
        if (there[best] != here[best]) continue;
        int32_t length = 2;  // the pair itself agrees
        while (length < cap && there[length] == here[length]) ++length;
        if (length > best) {
          best = length;
          bestDistance = a - p;
        }
      }
    }
    if (best >= kCompressMinMatch) {
      out.Match(best, bestDistance);
      for (int32_t step = 0; step < best; ++step) {
        ++a;
        if (a >= 2) enter(a - 2);
      }
    } else {
      out.Literal(input[a]);
      ++a;
      if (a >= 2) enter(a - 2);
    }
  }
  return out.Finish();
}

size_t CompressBlock(const uint8_t* input, uint8_t* output, size_t n) {
  BlockCompressor compressor;
  return compressor.Compress(input, output, n);
}

}  // namespace ql
