// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Links in a rendered page: the key, the record it leads to, and which
// addresses the view follows at all.
#include <gtest/gtest.h>

#include "links.h"
#include "open_document.h"

namespace {

TEST(LinkKey, OnlySpaceEscapesAreDecoded) {
  EXPECT_EQ(ql::LinkKey("quill::two%20words"), "two words");
  EXPECT_EQ(ql::LinkKey("quill::%20a%20%20b%20"), " a  b ");
  EXPECT_EQ(ql::LinkKey("quill::caf%C3%A9"), "caf%C3%A9");
  EXPECT_EQ(ql::LinkKey("quill::100%"), "100%");
  EXPECT_EQ(ql::LinkKey("quill::%2"), "%2");
  EXPECT_EQ(ql::LinkKey("quill::"), "");
  EXPECT_EQ(ql::LinkKey("QUILL::apple"), std::nullopt);
  EXPECT_EQ(ql::LinkKey("Quill::apple"), std::nullopt);
  EXPECT_EQ(ql::LinkKey("quill:apple"), std::nullopt);
}

TEST(ClassifyLink, OursShowWebGoesOutEverythingElseStays) {
  EXPECT_EQ(ql::ClassifyLink("quill::apple"), ql::LinkAction::kShowRecord);
  EXPECT_EQ(ql::ClassifyLink("http://example.org/"), ql::LinkAction::kOpenExternally);
  EXPECT_EQ(ql::ClassifyLink("HTTPS://example.org/"), ql::LinkAction::kOpenExternally);
  EXPECT_EQ(ql::ClassifyLink("mailto:someone@example.org"), ql::LinkAction::kOpenExternally);
  EXPECT_EQ(ql::ClassifyLink("QUILL::apple"), ql::LinkAction::kIgnore);
  EXPECT_EQ(ql::ClassifyLink("file:///etc/passwd"), ql::LinkAction::kIgnore);
  EXPECT_EQ(ql::ClassifyLink("javascript:alert(1)"), ql::LinkAction::kIgnore);
  EXPECT_EQ(ql::ClassifyLink("httpx://x"), ql::LinkAction::kIgnore);
}

class LinkTargetTest : public qltest::OpenDocumentTest {
 protected:
  void SetUp() override {
    Open({{"apple", "x"}, {"caf\xE9", "x"}, {"ice cream", "x"}, {"zebra", "x"}});
  }
  int Follow(std::string_view address) { return ql::LinkTarget(doc, *ql::LinkKey(address)); }
};

TEST_F(LinkTargetTest, WholeSubjectIgnoringCaseElseTheFirstRecord) {
  EXPECT_EQ(Follow("quill::ICE%20Cream"), 2);
  EXPECT_EQ(Follow("quill::zebra"), 3);
  EXPECT_EQ(Follow("quill::ice%2Dcream"), 0);  // other escapes stay and miss
  EXPECT_EQ(Follow("quill::icy"), 0);
  EXPECT_EQ(Follow("quill::nothing"), 0);
}

TEST_F(LinkTargetTest, BytesAboveAsciiMatchByteForByte) {
  EXPECT_EQ(Follow("quill::caf\xE9"), 1);
  EXPECT_EQ(Follow("quill::CAF\xE9"), 1);      // ASCII letters still fold
  EXPECT_EQ(Follow("quill::caf\xC9"), 0);      // the capital accented byte is another byte
  EXPECT_EQ(Follow("quill::caf\xC3\xA9"), 0);  // UTF-8 is not the book's code page
}

TEST_F(LinkTargetTest, NoBookNoRecord) {
  doc.MarkClosed();
  EXPECT_EQ(Follow("quill::apple"), -1);
}

}  // namespace
