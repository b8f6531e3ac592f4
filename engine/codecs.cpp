#include "codecs.h"

namespace ql {

namespace {

constexpr uint8_t kLiteralGroupControl = 0;
constexpr int kGroupItems = 8;
constexpr int kLimitedStop = 2000;
constexpr int kMinMatch = 2;

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

size_t DecompressBlock(std::span<const uint8_t> src, std::span<uint8_t> dst, bool limited) {
  const size_t n = src.size();
  const size_t cap = dst.size();
  size_t i = 0;
  size_t j = 0;
  while (i < n) {
    if (limited && j > kLimitedStop) return j;
    const uint8_t control = src[i++];
    if (control == kLiteralGroupControl) {
      // A short literal group only happens in a damaged unit: copy what is there.
      for (int k = 0; k < kGroupItems && i < n; ++k) {
        if (j >= cap) return j;
        dst[j++] = src[i++];
      }
      continue;
    }
    for (int k = 0; k < kGroupItems; ++k) {
      if (i >= n) return j;
      if (control & (0x80u >> k)) {
        if (n - i < 2) return j;  // a reference cut off by the end of the unit
        const uint8_t a = src[i];
        const uint8_t b = src[i + 1];
        i += 2;
        const size_t length = static_cast<size_t>(a >> 4) + kMinMatch;
        const size_t distance = (static_cast<size_t>(a & 0x0F) << 8) | b;
        if (distance == 0 || distance > j) return j;  // reaches before the output
        for (size_t m = 0; m < length; ++m) {
          if (j >= cap) return j;
          dst[j] = dst[j - distance];
          ++j;
        }
      } else {
        if (j >= cap) return j;
        dst[j++] = src[i++];
      }
    }
  }
  return j;
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
