// How a dictionary entry's text is turned into markup: HTML's entities.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "dict_markup.h"

namespace {

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
