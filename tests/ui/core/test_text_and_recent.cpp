// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The recent-file list.
#include <gtest/gtest.h>

#include "recent_files.h"

namespace {

TEST(RecentFileList, NewestFirstFiveAtMostNoDuplicates) {
  ql::RecentFileList list;
  for (const char* p : {"/a", "/b", "/c", "/d", "/e", "/f"}) list.Add(p);
  EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/f", "/e", "/d", "/c", "/b"}));
  list.Add("/c");
  EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/c", "/f", "/e", "/d", "/b"}));
  list.Remove("/e");
  EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/c", "/f", "/d", "/b"}));
  list.SetPaths({"/x", "", "/y", "/x", "/1", "/2", "/3", "/4"});
  EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/x", "/y", "/1", "/2", "/3"}));
}

TEST(RecentFileList, MenuLabels) {
  EXPECT_EQ(ql::RecentFileList::MenuLabel(0, "/home/me/book.ql"), "&1 /home/me/book.ql");
  EXPECT_EQ(ql::RecentFileList::MenuLabel(4, "/salt & pepper.ql"), "&5 /salt && pepper.ql");
  const std::string longPath =
      "/home/someone/a/rather/deep/tree/of/folders/with/books/in/it/dictionary.ql";
  const std::string label = ql::RecentFileList::MenuLabel(1, longPath);
  EXPECT_EQ(label.rfind("&2 /home/", 0), 0u);
  EXPECT_NE(label.find("..."), std::string::npos);
  EXPECT_TRUE(label.ends_with("/dictionary.ql"));
  EXPECT_LT(label.size(), longPath.size());
  // A name longer than the room is kept whole.
  const std::string name(80, 'n');
  EXPECT_EQ(ql::RecentFileList::MenuLabel(0, "/dir/" + name), "&1 .../" + name);
  // Never cut inside a UTF-8 character.
  std::string accented = "/";
  for (int i = 0; i < 40; ++i) accented += "\xC3\xA9";
  accented += "/b.ql";
  const std::string cut = ql::RecentFileList::MenuLabel(0, accented);
  const size_t dots = cut.find("...");
  ASSERT_NE(dots, std::string::npos);
  EXPECT_NE(static_cast<unsigned char>(cut[dots - 1]), 0xC3);
  EXPECT_NE(static_cast<unsigned char>(cut[dots + 3]) & 0xC0, 0x80);
}

}  // namespace
