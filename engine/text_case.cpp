#include "text_case.h"

#include <cstring>

#include "record_markup.h"

namespace ql {

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
}

bool FoldedFinder::Matches(const uint8_t* p) const {
  for (size_t k = 0; k < iTerm.size(); ++k)
    if (kLowerCp1252[p[k]] != static_cast<uint8_t>(iTerm[k])) return false;
  return true;
}

size_t FoldedFinder::Find(std::string_view text, size_t from) const {
  const size_t n = iTerm.size();
  if (from > text.size() || n > text.size() - from) return kNotFound;
  if (n == 0) return from;
  if (!iPossible) return kNotFound;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const size_t lastStart = text.size() - n;  // the last position a hit can start at
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
        if (candidates[lane] != 0 && Matches(bytes + i + lane)) return i + lane;
    }
  }
  for (; i <= lastStart; ++i)
    if (Matches(bytes + i)) return i;
  return kNotFound;
}

bool IsWholeWord(std::string_view text, size_t hit, size_t length) {
  if (hit > text.size() || length > text.size() - hit) return false;
  if (hit > 0 && IsWordLetter(static_cast<uint8_t>(text[hit - 1]))) return false;
  size_t end = hit + length;
  if (end < text.size() && IsWordLetter(static_cast<uint8_t>(text[end]))) return false;
  return true;
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
