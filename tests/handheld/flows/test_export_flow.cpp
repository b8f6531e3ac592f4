// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// "Export to Palm..." against a scripted desktop and a queue that records
// what it was asked: the default names, the dialogs, the queuing and its
// messages, failures that are never queued, and the book open again after.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>

#include "book_fixture.h"
#include "export_flow.h"
#include "file_size_limit.h"
#include "scripted_desktop.h"

namespace {

using qltest::Entry;
using qltest::ScriptedDesktop;
using testing::ElementsAre;
using testing::HasSubstr;

const std::vector<Entry> kEntries = {
    {"apple", "A red fruit."},
    {"banana",
     "Yellow; see \t\x11"
     "apple>the apple\t\x12."},
    {"cherry", "Small & dark."},
};

class RecordingAide : public ql::InstallAide {
 public:
  std::vector<std::string> users;
  int result = 0;
  std::vector<std::pair<std::string, std::string>> queued;

  int UserCount() override { return static_cast<int>(users.size()); }
  std::string UserName(int index) override { return users.at(static_cast<size_t>(index)); }
  int QueueFile(const std::string& user, const std::string& path) override {
    queued.emplace_back(user, path);
    return result;
  }
};

// A book on media the user may not write, whose copy is declined.
class ReadOnlyMedia : public ql::BookFiles {
 public:
  bool MayWrite(const std::string&) override { return false; }
  int MakeWritable(const std::string&) override { return EROFS; }
};

class ExportFlowTest : public testing::Test {
 protected:
  ExportFlowTest() {
    bookPath = dir.File("Atlas.QL");
    pdbPath = dir.File("My Book.pdb");
    doc.SetInitialised(true);
  }

  // The book open, with a bookmark made since it opened: only closing the
  // book writes it into the file.
  void OpenBook(const qltest::BookOptions& options = {},
                const std::vector<Entry>& entries = kEntries) {
    qltest::WriteFileBytes(bookPath, qltest::BuildBookBytes(entries, options));
    ASSERT_TRUE(ql::OpenDocument(doc, desktop, bookPath));
    doc.Reader().SetBookmark(3, 6, 1, 0, "banana");
    desktop.log.clear();
  }

  void ExpectBookOpenAgainWithItsBookmark() {
    EXPECT_TRUE(doc.IsOpen());
    EXPECT_EQ(doc.Path(), bookPath);
    EXPECT_EQ(doc.Title(), "Atlas.QL");
    EXPECT_EQ(doc.RowCount(), 3);
    const ql::BookmarkEntry mark = doc.Reader().GetBookmark(3);
    EXPECT_EQ(mark.text, "banana");
    EXPECT_EQ(mark.recordIndex, 1);
    EXPECT_EQ(desktop.progressOpen, 0);
    EXPECT_FALSE(desktop.waitCursor);
  }

  void Export() { ql::RunExportToHandheld(doc, desktop, aide); }

  qltest::TempDir dir;
  std::string bookPath;
  std::string pdbPath;
  ql::Document doc;
  ScriptedDesktop desktop;
  RecordingAide aide;
};

TEST(ExportNames, DefaultsComeFromTheTitleAndTheChosenFile) {
  EXPECT_EQ(ql::DefaultPdbFileName("Atlas.QL"), "Atlas");
  EXPECT_EQ(ql::DefaultPdbFileName("Atlas"), "Atlas");
  EXPECT_EQ(ql::DefaultPdbFileName("Atlas.qlx"), "Atlas.qlx");
  EXPECT_EQ(ql::DefaultPdbFileName(".ql"), "");
  EXPECT_EQ(ql::DefaultDatabaseName("/data/My Book.pdb"), "My Book");
}

TEST_F(ExportFlowTest, CancelAtEitherDialogChangesNothing) {
  Export();  // no book: nothing at all
  EXPECT_TRUE(desktop.log.empty());

  OpenBook();
  desktop.files = {std::nullopt};
  Export();
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile Atlas"));
  const ql::FileDialogSpec& dialog = desktop.fileDialogs[0];
  EXPECT_TRUE(dialog.save);
  EXPECT_EQ(dialog.filter, "Palm database files (*.pdb)|*.pdb||");
  EXPECT_EQ(dialog.defaultExtension, "pdb");
  EXPECT_TRUE(dialog.owned);

  desktop.log.clear();
  desktop.files = {ql::ChosenFile{pdbPath, 0}};
  desktop.palmImports = {std::nullopt};
  Export();
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile Atlas", "EditPalmImport ticked My Book"));
  EXPECT_FALSE(std::filesystem::exists(pdbPath));
  EXPECT_TRUE(doc.IsOpen());
}

TEST_F(ExportFlowTest, UntickedBoxExportsAndReopensTheBookWithItsBookmarks) {
  OpenBook();
  desktop.files = {ql::ChosenFile{pdbPath, 0}};
  desktop.palmImports = {ql::PalmImportValues{false, "Atlas DB"}};
  Export();
  EXPECT_THAT(desktop.log,
              ElementsAre("ChooseFile Atlas", "EditPalmImport ticked My Book", "EmptyList",
                          "WaitCursor on", "StartProgress 9 owned", "EndProgress", "WaitCursor off",
                          "RebuildBookmarkMenu", "DocumentOpened"));
  EXPECT_EQ(desktop.progressSteps, 2 * 3 + 2);
  EXPECT_TRUE(aide.queued.empty());
  const std::string pdb = qltest::ReadFileBytes(pdbPath);
  ASSERT_GE(pdb.size(), 32u);
  EXPECT_EQ(pdb.substr(0, 9), std::string("Atlas DB\0", 9));
  ExpectBookOpenAgainWithItsBookmark();
}

TEST_F(ExportFlowTest, TickedBoxQueuesTheFileForTheChosenUser) {
  OpenBook();
  aide.users = {"zoe", "Adam", "bob"};
  desktop.files = {ql::ChosenFile{pdbPath, 0}};
  desktop.palmImports = {ql::PalmImportValues{true, "My Book"}};
  desktop.hotSyncUsers = {1};
  Export();
  EXPECT_THAT(aide.queued, ElementsAre(std::make_pair(std::string("bob"), pdbPath)));
  EXPECT_THAT(desktop.log,
              ElementsAre("ChooseFile Atlas", "EditPalmImport ticked My Book", "EmptyList",
                          "WaitCursor on", "StartProgress 9 owned", "EndProgress", "WaitCursor off",
                          "ChooseHotSyncUser Adam,bob,zoe",
                          "ShowMessage Quillary: Next time you perform a HotSync operation,\n"
                          "this file will be installed on your handheld.",
                          "RebuildBookmarkMenu", "DocumentOpened"));
  EXPECT_TRUE(std::filesystem::exists(pdbPath));
  ExpectBookOpenAgainWithItsBookmark();
}

TEST_F(ExportFlowTest, QueueFailureGivesTheProblemMessage) {
  OpenBook();
  aide.users = {"Adam"};
  aide.result = EACCES;
  desktop.files = {ql::ChosenFile{pdbPath, 0}};
  desktop.palmImports = {ql::PalmImportValues{true, "My Book"}};
  desktop.hotSyncUsers = {0};
  Export();
  EXPECT_EQ(aide.queued.size(), 1u);
  EXPECT_THAT(desktop.Calls("ShowMessage"),
              ElementsAre("ShowMessage Quillary: There is a problem with file installation.\n"
                          "Please refer to user manual."));
  ExpectBookOpenAgainWithItsBookmark();
}

TEST_F(ExportFlowTest, CancelledOrEmptyUserDialogQueuesNothingAndSaysNothing) {
  OpenBook();
  aide.users = {"Adam"};
  desktop.files = {ql::ChosenFile{pdbPath, 0}, ql::ChosenFile{pdbPath, 0}};
  desktop.palmImports = {ql::PalmImportValues{true, "My Book"},
                         ql::PalmImportValues{true, "My Book"}};
  desktop.hotSyncUsers = {std::nullopt};
  Export();
  aide.users.clear();
  desktop.hotSyncUsers = {0};  // OK on an empty list chooses no one
  Export();
  EXPECT_THAT(desktop.Calls("ChooseHotSyncUser"),
              ElementsAre("ChooseHotSyncUser Adam", "ChooseHotSyncUser"));
  EXPECT_TRUE(aide.queued.empty());
  EXPECT_FALSE(desktop.Called("ShowMessage"));
  ExpectBookOpenAgainWithItsBookmark();
}

TEST_F(ExportFlowTest, FailedExportSaysWhyAndIsNeverQueued) {
  OpenBook();
  aide.users = {"Adam"};
  const std::string underFile = bookPath + "/My Book.pdb";
  desktop.files = {ql::ChosenFile{underFile, 0}};
  desktop.palmImports = {ql::PalmImportValues{true, "My Book"}};
  Export();
  EXPECT_FALSE(desktop.Called("ChooseHotSyncUser"));
  EXPECT_TRUE(aide.queued.empty());
  EXPECT_THAT(desktop.Calls("ShowMessage"),
              ElementsAre("ShowMessage Quillary: Export failed:\n" + underFile +
                          ": cannot create the file: " + std::strerror(ENOTDIR)));
  ExpectBookOpenAgainWithItsBookmark();
}

// A write that fails names its cause, whatever the stream did after it. The
// database outgrows the limit on file size; the bookmarks written back into
// the book when it closes lie below it.
TEST_F(ExportFlowTest, FailedWriteSaysWhyAndIsNeverQueued) {
  struct Case {
    std::string path;
    bool sizeLimit;
    std::string reason;
  };
  std::vector<Case> cases = {{pdbPath, true, "file too large"}};
  if (access("/dev/full", W_OK) == 0) cases.push_back({"/dev/full", false, "disk full"});
  std::vector<Entry> entries = kEntries;
  std::mt19937 rng(3);
  entries[2].text.assign(12000, ' ');
  for (char& ch : entries[2].text) ch = static_cast<char>('a' + rng() % 26);
  OpenBook({}, entries);
  aide.users = {"Adam"};
  for (const Case& c : cases) {
    desktop.log.clear();
    desktop.files = {ql::ChosenFile{c.path, 0}};
    desktop.palmImports = {ql::PalmImportValues{true, "My Book"}};
    {
      std::optional<qltest::FileSizeLimit> limit;
      if (c.sizeLimit) limit.emplace(9000);
      Export();
    }
    EXPECT_THAT(desktop.Calls("ShowMessage"),
                ElementsAre("ShowMessage Quillary: Export failed:\n" + c.path +
                            ": writing the file failed: " + c.reason));
    EXPECT_FALSE(desktop.Called("ChooseHotSyncUser"));
  }
  EXPECT_TRUE(aide.queued.empty());
  EXPECT_FALSE(std::filesystem::exists(pdbPath));
  ExpectBookOpenAgainWithItsBookmark();
}

TEST_F(ExportFlowTest, BookTheExportCannotReadSaysWhyAndIsNeverQueued) {
  // The window reads a bookmark chunk that is not marked skippable; the
  // export's reader takes no such chunk.
  qltest::BookOptions options;
  options.bookmarkChunkFlag = 0;
  OpenBook(options);
  aide.users = {"Adam"};
  desktop.files = {ql::ChosenFile{pdbPath, 0}};
  desktop.palmImports = {ql::PalmImportValues{true, "My Book"}};
  Export();
  EXPECT_THAT(desktop.log,
              ElementsAre("ChooseFile Atlas", "EditPalmImport ticked My Book", "EmptyList",
                          "ShowMessage Quillary: Export failed:\n" + bookPath +
                              ": the book's version or one of its chunks is not supported",
                          "RebuildBookmarkMenu", "DocumentOpened"));
  EXPECT_TRUE(aide.queued.empty());
  EXPECT_FALSE(std::filesystem::exists(pdbPath));
  ExpectBookOpenAgainWithItsBookmark();
}

TEST_F(ExportFlowTest, NoNameOrTheBookItselfIsRefusedWhileTheBookStaysOpen) {
  OpenBook();
  desktop.files = {ql::ChosenFile{pdbPath, 0}, ql::ChosenFile{bookPath, 0}};
  desktop.palmImports = {ql::PalmImportValues{false, ""}, ql::PalmImportValues{false, "Atlas"}};
  Export();
  Export();
  EXPECT_THAT(desktop.Calls("ShowMessage"),
              ElementsAre("ShowMessage Quillary: Export failed:\n" + pdbPath + ": no database name",
                          "ShowMessage Quillary: Export failed:\n" + bookPath +
                              ": is the book that is open; choose another file"));
  EXPECT_FALSE(desktop.Called("EmptyList"));
  EXPECT_FALSE(std::filesystem::exists(pdbPath));
  ExpectBookOpenAgainWithItsBookmark();
}

TEST_F(ExportFlowTest, ReadOnlyBookComesBackReadOnlyWithoutAskingAgain) {
  qltest::WriteFileBytes(bookPath, qltest::BuildBookBytes(kEntries));
  ReadOnlyMedia media;
  desktop.answers = {ql::Answer::kNo};  // no copy
  ASSERT_TRUE(ql::OpenDocument(doc, desktop, bookPath, media));
  desktop.log.clear();
  desktop.files = {ql::ChosenFile{pdbPath, 0}};
  desktop.palmImports = {ql::PalmImportValues{false, "Atlas"}};
  ql::RunExportToHandheld(doc, desktop, aide, media);
  EXPECT_FALSE(desktop.Called("Ask"));
  EXPECT_EQ(desktop.log.back(), "DocumentOpened");
  EXPECT_TRUE(doc.IsOpen());
  EXPECT_TRUE(doc.Reader().IsReadOnly());
  EXPECT_EQ(doc.Path(), bookPath);
  EXPECT_TRUE(std::filesystem::exists(pdbPath));
}

}  // namespace
