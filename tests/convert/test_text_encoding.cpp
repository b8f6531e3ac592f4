// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// UTF-8 to Windows-1252 for imports: the guess from the start of a file, the
// characters with and without a Windows-1252 form, bytes that are not UTF-8,
// and characters cut across the converter's reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "convert_test_util.h"
#include "cp1252.h"
#include "text_encoding.h"

namespace {

std::string Convert(const std::string& utf8, int64_t& replaced) {
  qltest::MemoryInput in(utf8);
  std::FILE* out = std::tmpfile();
  EXPECT_TRUE(ql::ConvertUtf8ToCp1252(in.Get(), out, replaced));
  std::string bytes = qltest::StreamBytes(out);
  std::fclose(out);
  return bytes;
}

TEST(TextEncoding, GuessFromTheStart) {
  EXPECT_TRUE(ql::LooksLikeUtf8("caf\xC3\xA9"));
  EXPECT_FALSE(ql::LooksLikeUtf8("plain ASCII only"));
  EXPECT_FALSE(ql::LooksLikeUtf8("caf\xE9 au lait"));          // Windows-1252
  EXPECT_FALSE(ql::LooksLikeUtf8("\xC0\xAF"));                 // overlong
  EXPECT_FALSE(ql::LooksLikeUtf8("\xED\xA0\x80 x \xC3\xA9"));  // a surrogate
  // A character cut off by the end of what was looked at still counts.
  EXPECT_TRUE(ql::LooksLikeUtf8("\xC3\xA9 and \xE2\x82"));
  EXPECT_FALSE(ql::LooksLikeUtf8("\xC3\xA9 and \xE2\x41"));
}

TEST(TextEncoding, ConvertsAndCountsWhatWindows1252Lacks) {
  int64_t replaced = -1;
  EXPECT_EQ(Convert("\xEF\xBB\xBF"
                    "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xC5\xB8",
                    replaced),
            "caf\xE9 \x80 \x93q\x94 \x9F");
  EXPECT_EQ(replaced, 0);
  // A snowman, the C1 control the code page puts the euro on, a stray
  // continuation byte and a cut-off lead.
  EXPECT_EQ(Convert("a\xE2\x98\x83"
                    "b\xC2\x80"
                    "c\x80"
                    "d\xE2\x82",
                    replaced),
            "a?b?c?d??");
  EXPECT_EQ(replaced, 5);
  // Characters across the converter's 64 KiB reads come out whole.
  std::string big;
  while (big.size() < 200000) big += "x\xE2\x82\xAC\xC3\xA9";
  std::string want;
  while (want.size() < big.size() / 2) want += "x\x80\xE9";
  const std::string got = Convert(big, replaced);
  EXPECT_EQ(replaced, 0);
  EXPECT_EQ(got.size(), big.size() / 6 * 3);
  EXPECT_TRUE(got == want.substr(0, got.size()));
}

// Text in UTF-8 that came from a book (its bytes decoded as the window decodes
// them) is stored as those bytes again, the five the code page leaves
// undefined included.
TEST(TextEncoding, EveryByteOfABookComesBackFromItsUtf8) {
  for (int b = 0; b < 256; ++b) {
    const char32_t ch = ql::Cp1252ToUnicode(static_cast<unsigned char>(b));
    std::string utf8;
    if (ch < 0x80) {
      utf8 += static_cast<char>(ch);
    } else if (ch < 0x800) {
      utf8 += static_cast<char>(0xC0 | (ch >> 6));
      utf8 += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | (ch >> 12));
      utf8 += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (ch & 0x3F));
    }
    std::string out;
    int64_t replaced = 0;
    ql::AppendUtf8AsCp1252(utf8, out, replaced);
    EXPECT_EQ(out, std::string(1, static_cast<char>(b))) << "byte " << b;
    EXPECT_EQ(replaced, 0) << "byte " << b;
  }
}

}  // namespace
