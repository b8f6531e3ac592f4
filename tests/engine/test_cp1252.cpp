// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The code page meeting Unicode: every byte both ways, the 0x80 row, and what
// the code page lacks.
#include <gtest/gtest.h>

#include <ios>
#include <optional>
#include <string>

#include "cp1252.h"

namespace {

TEST(Cp1252, EveryByteDecodesToACharacterThatEncodesBackToIt) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    all.push_back(static_cast<char>(byte));
    const char16_t ch = ql::Cp1252ToUnicode(byte);
    EXPECT_EQ(ql::Cp1252ByteFor(ch), byte) << "byte " << b;
    EXPECT_EQ(ql::UnicodeToCp1252(ch), byte) << "byte " << b;
  }
  const std::u16string text = ql::DecodeCp1252(all);
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(ql::EncodeCp1252(text), all);
}

TEST(Cp1252, EveryEncodableCodePointIsTheCharacterOfItsByte) {
  int encodable = 0;
  for (char32_t ch = 0; ch <= 0x10FFFF; ++ch) {
    const std::optional<unsigned char> byte = ql::Cp1252ByteFor(ch);
    if (!byte) continue;
    ++encodable;
    EXPECT_EQ(static_cast<char32_t>(ql::Cp1252ToUnicode(*byte)), ch) << "U+" << std::hex << +ch;
  }
  // One character a byte: nothing else encodes.
  EXPECT_EQ(encodable, 256);
}

TEST(Cp1252, TheEightyRowIsTheCodePagesOwn) {
  struct Case {
    unsigned char byte;
    char16_t ch;
  };
  const Case cases[] = {
      {0x80, u'\u20AC'},
      {0x85, u'\u2026'},
      {0x8A, u'\u0160'},
      {0x8E, u'\u017D'},
      {0x93, u'\u201C'},
      {0x96, u'\u2013'},
      {0x9C, u'\u0153'},
      {0x9F, u'\u0178'},
      // The five bytes the code page leaves undefined: the controls of their value.
      {0x81, u'\u0081'},
      {0x8D, u'\u008D'},
      {0x8F, u'\u008F'},
      {0x90, u'\u0090'},
      {0x9D, u'\u009D'},
      // Below and above the row, the byte's own value.
      {0x09, u'\t'},
      {0x7F, u'\u007F'},
      {0xA0, u'\u00A0'},
      {0xE9, u'\u00E9'},
      {0xFF, u'\u00FF'},
  };
  for (const Case& c : cases) EXPECT_EQ(ql::Cp1252ToUnicode(c.byte), c.ch) << +c.byte;
}

TEST(Cp1252, CharactersTheCodePageLacksBecomeQuestionMarks) {
  EXPECT_EQ(ql::UnicodeToCp1252(U'\u2014'), 0x97);
  EXPECT_EQ(ql::UnicodeToCp1252(U'\u0100'), '?');
  EXPECT_EQ(ql::Cp1252ByteFor(U'\u0100'), std::nullopt);
  EXPECT_EQ(ql::UnicodeToCp1252(U'\u0080'), '?');  // C1 control the page puts the euro on
  EXPECT_EQ(ql::Cp1252ByteFor(U'\u0080'), std::nullopt);
  EXPECT_EQ(ql::Cp1252ByteFor(U'?'), '?');
  EXPECT_EQ(ql::EncodeCp1252(u"a\U0001F600b"), "a?b");  // one character, one mark
  EXPECT_EQ(ql::EncodeCp1252(std::u16string(1, char16_t(0xD800))), "?");
}

}  // namespace
