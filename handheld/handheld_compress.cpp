// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "handheld_compress.h"

#include <cstring>
#include <vector>

namespace ql {

// The coder's definition is a forward scan: at every position p it grows a
// candidate byte by byte and keeps the lowest window position that still
// matches it. That reduces to this rule, which is what is implemented here:
//   let C = min(10, n - p - 1) (the last byte of a block is never inside a
//   match); find the longest match length L <= C over the window
//   [max(0, p - 2047), p), and the lowest position reaching it; L >= 3 gives
//   a match token, anything shorter a literal.
// Candidates come from chains of positions that share their first three bytes
// (hashed), walked from the lowest position in the window upwards, so the
// first position reaching C ends the walk and ties keep the lowest position.
// The run pass (counted escapes) is done as the tokens are emitted; it gives
// the bytes that rewriting the escapes afterwards would give.

namespace {

constexpr int kHashBits = 12;
constexpr size_t kHashSize = size_t{1} << kHashBits;
constexpr int32_t kNone = -1;
constexpr uint8_t kSpace = 0x20;
constexpr uint8_t kEscape = 0x01;
constexpr uint8_t kMatchBase = 0x80;
constexpr uint8_t kSpaceFold = 0x80;  // a space and 0x40..0x7F become one byte c ^ 0x80

inline uint32_t Hash3(const uint8_t* s) {
  uint32_t v = (uint32_t(s[0]) << 16) | (uint32_t(s[1]) << 8) | uint32_t(s[2]);
  return (v * 2654435761u) >> (32 - kHashBits);
}

inline bool NeedsEscape(uint8_t c) {
  return (c >= 0x01 && c <= 0x08) || c >= 0x80;
}

class TokenWriter {
 public:
  explicit TokenWriter(uint8_t* out) : iOut(out) {}

  void Literal(uint8_t c) {
    if (!iPendingSpace) {
      if (c == kSpace) {
        iPendingSpace = true;
      } else if (NeedsEscape(c)) {
        Escaped(c);
      } else {
        Plain(c);
      }
      return;
    }
    iPendingSpace = false;
    if (c >= 0x40 && c <= 0x7F) {
      Plain(static_cast<uint8_t>(c ^ kSpaceFold));
    } else if (NeedsEscape(c)) {
      Plain(kSpace);
      Escaped(c);
    } else {
      Plain(kSpace);
      Plain(c);
    }
  }

  void Match(size_t distance, size_t length) {
    if (iPendingSpace) {
      iPendingSpace = false;
      Plain(kSpace);
    }
    uint32_t v = static_cast<uint32_t>(distance * 8 + (length - kHandheldMinMatch));
    iOut[iLength++] = static_cast<uint8_t>(kMatchBase + (v >> 8));
    iOut[iLength++] = static_cast<uint8_t>(v & 0xFF);
    iRunCount = nullptr;
  }

  size_t Finish() {
    if (iPendingSpace) Plain(kSpace);
    iPendingSpace = false;
    return iLength;
  }

 private:
  void Plain(uint8_t c) {
    iOut[iLength++] = c;
    iRunCount = nullptr;
  }
  void Escaped(uint8_t c) {
    if (iRunCount && *iRunCount < kHandheldMaxRun) {
      ++*iRunCount;
    } else {
      iRunCount = iOut + iLength;
      iOut[iLength++] = kEscape;
    }
    iOut[iLength++] = c;
  }

  uint8_t* iOut;
  size_t iLength = 0;
  bool iPendingSpace = false;
  uint8_t* iRunCount = nullptr;  // count byte of the run the next escape may join
};

}  // namespace

size_t CompressHandheldBlock(const uint8_t* source, size_t sourceLength, uint8_t* destination) {
  if (sourceLength == 0) return 0;
  const size_t n = sourceLength;
  // Chains of positions by hash of their first three bytes, in ascending
  // order; iFirst is advanced lazily past positions that left the window.
  std::vector<int32_t> first(kHashSize, kNone), last(kHashSize, kNone);
  std::vector<int32_t> next(n, kNone);
  size_t inserted = 0;  // positions below this are in the chains
  const size_t hashable = n >= 3 ? n - 2 : 0;

  TokenWriter out(destination);
  size_t p = 0;
  while (p < n) {
    size_t cap = n - p - 1;
    if (cap > kHandheldMaxMatch) cap = kHandheldMaxMatch;
    size_t bestLength = 0, bestPos = 0;
    if (cap >= kHandheldMinMatch) {
      const size_t windowStart = p > kHandheldWindow ? p - kHandheldWindow : 0;
      for (; inserted < p && inserted < hashable; ++inserted) {
        uint32_t h = Hash3(source + inserted);
        int32_t pos = static_cast<int32_t>(inserted);
        if (last[h] == kNone)
          first[h] = pos;
        else
          next[static_cast<size_t>(last[h])] = pos;
        last[h] = pos;
      }
      uint32_t h = Hash3(source + p);
      int32_t s = first[h];
      while (s != kNone && static_cast<size_t>(s) < windowStart) s = next[static_cast<size_t>(s)];
      first[h] = s;
      if (s == kNone) last[h] = kNone;
      const uint8_t* target = source + p;
      for (; s != kNone; s = next[static_cast<size_t>(s)]) {
        const uint8_t* cand = source + s;
        if (cand[0] != target[0] || cand[1] != target[1] || cand[2] != target[2]) continue;
        size_t l = 3;
        while (l < cap && cand[l] == target[l]) ++l;
        if (l > bestLength) {
          bestLength = l;
          bestPos = static_cast<size_t>(s);
          if (l == cap) break;
        }
      }
    }
    if (bestLength >= kHandheldMinMatch) {
      out.Match(p - bestPos, bestLength);
      p += bestLength;
    } else {
      out.Literal(source[p]);
      ++p;
    }
  }
  return out.Finish();
}

}  // namespace ql
