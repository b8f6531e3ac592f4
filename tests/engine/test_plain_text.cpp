// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A record's plain text: the layout its tags give, link texts, no markup
// bytes; and the conversions between the books' code page and UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "plain_text.h"

namespace {

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::string T(int code) {
  return std::string{'\t', static_cast<char>(code)};
}

TEST(PlainText, LaysTheRecordOut) {
  struct Case {
    std::string name, record, text;
  };
  const std::vector<Case> cases = {
      {"empty", "", ""},
      {"styles vanish", "a " + T(1) + "bold" + T(2) + " and " + T(3) + "it" + T(4),
       "a bold and it\n"},
      {"paragraphs", T(9) + "one" + T(9) + T(9) + "two", "one\n\ntwo\n"},
      {"line breaks", "a" + T(8) + "b" + T(8) + T(8) + "c", "a\nb\n\nc\n"},
      {"spaces and line ends fold", "  a \r\n  b  " + T(8) + "  c  ", "a b\nc\n"},
      {"marks", T(13) + T(10) + "x" + T(10) + "y" + T(14) + "after", "- x\n- y\nafter\n"},
      {"numbers, nested", T(11) + T(10) + "a" + T(13) + T(10) + "b" + T(14) + T(10) + "c" + T(12),
       "1. a\n  - b\n2. c\n"},
      {"link text, not target", "see " + T(17) + "dog>the dog" + T(18) + ".", "see the dog.\n"},
      {"link without text", T(17) + "dog" + T(18), "dog\n"},
      {"rule", "a" + T(7) + "b", "a\n----------\nb\n"},
      {"entities", "a &amp; b &lt;c&gt; &quot;d&quot; &nbsp;", "a & b <c> \"d\" &nbsp;\n"},
      {"unknown tags and a last TAB dropped", "a" + T(99) + "b\t", "ab\n"},
      {"ends at zero", std::string("a\0b", 3), "a\n"},
      {"close without open", T(12) + T(10) + "x", "- x\n"},
      {"deep lists indent no further than eight",
       Repeat(T(13), 12) + T(10) + "x" + T(14) + T(10) + "y",
       std::string(14, ' ') + "- x\n" + std::string(14, ' ') + "- y\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ql::RecordPlainText(c.record), c.text) << c.name;
  // A hostile record of deep lists and many items: the text stays in
  // proportion to it.
  const std::string deep = Repeat(T(13), 3000) + Repeat(T(10) + "x", 3000);
  EXPECT_LT(ql::RecordPlainText(deep).size(), 8 * deep.size());
}

TEST(PlainText, CodePageAndUtf8) {
  EXPECT_EQ(ql::Cp1252ToUtf8("caf\xE9 \x80\x81"), "caf\xC3\xA9 \xE2\x82\xAC\xC2\x81");
  struct Case {
    std::string utf8;
    std::optional<std::string> cp1252;
  };
  const std::vector<Case> cases = {
      {"plain", "plain"},
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},
      {"\xE4\xB8\x80", std::nullopt},      // a character the code page lacks
      {"\xF0\x9F\x98\x80", std::nullopt},  // outside the basic plane
      {"\xC3", std::nullopt},              // cut short
      {"\xC0\xAF", std::nullopt},          // overlong
      {"\xED\xA0\x80", std::nullopt},      // a surrogate
      {"\xE9t\xE9", std::nullopt},         // the code page itself
  };
  for (const auto& c : cases) EXPECT_EQ(ql::Utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
  EXPECT_EQ(ql::LenientUtf8("\xE9t\xC3\xA9 \xF0\x9F\x98\x80"),
            "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80");
}

}  // namespace
