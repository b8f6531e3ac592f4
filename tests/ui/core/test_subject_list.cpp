// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The subject list's rules: preview text, column widths, the split, the keys
// and the typed find.
#include <gtest/gtest.h>

#include "open_document.h"
#include "subject_list.h"

namespace {

using namespace std::string_literals;

TEST(CleanPreview, BlockTagsBecomeSpacesAndOthersVanish) {
  EXPECT_EQ(ql::CleanPreview("a\t\x08"
                             "b"),
            "a b");
  EXPECT_EQ(ql::CleanPreview("\t\x01"
                             "bold\t\x02 plain"),
            "bold plain");
  // Every code that separates words, and none of the others.
  for (int code = 1; code <= 24; ++code) {
    if (code == 9 || code == 17) continue;  // 9 is TAB itself; 17 starts a link
    const bool space = code == 7 || code == 8 || code == 10 || code == 15 || code == 16 ||
                       code == 21 || code == 23;
    EXPECT_EQ(ql::CleanPreview("x\t"s + char(code) + "y"), space ? "x y" : "xy") << code;
  }
  EXPECT_EQ(ql::CleanPreview("x\t\ty"), "x y");   // TAB as a code byte is the paragraph
  EXPECT_EQ(ql::CleanPreview("x\t\xE9y"), "xy");  // codes above 0x7F vanish too
  EXPECT_EQ(ql::CleanPreview("no tags at all"), "no tags at all");
}

TEST(CleanPreview, LinksKeepOnlyTheirWords) {
  EXPECT_EQ(ql::CleanPreview("see \t\x11target>word\t\x12 end"), "see word end");
  // Without '>' before the next tag the target stays as text.
  EXPECT_EQ(ql::CleanPreview("see \t\x11target\t\x12 end"), "see target end");
  EXPECT_EQ(ql::CleanPreview("see \t\x11target"), "see target");
  EXPECT_EQ(ql::CleanPreview("\t\x11>x"), "x");
}

TEST(CleanPreview, OnlyMarkupAndLoneTab) {
  EXPECT_EQ(ql::CleanPreview("\t\x01\t\x02\t\x03"), "");
  EXPECT_EQ(ql::CleanPreview("\t\x08\t\x0A\t\x07"), "   ");
  EXPECT_EQ(ql::CleanPreview("ends in\t"), "ends in");
  EXPECT_EQ(ql::CleanPreview("\t"), "");
  EXPECT_EQ(ql::CleanPreview("a\t\x08\t"), "a ");
}

TEST(CleanPreview, EntitiesAreTheCharactersThePageShowsAndIndentsGo) {
  struct Case {
    std::string_view head;
    std::string_view preview;
  };
  const Case cases[] = {
      {"&lt;language&gt; A &quot;C&quot; &amp; &apos;B&apos;", "<language> A \"C\" & 'B'"},
      {"a&nbsp;b",
       "a\xA0"
       "b"},
      // Numbers, as Windows-1252 bytes; '?' for a character it lacks, a
      // space for a control character.
      {"&#233;&#xE9;&#XE9;&#8364;&#x2013;", "\xE9\xE9\xE9\x80\x96"},
      {"&#x263A; &#1114111; &#9;", "? ?  "},
      // What is no entity stays as it is, a cut-off one at the head's end
      // too.
      {"AT&T &lt &LT; &bogus; &#; &#x; &#0; &#x110000; &#12345678901; &#65",
       "AT&T &lt &LT; &bogus; &#; &#x; &#0; &#x110000; &#12345678901; &#65"},
      {"x &am", "x &am"},
      // An indent is no word of a one-line preview; other no-break spaces are.
      {"\xA0\xA0n 1: a dwelling\t\x08\xA0\xA0\xA0\xA0"
       "families\t\x09\xA0"
       "2:\xA0x",
       "n 1: a dwelling families 2:\xA0x"},
      {"&", "&"},
      // Entities and tags side by side; a link's target is never decoded.
      {"\t\x11"
       "a&amp;b>c&amp;d\t\x12&lt;\t\x08&gt;",
       "c&d< >"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.head)));
    EXPECT_EQ(ql::CleanPreview(c.head), c.preview);
  }
}

TEST(SubjectListGeometry, ColumnWidthsAndHalves) {
  // (W - V - 1) / 3 and the rest; after a resize no scroll bar is taken off.
  EXPECT_EQ(ql::InitialColumnWidths(400, 17), std::make_pair(127, 255));
  EXPECT_EQ(ql::InitialColumnWidths(100, 0), std::make_pair(33, 66));
  EXPECT_EQ(ql::ResizedColumnWidths(400), std::make_pair(133, 266));
  EXPECT_EQ(ql::ResizedColumnWidths(302), std::make_pair(100, 201));
  EXPECT_EQ(ql::SplitHalves(601), std::make_pair(300, 301));
  EXPECT_EQ(ql::SplitHalves(600), std::make_pair(300, 300));
}

TEST(RecordForKey, ShowsTheRecordAboutToBeSelected) {
  using ql::ListKey;
  EXPECT_EQ(ql::RecordForKey(ListKey::kUp, 3, 10), 2);
  EXPECT_EQ(ql::RecordForKey(ListKey::kUp, 0, 10), -1);
  EXPECT_EQ(ql::RecordForKey(ListKey::kDown, 3, 10), 4);
  EXPECT_EQ(ql::RecordForKey(ListKey::kDown, 9, 10), -1);
  EXPECT_EQ(ql::RecordForKey(ListKey::kEnter, 3, 10), 3);
  EXPECT_EQ(ql::RecordForKey(ListKey::kEnter, -1, 10), -1);
  EXPECT_EQ(ql::RecordForKey(ListKey::kDown, -1, 10), -1);
  EXPECT_EQ(ql::RecordForKey(ListKey::kOther, 3, 10), -1);
  // No rows (no book): nothing is shown whatever the mark says.
  EXPECT_EQ(ql::RecordForKey(ListKey::kEnter, 0, 0), -1);
  EXPECT_EQ(ql::RecordForKey(ListKey::kDown, 0, 0), -1);
}

TEST(RowForJump, MovesAsAListMoves) {
  using ql::ListKey;
  struct Case {
    ListKey key;
    int mark, rows, page, row;
  };
  const Case cases[] = {
      {ListKey::kHome, 7, 10, 3, 0},      {ListKey::kEnd, 2, 10, 3, 9},
      {ListKey::kPageDown, 2, 10, 3, 5},  {ListKey::kPageDown, 6, 10, 3, 9},
      {ListKey::kPageDown, 9, 10, 3, 9},  {ListKey::kPageUp, 7, 10, 3, 4},
      {ListKey::kPageUp, 2, 10, 3, 0},    {ListKey::kPageUp, 0, 10, 3, 0},
      {ListKey::kPageDown, 0, 10, 0, 1},   // a page is at least a row
      {ListKey::kPageDown, -1, 10, 3, 3},  // no mark: from the first row
      {ListKey::kEnd, 40, 10, 3, 9},       // a mark past the end: likewise
      {ListKey::kEnd, 0, 1, 3, 0},        {ListKey::kHome, 0, 0, 3, -1},
      {ListKey::kEnd, -1, 0, 3, -1},      {ListKey::kDown, 2, 10, 3, -1},
      {ListKey::kOther, 2, 10, 3, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ql::RowForJump(c.key, c.mark, c.rows, c.page), c.row)
        << static_cast<int>(c.key) << " from " << c.mark << " of " << c.rows;
  // The keys that jump show nothing before the list moves.
  EXPECT_EQ(ql::RecordForKey(ListKey::kEnd, 3, 10), -1);
}

class TypedFindTest : public qltest::OpenDocumentTest {};

TEST_F(TypedFindTest, PrefixIgnoringCase) {
  Open({{"apple", "x"}, {"Apricot", "x"}, {"banana", "x"}});
  EXPECT_EQ(ql::TypedFind(doc, "APR"), 1);
  EXPECT_EQ(ql::TypedFind(doc, "b"), 2);
  EXPECT_EQ(ql::TypedFind(doc, "ap"), 0);
  EXPECT_EQ(ql::TypedFind(doc, "cherry"), -1);
  doc.MarkClosed();
  EXPECT_EQ(ql::TypedFind(doc, "b"), -1);
}

}  // namespace
