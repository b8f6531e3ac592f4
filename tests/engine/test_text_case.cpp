// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Case mapping and the word and link tests of search.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text_case.h"

namespace {

using namespace std::string_literals;

// Extensions, tags and schemes: the text folds A-Z only, the affix is given
// in lower case.
TEST(TextCase, AffixesMatchWithAsciiLettersFolded) {
  struct Case {
    std::string_view text, affix;
    bool starts, ends;
  };
  const Case cases[] = {
      {"HTTP://x", "http:", true, false},
      {"Words.INDEX", ".index", false, true},
      {"a.ql", "a.ql", true, true},
      {"", "", true, true},
      {"ab", "", true, true},
      {".q", ".ql", false, false},               // shorter than the affix
      {"\xC9t\xC9", "\xE9t\xE9", false, false},  // accented capitals are not ASCII
      {"[ab", "{ab", false, false},              // 0x5B is no capital of 0x7B
      {"Mailto:", "MAILTO:", false, false},      // an affix in capitals never matches folded text
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ql::StartsWithFolded(c.text, c.affix), c.starts) << c.text << " / " << c.affix;
    EXPECT_EQ(ql::EndsWithFolded(c.text, c.affix), c.ends) << c.text << " / " << c.affix;
  }
  for (int b = 0; b < 256; ++b) {
    const bool capital = b >= 'A' && b <= 'Z';
    EXPECT_EQ(ql::FoldAscii(static_cast<uint8_t>(b)), capital ? b + 0x20 : b) << b;
  }
}

TEST(TextCase, Cp1252LowerCaseMapping) {
  std::string upper, expected;
  for (int b = 0; b < 256; ++b) {
    upper += static_cast<char>(b);
    int lower = b;
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) lower = b + 0x20;
    if (b == 0x8A || b == 0x8C || b == 0x8E) lower = b + 0x10;
    if (b == 0x9F) lower = 0xFF;
    expected += static_cast<char>(lower);
  }
  EXPECT_EQ(ql::LowerCaseCp1252(upper), expected);
  EXPECT_EQ(ql::LowerCaseCp1252("\xC9T\xC9 \x8A\x9F\xD7\xDF"), "\xE9t\xE9 \x9A\xFF\xD7\xDF");
  // In place, as the search lowers its buffer.
  std::string s = "ABC\xC0";
  ql::LowerCaseInto(reinterpret_cast<const uint8_t*>(s.data()),
                    reinterpret_cast<uint8_t*>(s.data()), s.size());
  EXPECT_EQ(s, "abc\xE0");
}

TEST(TextCase, FoldedFinderAgreesWithLoweringFirst) {
  // Few distinct bytes, so that hits, near-misses and every lane of the
  // vector pass and its scalar remainder all occur.
  const std::string alphabet = "aAbB\xC9\xE9\x8A\x9A\t\x11 ";
  std::mt19937 random(12345);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  for (int round = 0; round < 3000; ++round) {
    std::string text(pick(90), ' ');
    for (char& c : text) c = alphabet[pick(alphabet.size())];
    std::string term(1 + pick(4), ' ');
    for (char& c : term) c = alphabet[pick(alphabet.size())];
    term = ql::LowerCaseCp1252(term);
    // Plant the term in capitals now and then, so long terms hit too.
    if (round % 3 == 0 && text.size() >= term.size()) {
      size_t at = pick(text.size() - term.size() + 1);
      for (size_t k = 0; k < term.size(); ++k)
        text[at + k] = term[k] == '\xE9' ? '\xC9' : term[k] == 'a' ? 'A' : term[k];
    }
    const std::string lower = ql::LowerCaseCp1252(text);
    const ql::FoldedFinder finder(term);
    for (size_t from = 0; from <= text.size() + 1; ++from) {
      size_t expected = lower.find(term, from);
      if (expected == std::string::npos) expected = ql::FoldedFinder::kNotFound;
      ASSERT_EQ(finder.Find(text, from), expected) << "round " << round << " from " << from;
    }
  }
  // A capital in the term never matches: lowered text holds none.
  EXPECT_EQ(ql::FoldedFinder("Cat").Find("Cat cat CAT", 0), ql::FoldedFinder::kNotFound);
}

TEST(TextCase, WholeWord) {
  const std::string text = "concatenate cat";
  EXPECT_FALSE(ql::IsWholeWord(text, 3, 3));
  EXPECT_TRUE(ql::IsWholeWord(text, 12, 3));
  EXPECT_TRUE(ql::IsWholeWord("cat's", 0, 3));
  EXPECT_FALSE(ql::IsWholeWord("catalogue", 0, 3));
  EXPECT_FALSE(ql::IsWholeWord("Scat", 1, 3));
  // Bytes above 127, digits and tags are boundaries; only ASCII letters join.
  EXPECT_TRUE(
      ql::IsWholeWord("\xE9"
                      "cat\xE9",
                      1, 3));
  EXPECT_TRUE(ql::IsWholeWord("1cat2", 1, 3));
  EXPECT_TRUE(
      ql::IsWholeWord("\t\x01"
                      "cat\t\x02",
                      2, 3));
  EXPECT_FALSE(ql::IsWholeWord("cat", 1, 3));  // runs past the end
}

TEST(TextCase, InsideLink) {
  const std::string text =
      "a cat \t\x11"
      "dog>the dog\t\x12 cat";
  EXPECT_FALSE(ql::IsInsideLink(text, 2));
  EXPECT_TRUE(ql::IsInsideLink(text, 8));    // in the target
  EXPECT_TRUE(ql::IsInsideLink(text, 16));   // in the display text
  EXPECT_FALSE(ql::IsInsideLink(text, 21));  // after the link end
  // A link at the very start of the text.
  EXPECT_TRUE(
      ql::IsInsideLink("\t\x11"
                       "cat\t\x12",
                       2));
  // Inside bold, not a link.
  EXPECT_FALSE(
      ql::IsInsideLink("x\t\x01"
                       "cat",
                       3));
  // The walk back stops above byte 0 and looks at byte 1.
  EXPECT_FALSE(ql::IsInsideLink("cat", 0));
  EXPECT_FALSE(ql::IsInsideLink("xxcat", 2));
}

}  // namespace
