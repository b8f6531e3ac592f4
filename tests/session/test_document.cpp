// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The document's own record of the book it shows: only it marks a book open
// or closed, and what it keeps follows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "book_fixture.h"
#include "document.h"

namespace {

using testing::ElementsAre;

TEST(Document, OpenCloseAndFailureKeepPathTitleAndReasonTogether) {
  qltest::TempDir dir;
  const std::string book = dir.File("Atlas.ql");
  const std::string copy = dir.File("copy-of-atlas.ql");
  qltest::WriteFileBytes(book, qltest::BuildBookBytes({{"a", "x"}, {"b", "y"}}));
  qltest::WriteFileBytes(copy, qltest::ReadFileBytes(book));

  ql::Document doc;
  EXPECT_FALSE(doc.IsOpen());
  EXPECT_EQ(doc.Path(), "c:\\Failed");
  EXPECT_EQ(doc.WindowTitle(), "Untitled - Quillary");

  // A failed open marks nothing; the flow says why.
  EXPECT_NE(doc.Open(dir.File("missing.ql"), ql::kOpenReadOnly, book), ql::OpenResult::kOk);
  EXPECT_FALSE(doc.IsOpen());
  EXPECT_EQ(doc.RowCount(), 0);
  doc.MarkFailed("gone");
  EXPECT_EQ(doc.LastFailure(), "gone");
  EXPECT_EQ(doc.Title(), "Untitled");

  // The reader has the copy; the document knows the book by the name given.
  doc.History().Visit({"/elsewhere/Old.ql", "seven"});
  ASSERT_EQ(doc.Open(copy, ql::kOpenReadOnly, book), ql::OpenResult::kOk);
  EXPECT_TRUE(doc.IsOpen());
  EXPECT_EQ(doc.Path(), book);
  EXPECT_EQ(doc.WindowTitle(), "Atlas.ql - Quillary");
  EXPECT_EQ(doc.RowCount(), 2);
  EXPECT_TRUE(doc.LastFailure().empty());
  // The history goes on across books: its steps name them.
  EXPECT_THAT(doc.History().Entries(), ElementsAre(ql::HistoryEntry{"/elsewhere/Old.ql", "seven"}));

  doc.History().Visit({book, "one"});
  doc.MarkClosed();
  EXPECT_FALSE(doc.IsOpen());
  EXPECT_EQ(doc.RowCount(), 0);
  EXPECT_EQ(doc.Path(), "c:\\Failed");
  EXPECT_EQ(doc.WindowTitle(), "Untitled - Quillary");
  std::string reason;
  EXPECT_TRUE(doc.SaveBookmarks(reason));  // no book: nothing to write
  EXPECT_EQ(doc.History().Entries().size(), 2u);
}

}  // namespace
