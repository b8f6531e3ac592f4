// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Block filters: what lets a search of a version 2002 book pass over the
// records of a subject block without decoding anything. The filter of a
// subject block is a set of bits, one set for each trigram made of three
// word bytes (ASCII letters and digits, and the bytes of characters past
// ASCII) in the folded form (FoldUtf8) of the subject or the text of a
// record whose entry starts in the block. An occurrence of a folded term in
// a subject or a text is its bytes in the folded form, so every such
// trigram of the term has its bit set; a term with a trigram whose bit is
// clear occurs in none of the block's records. Bits are chosen by a hash of
// the trigram, so a set bit proves nothing.
//
// Stored, a filter is its bits (a power of two bytes long) followed by a
// 32-bit check of them, so that a damaged filter is known and not used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

// The bytes of each filter as the writer makes them: a WordNet subject
// block's records hold about 2,500 distinct trigrams, so about a quarter of
// the bits are set.
inline constexpr uint32_t kBlockFilterBytesWritten = 1024;
// What a reader accepts.
inline constexpr uint32_t kBlockFilterMinBytes = 64;
inline constexpr uint32_t kBlockFilterMaxBytes = 1 << 16;
inline constexpr size_t kBlockFilterCheckSize = 4;

// The check stored after a filter's bits.
uint32_t BlockFilterCheck(const uint8_t* filter, size_t bytes);

// Makes one filter of texts given in pieces, each piece cut anywhere: the
// bits are those of each whole text folded.
class BlockFilterBuilder {
 public:
  explicit BlockFilterBuilder(size_t bytes);
  // Adds a piece of the current text.
  void Add(std::string_view piece);
  // Ends the current text: the next piece starts another.
  void EndText();
  // The bits so far (the current text's ended first), and their check.
  const std::vector<uint8_t>& Bits() { return EndText(), iBits; }
  // Clears the bits for the next filter.
  void Clear();

 private:
  void Push(uint8_t folded);
  void AddUnits(std::string_view units);
  std::vector<uint8_t> iBits;
  int iShift;
  std::string iPending;  // stored bytes that may end in a cut character
  std::string iScratch;  // a character folded
  uint32_t iState = 0;   // the last three folded bytes, the last one highest
  size_t iRun = 0;       // word bytes ending the folded text so far
};

// A folded term's bits, for filters of one size.
class BlockFilterProbe {
 public:
  BlockFilterProbe() = default;
  BlockFilterProbe(std::string_view foldedTerm, size_t bytes);
  // Whether the term has a trigram to look for at all.
  bool Useful() const { return !iBits.empty(); }
  // False when filter proves the term absent from its block.
  bool MayHold(const uint8_t* filter) const;

 private:
  std::vector<uint32_t> iBits;
};

}  // namespace ql
