// UTF-8 to Windows-1252 for imports: the guess from the start of a file, the
// characters with and without a Windows-1252 form, bytes that are not UTF-8,
// and characters cut across the converter's reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "convert_test_util.h"
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
  // A snowman, a C1 control, a stray continuation byte and a cut-off lead.
  EXPECT_EQ(Convert("a\xE2\x98\x83"
                    "b\xC2\x81"
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

}  // namespace
