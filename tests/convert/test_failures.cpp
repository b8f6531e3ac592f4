// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Failures of the writing steps reach the words the user reads with the
// errno of the step that failed, not one a later call left behind: each case
// forces one step to fail, early (the file cannot be made) or late (a write
// part way, or the one that finishes the file).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "book_builder.h"
#include "book_fixture.h"
#include "book_reader.h"
#include "convert_test_util.h"
#include "file_size_limit.h"
#include "text_files.h"
#include "upgrade.h"

namespace {

// Entries whose text takes more than a few blocks of the stream buffers.
std::vector<qltest::Entry> LargeEntries() {
  std::vector<qltest::Entry> entries;
  for (int i = 0; i < 40; ++i)
    entries.push_back(
        {"subject " + std::to_string(100 + i), std::string(1000, char('a' + i % 26))});
  return entries;
}

// Where a case writes: into a directory that is not there, or beside the
// other files under a file size limit (0: none).
struct Target {
  bool missingDirectory = false;
  rlim_t sizeLimit = 0;
};

std::string TargetPath(const qltest::TempDir& dir, const Target& target, const char* name) {
  return target.missingDirectory ? dir.File("missing/") + name : dir.File(name);
}

TEST(WriteFailures, BookWritesTellTheErrnoOfTheStepThatFailed) {
  struct Case {
    const char* name;
    Target target;
    int error;
  };
  const Case cases[] = {
      {"no directory", {true, 0}, ENOENT},
      // The book's head and bookmark block already pass the limit.
      {"a write part way", {false, 2000}, EFBIG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qltest::TempDir dir;
    const std::string why = std::strerror(c.error);

    // An import's book.
    {
      ql::BookBuilder builder;
      qltest::Import(builder, "<new>a\r\none\r\n<new>b\r\ntwo", false);
      const std::string out = TargetPath(dir, c.target, "import.ql");
      ql::BuildResult r;
      {
        std::optional<qltest::FileSizeLimit> limit;
        if (c.target.sizeLimit) limit.emplace(c.target.sizeLimit);
        r = builder.WriteBookFile(out);
      }
      EXPECT_EQ(r, ql::BuildResult::kIoFailed);
      const ql::BuildFailure& failure = builder.LastFailure();
      EXPECT_EQ(failure.code, ql::BuildResult::kIoFailed);
      EXPECT_EQ(failure.error, c.error);
      EXPECT_EQ(failure.path, out);
      EXPECT_EQ(ql::BookWriteFailureText(out, failure),
                out + ": cannot write the book: " + why + " (nothing was changed there)");
    }

    // An upgrade's: the builder's failure travels inside the upgrade's.
    {
      const std::string legacy = dir.File("old.ql");
      qltest::WriteFileBytes(legacy, qltest::BuildLegacyBookBytes({{"a", "one"}, {"b", "two"}}, 1));
      ql::BookReader reader;
      ASSERT_EQ(reader.Open(legacy, ql::kOpenReadOnly), ql::OpenResult::kOk);
      const std::string out = TargetPath(dir, c.target, "upgraded.ql");
      std::optional<ql::UpgradeFailure> failure;
      {
        std::optional<qltest::FileSizeLimit> limit;
        if (c.target.sizeLimit) limit.emplace(c.target.sizeLimit);
        failure = ql::UpgradeBook(reader, out, nullptr);
      }
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->code, ql::UpgradeResult::kBuildFailed);
      EXPECT_EQ(failure->build.code, ql::BuildResult::kIoFailed);
      EXPECT_EQ(failure->build.error, c.error);
      EXPECT_EQ(ql::UpgradeFailureText(legacy, out, *failure),
                out + ": cannot write the book: " + why + " (nothing was changed there)");
    }
  }
}

TEST(WriteFailures, UpgradeFailuresNameTheBookAtFault) {
  // A book that is not legacy is no fault of the target's, but the target is
  // what was not written; nor is a failure of the builder's an upgrade code.
  qltest::TempDir dir;
  const std::string book = dir.File("v2.ql");
  qltest::WriteFileBytes(book, qltest::BuildBookBytes({{"a", "b"}}));
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(book, ql::kOpenReadOnly), ql::OpenResult::kOk);
  const std::string out = dir.File("out.ql");
  const std::optional<ql::UpgradeFailure> failure = ql::UpgradeBook(reader, out, nullptr);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->code, ql::UpgradeResult::kNotLegacy);
  EXPECT_EQ(failure->build.code, ql::BuildResult::kOk);
  EXPECT_EQ(ql::UpgradeFailureText(book, out, *failure),
            out +
                ": cannot write the book: the book is not a legacy book (it is already version 2) "
                "(nothing was changed there)");
}

TEST(WriteFailures, TextExportTellsTheErrnoOfTheStepThatFailed) {
  struct Case {
    const char* name;
    std::vector<qltest::Entry> entries;
    Target target;
    ql::TextExportResult code;
    int error;
    std::string words;  // after "OUT: "
  };
  const std::vector<Case> cases = {
      {"no directory",
       {{"a", "b"}},
       {true, 0},
       ql::TextExportResult::kCannotCreate,
       ENOENT,
       std::strerror(ENOENT)},
      // The sink fails while the export goes on to its end.
      {"a write part way",
       LargeEntries(),
       {false, 100},
       ql::TextExportResult::kWriteFailed,
       EFBIG,
       std::string("cannot write the text: ") + std::strerror(EFBIG)},
      // The text fits the stream's buffer: only finishing the file fails.
      {"the write that finishes the file",
       {{"a", "b"}},
       {false, 2},
       ql::TextExportResult::kWriteFailed,
       EFBIG,
       std::string("cannot write the text: ") + std::strerror(EFBIG)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qltest::TempDir dir;
    const std::string book = dir.File("book.ql");
    qltest::WriteFileBytes(book, qltest::BuildBookBytes(c.entries));
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(book, ql::kOpenReadOnly), ql::OpenResult::kOk);
    const std::string out = TargetPath(dir, c.target, "out.txt");
    qltest::WriteFileBytes(dir.File("out.txt"), "older text");
    ql::TextExport text;
    bool written = false;
    {
      std::optional<qltest::FileSizeLimit> limit;
      if (c.target.sizeLimit) limit.emplace(c.target.sizeLimit);
      written = text.Open(out) && text.Write(reader, book, nullptr);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(text.LastFailure().code, c.code);
    EXPECT_EQ(text.LastFailure().error, c.error);
    EXPECT_EQ(text.LastFailure().path, out);
    EXPECT_EQ(text.Failure(), out + ": " + c.words);
    EXPECT_EQ(qltest::ReadFileBytes(dir.File("out.txt")), "older text");
  }
}

}  // namespace
