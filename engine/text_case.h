// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Case mapping and word tests for search. Record texts and subjects are
// Windows-1252 bytes; search lowers them with the code page's own mapping
// (ASCII and the accented capitals) but decides word boundaries on ASCII
// letters only, looking at the bytes as stored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

// The ASCII case fold subjects are ordered and compared with, and that file
// names, extensions, tags and schemes are matched with: A-Z become a-z,
// every other byte stays.
constexpr uint8_t FoldAscii(uint8_t b) {
  return b >= 'A' && b <= 'Z' ? static_cast<uint8_t>(b + ('a' - 'A')) : b;
}
constexpr char FoldAscii(char c) {
  return static_cast<char>(FoldAscii(static_cast<uint8_t>(c)));
}

// Orders a and b as their folded copies would order: bytes as unsigned
// values after FoldAscii, a shorter string first when it starts the other.
// Negative, zero or positive.
inline int CompareFoldedAscii(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const uint8_t x = FoldAscii(static_cast<uint8_t>(a[i]));
    const uint8_t y = FoldAscii(static_cast<uint8_t>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Whether text starts (ends) with affix, folding text with FoldAscii; affix
// is given in lower case.
bool StartsWithFolded(std::string_view text, std::string_view affix);
bool EndsWithFolded(std::string_view text, std::string_view affix);

// Windows-1252 lower-case mapping: A-Z, 0xC0-0xD6 and 0xD8-0xDE move up by
// 0x20; the three capitals of the 0x80 row (S caron, OE, Z caron) move up by
// 0x10; Y diaeresis 0x9F becomes 0xFF. Every other byte maps to itself.
inline constexpr std::array<uint8_t, 256> kLowerCp1252 = [] {
  std::array<uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) table[static_cast<size_t>(b)] = static_cast<uint8_t>(b);
  constexpr int kCaseOffset = 0x20;
  for (int b = 'A'; b <= 'Z'; ++b)
    table[static_cast<size_t>(b)] = static_cast<uint8_t>(b + kCaseOffset);
  for (int b = 0xC0; b <= 0xDE; ++b)
    if (b != 0xD7)  // the multiplication sign has no small form
      table[static_cast<size_t>(b)] = static_cast<uint8_t>(b + kCaseOffset);
  table[0x8A] = 0x9A;
  table[0x8C] = 0x9C;
  table[0x8E] = 0x9E;
  table[0x9F] = 0xFF;
  return table;
}();

inline uint8_t LowerCp1252(uint8_t b) {
  return kLowerCp1252[b];
}

// Lower-cases text with the Windows-1252 mapping (the Find dialog does this
// to the terms before they reach the search).
std::string LowerCaseCp1252(std::string_view text);

// Lower-cases size bytes from src into dst (which may be src).
void LowerCaseInto(const uint8_t* src, uint8_t* dst, size_t size);

// Looks for a lower-case term in stored bytes as if they had been lowered
// with the Windows-1252 mapping, without lowering them first: a vector pass
// keeps the positions whose first and last bytes can lower to the term's
// first and last bytes, and only those are compared whole. Each term byte has
// at most two stored forms (itself and one capital); a term byte that is
// itself a capital never matches, as lowered text holds none.
class FoldedFinder {
 public:
  static constexpr size_t kNotFound = static_cast<size_t>(-1);

  // term must outlive the finder.
  explicit FoldedFinder(std::string_view term);

  // First occurrence at or after from; kNotFound when none. An empty term is
  // found at from.
  size_t Find(std::string_view text, size_t from) const;

  // Every occurrence in text from a start position on, in order, overlapping
  // ones included, in time linear in the text whatever the term: the vector
  // pass finds candidates while comparing them stays cheap, and once the
  // comparisons cost more than the text passed, the rest is scanned with the
  // term's border table (each text byte looked at a bounded number of times).
  class Scan {
   public:
    Scan(const FoldedFinder& finder, std::string_view text, size_t from);
    // The next occurrence, kNotFound once there is none.
    size_t Next();
    // The work done so far: the text passed since the start and the bytes
    // compared along the way.
    size_t Work() const { return iPos - iStart + iCompared; }

   private:
    size_t NextByTable();
    const FoldedFinder& iFinder;
    std::string_view iText;
    size_t iPos;           // the next start (vector pass) or text byte (table scan) to look at
    size_t iMatched = 0;   // table scan: term bytes matched before iPos
    size_t iCompared = 0;  // bytes compared by the vector pass so far
    size_t iStart;
    bool iByTable = false;
  };

 private:
  bool Matches(const uint8_t* p) const;
  // The first candidate at or after from whose ends match (vector pass).
  size_t Candidate(const uint8_t* bytes, size_t from, size_t lastStart) const;

  std::string_view iTerm;
  uint8_t iFirst[2] = {0, 0};
  uint8_t iLast[2] = {0, 0};
  bool iPossible = false;
  std::vector<uint32_t> iBorder;  // longest proper border of each prefix of the term
};

// A letter for the whole-word test: ASCII A-Z and a-z only; every other byte,
// the accented letters included, is a word boundary.
inline bool IsWordLetter(uint8_t b) {
  return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

// True when the occurrence [hit, hit + length) of text stands as a whole word:
// no letter right before it and none right after it.
bool IsWholeWord(std::string_view text, size_t hit, size_t length);

// How far a LinkTracker has looked through a text, kept between calls.
struct LinkScanState {
  size_t scanned = 1;  // bytes [1, scanned) were looked at for a TAB
  size_t lastTab = 0;  // the last TAB above byte 0 among them, 0 when none
};

// Answers IsInsideLink for hits taken in increasing order, remembering in
// state how far it has looked, so that a text's hits cost one pass over it.
class LinkTracker {
 public:
  LinkTracker(std::string_view text, LinkScanState& state) : iText(text), iState(state) {}
  // The same answer as IsInsideLink(text, hit); hit must not be smaller than
  // state.scanned.
  bool IsInsideLink(size_t hit);

 private:
  std::string_view iText;
  LinkScanState& iState;
};

// True when an occurrence at hit lies inside a link's target or display text.
// The test walks back from the byte before hit to the nearest TAB above byte 0
// (or to byte 0) and looks whether the byte after it is the link start code.
bool IsInsideLink(std::string_view text, size_t hit);

}  // namespace ql
