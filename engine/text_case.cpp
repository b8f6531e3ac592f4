// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "text_case.h"

#include <cstring>

#include "record_markup.h"

namespace ql {

bool StartsWithFolded(std::string_view text, std::string_view affix) {
  if (text.size() < affix.size()) return false;
  for (size_t i = 0; i < affix.size(); ++i)
    if (FoldAscii(text[i]) != affix[i]) return false;
  return true;
}

bool EndsWithFolded(std::string_view text, std::string_view affix) {
  return text.size() >= affix.size() &&
         StartsWithFolded(text.substr(text.size() - affix.size()), affix);
}

std::string LowerCaseCp1252(std::string_view text) {
  std::string lower(text);
  LowerCaseInto(reinterpret_cast<const uint8_t*>(text.data()),
                reinterpret_cast<uint8_t*>(lower.data()), lower.size());
  return lower;
}

void LowerCaseInto(const uint8_t* src, uint8_t* dst, size_t size) {
  // A plain table loop; compilers unroll it well and it stays far ahead of
  // the block decoder that feeds it.
  for (size_t i = 0; i < size; ++i) dst[i] = kLowerCp1252[src[i]];
}

namespace {

constexpr size_t kLanes = 16;
typedef uint8_t Lanes __attribute__((vector_size(kLanes)));

// The stored bytes that lower to b; false when none does (b is a capital).
bool StoredForms(uint8_t b, uint8_t (&forms)[2]) {
  int count = 0;
  for (size_t x = 0; x < kLowerCp1252.size() && count < 2; ++x)
    if (kLowerCp1252[x] == b) forms[count++] = static_cast<uint8_t>(x);
  if (count == 1) forms[1] = forms[0];
  return count > 0;
}

Lanes Splat(uint8_t b) {
  Lanes v;
  for (size_t k = 0; k < kLanes; ++k) v[k] = b;
  return v;
}

Lanes Load(const uint8_t* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

bool Any(Lanes v) {
  uint64_t halves[2];
  std::memcpy(halves, &v, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}

}  // namespace

FoldedFinder::FoldedFinder(std::string_view term) : iTerm(term) {
  if (term.empty()) return;
  iPossible = StoredForms(static_cast<uint8_t>(term.front()), iFirst) &&
              StoredForms(static_cast<uint8_t>(term.back()), iLast);
  // The border table of the term, for the scan that cannot be made slow.
  iBorder.assign(term.size(), 0);
  for (size_t i = 1, k = 0; i < term.size(); ++i) {
    while (k > 0 && term[i] != term[k]) k = iBorder[k - 1];
    if (term[i] == term[k]) ++k;
    iBorder[i] = static_cast<uint32_t>(k);
  }
}

bool FoldedFinder::Matches(const uint8_t* p) const {
  for (size_t k = 0; k < iTerm.size(); ++k)
    if (kLowerCp1252[p[k]] != static_cast<uint8_t>(iTerm[k])) return false;
  return true;
}

size_t FoldedFinder::Candidate(const uint8_t* bytes, size_t from, size_t lastStart) const {
  const size_t n = iTerm.size();
  size_t i = from;
  if (lastStart + 1 >= kLanes) {
    const Lanes first0 = Splat(iFirst[0]), first1 = Splat(iFirst[1]);
    const Lanes last0 = Splat(iLast[0]), last1 = Splat(iLast[1]);
    // Sixteen start positions a turn, while all of them can hold a hit.
    for (; i + kLanes <= lastStart + 1; i += kLanes) {
      const Lanes a = Load(bytes + i);
      const Lanes b = Load(bytes + i + n - 1);
      const auto candidates = ((a == first0) | (a == first1)) & ((b == last0) | (b == last1));
      if (!Any(reinterpret_cast<const Lanes&>(candidates))) continue;
      for (size_t lane = 0; lane < kLanes; ++lane)
        if (candidates[lane] != 0) return i + lane;
    }
  }
  for (; i <= lastStart; ++i) {
    const uint8_t a = bytes[i], b = bytes[i + n - 1];
    if ((a == iFirst[0] || a == iFirst[1]) && (b == iLast[0] || b == iLast[1])) return i;
  }
  return kNotFound;
}

size_t FoldedFinder::Find(std::string_view text, size_t from) const {
  if (iTerm.empty()) return from > text.size() ? kNotFound : from;
  return Scan(*this, text, from).Next();
}

FoldedFinder::Scan::Scan(const FoldedFinder& finder, std::string_view text, size_t from)
    : iFinder(finder), iText(text), iPos(from), iStart(from) {}

size_t FoldedFinder::Scan::Next() {
  const size_t n = iFinder.iTerm.size();
  if (n == 0 || !iFinder.iPossible || iPos > iText.size()) return kNotFound;
  if (iByTable) return NextByTable();
  if (n > iText.size()) return kNotFound;
  const auto* bytes = reinterpret_cast<const uint8_t*>(iText.data());
  const size_t lastStart = iText.size() - n;
  while (iPos <= lastStart) {
    // Comparing candidates may cost a few times the text passed, no more.
    if (iCompared > 4 * (iPos - iStart) + 4 * n) {
      iByTable = true;
      iMatched = 0;
      return NextByTable();
    }
    const size_t at = iFinder.Candidate(bytes, iPos, lastStart);
    if (at == kNotFound) break;
    iPos = at + 1;
    size_t k = 0;
    while (k < n && kLowerCp1252[bytes[at + k]] == static_cast<uint8_t>(iFinder.iTerm[k])) ++k;
    iCompared += k + 1;
    if (k == n) return at;
  }
  iPos = iText.size() + 1;
  return kNotFound;
}

size_t FoldedFinder::Scan::NextByTable() {
  const std::string_view term = iFinder.iTerm;
  const size_t n = term.size();
  const auto* bytes = reinterpret_cast<const uint8_t*>(iText.data());
  size_t k = iMatched;
  for (size_t i = iPos; i < iText.size(); ++i) {
    const uint8_t c = kLowerCp1252[bytes[i]];
    while (k > 0 && c != static_cast<uint8_t>(term[k])) k = iFinder.iBorder[k - 1];
    if (c == static_cast<uint8_t>(term[k])) ++k;
    if (k == n) {
      iPos = i + 1;
      iMatched = iFinder.iBorder[n - 1];
      return i + 1 - n;
    }
  }
  iPos = iText.size() + 1;
  iMatched = 0;
  return kNotFound;
}

bool IsWholeWord(std::string_view text, size_t hit, size_t length) {
  if (hit > text.size() || length > text.size() - hit) return false;
  if (hit > 0 && IsWordLetter(static_cast<uint8_t>(text[hit - 1]))) return false;
  size_t end = hit + length;
  if (end < text.size() && IsWordLetter(static_cast<uint8_t>(text[end]))) return false;
  return true;
}

bool LinkTracker::IsInsideLink(size_t hit) {
  if (hit > iText.size()) return false;
  if (hit == 0) return !iText.empty() && static_cast<uint8_t>(iText[0]) == kTagLinkStart;
  // The walk of IsInsideLink stops at the last TAB in [1, hit - 1], else at 1.
  LinkScanState& s = iState;
  for (; s.scanned < hit; ++s.scanned)
    if (static_cast<uint8_t>(iText[s.scanned]) == kTagByte) s.lastTab = s.scanned;
  const size_t next = s.lastTab > 0 ? s.lastTab + 1 : 1;
  return next < iText.size() && static_cast<uint8_t>(iText[next]) == kTagLinkStart;
}

bool IsInsideLink(std::string_view text, size_t hit) {
  if (hit > text.size()) return false;
  // i runs from hit - 1 down to the nearest TAB above byte 0, or to byte 0;
  // the byte after it tells whether a link starts there. For a hit at 0 the
  // walk does not run and the byte looked at is the hit's own first byte.
  size_t i = hit == 0 ? 0 : hit - 1;
  bool atStart = hit == 0;
  while (!atStart && i > 0 && static_cast<uint8_t>(text[i]) != kTagByte) --i;
  size_t next = atStart ? 0 : i + 1;
  return next < text.size() && static_cast<uint8_t>(text[next]) == kTagLinkStart;
}

}  // namespace ql
