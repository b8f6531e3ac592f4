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
  EXPECT_EQ(doc.Reader().iFontFace, "Times New Roman");
  EXPECT_EQ(doc.Reader().iFontSize, 2);
}

TEST_F(FontTest, SelectedRecordIsShownAgainEvenForTheSameChoice) {
  Open({{"a", "x"}, {"b", "y"}, {"c", "z"}});
  desktop.mark = 2;
  ql::ChangeFont(doc, desktop, choice, 2, 2);
  ql::ChangeFont(doc, desktop, choice, 2, 2);
  EXPECT_THAT(desktop.log, ElementsAre("SetListFont Courier New 22", "ShowRecord 2 -1 -1",
                                       "SetListFont Courier New 22", "ShowRecord 2 -1 -1"));
  EXPECT_EQ(doc.Reader().iFontFace, "Courier New");
  EXPECT_EQ(doc.Reader().iFontSize, 4);

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

}  // namespace
