// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Folding, ordering, search and the word test of UTF-8 text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "plain_text.h"
#include "text_case.h"
#include "unicode_reference.h"
#include "unicode_text.h"

namespace {

std::string Utf8(char32_t cp) {
  std::string s;
  ql::AppendUtf8Char(s, cp);
  return s;
}

int Sign(int v) {
  return (v > 0) - (v < 0);
}

// Byte order of two strings with bytes as unsigned values.
int ByteOrder(std::string_view a, std::string_view b) {
  const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (c != 0) return Sign(c);
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

TEST(UnicodeText, SimpleCaseFoldingAcrossScriptsAndPlanes) {
  struct Case {
    char32_t from, to;
  };
  const Case cases[] = {
      {'A', 'a'},         {'z', 'z'},           {'@', '@'},           {'[', '['},
      {0xC0, 0xE0},       {0xDF, 0xDF},         {0x1E9E, 0xDF},    // capital sharp s, simple form
      {0x0130, 0x0130},   {0x0131, 0x0131},     {0x49, 0x69},      // dotted and dotless i stay
      {0x212A, 'k'},      {0x212B, 0xE5},       {0x017F, 's'},     // Kelvin, Angstrom, long s
      {0x0414, 0x0434},   {0x0401, 0x0451},     {0x0434, 0x0434},  // Cyrillic
      {0x03A3, 0x03C3},   {0x03C2, 0x03C3},     {0x03F4, 0x03B8},  // Greek, final sigma
      {0x03D1, 0x03B8},   {0x0345, 0x03B9},     {0x1F88, 0x1F80},  // ypogegrammeni, status S
      {0x01C5, 0x01C6},   {0x0531, 0x0561},     {0x10A0, 0x2D00},  // title case, Armenian, Georgian
      {0x1C90, 0x10D0},   {0x13F8, 0x13F0},     {0xAB70, 0x13A0},  // Mtavruli, Cherokee
      {0xFF21, 0xFF41},   {0x10400, 0x10428},   {0x10428, 0x10428},  // full width, Deseret
      {0x1E900, 0x1E922}, {0x1E943, 0x1E943},                        // Adlam
      {0x05D0, 0x05D0},   {0x0627, 0x0627},     {0x4E00, 0x4E00},    // uncased scripts
      {0xE0041, 0xE0041}, {0x10FFFF, 0x10FFFF}, {0x110000, 0x110000},
  };
  for (const Case& c : cases)
    EXPECT_EQ(static_cast<uint32_t>(ql::FoldCodePoint(c.from)), static_cast<uint32_t>(c.to))
        << std::hex << static_cast<uint32_t>(c.from);
  // Folding is settled after one step, for every code point.
  for (char32_t cp = 0; cp < 0x110000; ++cp) {
    const char32_t once = ql::FoldCodePoint(cp);
    ASSERT_EQ(ql::FoldCodePoint(once), once) << std::hex << static_cast<uint32_t>(cp);
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      ASSERT_EQ(once, cp);
    }
  }
}

TEST(UnicodeText, FoldUtf8KeepsBytesThatStartNoCharacter) {
  struct Case {
    std::string text, folded;
  };
  const Case cases[] = {
      {"Hello, WORLD 42", "hello, world 42"},
      {"\xC3\x80\xC3\x89\xC3\x8E", "\xC3\xA0\xC3\xA9\xC3\xAE"},  // accented capitals
      {"\xCE\xA3\xCE\x9F\xCF\x86\xCE\xBF\xCF\x82", "\xCF\x83\xCE\xBF\xCF\x86\xCE\xBF\xCF\x83"},
      {"\xE2\x84\xAA"
       "elvin",
       "kelvin"},  // three bytes fold to one
      {"A\x80"
       "B\xC3",
       "a\x80"
       "b\xC3"},                                   // stray and cut bytes
      {"\xC0\xAF\xC1\x81", "\xC0\xAF\xC1\x81"},    // overlong forms
      {"\xED\xA0\x80Z", "\xED\xA0\x80z"},          // an encoded surrogate
      {"\xF4\x90\x80\x80Q", "\xF4\x90\x80\x80q"},  // past U+10FFFF
      {"\xE2\x84\xC3\x89", "\xE2\x84\xC3\xA9"},    // a cut sequence before a character
      {"\xF0\x90\x90\x80\xF0\x90\x90", "\xF0\x90\x90\xA8\xF0\x90\x90"},  // Deseret, then cut
      {"\xC4\xB0", "\xC4\xB0"},                                          // dotted capital I stays
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ql::FoldUtf8(c.text), c.folded) << c.text;
    EXPECT_EQ(ql::FoldUtf8(c.folded), c.folded) << c.text;
  }
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  std::string ascii;
  for (char c : bytes) ascii += ql::FoldAscii(c);
  EXPECT_EQ(ql::FoldUtf8(bytes), ascii);  // every byte is a unit of its own here
}

TEST(UnicodeText, DecodeAgreesWithTheStrictDecoder) {
  struct Case {
    std::string bytes;
    size_t pos;
    char32_t cp;
    size_t length;
  };
  const Case cases[] = {
      {"A", 0, 'A', 1},
      {"\xC2\x80", 0, 0x80, 2},
      {"\xDF\xBF", 0, 0x7FF, 2},
      {"\xE0\xA0\x80", 0, 0x800, 3},
      {"\xED\x9F\xBF", 0, 0xD7FF, 3},
      {"\xEE\x80\x80", 0, 0xE000, 3},
      {"\xEF\xBF\xBD", 0, 0xFFFD, 3},  // the replacement character itself
      {"\xF0\x90\x80\x80", 0, 0x10000, 4},
      {"\xF4\x8F\xBF\xBF", 0, 0x10FFFF, 4},
      {"a\xC3\xA9", 1, 0xE9, 2},
      {"\xC3\xA9", 1, 0xFFFD, 1},  // inside a character
      {"\xC3\xA9", 2, 0xFFFD, 0},  // at the end
      {"\xC0\x80", 0, 0xFFFD, 1},
      {"\xC1\xBF", 0, 0xFFFD, 1},
      {"\xE0\x9F\xBF", 0, 0xFFFD, 1},
      {"\xF0\x8F\xBF\xBF", 0, 0xFFFD, 1},
      {"\xED\xA0\x80", 0, 0xFFFD, 1},
      {"\xED\xBF\xBF", 0, 0xFFFD, 1},
      {"\xF4\x90\x80\x80", 0, 0xFFFD, 1},
      {"\xF5\x80\x80\x80", 0, 0xFFFD, 1},
      {"\xFF", 0, 0xFFFD, 1},
      {"\xC3", 0, 0xFFFD, 1},
      {"\xE2\x82", 0, 0xFFFD, 1},
      {"\xF0\x9F\x98", 0, 0xFFFD, 1},
      {"\xC3"
       "A",
       0, 0xFFFD, 1},
      {"\xE2\x82"
       "A",
       0, 0xFFFD, 1},
      {"\xF0\x9F\x98"
       "A",
       0, 0xFFFD, 1},
  };
  for (const Case& c : cases) {
    char32_t cp = 0;
    EXPECT_EQ(ql::DecodeUtf8(c.bytes, c.pos, cp), c.length) << c.bytes;
    EXPECT_EQ(static_cast<uint32_t>(cp), static_cast<uint32_t>(c.cp)) << c.bytes;
  }
  // Every sequence of up to three bytes, and a sample of four, against the
  // plain text decoder (which rejects what this one replaces).
  std::mt19937 random(7);
  auto check = [](const std::string& s) {
    char32_t cp = 0, strict = 0;
    size_t i = 0;
    const size_t n = ql::DecodeUtf8(s, 0, cp);
    if (ql::NextUtf8(s, i, strict)) {
      ASSERT_EQ(n, i);
      ASSERT_EQ(cp, strict);
    } else {
      ASSERT_EQ(n, 1u);
      ASSERT_EQ(cp, ql::kReplacementCharacter);
    }
  };
  for (uint32_t v = 0; v < (1u << 24); ++v) {
    if ((v & 0xFF) < 0xC0 && v > 0xFF) continue;  // ASCII and stray leads are the same for any tail
    const char s[3] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8),
                       static_cast<char>(v >> 16)};
    for (size_t n = 1; n <= 3; ++n) check(std::string(s, n));
  }
  for (int round = 0; round < 200000; ++round) {
    const uint32_t v = static_cast<uint32_t>(random()) | 0xF0;
    check(std::string(reinterpret_cast<const char*>(&v), 4));
  }
}

// Random text built from units that make folding, ordering and search
// interesting: cases, length changes under folding, every plane, combining
// marks, right-to-left scripts and bytes that start no character.
class UnitPool {
 public:
  explicit UnitPool(uint32_t seed) : iRandom(seed) {}
  size_t Pick(size_t n) { return static_cast<size_t>(iRandom() % n); }
  std::string Unit() {
    static const std::vector<std::string> kUnits = [] {
      std::vector<std::string> units = {
          "a",       "A", "k", "K", "s", "S", "z", " ", ".", "\x80", "\xC3", "\xFF", "\xED\xA0\x80",
          "\xE2\x84"};
      for (char32_t cp :
           {0x212A, 0x017F, 0x00DF,  0x1E9E,  0x0130,  0x0131,  0x0414, 0x0434,  0x03A3,
            0x03C2, 0x03C3, 0x0301,  0x0308,  0x05D0,  0x05D1,  0x0627, 0x064E,  0x0915,
            0x094D, 0x4E2D, 0x10400, 0x10428, 0x1F600, 0x1E900, 0xE000, 0x10FFFF})
        units.push_back(Utf8(cp));
      return units;
    }();
    if (Pick(6) == 0) {  // any scalar value, any plane
      char32_t cp = static_cast<char32_t>(Pick(0x110000));
      if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0x24;
      return Utf8(cp);
    }
    return kUnits[Pick(kUnits.size())];
  }
  std::string Text(size_t maxUnits) {
    std::string s;
    for (size_t n = Pick(maxUnits + 1); n > 0; --n) s += Unit();
    return s;
  }
  // text with some characters swapped for others of the same folding.
  std::string Variant(std::string_view text) {
    static const std::vector<std::vector<char32_t>> kSiblings = {
        {'a', 'A'},       {'k', 'K', 0x212A},       {'s', 'S', 0x017F}, {0xDF, 0x1E9E},
        {0x0414, 0x0434}, {0x03A3, 0x03C2, 0x03C3}, {0x10400, 0x10428}, {0x1E900, 0x1E922},
    };
    std::string out;
    for (size_t i = 0; i < text.size();) {
      char32_t cp = 0;
      const size_t n = ql::DecodeUtf8(text, i, cp);
      std::string unit(text.substr(i, n));
      for (const auto& group : kSiblings)
        if (std::find(group.begin(), group.end(), cp) != group.end() && Pick(2) == 0)
          unit = Utf8(group[Pick(group.size())]);
      out += unit;
      i += n;
    }
    return out;
  }

 private:
  std::mt19937 iRandom;
};

TEST(UnicodeText, ComparisonOrdersAsTheFoldedCopies) {
  struct Case {
    std::string a, b;
    int order;
  };
  const Case cases[] = {
      {"Kelvin",
       "\xE2\x84\xAA"
       "ELVIN",
       0},
      {"\xE1\xBA\x9E", "\xC3\x9F", 0},                              // capital and small sharp s
      {"\xCE\xA3\xCE\x9F\xCE\xA3", "\xCF\x83\xCE\xBF\xCF\x82", 0},  // final sigma
      {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8", 0},                  // Deseret
      {"abcdefg\xC3\x9F", "abcdefg\xC3\x80", -1},  // a character across eight bytes
      {"ABCDEFGHIJ", "abcdefghik", -1},
      {"\xC3", "\xC3\xA0", -1},  // a cut sequence starts a character
      {"\xC3"
       "b",
       "\xC3\xA0", -1},
      {"\xC3\x80", "\xC3", 1},
      {"z", "\xC3\x80", -1},
      {"\x7F", "\x80", -1},
      {"", "\x80", -1},
      {"\xE2\x84\xAA", "j", 1},
      {"\xEF\xBF\xBD", "\xFF", -1},  // U+FFFD itself and a stray byte
      {"[", "a", -1},                // '[' stays below 'a' after folding
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(ql::CompareFoldedUtf8(c.a, c.b)), c.order) << c.a << " / " << c.b;
    EXPECT_EQ(Sign(ql::CompareFoldedUtf8(c.b, c.a)), -c.order) << c.a << " / " << c.b;
  }
  UnitPool pool(99);
  // Shared long ASCII beginnings in mixed case, so that the eight-byte steps
  // run and then meet a difference or a non-ASCII byte.
  const std::string starts[] = {"", "Abc", "ABCDEFGHIJKLmnop", "abcdefghijklMNOP", "abcdefgh@[`{"};
  std::vector<std::string> strings;
  for (int i = 0; i < 500; ++i) {
    if (i % 2 == 1) {  // the same folded text in other bytes, perhaps longer
      strings.push_back(pool.Variant(strings[pool.Pick(strings.size())]) + pool.Text(1));
    } else {
      strings.push_back(starts[pool.Pick(5)] + pool.Text(6));
    }
  }
  for (const std::string& a : strings)
    for (const std::string& b : strings)
      ASSERT_EQ(Sign(ql::CompareFoldedUtf8(a, b)), ByteOrder(ql::FoldUtf8(a), ql::FoldUtf8(b)))
          << a << " / " << b;
  // Sorted and searched as books are.
  auto less = [](const std::string& a, const std::string& b) {
    return ql::CompareFoldedUtf8(a, b) < 0;
  };
  std::sort(strings.begin(), strings.end(), less);
  for (const std::string& s : strings) {
    const auto [lo, hi] = std::equal_range(strings.begin(), strings.end(), s, less);
    const auto same = std::count_if(strings.begin(), strings.end(), [&](const std::string& t) {
      return ql::FoldUtf8(t) == ql::FoldUtf8(s);
    });
    ASSERT_EQ(hi - lo, same) << s;
  }
  // On ASCII the sign is that of the ASCII comparison; b is a in other case
  // with a byte changed now and then, so that long runs fold alike.
  const std::string ascii = "aAzZ@[`{09 \x7F_^";
  for (int round = 0; round < 20000; ++round) {
    std::string a = starts[pool.Pick(5)];
    for (size_t n = pool.Pick(24); n > 0; --n) a += ascii[pool.Pick(ascii.size())];
    std::string b = a;
    for (char& c : b)
      if (pool.Pick(2) == 0) c = static_cast<char>(c ^ (std::isalpha(c) ? 0x20 : 0));
    if (!b.empty() && pool.Pick(2) == 0) b[pool.Pick(b.size())] = ascii[pool.Pick(ascii.size())];
    if (pool.Pick(4) == 0) b.resize(pool.Pick(b.size() + 1));
    ASSERT_EQ(Sign(ql::CompareFoldedUtf8(a, b)), Sign(ql::CompareFoldedAscii(a, b)))
        << a << " / " << b;
  }
}

TEST(UnicodeText, FinderAgreesWithFoldingFirst) {
  UnitPool pool(2024);
  for (int round = 0; round < 4000; ++round) {
    const std::string text = pool.Text(round % 10 == 0 ? 120 : 40);
    std::string term;
    if (round % 2 == 0) {
      // A piece of the folded text, so that most terms are found; it may
      // start or end inside a character.
      const std::string folded = ql::FoldUtf8(text);
      const size_t at = pool.Pick(folded.size() + 1);
      term = folded.substr(at, 1 + pool.Pick(8));
    } else {
      term = ql::FoldUtf8(pool.Text(3));
    }
    for (size_t from : {size_t{0}, size_t{1}, pool.Pick(text.size() + 2)}) {
      ASSERT_EQ(qltest::FinderHits(text, term, from), qltest::NaiveFoldedFind(text, term, from))
          << "round " << round << " from " << from;
    }
  }
  // Dense texts where nearly every byte is a candidate, so that the scan
  // goes over to the border table at all sorts of places, among them the
  // inside of a character.
  const std::string dense[] = {"\x84", "\xE2\x84\x84", "\xE2\x84\xAA", "k", "K", "\xC3"};
  for (int round = 0; round < 3000; ++round) {
    std::string text, term;
    for (size_t n = 1 + pool.Pick(300); n > 0; --n) text += dense[pool.Pick(6)];
    for (size_t n = 1 + pool.Pick(12); n > 0; --n) term += dense[pool.Pick(round % 2 ? 2 : 6)];
    term = ql::FoldUtf8(term);
    ASSERT_EQ(qltest::FinderHits(text, term, 0), qltest::NaiveFoldedFind(text, term, 0))
        << "dense round " << round;
  }
}

TEST(UnicodeText, FinderWorkStaysLinear) {
  struct Case {
    std::string unit, term;
  };
  // Texts of one repeated unit and terms that match all but their end, so
  // that every position is a candidate; the results must still be right.
  const std::string kelvin = Utf8(0x212A);
  const Case cases[] = {
      {"a", std::string(60, 'a') + "b"},
      {"A", std::string(60, 'a')},
      {kelvin, std::string(60, 'k') + "x"},
      {"K" + kelvin, std::string(40, 'k')},
      {Utf8(0x0414), ql::FoldUtf8(std::string(30, 'x')) + Utf8(0x0434)},
      {"\x80", std::string(50, '\x80') + "y"},
  };
  for (const Case& c : cases) {
    std::string text;
    while (text.size() < 20000) text += c.unit;
    const ql::Utf8FoldedFinder finder(c.term);
    ql::Utf8FoldedFinder::Scan scan(finder, text, 0);
    size_t hits = 0;
    while (scan.Next()) ++hits;
    EXPECT_LE(scan.Work(), 8 * text.size()) << c.term;
    EXPECT_EQ(hits, qltest::NaiveFoldedFind(text, c.term, 0).size()) << c.term;
  }
  // A term holding a character folding never gives is never found.
  EXPECT_FALSE(ql::Utf8FoldedFinder("Kat").Find("kat Kat KAT", 0));
  EXPECT_FALSE(ql::Utf8FoldedFinder("").Find("kat", 0));
}

TEST(UnicodeText, WholeWordOnDecodedCharacters) {
  struct Case {
    std::string text, word;
    size_t nth;  // which occurrence of word in text
    bool whole;
  };
  const Case cases[] = {
      {"кот котёнок", "кот", 0, true},
      {"кот котёнок", "кот", 1, false},  // a Cyrillic letter follows
      {"скот", "кот", 0, false},
      {"«кот»", "кот", 0, true},
      {"كتاب الكتاب", "كتاب", 0, true},
      {"كتاب الكتاب", "كتاب", 1, false},  // the article is part of the word
      {"كَتَبَ", "ك", 0, false},             // a vowel mark follows the letter
      {"नमस्ते दुनिया", "नमस", 0, false},    // the virama keeps the word going
      {"नमस्ते दुनिया", "नमस्ते", 0, true},
      {"e\xCC\x81x", "x", 0, false},     // a combining mark before
      {"abc\xD9\xA3", "abc", 0, false},  // an Arabic-Indic digit after
      {"x\xC2\xB2", "x", 0, true},       // a superscript digit is no decimal digit
      {"\xFF\xD0\xBA\xD0\xBE\xD1\x82\x80", "кот", 0, true},  // stray bytes are boundaries
      {"\x80\x80\x80\x80кот", "кот", 0, true},
      {"\xC3\xA9\xA9кот", "кот", 0, true},       // a stray byte after a letter
      {"\xF0\x90\x90\xA8кот", "кот", 0, false},  // a Deseret letter before
      {"中文", "中", 0, false},
      {"кот\xF0\x9F\x98\x80", "кот", 0, true},
  };
  for (const Case& c : cases) {
    size_t hit = c.text.find(c.word);
    for (size_t k = 0; k < c.nth; ++k) hit = c.text.find(c.word, hit + 1);
    ASSERT_NE(hit, std::string::npos) << c.text;
    EXPECT_EQ(ql::IsWholeWordUtf8(c.text, hit, c.word.size()), c.whole) << c.text << " " << c.nth;
  }
  EXPECT_FALSE(ql::IsWholeWordUtf8("кот", 2, 6));  // runs past the end
  struct Class {
    char32_t cp;
    bool word;
  };
  const Class classes[] = {
      {'a', true},      {'5', true},       {'_', false},    {0x0301, true},   {0x0903, true},
      {0x0966, true},   {0x2160, false},   {0x0640, true},  {0x060C, false},  {0xAC00, true},
      {0xD7A3, true},   {0xD7A4, false},   {0x20000, true}, {0x323AF, true},  {0xE0100, true},
      {0xE01F0, false}, {0x10FFFD, false}, {0xFFFD, false}, {0x1F600, false}, {0x110000, false},
  };
  for (const Class& c : classes)
    EXPECT_EQ(ql::IsWordCodePoint(c.cp), c.word) << std::hex << static_cast<uint32_t>(c.cp);
}

}  // namespace
