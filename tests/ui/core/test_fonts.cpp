// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Typeface and size changes: the list font, the page font in the reader and
// the record shown again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fonts.h"
#include "open_document.h"

namespace {

using testing::ElementsAre;

class FontTest : public qltest::OpenDocumentTest {
 protected:
  ql::FontChoice choice;
};

TEST_F(FontTest, WithoutABookNothingIsRendered) {
  desktop.mark = 0;  // whatever the list says, there is no record to show
  ql::ChangeFont(doc, desktop, choice, 1, 0);
  EXPECT_THAT(desktop.log, ElementsAre("SetListFont Times New Roman 14"));
  EXPECT_EQ(doc.Options().face, "Times New Roman");
  EXPECT_EQ(doc.Options().size, 2);
}

TEST_F(FontTest, SelectedRecordIsShownAgainEvenForTheSameChoice) {
  Open({{"a", "x"}, {"b", "y"}, {"c", "z"}});
  desktop.mark = 2;
  ql::ChangeFont(doc, desktop, choice, 2, 2);
  ql::ChangeFont(doc, desktop, choice, 2, 2);
  EXPECT_THAT(desktop.log, ElementsAre("SetListFont Courier New 22", "ShowRecord 2 -1 -1",
                                       "SetListFont Courier New 22", "ShowRecord 2 -1 -1"));
  EXPECT_EQ(doc.Options().face, "Courier New");
  EXPECT_EQ(doc.Options().size, 4);

  desktop.log.clear();
  desktop.mark = -1;
  ql::ChangeFont(doc, desktop, choice, 0, 1);
  EXPECT_THAT(desktop.log, ElementsAre("SetListFont Arial 18"));
}

TEST_F(FontTest, IndexesOutOfRangeKeepTheirChoice) {
  ql::ChangeFont(doc, desktop, choice, 2, 0);
  ql::ChangeFont(doc, desktop, choice, -1, 3);
  EXPECT_EQ(choice.iFontFaceIndex, 2);
  EXPECT_EQ(choice.iFontSizeIndex, 0);
  EXPECT_EQ(desktop.log.back(), "SetListFont Courier New 14");
}

TEST_F(FontTest, ZoomScalesTheListFontAndStopsAtBothEnds) {
  ql::ChangeFont(doc, desktop, choice, 1, 2);  // 22 px
  desktop.log.clear();
  EXPECT_TRUE(ql::ChangeZoom(desktop, choice, ql::Zoom::kIn));
  EXPECT_EQ(ql::ZoomPercent(choice), 110);
  EXPECT_THAT(desktop.log, ElementsAre("SetListFont Times New Roman 24"));
  while (ql::ChangeZoom(desktop, choice, ql::Zoom::kIn)) {
  }
  EXPECT_EQ(ql::ZoomPercent(choice), 300);
  EXPECT_EQ(desktop.log.back(), "SetListFont Times New Roman 66");
  const size_t logged = desktop.log.size();
  EXPECT_FALSE(ql::ChangeZoom(desktop, choice, ql::Zoom::kIn));
  EXPECT_EQ(desktop.log.size(), logged);
  // A size change keeps the zoom.
  ql::ChangeFont(doc, desktop, choice, 1, 0);
  EXPECT_EQ(desktop.log.back(), "SetListFont Times New Roman 42");
  EXPECT_TRUE(ql::ChangeZoom(desktop, choice, ql::Zoom::kReset));
  EXPECT_EQ(desktop.log.back(), "SetListFont Times New Roman 14");
  EXPECT_FALSE(ql::ChangeZoom(desktop, choice, ql::Zoom::kReset));
  while (ql::ChangeZoom(desktop, choice, ql::Zoom::kOut)) {
  }
  EXPECT_EQ(ql::ZoomPercent(choice), 50);
  EXPECT_EQ(desktop.log.back(), "SetListFont Times New Roman 7");
}

TEST(FontChoice, OnlyKnownStoredValuesAreRestored) {
  ql::FontChoice first = ql::RestoreFontChoice({});
  EXPECT_EQ(first.iFontFaceIndex, 0);
  EXPECT_EQ(first.iFontSizeIndex, 1);
  EXPECT_EQ(ql::ZoomPercent(first), 100);

  ql::FontChoice mine = ql::RestoreFontChoice({"Courier New", "Large", 175});
  EXPECT_EQ(mine.iFontFaceIndex, 2);
  EXPECT_EQ(mine.iFontSizeIndex, 2);
  EXPECT_EQ(ql::ZoomPercent(mine), 175);

  // Only the size was ever changed; an edited file's other values are not
  // choices at all.
  ql::FontChoice partial = ql::RestoreFontChoice({"Comic", "Small", 113});
  EXPECT_EQ(partial.iFontFaceIndex, 0);
  EXPECT_EQ(partial.iFontSizeIndex, 0);
  EXPECT_EQ(ql::ZoomPercent(partial), 100);
}

}  // namespace
