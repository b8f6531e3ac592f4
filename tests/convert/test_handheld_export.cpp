// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The handheld export qlbook and the window both run: what it says when the
// book or the database fails, the length of its bar, and a database written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "book_fixture.h"
#include "export_book_reader.h"
#include "handheld_export.h"
#include "test_helpers.h"

namespace {

using testing::HasSubstr;

class CountingBar : public ql::ProgressSink {
 public:
  void SetRange(int64_t, int64_t) override {}
  void SetPos(int64_t) override {}
  void Step() override { ++steps; }
  int64_t steps = 0;
};

TEST(HandheldExport, BooksThatDoNotOpenAndDatabasesThatCannotBeWritten) {
  qltest::TempDir dir;
  const std::string book = dir.File("fruit.ql");
  qltest::WriteFileBytes(book, qltest::BuildBookBytes(qltest::kFruitEntries));
  qltest::WriteFileBytes(dir.File("text.txt"), std::string(4096, 't'));  // not a book
  struct Case {
    std::string path;
    ql::SourceResult code;
  };
  for (const Case& c : {Case{dir.File("missing.ql"), ql::SourceResult::kCannotOpen},
                        Case{dir.Path(), ql::SourceResult::kCannotOpen},
                        Case{dir.File("text.txt"), ql::SourceResult::kNotABook}}) {
    SCOPED_TRACE(c.path);
    ql::HandheldExport exporter;
    EXPECT_FALSE(exporter.Open(c.path));
    EXPECT_EQ(exporter.Failure(), c.path + ": " + ql::ExportOpenFailureText(c.code));
  }

  // Under a regular file: the database cannot be created, and says why.
  ql::HandheldExport exporter;
  ASSERT_TRUE(exporter.Open(book)) << exporter.Failure();
  const std::string pdb = dir.File("text.txt") + "/fruit.pdb";
  EXPECT_FALSE(exporter.Write(pdb, "fruit", nullptr));
  EXPECT_EQ(exporter.Result(), ql::HandheldResult::kCannotCreate);
  EXPECT_EQ(exporter.Failure(),
            pdb + ": " + ql::QLPResultText({ql::HandheldResult::kCannotCreate, ENOTDIR, pdb}));
  EXPECT_THAT(exporter.Failure(), HasSubstr(std::strerror(ENOTDIR)));
}

TEST(HandheldExport, WritesTheDatabaseAndStepsTheBarToItsEnd) {
  qltest::TempDir dir;
  const std::string book = dir.File("fruit.ql");
  qltest::WriteFileBytes(book, qltest::BuildBookBytes(qltest::kFruitEntries));
  ql::HandheldExport exporter;
  exporter.SetExportTime(0);
  ASSERT_TRUE(exporter.Open(book)) << exporter.Failure();
  const int64_t n = int64_t(qltest::kFruitEntries.size());
  EXPECT_EQ(exporter.ProgressEnd(), 2 * n + 3);
  CountingBar bar;
  ASSERT_TRUE(exporter.Write(dir.File("fruit.pdb"), "fruit", &bar)) << exporter.Failure();
  EXPECT_EQ(exporter.Result(), ql::HandheldResult::kOk);
  EXPECT_LE(bar.steps, exporter.ProgressEnd());
  EXPECT_GE(bar.steps, 2 * n);
  EXPECT_FALSE(exporter.EntriesOverlap());
  EXPECT_EQ(exporter.UnreadableRecordCount(), 0);
  EXPECT_GT(std::filesystem::file_size(dir.File("fruit.pdb")), 78u);  // more than a header
}

}  // namespace
