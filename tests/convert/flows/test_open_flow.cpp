// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The open flow and the in-place upgrade, run against a scripted desktop and
// books the tests build. Root may write every file, so the "may not write"
// cases come through a file seam whose answers the tests choose.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "book_fixture.h"
#include "file_size_limit.h"
#include "open_flow.h"
#include "scripted_desktop.h"
#include "test_helpers.h"
#include "writer_process.h"

namespace {

using qltest::Entry;
using qltest::ScriptedDesktop;
using testing::ElementsAre;
using testing::HasSubstr;

const std::vector<Entry>& kEntries = qltest::kFruitEntries;

// The system's file operations, except the answers a test sets.
class TestFiles : public ql::BookFiles {
 public:
  bool mayWrite = true;
  int chmodError = -1;   // -1: the real chmod
  int copyError = -1;    // -1: the real copy
  int renameError = -1;  // -1: the real rename
  int chmodCalls = 0;

  bool MayWrite(const std::string&) override { return mayWrite; }
  int MakeWritable(const std::string& path) override {
    ++chmodCalls;
    return chmodError < 0 ? BookFiles::MakeWritable(path) : chmodError;
  }
  int Copy(const std::string& from, const std::string& to) override {
    return copyError < 0 ? BookFiles::Copy(from, to) : copyError;
  }
  int Rename(const std::string& from, const std::string& to) override {
    return renameError < 0 ? BookFiles::Rename(from, to) : renameError;
  }
};

// A book on "read-only media": not writable, and chmod refused.
TestFiles ReadOnlyMedia() {
  TestFiles files;
  files.mayWrite = false;
  files.chmodError = EROFS;
  return files;
}

using qltest::AsPairs;
using qltest::DirectoryNames;
using qltest::Pairs;
using qltest::ReadEntries;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class OpenFlowTest : public testing::Test {
 protected:
  OpenFlowTest() {
    path = dir.File("book.ql");
    doc.SetInitialised(true);
  }
  void WriteBook(const std::vector<Entry>& entries = kEntries) {
    qltest::WriteFileBytes(path, qltest::BuildBookBytes(entries));
  }
  void WriteLegacy(const std::vector<Entry>& entries = kEntries) {
    qltest::WriteFileBytes(path, qltest::BuildLegacyBookBytes(entries, 1));
  }

  qltest::TempDir dir;
  std::string path;
  ql::Document doc;
  ScriptedDesktop desktop;
};

TEST_F(OpenFlowTest, WritableBookOpensWithoutAQuestion) {
  WriteBook();
  TestFiles files;
  ASSERT_TRUE(ql::OpenDocument(doc, desktop, path, files));
  EXPECT_THAT(desktop.log, ElementsAre("RebuildBookmarkMenu", "DocumentOpened"));
  EXPECT_EQ(files.chmodCalls, 0);
  EXPECT_TRUE(doc.IsOpen());
  EXPECT_EQ(doc.Path(), path);
  EXPECT_EQ(doc.WindowTitle(), "book.ql - Quillary");
  EXPECT_EQ(doc.RowCount(), 3);
  EXPECT_FALSE(doc.Reader().IsReadOnly());
  EXPECT_TRUE(doc.LastFailure().empty());
}

TEST_F(OpenFlowTest, BookTheUserMayNotWriteIsMadeWritableSilently) {
  WriteBook();
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  TestFiles files;
  files.mayWrite = false;  // the real chmod runs
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path, files));
  EXPECT_EQ(files.chmodCalls, 1);
  EXPECT_EQ(ModeOf(path), 0644);
  EXPECT_FALSE(desktop.Called("Ask"));
  EXPECT_FALSE(doc.Reader().IsReadOnly());
}

TEST_F(OpenFlowTest, DecliningTheCopyOpensReadOnlyAndKeepsNoBookmarks) {
  WriteBook();
  TestFiles files = ReadOnlyMedia();
  desktop.answers = {ql::Answer::kNo};
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path, files));
  EXPECT_THAT(desktop.log, ElementsAre("Ask Copy file from CD to Hard-drive? yesno icon 0 unowned",
                                       "RebuildBookmarkMenu"));
  EXPECT_TRUE(doc.Reader().IsReadOnly());
  EXPECT_EQ(doc.Path(), path);

  // Bookmarks made meanwhile are not written back into the book.
  doc.Reader().SetBookmark(1, 5, 0, 0, "apple");
  doc.Reader().Close();
  ql::BookReader again;
  ASSERT_EQ(again.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
  EXPECT_EQ(again.GetBookmark(1).textLength, 0);
}

TEST_F(OpenFlowTest, CopyQuestionClosedOtherwiseMeansReadOnly) {
  WriteBook();
  TestFiles files = ReadOnlyMedia();
  desktop.answers = {ql::Answer::kCancel};
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path, files));
  EXPECT_FALSE(desktop.Called("ChooseFile"));
  EXPECT_TRUE(doc.Reader().IsReadOnly());
}

TEST_F(OpenFlowTest, AcceptedCopyReplacesTheTargetAndOpensItReadWrite) {
  WriteBook();
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const std::string copy = dir.File("copy.ql");
  qltest::WriteFileBytes(copy, "an older file that the copy replaces");
  TestFiles files = ReadOnlyMedia();
  desktop.answers = {ql::Answer::kYes};
  desktop.files = {ql::ChosenFile{copy, 0}};
  ASSERT_TRUE(ql::OpenDocument(doc, desktop, path, files));

  ASSERT_EQ(desktop.fileDialogs.size(), 1u);
  const ql::FileDialogSpec& dialog = desktop.fileDialogs[0];
  EXPECT_TRUE(dialog.save);
  EXPECT_EQ(dialog.filter, "Quillary files (*.ql)|*.ql||");
  EXPECT_EQ(dialog.defaultExtension, "ql");
  EXPECT_EQ(dialog.initialName, path);
  EXPECT_FALSE(dialog.owned);

  EXPECT_EQ(qltest::ReadFileBytes(copy), qltest::ReadFileBytes(path));
  EXPECT_EQ(ModeOf(copy), 0644);  // the source's bits, plus the owner's write
  EXPECT_EQ(ModeOf(path), 0444);  // the source is left alone
  EXPECT_FALSE(doc.Reader().IsReadOnly());
  EXPECT_EQ(doc.Path(), copy);
  EXPECT_EQ(doc.Title(), "copy.ql");
  EXPECT_FALSE(desktop.Called("ShowMessage"));
  EXPECT_EQ(desktop.log.back(), "DocumentOpened");
}

TEST_F(OpenFlowTest, CancelledSaveDialogOpensTheOriginalReadOnly) {
  WriteBook();
  TestFiles files = ReadOnlyMedia();
  desktop.answers = {ql::Answer::kYes};
  desktop.files = {std::nullopt};
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path, files));
  EXPECT_FALSE(desktop.Called("ShowMessage"));
  EXPECT_TRUE(doc.Reader().IsReadOnly());
  EXPECT_EQ(doc.Path(), path);
}

TEST_F(OpenFlowTest, FailedCopySaysSoAndOpensTheOriginalReadOnly) {
  WriteBook();
  TestFiles files = ReadOnlyMedia();
  desktop.answers = {ql::Answer::kYes};
  desktop.files = {ql::ChosenFile{dir.File("no/such/dir/copy.ql"), 0}};  // the real copy fails
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path, files));
  EXPECT_THAT(desktop.log, ElementsAre(HasSubstr("Ask"), HasSubstr("ChooseFile"),
                                       "ShowMessage Error: Could not save file.\nOpening from CD.",
                                       "RebuildBookmarkMenu"));
  EXPECT_TRUE(doc.Reader().IsReadOnly());
  EXPECT_EQ(doc.Path(), path);
}

TEST_F(OpenFlowTest, NewerBookLeavesNoBookAndSaysWhyInTheStatusLine) {
  qltest::BookOptions newer;
  newer.version = 2002;
  qltest::WriteFileBytes(path, qltest::BuildBookBytes(kEntries, newer));
  doc.MarkOpen(path);  // a book was open before
  EXPECT_FALSE(ql::OpenDocument(doc, desktop, path));
  ASSERT_EQ(desktop.log.size(), 3u);
  EXPECT_EQ(desktop.log[0], "EmptyList");
  EXPECT_EQ(desktop.log[1], "ShowStartPage");
  EXPECT_THAT(desktop.log[2], HasSubstr("ShowStatus"));
  EXPECT_THAT(desktop.log[2], HasSubstr(path));
  EXPECT_THAT(desktop.log[2], HasSubstr("2002"));
  EXPECT_FALSE(doc.IsOpen());
  EXPECT_EQ(doc.Path(), "c:\\Failed");
  EXPECT_EQ(doc.WindowTitle(), "Untitled - Quillary");
  EXPECT_EQ(doc.RowCount(), 0);
  EXPECT_THAT(doc.LastFailure(), HasSubstr("2002"));
}

TEST_F(OpenFlowTest, FailureAtStartUpReturnsBeforeTouchingTheViews) {
  doc.SetInitialised(false);
  EXPECT_FALSE(ql::OpenDocument(doc, desktop, dir.File("missing.ql")));
  EXPECT_TRUE(desktop.log.empty());
  EXPECT_EQ(doc.Path(), "c:\\Failed");
  EXPECT_EQ(doc.LastFailure(), std::strerror(ENOENT));
}

TEST_F(OpenFlowTest, BookmarkMenuWaitsForStartUpToEnd) {
  WriteBook();
  doc.SetInitialised(false);
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path));
  EXPECT_TRUE(desktop.log.empty());
}

TEST_F(OpenFlowTest, LegacyBookIsOfferedTheUpgradeOnEveryOpenUntilAccepted) {
  WriteLegacy();
  for (int open = 0; open < 2; ++open) {
    desktop.answers = {ql::Answer::kNo};
    ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path));
    EXPECT_THAT(desktop.Calls("Ask"), ElementsAre("Ask Upgrade file? yesno icon 0 unowned"));
    EXPECT_FALSE(doc.Reader().IsVersion2());
    desktop.log.clear();
  }
  desktop.answers = {ql::Answer::kYes};
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path));
  EXPECT_TRUE(doc.Reader().IsVersion2());
  desktop.log.clear();
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path));
  EXPECT_FALSE(desktop.Called("Ask"));
}

TEST_F(OpenFlowTest, LegacyBookOpenedReadOnlyOrCopiedIsNotOffered) {
  WriteLegacy();
  TestFiles files = ReadOnlyMedia();
  desktop.answers = {ql::Answer::kNo};
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path, files));
  EXPECT_EQ(desktop.Calls("Ask").size(), 1u);

  desktop.log.clear();
  desktop.answers = {ql::Answer::kYes};
  desktop.files = {ql::ChosenFile{dir.File("copy.ql"), 0}};
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path, files));
  EXPECT_EQ(desktop.Calls("Ask").size(), 1u);
  EXPECT_EQ(doc.Path(), dir.File("copy.ql"));
  EXPECT_FALSE(doc.Reader().IsVersion2());
}

// A second window: the book another Quillary has open for writing opens
// read-only, at start-up too, and the status line says why.
TEST_F(OpenFlowTest, BookAnotherQuillaryWritesOpensReadOnlyAndSaysSo) {
  struct Case {
    bool legacy;
    bool initialised;
  };
  for (const Case& c : {Case{false, true}, Case{true, true}, Case{false, false}}) {
    SCOPED_TRACE(std::string(c.legacy ? "legacy" : "version 2") +
                 (c.initialised ? "" : " at start-up"));
    c.legacy ? WriteLegacy() : WriteBook();
    qltest::WriterProcess other(path);
    ASSERT_EQ(other.OpenResult(), ql::OpenResult::kOk);
    const std::string before = qltest::ReadFileBytes(path);
    ql::Document second;
    second.SetInitialised(c.initialised);
    ScriptedDesktop window;
    TestFiles files;
    ASSERT_TRUE(ql::OpenDocument(second, window, path, files));
    const std::string status = "ShowStatus " + path +
                               ": another Quillary has the book open for writing; it is open "
                               "read-only here, and bookmarks made here are not saved";
    if (c.initialised)
      EXPECT_THAT(window.log, ElementsAre("RebuildBookmarkMenu", "DocumentOpened", status));
    else
      EXPECT_THAT(window.log, ElementsAre("DocumentOpened", status));
    EXPECT_TRUE(second.IsOpen());
    EXPECT_TRUE(second.Reader().IsReadOnly());
    EXPECT_EQ(second.Path(), path);
    EXPECT_EQ(second.WindowTitle(), "book.ql - Quillary");
    EXPECT_EQ(second.RowCount(), 3);
    EXPECT_TRUE(second.LastFailure().empty());
    // Bookmarks made here are not written into the book the other one writes.
    second.Reader().SetBookmark(1, 5, 0, 0, "apple");
    std::string reason;
    EXPECT_TRUE(second.SaveBookmarks(reason));
    second.Reader().Close();
    EXPECT_EQ(qltest::ReadFileBytes(path), before);

    // Once the other has closed it, the next open is the plain one again.
    ASSERT_TRUE(other.Release());
    window.log.clear();
    if (c.legacy) window.answers = {ql::Answer::kNo};  // the upgrade offer
    ASSERT_TRUE(ql::OpenDocument(second, window, path, files));
    EXPECT_FALSE(second.Reader().IsReadOnly());
    EXPECT_FALSE(window.Called("ShowStatus"));
    second.Reader().Close();
  }
}

class UpgradeTest : public OpenFlowTest {
 protected:
  // Entries the tab-separated form could not carry pass too.
  const std::vector<Entry> entries = {
      {"alpha",
       "first \t\x01"
       "bold\t\x02 text"},
      {"beta",
       "links \t\x11"
       "alpha>to alpha\t\x12 and <b> as text"},
      {"gamma\tdelta", "a TAB in the subject"},
      {"omega", "last"},
  };

  // A legacy book with two bookmarks stored in it.
  void WriteLegacyWithBookmarks() {
    WriteLegacy(entries);
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(path, ql::kOpenReadWrite), ql::OpenResult::kOk);
    reader.SetBookmark(1, 4, 1, 0, "beta");
    reader.SetBookmark(7, 5, 3, 0, "omega");
  }

  void ExpectLegacyBookWholeAndOpen() {
    EXPECT_TRUE(doc.IsOpen());
    EXPECT_TRUE(doc.Reader().IsOpen());
    EXPECT_FALSE(doc.Reader().IsVersion2());
    EXPECT_FALSE(doc.Reader().IsReadOnly());
    EXPECT_EQ(ReadEntries(doc.Reader()), AsPairs(entries));
    EXPECT_EQ(doc.Reader().GetBookmark(1).text, "beta");
    EXPECT_EQ(doc.Reader().GetBookmark(7).recordIndex, 3);
    EXPECT_THAT(DirectoryNames(dir.Path()), ElementsAre("book.ql"));
    EXPECT_EQ(desktop.progressOpen, 0);
    EXPECT_FALSE(desktop.waitCursor);
  }
};

TEST_F(UpgradeTest, AcceptedUpgradeReplacesTheBookAndKeepsItsBookmarks) {
  WriteLegacyWithBookmarks();
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  desktop.answers = {ql::Answer::kYes};
  ASSERT_TRUE(ql::OpenDocument(doc, desktop, path));
  EXPECT_EQ(ModeOf(path), 0640);

  EXPECT_THAT(desktop.log,
              ElementsAre("Ask Upgrade file? yesno icon 0 unowned", "StartProgress 8 unowned",
                          "WaitCursor on", "EmptyList", "WaitCursor off", "EndProgress",
                          "RebuildBookmarkMenu", "DocumentOpened"));
  EXPECT_EQ(desktop.progressSteps, 8);
  EXPECT_TRUE(doc.IsOpen());
  EXPECT_TRUE(doc.Reader().IsVersion2());
  EXPECT_FALSE(doc.Reader().IsReadOnly());
  EXPECT_EQ(doc.Path(), path);
  EXPECT_EQ(ReadEntries(doc.Reader()), AsPairs(entries));
  EXPECT_THAT(DirectoryNames(dir.Path()), ElementsAre("book.ql"));

  // The bookmarks are in the file, not only in memory.
  doc.Reader().Close();
  ql::BookReader again;
  ASSERT_EQ(again.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_TRUE(again.IsVersion2());
  const ql::BookmarkEntry first = again.GetBookmark(1);
  EXPECT_EQ(first.text, "beta");
  EXPECT_EQ(first.recordIndex, 1);
  EXPECT_EQ(again.GetBookmark(7).text, "omega");
  EXPECT_EQ(again.GetBookmark(7).recordIndex, 3);
  EXPECT_EQ(again.GetBookmark(2).textLength, 0);
}

TEST_F(UpgradeTest, BookReachedThroughALinkIsUpgradedWhereItIsAndKeepsTheLink) {
  // The book lives in a folder of its own; the user opens it through a link
  // (a relative one, as dotfiles keep them) in another.
  const std::string shelf = dir.File("shelf");
  ASSERT_EQ(::mkdir(shelf.c_str(), 0700), 0);
  const std::string real = shelf + "/book.ql";
  path = real;
  WriteLegacyWithBookmarks();
  const std::string link = dir.File("link.ql");
  ASSERT_EQ(::symlink("shelf/book.ql", link.c_str()), 0);

  desktop.answers = {ql::Answer::kYes};
  ASSERT_TRUE(ql::OpenDocument(doc, desktop, link));
  EXPECT_TRUE(desktop.Calls("ShowMessage").empty());
  EXPECT_TRUE(doc.Reader().IsVersion2());
  EXPECT_EQ(doc.Path(), link);
  doc.Reader().Close();

  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(std::filesystem::read_symlink(link), "shelf/book.ql");
  ql::BookReader again;
  ASSERT_EQ(again.Open(real, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_TRUE(again.IsVersion2());
  EXPECT_EQ(ReadEntries(again), AsPairs(entries));
  EXPECT_EQ(again.GetBookmark(7).text, "omega");
  EXPECT_THAT(DirectoryNames(shelf), ElementsAre("book.ql"));
  EXPECT_THAT(DirectoryNames(dir.Path()), ElementsAre("link.ql", "shelf"));
}

TEST_F(UpgradeTest, NothingButTheBookStandsInItsFolderWhileTheUpgradeRuns) {
  // A run killed at any step (the bar steps while the new book is written
  // and while it is read back) must leave nothing behind.
  WriteLegacyWithBookmarks();
  std::vector<std::vector<std::string>> seen;
  desktop.onStep = [&] {
    const std::vector<std::string> names = DirectoryNames(dir.Path());
    if (names != std::vector<std::string>{"book.ql"}) seen.push_back(names);
  };
  desktop.answers = {ql::Answer::kYes};
  ASSERT_TRUE(ql::OpenDocument(doc, desktop, path));
  EXPECT_EQ(desktop.progressSteps, 8);
  EXPECT_TRUE(doc.Reader().IsVersion2());
  EXPECT_TRUE(seen.empty()) << testing::PrintToString(seen);
}

TEST_F(UpgradeTest, FailedRenameKeepsTheLegacyBookOpenAndSaysWhy) {
  WriteLegacyWithBookmarks();
  TestFiles files;
  files.renameError = EXDEV;
  desktop.answers = {ql::Answer::kYes};
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path, files));
  const std::vector<std::string> messages = desktop.Calls("ShowMessage");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_THAT(messages[0], HasSubstr(path));
  EXPECT_THAT(messages[0], HasSubstr(std::strerror(EXDEV)));
  ExpectLegacyBookWholeAndOpen();
}

using qltest::FileSizeLimit;

TEST_F(UpgradeTest, FailedWriteOfTheNewBookLeavesTheLegacyBookOpen) {
  WriteLegacyWithBookmarks();
  desktop.answers = {ql::Answer::kNo};
  ASSERT_TRUE(ql::RunOpenFlow(doc, desktop, path));
  desktop.log.clear();
  desktop.answers = {ql::Answer::kYes};
  {
    // Smaller than a version 2 book's bookmark block alone.
    FileSizeLimit limit(1024);
    ql::RunUpgradeOffer(doc, desktop, path);
  }
  const std::vector<std::string> messages = desktop.Calls("ShowMessage");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_THAT(messages[0], HasSubstr(path));
  EXPECT_THAT(messages[0], HasSubstr(std::strerror(EFBIG)));
  EXPECT_FALSE(desktop.Called("EmptyList"));  // the legacy book was never closed
  ExpectLegacyBookWholeAndOpen();
}

}  // namespace
