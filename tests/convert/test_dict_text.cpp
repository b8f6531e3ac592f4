// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// How a dictionary entry's own text is found and turned into markup: the
// headword line left out, the indent of each line kept, and HTML's entities.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "dict_markup.h"

namespace {

using ql::MarkupCharset;

// The UTF-8 no-break space, and n of them.
constexpr std::string_view kNbsp = "\xC2\xA0";
std::string Nbsp(size_t n, std::string_view one = kNbsp) {
  std::string out;
  for (size_t k = 0; k < n; ++k) out += one;
  return out;
}

TEST(PlainTextIndent, LeadingBlanksOfEachLineBecomeNoBreakSpaces) {
  struct Case {
    std::string text;
    MarkupCharset charset;
    std::string markup;
  };
  const Case cases[] = {
      {"  one\n    two", MarkupCharset::kUtf8, Nbsp(2) + "one\t\x08" + Nbsp(4) + "two"},
      {"  one\n    two", MarkupCharset::kCp1252,
       Nbsp(2, "\xA0") + "one\t\x08" + Nbsp(4, "\xA0") + "two"},
      // Blanks within a line are left as they are.
      {"a  b\n  c  d", MarkupCharset::kUtf8, "a  b\t\x08" + Nbsp(2) + "c  d"},
      // A TAB reaches the next multiple of eight columns.
      {"\tx\n  \ty\n \t z", MarkupCharset::kUtf8,
       Nbsp(8) + "x\t\x08" + Nbsp(8) + "y\t\x08" + Nbsp(9) + "z"},
      // Lines of blanks between lines make a paragraph, the next line keeps
      // its own indent; CR and CR LF end lines too.
      {"a\n   \n  b", MarkupCharset::kUtf8, "a\t\x09" + Nbsp(2) + "b"},
      {"a\r  b\r\n c", MarkupCharset::kUtf8, "a\t\x08" + Nbsp(2) + "b\t\x08" + Nbsp(1) + "c"},
      // Blank lines before the text and blanks after it are no indent.
      {"  \n\n   a\n   ", MarkupCharset::kUtf8, Nbsp(3) + "a"},
      {" \t \n  ", MarkupCharset::kUtf8, ""},
      // An indent before a link or a "<".
      {"  {cat}\n <b>", MarkupCharset::kUtf8,
       Nbsp(2) + "\t\x11" + "cat\t\x12\t\x08" + Nbsp(1) + "&lt;b>"},
      // A deep indent is kept 64 columns deep.
      {std::string(100, ' ') + "x", MarkupCharset::kUtf8, Nbsp(64) + "x"},
      {std::string(30, '\t') + "x", MarkupCharset::kCp1252, Nbsp(64, "\xA0") + "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    std::string out = "kept:";  // the markup is added to what out holds
    ql::PlainTextToMarkup(c.text, true, out, c.charset);
    EXPECT_EQ(out, "kept:" + c.markup);
  }
}

TEST(HeadwordLine, OnlyAFirstLineThatRepeatsTheHeadwordIsPassedOver) {
  struct Case {
    std::string_view raw;
    std::string_view headword;
    size_t textStart;
  };
  const Case cases[] = {
      {"house\n    n 1: a dwelling", "house", 6},
      {"House\r\n x", "house", 7},
      {"C\nNB\n", "c", 2},
      {"  house \t\n x", "house", 10},
      {"house\rx", " house ", 6},
      {"house", "house", 5},
      // A first line that says more, or another word, is the entry's text.
      {"houses\n", "house", 0},
      {"Abandon \\A*ban\"don\\, v. t.\n", "Abandon", 0},
      {"\nhouse\n", "house", 0},
      {"", "house", 0},
      {"   \nx", "", 0},
      // Only ASCII letters are compared without case.
      {"\xC3\xA9t\xC3\xA9\n", "\xC3\x89T\xC3\x89", 0},
      {"\xC3\xA9t\xC3\xA9\n", "\xC3\xA9T\xC3\xA9", 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.raw)));
    EXPECT_EQ(ql::HeadwordLineEnd(c.raw, c.headword), c.textStart);
  }
}

TEST(HtmlEntities, NamedNumberedAndWithoutSemicolon) {
  struct Case {
    std::string html;
    std::string markup;
  };
  const Case cases[] = {
      {"&ccedil; &ntilde; &euro; &ldquo;q&rdquo;",
       "\xC3\xA7 \xC3\xB1 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D"},
      // The table's first and last names, and one of two characters.
      {"&AElig;&zwnj;", "\xC3\x86\xE2\x80\x8C"},
      {"&NotEqualTilde;", "\xE2\x89\x82\xCC\xB8"},
      // Names are matched with their case.
      {"&Ccedil;&CCEDIL;", "\xC3\x87&CCEDIL;"},
      // Without ";" only the names that may stand so, the longest first.
      {"&copy2024 &amp &eacutex",
       "\xC2\xA9"
       "2024 & \xC3\xA9x"},
      {"&euro &ldquo &hellip", "&euro &ldquo &hellip"},
      {"&notit; &notin;",
       "\xC2\xAC"
       "it; \xE2\x88\x89"},
      // Numbers; 0x80-0x9F are the code page's characters there.
      {"&#233;&#xE9;&#XE9;&#150;&#x80;", "\xC3\xA9\xC3\xA9\xC3\xA9\xE2\x80\x93\xE2\x82\xAC"},
      {"&#0; &#xD800; &#x110000; &#12345678901; &#; &#x; &#65",
       "&#0; &#xD800; &#x110000; &#12345678901; &#; &#x; &#65"},
      {"&bogus; & x &; &" + std::string(40, 'a') + ";",
       "&bogus; & x &; &" + std::string(40, 'a') + ";"},
      // "<" stays an entity, as the page reads the markup as HTML, however
      // it was written.
      {"&lt;b&gt; &LT;i> &lt &nvlt;", "&lt;b> &lt;i> &lt; &lt;\xE2\x83\x92"},
      // The markup's TAB is its tag byte: white space from an entity is a
      // space, other control characters are dropped.
      {"a&Tab;b&#9;c&NewLine;d&#1;e&#x7F;f", "a b c def"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.html)));
    std::string out;
    ql::HtmlToMarkup(c.html, out);
    EXPECT_EQ(out, c.markup);
  }
}

TEST(HtmlEntities, InLinkTargets) {
  struct Case {
    std::string_view html;
    std::string_view markup;
  };
  const Case cases[] = {
      {"<a href=\"bword://caf&eacute;\">x</a>",
       "\t\x11"
       "caf\xC3\xA9>x\t\x12"},
      {"<a href=\"bword://&copy;x\">x</a>", "\t\x11\xC2\xA9x>x\t\x12"},
      // In an attribute a name without ";" is left as written when a
      // letter, a digit or "=" follows it.
      {"<a href=\"bword://a&copyb\">x</a>",
       "\t\x11"
       "a&copyb>x\t\x12"},
      {"<a href=\"bword://a&copy=b\">x</a>",
       "\t\x11"
       "a&copy=b>x\t\x12"},
      {"<a href=\"bword://a&copy b\">x</a>",
       "\t\x11"
       "a\xC2\xA9 b>x\t\x12"},
      // A target that cannot reach the page whole makes no link.
      {"<a href=\"bword://a&lt;b\">x</a>", "x"},
      {"<a href=\"bword://a&Tab;b\">x</a>", "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.html)));
    std::string out;
    ql::HtmlToMarkup(c.html, out);
    EXPECT_EQ(out, c.markup);
  }
}

}  // namespace
