// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Case folding, ordering, search and word tests for text stored as UTF-8.
//
// Text is taken as a sequence of units: each well-formed UTF-8 character is
// one unit, and each byte that does not start one (a stray continuation byte,
// a cut or overlong sequence, an encoded surrogate, a value past U+10FFFF) is
// a unit of its own. Folding replaces every character by its simple case
// folding (one code point for one, no locale) and keeps every other byte, so
// it is defined on any bytes, keeps the units where they are and folds ASCII
// text exactly as FoldAscii does. Folding folded text changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

// The replacement character DecodeUtf8 gives for a byte that starts no
// well-formed character.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the unit at pos: sets cp to the character and returns its length
// in bytes (1 to 4); for a byte that starts no well-formed character sets cp
// to U+FFFD and returns 1, so a loop always advances. At or past the end of s
// it gives U+FFFD and 0.
size_t DecodeUtf8(std::string_view s, size_t pos, char32_t& cp);

// Appends the UTF-8 form of cp (which must be a scalar value).
void AppendUtf8Char(std::string& out, char32_t cp);

// The simple case folding of cp; cp itself when it has none (and for any
// value that is no code point).
char32_t FoldCodePoint(char32_t cp);

// Whether cp is a letter, a mark or a decimal digit: the characters words
// are made of.
bool IsWordCodePoint(char32_t cp);

// text with every character replaced by its simple case folding and every
// byte that starts no character kept as it is.
std::string FoldUtf8(std::string_view text);

// What the Find dialog and the command line make of a term before searching
// with it: its folded form.
inline std::string FoldTermUtf8(std::string_view term) {
  return FoldUtf8(term);
}

// Orders a and b as FoldUtf8(a) and FoldUtf8(b) order byte by byte (bytes as
// unsigned values, a string first when it starts the other), without making
// the copies. Negative, zero or positive; zero exactly when the folded forms
// are equal. On ASCII text it agrees with CompareFoldedAscii.
int CompareFoldedUtf8(std::string_view a, std::string_view b);

// Looks for a folded term in stored UTF-8 text as if the text had been folded
// with FoldUtf8, without folding it: an occurrence is a run of whole units of
// the text whose folded forms spell the term, given as its offset and length
// in the stored text (which may differ from the term's: U+212A KELVIN SIGN
// folds to the one byte 'k'). A vector pass keeps the positions whose first
// two bytes can start an occurrence, and only those are compared unit by
// unit: ASCII bytes folded by a table, characters stored as the term has
// them byte by byte, the rest decoded and folded.
class Utf8FoldedFinder {
 public:
  struct Hit {
    size_t offset;  // where the occurrence starts in the stored text
    size_t length;  // how many stored bytes it spans
  };

  // term should be folded (FoldUtf8); a character in it that folding changes
  // can never be matched, as folded text holds none. term is copied.
  explicit Utf8FoldedFinder(std::string_view term);

  // The first occurrence starting at or after from, if any. The empty term
  // has no occurrences.
  std::optional<Hit> Find(std::string_view text, size_t from) const;

  // Every occurrence in text starting at or after from, in increasing order of
  // offset, overlapping ones included, in time linear in the text whatever the
  // term: once comparing candidates costs more than a few times the text
  // passed, the rest is scanned unit by unit with the term's border table.
  class Scan {
   public:
    // The finder and the text must outlive the scan.
    Scan(const Utf8FoldedFinder& finder, std::string_view text, size_t from);
    // The next occurrence; none once there are no more.
    std::optional<Hit> Next();
    // The work done so far: the text passed since the start and the bytes
    // compared along the way.
    size_t Work() const { return iPos - iStart + iCompared; }

   private:
    std::optional<Hit> NextByTable();
    const Utf8FoldedFinder& iFinder;
    std::string_view iText;
    size_t iPos;           // the next start (vector pass) or unit (table scan) to look at
    size_t iStart;         // where the scan started
    size_t iCompared = 0;  // bytes compared by the vector pass so far
    bool iByTable = false;
    bool iDone = false;
    size_t iMatched = 0;             // table scan: term units matched before iPos
    size_t iUnitsSeen = 0;           // table scan: units passed
    std::vector<size_t> iUnitStart;  // table scan: starts of the last units, a ring
  };

  // How many units the term has.
  size_t TermUnits() const { return iUnits.size(); }
  // The term's bytes.
  std::string_view Term() const { return iTerm; }

 private:
  friend class Scan;
  // The units of the text from p on match the term: returns the end of the
  // occurrence, or 0 when they do not; adds the bytes looked at to compared.
  size_t MatchAt(std::string_view text, size_t p, size_t& compared) const;
  // The first position at or after from that passes the two-byte filter.
  size_t Candidate(const uint8_t* bytes, size_t size, size_t from) const;

  std::vector<uint32_t> iUnits;      // the term's units: a code point, or 0x110000 + a stray byte
  std::string iTerm;                 // the term's bytes
  std::vector<uint8_t> iUnitLength;  // the length of each unit in iTerm
  std::vector<uint32_t> iBorder;     // longest proper border of each prefix of iUnits
  // What the first and the second byte of an occurrence can be: a byte
  // passes when (byte | ors[k]) == values[k] for some k < count (a test
  // standing for one value, or for two that differ in one bit); count is 1, 2
  // or 4, padded by repeating a test, and 0 lets any byte pass.
  // Each value is kept sixteen times over, ready for the vector pass.
  struct ByteTest {
    alignas(16) uint8_t ors[4][16] = {}, values[4][16] = {};
    size_t count = 0;
  };
  ByteTest iFirst, iSecond;
  bool iPossible = false;
};

// True when the occurrence [hit, hit + length) of text stands as a whole word:
// no word character (IsWordCodePoint) right before hit and none right after
// the occurrence. Bytes that start no character count as no word character.
bool IsWholeWordUtf8(std::string_view text, size_t hit, size_t length);

}  // namespace ql
