// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "block_filter.h"

#include <algorithm>
#include <bit>

#include "text_case.h"
#include "unicode_text.h"

namespace ql {

namespace {

constexpr bool IsWordByte(uint8_t b) {
  return b >= 0x80 || (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

struct WordBytes {
  bool is[256] = {};
  constexpr WordBytes() {
    for (int b = 0; b < 256; ++b) is[b] = IsWordByte(static_cast<uint8_t>(b));
  }
  constexpr bool operator[](uint8_t b) const { return is[b]; }
};
constexpr WordBytes kWordByte;

// The bit of trigram (a, b, c) in a filter of 2^shift bits.
uint32_t TrigramBit(uint8_t a, uint8_t b, uint8_t c, int shift) {
  const uint32_t v = uint32_t{a} | uint32_t{b} << 8 | uint32_t{c} << 16;
  return static_cast<uint32_t>(v * 2654435761u) >> (32 - shift);
}

int ShiftOf(size_t bytes) {
  return std::countr_zero(bytes) + 3;
}

}  // namespace

uint32_t BlockFilterCheck(const uint8_t* filter, size_t bytes) {
  // FNV-1a.
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < bytes; ++i) h = (h ^ filter[i]) * 16777619u;
  return h;
}

BlockFilterBuilder::BlockFilterBuilder(size_t bytes) : iBits(bytes), iShift(ShiftOf(bytes)) {}

// Adds the folded byte b to the trigrams.
inline void BlockFilterBuilder::Push(uint8_t b) {
  iRun = kWordByte[b] ? iRun + 1 : 0;
  iState = (iState >> 8) | uint32_t{b} << 16;
  if (iRun >= 3) {
    const uint32_t bit = static_cast<uint32_t>(iState * 2654435761u) >> (32 - iShift);
    iBits[bit >> 3] |= static_cast<uint8_t>(1u << (bit & 7));
  }
}

// Folds whole units as FoldUtf8 does, a byte at a time.
void BlockFilterBuilder::AddUnits(std::string_view units) {
  const auto* p = reinterpret_cast<const uint8_t*>(units.data());
  const size_t n = units.size();
  uint8_t* bits = iBits.data();
  const int drop = 32 - iShift;
  for (size_t i = 0; i < n;) {
    // A run of ASCII bytes, without a branch for each.
    uint32_t state = iState, run = static_cast<uint32_t>(std::min<size_t>(iRun, 3));
    for (; i < n && p[i] < 0x80; ++i) {
      const uint8_t b = FoldAscii(p[i]);
      run = (std::min(run, 2u) + 1) * kWordByte[b];
      state = (state >> 8) | uint32_t{b} << 16;
      const uint32_t bit = static_cast<uint32_t>(state * 2654435761u) >> drop;
      bits[bit >> 3] |= static_cast<uint8_t>((run >= 3) << (bit & 7));
    }
    iState = state;
    iRun = run;
    if (i == n) break;
    char32_t cp = 0;
    const size_t len = DecodeUtf8(units, i, cp);
    if (len == 1) {
      Push(p[i]);
    } else {
      iScratch.clear();
      AppendUtf8Char(iScratch, FoldCodePoint(cp));
      for (char c : iScratch) Push(static_cast<uint8_t>(c));
    }
    i += len;
  }
}

void BlockFilterBuilder::Add(std::string_view piece) {
  const bool held = !iPending.empty();
  if (held) {
    iPending.append(piece);
    piece = iPending;
  }
  // Fold up to the last byte that starts a character or stands alone among
  // the last four (every byte that is no continuation byte starts a unit):
  // what follows may be the start of a character cut by the piece's end.
  size_t cut = piece.size();
  for (size_t k = 1; k <= 4 && k <= piece.size(); ++k) {
    if ((static_cast<uint8_t>(piece[piece.size() - k]) & 0xC0) != 0x80) {
      cut = piece.size() - k;
      break;
    }
  }
  AddUnits(piece.substr(0, cut));
  if (held)
    iPending.erase(0, cut);
  else
    iPending.assign(piece.substr(cut));
}

void BlockFilterBuilder::EndText() {
  AddUnits(iPending);
  iPending.clear();
  iRun = 0;
}

void BlockFilterBuilder::Clear() {
  std::fill(iBits.begin(), iBits.end(), 0);
  iPending.clear();
  iRun = 0;
}

BlockFilterProbe::BlockFilterProbe(std::string_view foldedTerm, size_t bytes) {
  const int shift = ShiftOf(bytes);
  size_t run = 0;
  for (size_t i = 0; i < foldedTerm.size(); ++i) {
    run = IsWordByte(static_cast<uint8_t>(foldedTerm[i])) ? run + 1 : 0;
    if (run >= 3)
      iBits.push_back(TrigramBit(static_cast<uint8_t>(foldedTerm[i - 2]),
                                 static_cast<uint8_t>(foldedTerm[i - 1]),
                                 static_cast<uint8_t>(foldedTerm[i]), shift));
  }
  std::sort(iBits.begin(), iBits.end());
  iBits.erase(std::unique(iBits.begin(), iBits.end()), iBits.end());
}

bool BlockFilterProbe::MayHold(const uint8_t* filter) const {
  for (uint32_t bit : iBits)
    if (!(filter[bit >> 3] >> (bit & 7) & 1)) return false;
  return true;
}

}  // namespace ql
