// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The bookmark commands over a real book's table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bookmarks.h"
#include "open_document.h"

namespace {

using testing::ElementsAre;

class BookmarksTest : public qltest::OpenDocumentTest {
 protected:
  void SetUp() override {
    Open({{"alpha", "a"}, {"beta", "b"}, {"Salt & pepper", "c"}, {"delta", "d"}});
  }
  std::vector<int> Slots() {
    std::vector<int> slots;
    for (const ql::BookmarkItem& item : ql::BookmarksInUse(doc)) slots.push_back(item.slot);
    return slots;
  }
  void FillAll() {
    for (int i = 0; i < ql::kBookmarkLastSlot; ++i) ql::NewBookmark(doc, desktop);
    desktop.log.clear();
  }
};

TEST_F(BookmarksTest, NothingHappensWithoutABook) {
  doc.MarkClosed();
  ql::NewBookmark(doc, desktop);
  ql::RemoveBookmark(doc, desktop);
  ql::GoToBookmark(doc, desktop, 1);
  EXPECT_TRUE(desktop.log.empty());
  EXPECT_TRUE(ql::BookmarksInUse(doc).empty());
}

TEST_F(BookmarksTest, NewBookmarkTakesTheListSelection) {
  desktop.mark = 2;
  ql::NewBookmark(doc, desktop);
  const ql::BookmarkEntry e = doc.Reader().GetBookmark(1);
  EXPECT_EQ(e.textLength, 13);
  EXPECT_EQ(e.recordIndex, 2);
  EXPECT_EQ(e.reserved, 0);
  EXPECT_EQ(e.text, "Salt & pepper");  // '&' kept: the menu makes it a mnemonic
  EXPECT_THAT(desktop.log, ElementsAre("RebuildBookmarkMenu"));

  // Nothing selected: subject 0. The same subject may be marked twice.
  desktop.mark = -1;
  ql::NewBookmark(doc, desktop);
  ql::NewBookmark(doc, desktop);
  const std::vector<ql::BookmarkItem> items = ql::BookmarksInUse(doc);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[1].slot, 2);
  EXPECT_EQ(items[1].text, "alpha");
  EXPECT_EQ(doc.Reader().GetBookmark(2).recordIndex, 0);
  EXPECT_EQ(items[2].text, "alpha");
}

TEST_F(BookmarksTest, FiftyFirstIsRefusedAndTheTableStays) {
  desktop.mark = 1;
  FillAll();
  EXPECT_EQ(Slots().size(), 50u);
  desktop.mark = 3;
  ql::NewBookmark(doc, desktop);
  EXPECT_THAT(desktop.log,
              ElementsAre("ShowMessage Quillary: Maximum number of bookmarks reached"));
  for (const ql::BookmarkItem& item : ql::BookmarksInUse(doc)) EXPECT_EQ(item.text, "beta");
}

TEST_F(BookmarksTest, RemovedSlotIsReusedInPlace) {
  desktop.mark = 0;
  FillAll();
  desktop.removals = {7};
  ql::RemoveBookmark(doc, desktop);
  EXPECT_EQ(desktop.removeItems.size(), 50u);
  EXPECT_EQ(doc.Reader().GetBookmark(7).textLength, 0);
  EXPECT_EQ(doc.Reader().GetBookmark(7).text, "");
  EXPECT_EQ(Slots().size(), 49u);

  desktop.mark = 3;
  ql::NewBookmark(doc, desktop);
  const std::vector<ql::BookmarkItem> items = ql::BookmarksInUse(doc);
  ASSERT_EQ(items.size(), 50u);
  EXPECT_EQ(items[6].slot, 7);  // seventh in the menu
  EXPECT_EQ(items[6].text, "delta");
  EXPECT_THAT(desktop.log, ElementsAre("ChooseBookmarkToRemove 50", "RebuildBookmarkMenu",
                                       "RebuildBookmarkMenu"));
}

TEST_F(BookmarksTest, RemoveWithNothingChosenOrCancelledRemovesNothing) {
  // An empty table shows an empty list; OK removes nothing.
  desktop.removals = {-1};
  ql::RemoveBookmark(doc, desktop);
  EXPECT_TRUE(desktop.removeItems.empty());

  desktop.mark = 1;
  ql::NewBookmark(doc, desktop);
  desktop.removals = {-1, std::nullopt};
  ql::RemoveBookmark(doc, desktop);
  ql::RemoveBookmark(doc, desktop);
  ASSERT_EQ(desktop.removeItems.size(), 1u);
  EXPECT_EQ(desktop.removeItems[0].slot, 1);
  EXPECT_EQ(desktop.removeItems[0].text, "beta");
  EXPECT_EQ(Slots(), std::vector<int>{1});
}

TEST_F(BookmarksTest, GoToShowsTheRecordAndSelectsItsRow) {
  desktop.mark = 3;
  ql::NewBookmark(doc, desktop);
  desktop.mark = 0;
  desktop.log.clear();
  ql::GoToBookmark(doc, desktop, 1);
  EXPECT_THAT(desktop.log, ElementsAre("ShowRecord 3 -1 -1", "SelectRow 3"));
  EXPECT_EQ(desktop.mark, 3);
}

TEST_F(BookmarksTest, GoToIgnoresFreeSlotsAndRecordsTheBookLacks) {
  doc.Reader().SetBookmark(5, 4, 99, 0, "gone");  // a damaged table
  doc.Reader().SetBookmark(6, 4, -1, 0, "gone");
  ql::GoToBookmark(doc, desktop, 5);
  ql::GoToBookmark(doc, desktop, 6);
  ql::GoToBookmark(doc, desktop, 2);
  ql::GoToBookmark(doc, desktop, 0);
  ql::GoToBookmark(doc, desktop, 51);
  EXPECT_TRUE(desktop.log.empty());
}

TEST_F(BookmarksTest, TableIsWrittenIntoTheBookOnSave) {
  desktop.mark = 2;
  ql::NewBookmark(doc, desktop);
  EXPECT_EQ(qltest::ReadFileBytes(path).find("Salt & pepper"), std::string::npos);
  std::string reason;
  ASSERT_TRUE(doc.SaveBookmarks(reason)) << reason;
  EXPECT_NE(qltest::ReadFileBytes(path).find("Salt & pepper"), std::string::npos);
  doc.Reader().Close();
  ql::BookReader again;
  ASSERT_EQ(again.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(again.GetBookmark(1).text, "Salt & pepper");
  EXPECT_EQ(again.GetBookmark(1).recordIndex, 2);
}

}  // namespace
