// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "cp1252.h"

#include <array>

namespace ql {

namespace {

constexpr unsigned char kUnmapped = '?';

// 0x80-0x9F; the five bytes the code page leaves undefined stand for the
// control characters of the same value (see the header).
constexpr std::array<char16_t, 32> kHighRow = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

char16_t Cp1252ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighRow[byte - 0x80];
  return byte;
}

std::optional<unsigned char> Cp1252ByteFor(char32_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<unsigned char>(ch);
  for (size_t i = 0; i < kHighRow.size(); ++i)
    if (kHighRow[i] == ch) return static_cast<unsigned char>(0x80 + i);
  return std::nullopt;
}

unsigned char UnicodeToCp1252(char32_t ch) {
  return Cp1252ByteFor(ch).value_or(kUnmapped);
}

std::u16string DecodeCp1252(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (char b : bytes) text.push_back(Cp1252ToUnicode(static_cast<unsigned char>(b)));
  return text;
}

std::string EncodeCp1252(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    // A character outside the basic plane is one character the code page lacks.
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      bytes.push_back(static_cast<char>(kUnmapped));
      ++i;
      continue;
    }
    bytes.push_back(static_cast<char>(UnicodeToCp1252(text[i])));
  }
  return bytes;
}

}  // namespace ql
