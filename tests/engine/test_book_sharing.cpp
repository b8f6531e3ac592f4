// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// One book, several programs: readers are never refused, a second writer is,
// and a reader loading the bookmark table while the writer rewrites it sees
// one whole table. The other program is a child process, so the locks are
// checked as two programs see them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_format.h"
#include "book_lock.h"
#include "book_reader.h"
#include "open_failure.h"
#include "writer_process.h"

namespace {

using qltest::Entry;

const std::vector<Entry> kEntries = {
    {"apple", "a red fruit"}, {"banana", std::string(300, 'b')}, {"cherry", "small"}};
constexpr const char* kWrittenElsewhere = "another Quillary has the book open for writing";

struct BookKind {
  const char* name;
  bool legacy;
};
const BookKind kBookKinds[] = {{"version 2", false}, {"legacy", true}};

std::string WriteBook(const qltest::TempDir& dir, const BookKind& kind) {
  const std::string path = dir.File(std::string(kind.legacy ? "legacy" : "book") + ".ql");
  qltest::WriteFileBytes(path, kind.legacy ? qltest::BuildLegacyBookBytes(kEntries, 1)
                                           : qltest::BuildBookBytes(kEntries));
  return path;
}

void ExpectEntries(ql::BookReader& reader) {
  ASSERT_EQ(reader.GetSubjectCount(), static_cast<int>(kEntries.size()));
  for (size_t i = 0; i < kEntries.size(); ++i) {
    const int index = static_cast<int>(i);
    EXPECT_EQ(reader.GetSubject(index), kEntries[i].subject);
    ASSERT_EQ(reader.LoadRecord(index), 1);
    EXPECT_EQ(reader.CurrentRecordText(), kEntries[i].text);
  }
}

// Opening path for writing is refused, for the writer's reason.
void ExpectWriterRefused(const std::string& path) {
  ql::BookReader second;
  ASSERT_EQ(second.Open(path, ql::kOpenReadWrite), ql::OpenResult::kFailed);
  EXPECT_EQ(second.LastOpenFailure().kind, ql::OpenFailureKind::kInUse);
  EXPECT_EQ(ql::OpenFailureReason(second.LastOpenFailure()), kWrittenElsewhere);
}

TEST(BookSharing, ReadersAreNeverRefusedOnlyASecondWriterIs) {
  for (const BookKind& kind : kBookKinds) {
    SCOPED_TRACE(kind.name);
    qltest::TempDir dir;
    const std::string path = WriteBook(dir, kind);
    {
      qltest::WriterProcess other(path);
      ASSERT_EQ(other.OpenResult(), ql::OpenResult::kOk);
      ql::BookReader first, second;
      ASSERT_EQ(first.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
      ASSERT_EQ(second.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
      EXPECT_FALSE(first.OpenedWithoutLock());
      ExpectEntries(first);
      ExpectEntries(second);
      ExpectWriterRefused(path);
      // The readers do not keep the writer from closing, nor a new writer out.
      EXPECT_TRUE(other.Release());
      ql::BookReader writer;
      ASSERT_EQ(writer.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
      ExpectEntries(first);
    }
    // In one process too, every open of the book is a user of its own.
    ql::BookReader writer, reader;
    ASSERT_EQ(writer.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
    ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
    ExpectEntries(reader);
    ExpectWriterRefused(path);
    {
      // (A child forked now shares this process's open of the book, and with
      // it the writer role, for as long as it runs.)
      qltest::WriterProcess later(path);
      EXPECT_EQ(later.OpenResult(), ql::OpenResult::kFailed);
    }
    writer.Close();
    qltest::WriterProcess last(path);
    EXPECT_EQ(last.OpenResult(), ql::OpenResult::kOk);
  }
}

// The table the writer saves in its k-th turn: every slot tells k, so a table
// put together from two turns shows.
ql::BookmarkEntry TableEntry(int k, int slot) {
  ql::BookmarkEntry e;
  if (k == 0) return e;  // the book's own empty table
  e.text.assign(static_cast<size_t>(1 + (k * 13 + slot) % ql::kBookmarkTextSize),
                static_cast<char>('a' + (k + slot) % 26));
  e.textLength = static_cast<int>(e.text.size());
  e.recordIndex = k;
  e.reserved = slot;
  return e;
}

bool IsWrittenTable(const ql::BookReader& reader, int turns) {
  const int k = reader.GetBookmark(1).recordIndex;
  if (k < 0 || k > turns) return false;
  for (int slot = 1; slot < ql::kBookmarkSlots; ++slot) {
    const ql::BookmarkEntry got = reader.GetBookmark(slot);
    const ql::BookmarkEntry want = TableEntry(k, slot);
    if (got.textLength != want.textLength || got.recordIndex != want.recordIndex ||
        got.reserved != want.reserved || got.text != want.text)
      return false;
  }
  return true;
}

struct ReaderReport {
  int opened = 0;  // 1 when the reader could open the book
  int loads = 0;
  int torn = 0;  // loads that gave no table the writer wrote
};

TEST(BookSharing, BookmarkReadersSeeTheOldTableOrTheNewNeverAMix) {
  constexpr int kTurns = 3000;
  constexpr int kMaxLoads = 200000;
  for (const BookKind& kind : kBookKinds) {
    SCOPED_TRACE(kind.name);
    qltest::TempDir dir;
    const std::string path = WriteBook(dir, kind);
    ql::BookReader writer;
    ASSERT_EQ(writer.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
    ASSERT_TRUE(writer.HasBookmarkBlock());

    int results[2];
    ASSERT_EQ(::pipe(results), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // The reader: its own open of the book, loading the table over and over.
      ::close(results[0]);
      ReaderReport report;
      ql::BookReader reader;
      if (reader.Open(path, ql::kOpenReadOnly) == ql::OpenResult::kOk &&
          reader.HasBookmarkBlock()) {
        report.opened = 1;
        // The writer starts once the reader is there.
        const char go = 1;
        if (::write(results[1], &go, 1) != 1) ::_exit(2);
        // On until the writer's last table is in, so that the loads span
        // all of its saves, but never more than kMaxLoads.
        bool last = false;
        for (; report.loads < kMaxLoads && !last; ++report.loads) {
          reader.LoadStoredBookmarks();
          if (!IsWrittenTable(reader, kTurns)) ++report.torn;
          last = reader.GetBookmark(1).recordIndex == kTurns;
        }
      } else {
        const char stop = 0;
        if (::write(results[1], &stop, 1) != 1) ::_exit(2);
      }
      const bool sent = ::write(results[1], &report, sizeof report) == sizeof report;
      ::_exit(sent ? 0 : 2);
    }
    ::close(results[1]);
    char started = 0;
    ASSERT_EQ(::read(results[0], &started, 1), 1);
    for (int k = 1; k <= kTurns && started == 1; ++k) {
      for (int slot = 1; slot < ql::kBookmarkSlots; ++slot) {
        const ql::BookmarkEntry e = TableEntry(k, slot);
        writer.SetBookmark(slot, e.textLength, e.recordIndex, e.reserved, e.text);
      }
      ASSERT_TRUE(writer.SaveBookmarks());
    }
    ReaderReport report;
    EXPECT_EQ(::read(results[0], &report, sizeof report), static_cast<ssize_t>(sizeof report));
    ::close(results[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(report.opened, 1);
    EXPECT_GT(report.loads, 0);
    EXPECT_LT(report.loads, kMaxLoads);  // it saw the last table
    EXPECT_EQ(report.torn, 0);

    // The last table is what the book keeps.
    writer.Close();
    ql::BookReader after;
    ASSERT_EQ(after.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
    after.LoadStoredBookmarks();
    EXPECT_TRUE(IsWrittenTable(after, kTurns));
    EXPECT_EQ(after.GetBookmark(1).recordIndex, kTurns);
  }
}

// A legacy book is marked when it is first opened for writing: its version
// word raised, blocks appended. A reader reads the header and the file's size
// under a read lock on the version word (here held by the test, as a reader
// in the middle of its open): no writer marks the book meanwhile, so the
// reader sees it as it was or as marked, never half way.
TEST(BookSharing, LegacyBookIsNotMarkedWhileAReaderReadsItsHeader) {
  qltest::TempDir dir;
  const std::string path = dir.File("legacy.ql");
  const std::string legacy = qltest::BuildLegacyBookBytes(kEntries, 1);
  qltest::WriteFileBytes(path, legacy);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  auto header = std::make_unique<ql::RangeLock>(fd, ql::kHeaderOffsetVersion, 4, false);
  ASSERT_TRUE(header->Held());

  int result[2];
  ASSERT_EQ(::pipe(result), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(result[0]);
    ql::BookReader writer;
    const int opened = static_cast<int>(writer.Open(path, ql::kOpenReadWrite));
    const bool sent = ::write(result[1], &opened, sizeof opened) == sizeof opened;
    ::_exit(sent && writer.Close() ? 0 : 1);
  }
  ::close(result[1]);
  // The writer has come as far as the header once it holds the writer role.
  // However long it is then kept waiting, the book stays as it was.
  int waits = 0;
  while (!ql::WriterRoleTaken(fd) && qltest::ReadFileBytes(path) == legacy && waits < 10000) {
    ::usleep(1000);
    ++waits;
  }
  EXPECT_TRUE(ql::WriterRoleTaken(fd));
  for (int look = 0; look < 100; ++look) {
    ASSERT_EQ(qltest::ReadFileBytes(path), legacy) << "look " << look;
    ::usleep(1000);
  }
  header.reset();
  int opened = 0;
  EXPECT_EQ(::read(result[0], &opened, sizeof opened), static_cast<ssize_t>(sizeof opened));
  EXPECT_EQ(static_cast<ql::OpenResult>(opened), ql::OpenResult::kOk);
  ::close(result[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ::close(fd);
  // Marked once the reader let go.
  const std::string marked = qltest::ReadFileBytes(path);
  EXPECT_EQ(marked.size(), legacy.size() + 88 + ql::kBookmarkBlockSize);
  EXPECT_EQ(qltest::WordAt(marked, ql::kHeaderOffsetVersion), 1501);
}

}  // namespace
