// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "unicode_text.h"

#include <array>
#include <cstring>

#include "text_case.h"

namespace ql {

namespace {

#include "unicode_tables.inc"

// A byte that starts no character, as a unit: above every code point, so
// that it never equals one.
constexpr uint32_t kStrayUnit = 0x110000;

constexpr bool IsContinuation(uint8_t b) {
  return (b & 0xC0) == 0x80;
}

// Whether a fold block maps every code point of its range to itself; the
// reverse look-up of the finder passes over those.
constexpr auto kFoldBlockIsIdentity = [] {
  std::array<bool, std::size(kFoldBlocks)> identity{};
  for (size_t b = 0; b < identity.size(); ++b) {
    identity[b] = true;
    for (uint8_t v : kFoldBlocks[b])
      if (kFoldDelta[v] != 0) identity[b] = false;
  }
  return identity;
}();

// The unit at pos as the finder compares it: a folded code point, or
// kStrayUnit + the byte. Returns its length.
inline size_t FoldedUnitAt(std::string_view s, size_t pos, uint32_t& unit) {
  const auto b = static_cast<uint8_t>(s[pos]);
  if (b < 0x80) {
    unit = FoldAscii(b);
    return 1;
  }
  char32_t cp = 0;
  const size_t n = DecodeUtf8(s, pos, cp);
  unit = n == 1 ? kStrayUnit + b : FoldCodePoint(cp);
  return n;
}

// Whether pos starts a unit: it does unless it is a continuation byte inside
// a character that starts at most three bytes before it.
bool IsUnitStart(std::string_view s, size_t pos) {
  if (pos == 0 || pos >= s.size() || !IsContinuation(static_cast<uint8_t>(s[pos]))) return true;
  for (size_t back = 1; back <= 3 && back <= pos; ++back) {
    const size_t j = pos - back;
    if (IsContinuation(static_cast<uint8_t>(s[j]))) continue;
    char32_t cp = 0;
    const size_t n = DecodeUtf8(s, j, cp);
    return !(n > 1 && j + n > pos);
  }
  return true;
}

// The character that ends right at end, when a well-formed one does; U+FFFD
// (no word character) otherwise. Looks at most four bytes back.
char32_t CharBefore(std::string_view s, size_t end) {
  for (size_t back = 1; back <= 4 && back <= end; ++back) {
    const size_t j = end - back;
    const auto b = static_cast<uint8_t>(s[j]);
    if (IsContinuation(b)) continue;
    char32_t cp = 0;
    const size_t n = DecodeUtf8(s, j, cp);
    return n == back ? cp : kReplacementCharacter;
  }
  return kReplacementCharacter;
}

size_t EncodeUtf8(char32_t cp, uint8_t (&out)[4]) {
  if (cp < 0x80) {
    out[0] = static_cast<uint8_t>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
    out[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
    out[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
  out[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  return 4;
}

// Eight bytes at once for the ASCII runs of the comparison.
constexpr uint64_t kHighBits = 0x8080808080808080ULL;
constexpr uint64_t kEveryByte = 0x0101010101010101ULL;

inline uint64_t Load64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// FoldAscii on eight ASCII bytes (none with the high bit set): a byte is a
// capital when adding 0x3F carries it to 0x80 while adding 0x25 does not.
inline uint64_t FoldAscii8(uint64_t v) {
  const uint64_t atLeastA = v + (0x80 - 'A') * kEveryByte;
  const uint64_t pastZ = v + (0x80 - 'Z' - 1) * kEveryByte;
  return v | (((atLeastA & ~pastZ) & kHighBits) >> 2);
}

// The bytes of FoldUtf8(s), one at a time, made as they are asked for.
class FoldedBytes {
 public:
  explicit FoldedBytes(std::string_view s) : iText(s) {}
  bool Pending() const { return iAt < iLength; }
  size_t& Pos() { return iPos; }
  // The next byte, -1 at the end.
  int Next() {
    if (iAt < iLength) return iBuffer[iAt++];
    if (iPos >= iText.size()) return -1;
    const auto b = static_cast<uint8_t>(iText[iPos]);
    if (b < 0x80) {
      ++iPos;
      return FoldAscii(b);
    }
    char32_t cp = 0;
    const size_t n = DecodeUtf8(iText, iPos, cp);
    iPos += n;
    if (n == 1) return b;
    iLength = static_cast<uint8_t>(EncodeUtf8(FoldCodePoint(cp), iBuffer));
    iAt = 1;
    return iBuffer[0];
  }

 private:
  std::string_view iText;
  size_t iPos = 0;
  uint8_t iBuffer[4] = {0, 0, 0, 0};
  uint8_t iLength = 0, iAt = 0;
};

constexpr size_t kLanes = 16;
typedef uint8_t Lanes __attribute__((vector_size(kLanes)));

inline Lanes Splat(uint8_t b) {
  Lanes v;
  std::memset(&v, b, sizeof v);
  return v;
}

inline Lanes Load(const uint8_t* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The lane of the first set byte of a comparison result, kLanes when none.
template <typename Mask>
inline size_t FirstLane(Mask m) {
  uint64_t halves[2];
  static_assert(sizeof m == sizeof halves);
  std::memcpy(halves, &m, sizeof halves);
  for (size_t h = 0; h < 2; ++h)
    if (halves[h] != 0)
      for (size_t k = 0; k < 8; ++k)
        if ((halves[h] >> (8 * k)) & 0xFF) return 8 * h + k;
  return kLanes;
}

// The vector pass for N1 and N2 tests on the first and the second byte (0:
// any byte passes).
template <size_t N1, size_t N2, typename Test>
size_t FirstCandidate(const uint8_t* bytes, size_t size, size_t from, const Test& first,
                      const Test& second) {
  size_t i = from;
  Lanes fo[N1 > 0 ? N1 : 1], fv[N1 > 0 ? N1 : 1], so[N2 > 0 ? N2 : 1], sv[N2 > 0 ? N2 : 1];
  for (size_t k = 0; k < N1; ++k) {
    fo[k] = Load(first.ors[k]);
    fv[k] = Load(first.values[k]);
  }
  for (size_t k = 0; k < N2; ++k) {
    so[k] = Load(second.ors[k]);
    sv[k] = Load(second.values[k]);
  }
  for (; i + kLanes + 1 <= size; i += kLanes) {
    Lanes m = Splat(0xFF);
    if constexpr (N1 > 0) {
      const Lanes a = Load(bytes + i);
      auto in = (a | fo[0]) == fv[0];
      for (size_t k = 1; k < N1; ++k) in |= (a | fo[k]) == fv[k];
      m &= reinterpret_cast<const Lanes&>(in);
    }
    if constexpr (N2 > 0) {
      const Lanes b = Load(bytes + i + 1);
      auto in = (b | so[0]) == sv[0];
      for (size_t k = 1; k < N2; ++k) in |= (b | so[k]) == sv[k];
      m &= reinterpret_cast<const Lanes&>(in);
    }
    const size_t lane = FirstLane(m);
    if (lane < kLanes) return i + lane;
  }
  auto passes = [](const Test& t, size_t n, uint8_t b) {
    for (size_t k = 0; k < n; ++k)
      if ((b | t.ors[k][0]) == t.values[k][0]) return true;
    return n == 0;
  };
  for (; i < size; ++i) {
    if (!passes(first, N1, bytes[i])) continue;
    if (N2 > 0 && (i + 1 >= size || !passes(second, N2, bytes[i + 1]))) continue;
    return i;
  }
  return size;
}

// The values a byte of an occurrence can have, for the vector pass; past
// eight values any byte passes.
struct ByteFilter {
  uint8_t bytes[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  size_t count = 0;
  bool any = false;
  void Add(uint8_t b) {
    if (any || std::memchr(bytes, b, count) != nullptr) return;
    if (count == std::size(bytes))
      any = true;
    else
      bytes[count++] = b;
  }
  // The tests for these values: two values that differ in one bit share a
  // test. More than four tests (or no values) let any byte pass.
  template <typename Test>
  void MakeTests(Test& test) const {
    test = Test{};
    if (any || count == 0) return;
    bool used[8] = {false, false, false, false, false, false, false, false};
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
      if (used[i]) continue;
      if (n == 4) {
        test = Test{};
        return;
      }
      uint8_t bit = 0;
      for (size_t j = i + 1; j < count && bit == 0; ++j) {
        const auto diff = static_cast<uint8_t>(bytes[i] ^ bytes[j]);
        if (!used[j] && (diff & (diff - 1)) == 0) {
          used[j] = true;
          bit = diff;
        }
      }
      std::memset(test.ors[n], bit, sizeof test.ors[n]);
      std::memset(test.values[n], bytes[i] | bit, sizeof test.values[n]);
      ++n;
    }
    for (size_t k = n; k < 4; ++k) {
      std::memcpy(test.ors[k], test.ors[0], sizeof test.ors[k]);
      std::memcpy(test.values[k], test.values[0], sizeof test.values[k]);
    }
    test.count = n == 3 ? 4 : n;
  }
};

// Every character whose folding is cp, as UTF-8.
std::vector<std::string> FoldSources(char32_t cp) {
  std::vector<std::string> sources;
  if (FoldCodePoint(cp) != cp) return sources;  // folded text never holds cp
  auto add = [&](char32_t c) {
    std::string s;
    AppendUtf8Char(s, c);
    sources.push_back(std::move(s));
  };
  add(cp);
  for (size_t block = 0; block < std::size(kFoldIndex); ++block) {
    const size_t index = kFoldIndex[block];
    if (kFoldBlockIsIdentity[index]) continue;
    for (size_t k = 0; k <= kFoldMask; ++k) {
      const int32_t delta = kFoldDelta[kFoldBlocks[index][k]];
      const auto c = static_cast<char32_t>((block << kFoldShift) + k);
      if (delta != 0 && static_cast<char32_t>(static_cast<int32_t>(c) + delta) == cp) add(c);
    }
  }
  return sources;
}

}  // namespace

size_t DecodeUtf8(std::string_view s, size_t pos, char32_t& cp) {
  cp = kReplacementCharacter;
  if (pos >= s.size()) return 0;
  const auto* p = reinterpret_cast<const uint8_t*>(s.data()) + pos;
  const size_t left = s.size() - pos;
  const uint8_t b0 = p[0];
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  if (b0 < 0xC2 || b0 > 0xF4) return 1;  // a continuation byte, an overlong lead or past U+10FFFF
  if (b0 < 0xE0) {
    if (left < 2 || !IsContinuation(p[1])) return 1;
    cp = static_cast<char32_t>(((b0 & 0x1F) << 6) | (p[1] & 0x3F));
    return 2;
  }
  // The second byte's range rules out overlong forms, surrogates and values
  // past U+10FFFF.
  const uint8_t low = b0 == 0xE0 ? 0xA0 : b0 == 0xF0 ? 0x90 : 0x80;
  const uint8_t high = b0 == 0xED ? 0x9F : b0 == 0xF4 ? 0x8F : 0xBF;
  if (left < 2 || p[1] < low || p[1] > high) return 1;
  if (b0 < 0xF0) {
    if (left < 3 || !IsContinuation(p[2])) return 1;
    cp = static_cast<char32_t>(((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
    return 3;
  }
  if (left < 4 || !IsContinuation(p[2]) || !IsContinuation(p[3])) return 1;
  cp = static_cast<char32_t>(((b0 & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) |
                             (p[3] & 0x3F));
  return 4;
}

void AppendUtf8Char(std::string& out, char32_t cp) {
  uint8_t bytes[4];
  out.append(reinterpret_cast<const char*>(bytes), EncodeUtf8(cp, bytes));
}

char32_t FoldCodePoint(char32_t cp) {
  if (cp < 0x80) return FoldAscii(static_cast<uint8_t>(cp));
  if (cp >= kFoldLimit) return cp;
  const int32_t delta = kFoldDelta[kFoldBlocks[kFoldIndex[cp >> kFoldShift]][cp & kFoldMask]];
  return static_cast<char32_t>(static_cast<int32_t>(cp) + delta);
}

bool IsWordCodePoint(char32_t cp) {
  if (cp >= kWordLimit) return false;
  return (kWordBlocks[kWordIndex[cp >> kWordShift]][(cp >> 6) & kWordMask] >> (cp & 63)) & 1;
}

std::string FoldUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    // A run of ASCII bytes in one go.
    size_t j = i;
    while (j < text.size() && static_cast<uint8_t>(text[j]) < 0x80) ++j;
    if (j > i) {
      const size_t at = out.size();
      out.append(text.substr(i, j - i));
      for (size_t k = at; k < out.size(); ++k) out[k] = FoldAscii(out[k]);
      i = j;
      if (i == text.size()) break;
    }
    char32_t cp = 0;
    const size_t n = DecodeUtf8(text, i, cp);
    if (n == 1)
      out += text[i];
    else
      AppendUtf8Char(out, FoldCodePoint(cp));
    i += n;
  }
  return out;
}

int CompareFoldedUtf8(std::string_view a, std::string_view b) {
  FoldedBytes x(a), y(b);
  for (;;) {
    if (!x.Pending() && !y.Pending()) {
      // Both stand at the start of a unit: pass over the ASCII bytes that
      // fold alike, eight at a time while both sides are ASCII.
      size_t& i = x.Pos();
      size_t& j = y.Pos();
      while (i + 8 <= a.size() && j + 8 <= b.size()) {
        const uint64_t u = Load64(a.data() + i), v = Load64(b.data() + j);
        if (((u | v) & kHighBits) != 0 || FoldAscii8(u) != FoldAscii8(v)) break;
        i += 8;
        j += 8;
      }
      while (i < a.size() && j < b.size()) {
        const auto c = static_cast<uint8_t>(a[i]), d = static_cast<uint8_t>(b[j]);
        if ((c | d) & 0x80) break;
        const uint8_t fc = FoldAscii(c), fd = FoldAscii(d);
        if (fc != fd) return fc < fd ? -1 : 1;
        ++i;
        ++j;
      }
    }
    const int c = x.Next(), d = y.Next();
    if (c != d) return c < d ? -1 : 1;
    if (c < 0) return 0;
  }
}

Utf8FoldedFinder::Utf8FoldedFinder(std::string_view term) : iTerm(term) {
  for (size_t i = 0; i < term.size();) {
    char32_t cp = 0;
    const size_t n = DecodeUtf8(term, i, cp);
    iUnits.push_back(n == 1 && static_cast<uint8_t>(term[i]) >= 0x80
                         ? kStrayUnit + static_cast<uint8_t>(term[i])
                         : static_cast<uint32_t>(cp));
    iUnitLength.push_back(static_cast<uint8_t>(n));
    i += n;
  }
  if (iUnits.empty()) return;
  // The border table, for the scan that cannot be made slow.
  iBorder.assign(iUnits.size(), 0);
  for (size_t i = 1, k = 0; i < iUnits.size(); ++i) {
    while (k > 0 && iUnits[i] != iUnits[k]) k = iBorder[k - 1];
    if (iUnits[i] == iUnits[k]) ++k;
    iBorder[i] = static_cast<uint32_t>(k);
  }
  // The stored forms a unit can have: the characters folding to it, or the
  // stray byte itself.
  auto forms = [](uint32_t unit) {
    if (unit >= kStrayUnit)
      return std::vector<std::string>{std::string(1, static_cast<char>(unit - kStrayUnit))};
    return FoldSources(unit);
  };
  const std::vector<std::string> first = forms(iUnits[0]);
  std::vector<std::string> second;
  if (iUnits.size() > 1) second = forms(iUnits[1]);
  iPossible = !first.empty() && (iUnits.size() == 1 || !second.empty());
  for (size_t u = 2; iPossible && u < iUnits.size(); ++u)
    iPossible = iUnits[u] >= kStrayUnit || FoldCodePoint(iUnits[u]) == iUnits[u];
  if (!iPossible) return;
  ByteFilter firstBytes, secondBytes;
  for (const std::string& f : first) {
    firstBytes.Add(static_cast<uint8_t>(f[0]));
    if (f.size() >= 2)
      secondBytes.Add(static_cast<uint8_t>(f[1]));
    else if (iUnits.size() == 1)
      secondBytes.any = true;
    else
      for (const std::string& s : second) secondBytes.Add(static_cast<uint8_t>(s[0]));
  }
  firstBytes.MakeTests(iFirst);
  secondBytes.MakeTests(iSecond);
}

size_t Utf8FoldedFinder::MatchAt(std::string_view text, size_t p, size_t& compared) const {
  if (!IsUnitStart(text, p)) {
    ++compared;
    return 0;
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto* term = reinterpret_cast<const uint8_t*>(iTerm.data());
  size_t q = p, t = 0;  // in the text and in the term
  for (size_t k = 0; k < iUnits.size(); ++k) {
    const uint32_t want = iUnits[k];
    const size_t length = iUnitLength[k];
    if (q >= text.size()) break;
    const uint8_t b = bytes[q];
    if (b < 0x80) {
      if (FoldAscii(b) != want) break;
      ++q;
    } else {
      // A character stored as the term has it needs no decoding: a
      // well-formed sequence reads the same wherever it stands.
      size_t same = 0;
      if (want < kStrayUnit && q + length <= text.size())
        while (same < length && bytes[q + same] == term[t + same]) ++same;
      if (same == length && want < kStrayUnit) {
        q += length;
      } else {
        uint32_t unit;
        const size_t n = FoldedUnitAt(text, q, unit);
        if (unit != want) break;
        q += n;
      }
    }
    t += length;
    if (k + 1 == iUnits.size()) {
      compared += q - p + 1;
      return q;
    }
  }
  compared += q - p + 1;
  return 0;
}

size_t Utf8FoldedFinder::Candidate(const uint8_t* bytes, size_t size, size_t from) const {
  // One instance of the vector pass for each pair of test counts.
  auto second = [&]<size_t N1>() {
    switch (iSecond.count) {
      case 0:
        return FirstCandidate<N1, 0>(bytes, size, from, iFirst, iSecond);
      case 1:
        return FirstCandidate<N1, 1>(bytes, size, from, iFirst, iSecond);
      case 2:
        return FirstCandidate<N1, 2>(bytes, size, from, iFirst, iSecond);
      default:
        return FirstCandidate<N1, 4>(bytes, size, from, iFirst, iSecond);
    }
  };
  switch (iFirst.count) {
    case 0:
      return second.template operator()<0>();
    case 1:
      return second.template operator()<1>();
    case 2:
      return second.template operator()<2>();
    default:
      return second.template operator()<4>();
  }
}

std::optional<Utf8FoldedFinder::Hit> Utf8FoldedFinder::Find(std::string_view text,
                                                            size_t from) const {
  return Scan(*this, text, from).Next();
}

Utf8FoldedFinder::Scan::Scan(const Utf8FoldedFinder& finder, std::string_view text, size_t from)
    : iFinder(finder), iText(text), iPos(from), iStart(from) {
  iDone = from > text.size() || !finder.iPossible || finder.iUnits.empty();
}

std::optional<Utf8FoldedFinder::Hit> Utf8FoldedFinder::Scan::Next() {
  if (iDone) return std::nullopt;
  if (iByTable) return NextByTable();
  const auto* bytes = reinterpret_cast<const uint8_t*>(iText.data());
  const size_t units = iFinder.iUnits.size();
  while (iPos < iText.size()) {
    // Comparing candidates may cost a few times the text passed, no more (a
    // unit of the term stands for at most four stored bytes).
    if (iCompared > 4 * (iPos - iStart) + 16 * units) {
      iByTable = true;
      iMatched = 0;
      iUnitsSeen = 0;
      while (!IsUnitStart(iText, iPos)) ++iPos;
      return NextByTable();
    }
    const size_t at = iFinder.Candidate(bytes, iText.size(), iPos);
    if (at >= iText.size()) break;
    iPos = at + 1;
    const size_t end = iFinder.MatchAt(iText, at, iCompared);
    if (end != 0) return Hit{at, end - at};
  }
  iPos = iText.size();
  iDone = true;
  return std::nullopt;
}

std::optional<Utf8FoldedFinder::Hit> Utf8FoldedFinder::Scan::NextByTable() {
  const std::vector<uint32_t>& term = iFinder.iUnits;
  const size_t m = term.size();
  if (iUnitStart.size() != m) iUnitStart.assign(m, 0);
  size_t k = iMatched;
  while (iPos < iText.size()) {
    const size_t start = iPos;
    uint32_t unit;
    iPos += FoldedUnitAt(iText, iPos, unit);
    iUnitStart[iUnitsSeen++ % m] = start;
    while (k > 0 && unit != term[k]) k = iFinder.iBorder[k - 1];
    if (unit == term[k]) ++k;
    if (k == m) {
      iMatched = iFinder.iBorder[m - 1];
      const size_t first = iUnitStart[iUnitsSeen % m];
      return Hit{first, iPos - first};
    }
  }
  iDone = true;
  return std::nullopt;
}

bool IsWholeWordUtf8(std::string_view text, size_t hit, size_t length) {
  if (hit > text.size() || length > text.size() - hit) return false;
  if (hit > 0 && IsWordCodePoint(CharBefore(text, hit))) return false;
  const size_t end = hit + length;
  if (end < text.size()) {
    char32_t cp = 0;
    DecodeUtf8(text, end, cp);
    if (IsWordCodePoint(cp)) return false;
  }
  return true;
}

}  // namespace ql
