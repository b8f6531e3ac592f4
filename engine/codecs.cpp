// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "codecs.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace ql {

namespace {

constexpr uint8_t kLiteralGroupControl = 0;
constexpr int kGroupItems = 8;
constexpr int kLimitedStop = 2000;
constexpr int kMinMatch = 2;
constexpr size_t kWideCopy = 16;
// Room the fast decoding loop needs before a group: a literal, read as 17
// bytes, may start 15 bytes into the group's input, and a group writes at most
// 8 references of 17 bytes, plus what a fixed-size copy runs past its item.
constexpr size_t kFastInput = 1 + 2 * (kGroupItems - 1) + kWideCopy + 1;
constexpr size_t kFastOutput = kGroupItems * 17 + kWideCopy;

// Nibble symbol tables.
constexpr char kNibbleFrequent[] = " eoatnirslh.";   // first nibbles 0..11
constexpr char kNibbleLower[] = "bcdfgjkmpquvwxyz";  // 13 x
constexpr char kNibbleQ[] = "QRSTUVWXYZ,;@'()";      // 15 x
constexpr int kNibbleEscapeByte = 12;
constexpr int kNibbleLower13 = 13;
constexpr int kNibbleUpper14 = 14;
constexpr int kNibbleLineBreak = 12;  // 15 12
constexpr uint8_t kTab = 0x09;
constexpr uint8_t kLineBreakCode = 8;
constexpr uint8_t kFirstLineBreak = '@';

}  // namespace

namespace {

// The careful decoder: every byte read and written is checked. It finishes
// what the fast loop below leaves, and both stop at the same places. clean
// is cleared where a unit stops before its end (a damaged one).
size_t DecompressTail(const uint8_t* in, size_t n, size_t& i, uint8_t* out, size_t cap, size_t j,
                      size_t until, bool& clean, bool& ended) {
  ended = true;
  while (i < n) {
    if (j > until) {
      ended = false;
      return j;
    }
    const uint8_t control = in[i++];
    if (control == kLiteralGroupControl) {
      // A short literal group only happens in a damaged unit: copy what is there.
      for (int k = 0; k < kGroupItems && i < n; ++k) {
        if (j >= cap) {
          clean = false;
          return j;
        }
        out[j++] = in[i++];
      }
      continue;
    }
    for (int k = 0; k < kGroupItems; ++k) {
      if (i >= n) return j;
      if (control & (0x80u >> k)) {
        if (n - i < 2) {  // a reference cut off by the end of the unit
          clean = false;
          return j;
        }
        const uint8_t a = in[i];
        const uint8_t b = in[i + 1];
        i += 2;
        const size_t length = static_cast<size_t>(a >> 4) + kMinMatch;
        const size_t distance = (static_cast<size_t>(a & 0x0F) << 8) | b;
        if (distance == 0 || distance > j) {  // reaches before the output
          clean = false;
          return j;
        }
        for (size_t m = 0; m < length; ++m) {
          if (j >= cap) {
            clean = false;
            return j;
          }
          out[j] = out[j - distance];
          ++j;
        }
      } else {
        if (j >= cap) {
          clean = false;
          return j;
        }
        out[j++] = in[i++];
      }
    }
  }
  return j;
}

template <size_t N>
inline void CopyChunk(uint8_t* to, const uint8_t* from) {
  // Through a local so that the load completes before the store: the two
  // ranges may overlap when the copy runs past what the item needs.
  uint8_t chunk[N];
  std::memcpy(chunk, from, N);
  std::memcpy(to, chunk, N);
}

// Both entry points: the checks of clean cost nothing in the loops (they
// sit on the paths that leave them).
// Decodes on from input byte i and output byte j, both at a group boundary,
// until a group would start past until or the unit ends (ended).
inline size_t DecodeUnit(std::span<const uint8_t> src, std::span<uint8_t> dst, size_t& i, size_t j,
                         size_t until, bool& clean, bool& ended) {
  const uint8_t* in = src.data();
  uint8_t* out = dst.data();
  const size_t n = src.size();
  const size_t cap = dst.size();
  ended = true;
  // The fast loop takes whole groups while no item of the group can reach
  // the end of either span, even with the fixed-size copies below running
  // up to 15 bytes past an item's end (those bytes are overwritten by later
  // items or lie past the returned count). It stops exactly where the
  // careful loop would, so both give the same bytes for any unit.
  while (n - i >= kFastInput && cap - j >= kFastOutput) {
    if (j > until) {
      ended = false;
      return j;
    }
    const uint8_t control = in[i++];
    if (control == kLiteralGroupControl) {
      std::memcpy(out + j, in + i, kGroupItems);
      i += kGroupItems;
      j += kGroupItems;
      continue;
    }
    // Every item is decoded the same way, so the mix of literals and
    // references costs no mispredicted branches: a literal is a copy of one
    // byte from the input, a reference one of 2 to 17 bytes from the output,
    // and both copy 17 bytes of which only the item's own are kept.
    for (int k = 0; k < kGroupItems; ++k) {
      const size_t isReference = (control >> (kGroupItems - 1 - k)) & 1u;
      const uint8_t a = in[i];
      const uint8_t b = in[i + 1];
      const size_t distance = (static_cast<size_t>(a & 0x0F) << 8) | b;
      const size_t length = 1 + ((0 - isReference) & (static_cast<size_t>(a >> 4) + kMinMatch - 1));
      uint8_t* to = out + j;
      // One rarely taken branch for both uncommon cases of a reference: a
      // distance of 0 or reaching before the output (distance - 1 wraps for
      // 0), and a source overlapping the bytes being written.
      if (isReference & ((distance - 1 >= j) | (distance < length))) {
        if (distance - 1 >= j) {  // reaches before the output
          clean = false;
          return j;
        }
        // Overlapping its own output: in 8-byte steps that read only
        // finished bytes, or byte by byte for a short repeated pattern.
        const uint8_t* from = to - distance;
        if (distance >= kGroupItems) {
          for (size_t m = 0; m < length; m += kGroupItems) CopyChunk<kGroupItems>(to + m, from + m);
        } else {
          for (size_t m = 0; m < length; ++m) to[m] = from[m];
        }
      } else {
        const uint8_t* from = isReference ? to - distance : in + i;
        CopyChunk<kWideCopy>(to, from);
        to[kWideCopy] = from[kWideCopy];
      }
      i += 1 + isReference;
      j += length;
    }
  }
  return DecompressTail(in, n, i, out, cap, j, until, clean, ended);
}

constexpr size_t kNoStop = static_cast<size_t>(-1);

}  // namespace

size_t DecompressBlock(std::span<const uint8_t> src, std::span<uint8_t> dst, bool limited) {
  bool clean = true;
  bool ended = true;
  size_t i = 0;
  return DecodeUnit(src, dst, i, 0, limited ? kLimitedStop : kNoStop, clean, ended);
}

BlockDecoding DecompressBlockChecked(std::span<const uint8_t> src, std::span<uint8_t> dst) {
  BlockDecoding result;
  result.clean = true;
  bool ended = true;
  size_t i = 0;
  result.length = DecodeUnit(src, dst, i, 0, kNoStop, result.clean, ended);
  return result;
}

void DecompressBlockUntil(std::span<const uint8_t> src, std::span<uint8_t> dst, size_t until,
                          UnitProgress& progress) {
  if (progress.ended || progress.in > src.size() || progress.out > dst.size()) {
    progress.ended = true;
    return;
  }
  progress.out =
      DecodeUnit(src, dst, progress.in, progress.out, until, progress.clean, progress.ended);
}

namespace {

// The scan's careful loop, the same steps as DecompressTail without the bytes.
BlockDecoding ScanTail(const uint8_t* in, size_t n, size_t i, size_t j, size_t cap) {
  BlockDecoding r;
  r.clean = true;
  auto stop = [&](size_t length, bool clean) {
    r.length = length;
    r.clean = clean;
    return r;
  };
  while (i < n) {
    const uint8_t control = in[i++];
    if (control == kLiteralGroupControl) {
      for (int k = 0; k < kGroupItems && i < n; ++k) {
        if (j >= cap) return stop(j, false);
        ++j;
        ++i;
      }
      continue;
    }
    for (int k = 0; k < kGroupItems; ++k) {
      if (i >= n) return stop(j, true);
      if (control & (0x80u >> k)) {
        if (n - i < 2) return stop(j, false);
        const size_t length = static_cast<size_t>(in[i] >> 4) + kMinMatch;
        const size_t distance = (static_cast<size_t>(in[i] & 0x0F) << 8) | in[i + 1];
        i += 2;
        if (distance == 0 || distance > j) return stop(j, false);
        if (cap - j < length) return stop(cap, false);
        j += length;
      } else {
        if (j >= cap) return stop(j, false);
        ++j;
        ++i;
      }
    }
  }
  return stop(j, true);
}

// One group item by item, as the decoder takes it; false where it stops
// the unit (a reference of distance 0 or reaching before the output).
inline bool ScanGroup(const uint8_t* in, size_t& i, size_t& j) {
  const unsigned control = in[i++];
  if (control == kLiteralGroupControl) {
    i += kGroupItems;
    j += kGroupItems;
    return true;
  }
  for (int k = 0; k < kGroupItems; ++k) {
    const size_t isReference = (control >> (kGroupItems - 1 - k)) & 1u;
    const size_t a = in[i];
    const size_t distance = ((a & 0x0F) << 8) | in[i + 1];
    if (isReference & (distance - 1 >= j)) return false;
    j += 1 + ((0 - isReference) & ((a >> 4) + kMinMatch - 1));
    i += 1 + isReference;
  }
  return true;
}

// Past the longest distance a reference can reach, only a distance of 0
// stops a unit.
constexpr size_t kFarthestReach = 0xFFF;

BlockDecoding ScanPlain(const uint8_t* in, size_t n, size_t i, size_t j, size_t cap) {
  while (n - i >= kFastInput && cap - j >= kFastOutput)
    if (!ScanGroup(in, i, j)) return {j, false};
  return ScanTail(in, n, i, j, cap);
}

#if defined(__x86_64__)
// For each control byte, the places in its group of the first and of the
// second byte of each reference, in order, for one byte shuffle each.
struct ReferencePlaces {
  alignas(16) uint8_t first[256][16];
  alignas(16) uint8_t second[256][16];
};
const ReferencePlaces& Places() {
  static const ReferencePlaces places = [] {
    ReferencePlaces t{};
    for (int c = 0; c < 256; ++c) {
      std::memset(t.first[c], 0x80, 16);
      std::memset(t.second[c], 0x80, 16);
      int at = 0, r = 0;
      for (int k = 0; k < kGroupItems; ++k) {
        const bool reference = (c >> (kGroupItems - 1 - k)) & 1;
        if (reference) {
          t.first[c][r] = static_cast<uint8_t>(at);
          t.second[c][r] = static_cast<uint8_t>(at + 1);
          ++r;
        }
        at += reference ? 2 : 1;
      }
    }
    return t;
  }();
  return places;
}

// A group at a time: its references' lengths summed in one register, and a
// distance of 0 among them found the same way; the group is then taken item
// by item to stop where the decoder does.
__attribute__((target("ssse3,popcnt"))) BlockDecoding ScanWide(const uint8_t* in, size_t n,
                                                               size_t i, size_t j, size_t cap) {
  const ReferencePlaces& places = Places();
  const __m128i low = _mm_set1_epi8(0x0F);
  const __m128i none = _mm_setzero_si128();
  while (n - i >= kFastInput && cap - j >= kFastOutput) {
    const unsigned control = in[i];
    if (j <= kFarthestReach) {
      if (!ScanGroup(in, i, j)) return {j, false};
      continue;
    }
    const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 1));
    const __m128i first = _mm_shuffle_epi8(
        group, _mm_load_si128(reinterpret_cast<const __m128i*>(places.first[control])));
    const __m128i second = _mm_shuffle_epi8(
        group, _mm_load_si128(reinterpret_cast<const __m128i*>(places.second[control])));
    const unsigned references = static_cast<unsigned>(__builtin_popcount(control));
    const __m128i distance = _mm_or_si128(_mm_and_si128(first, low), second);
    const unsigned zero = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(distance, none))) &
                          ((1u << references) - 1);
    if (zero) {
      if (!ScanGroup(in, i, j)) return {j, false};
      continue;
    }
    const __m128i sums = _mm_sad_epu8(_mm_and_si128(_mm_srli_epi16(first, 4), low), none);
    i += 1 + kGroupItems + references;
    j += kGroupItems + (kMinMatch - 1) * references + static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
         static_cast<size_t>(_mm_extract_epi16(sums, 4));
  }
  return ScanTail(in, n, i, j, cap);
}
#endif

}  // namespace

BlockDecoding ScanBlockEnd(std::span<const uint8_t> src, size_t cap, const UnitProgress& progress,
                           bool vector) {
  if (progress.ended || !progress.clean) return {progress.out, progress.clean};
  if (progress.in > src.size() || progress.out > cap) return {progress.out, false};
#if defined(__x86_64__)
  static const bool wide = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
  if (wide && vector) return ScanWide(src.data(), src.size(), progress.in, progress.out, cap);
#else
  (void)vector;
#endif
  return ScanPlain(src.data(), src.size(), progress.in, progress.out, cap);
}

size_t DecodeNibbleText(std::span<const uint8_t> src, std::span<uint8_t> dst, NibbleForm form,
                        int outputLimit, int nibbleLimit) {
  const size_t nibbles = src.size() * 2;
  const size_t cap = dst.size();
  const bool firstLine = form == NibbleForm::FirstLine;
  auto nibble = [&](size_t c) -> int {
    const uint8_t byte = src[c / 2];
    return (c % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
  };
  size_t c = 0;
  size_t j = 0;
  while (c < nibbles) {
    if (firstLine && (c > static_cast<size_t>(nibbleLimit < 0 ? 0 : nibbleLimit) ||
                      j > static_cast<size_t>(outputLimit < 0 ? 0 : outputLimit)))
      break;
    const int first = nibble(c);
    uint8_t out[2];
    size_t outLength = 1;
    size_t symbolLength = 1;
    if (first < kNibbleEscapeByte) {
      out[0] = static_cast<uint8_t>(kNibbleFrequent[first]);
    } else if (first == kNibbleEscapeByte) {
      if (nibbles - c < 3) break;
      const int value = (nibble(c + 1) << 4) | nibble(c + 2);
      if (value == 0) break;  // end symbol
      out[0] = static_cast<uint8_t>(value);
      symbolLength = 3;
    } else {
      if (nibbles - c < 2) break;
      const int x = nibble(c + 1);
      symbolLength = 2;
      if (first == kNibbleLower13) {
        out[0] = static_cast<uint8_t>(kNibbleLower[x]);
      } else if (first == kNibbleUpper14) {
        out[0] = static_cast<uint8_t>('A' + x);
      } else if (x == kNibbleLineBreak) {
        if (firstLine) {
          out[0] = kFirstLineBreak;
        } else {
          out[0] = kTab;
          out[1] = kLineBreakCode;
          outLength = 2;
        }
      } else {
        out[0] = static_cast<uint8_t>(kNibbleQ[x]);
      }
    }
    if (cap - j < outLength) break;
    for (size_t k = 0; k < outLength; ++k) dst[j++] = out[k];
    c += symbolLength;
  }
  return j;
}

}  // namespace ql
