// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// AtomicFile: the file being written has no name until Commit, so a run that
// is killed leaves nothing behind, and the target is replaced whole or not
// at all, keeping its permissions.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "atomic_file.h"
#include "book_fixture.h"

namespace {

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(AtomicFile, NothingNamedWhileWritingAndTheTargetReplacedWhole) {
  qltest::TempDir dir;
  const std::string target = dir.File("book.ql");
  qltest::WriteFileBytes(target, "old");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ql::AtomicFile file;
  ASSERT_TRUE(file.Open(target));
  ASSERT_GE(std::fputs("new contents", file.Stream()), 0);
  ASSERT_EQ(std::fflush(file.Stream()), 0);
  // While it is written, the directory shows nothing new.
  EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"book.ql"});
  EXPECT_EQ(qltest::ReadFileBytes(target), "old");
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"book.ql"});
  EXPECT_EQ(qltest::ReadFileBytes(target), "new contents");
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // Dropped uncommitted: the target stays, nothing is left.
  {
    ql::AtomicFile dropped;
    ASSERT_TRUE(dropped.Open(target));
    std::fputs("never", dropped.Stream());
  }
  EXPECT_EQ(qltest::ReadFileBytes(target), "new contents");
  EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"book.ql"});
  // A directory that does not exist fails at Open.
  ql::AtomicFile missing;
  EXPECT_FALSE(missing.Open(dir.File("no/such.ql")));
}

}  // namespace
