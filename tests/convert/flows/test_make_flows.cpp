// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Import, Upgrade and the text export, run against a scripted desktop. The
// failures are real ones: a path under a regular file, a file that ends in
// the middle of a read, and a limit on the size of files (root ignores
// permissions, not these).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "book_fixture.h"
#include "byte_sink.h"
#include "dict_fixture.h"
#include "file_size_limit.h"
#include "make_flows.h"
#include "scripted_desktop.h"
#include "test_helpers.h"

namespace {

using qltest::Entry;
using qltest::FileSizeLimit;
using qltest::ScriptedDesktop;
using testing::ElementsAre;
using testing::HasSubstr;

using qltest::AsPairs;
using qltest::DirectoryNames;
using qltest::Pairs;
using qltest::ReadEntries;

const std::vector<Entry>& kOldEntries = qltest::kFruitEntries;

const std::string kTaggedSource =
    "<new>fig\r\nSweet <b>and</b> soft\r\n<new>grape\r\nIn bunches\r\n";
const Pairs kTaggedEntries = {{"fig",
                               "Sweet \t\x01"
                               "and\t\x02 soft"},
                              {"grape", "In bunches"}};

class MakeFlowTest : public testing::Test {
 protected:
  MakeFlowTest() {
    bookPath = dir.File("old.ql");
    doc.SetInitialised(true);
  }

  // The book at bookPath, open in the document with a bookmark made since it
  // opened (so only closing the book writes it).
  void OpenOldBook() {
    qltest::WriteFileBytes(bookPath, qltest::BuildBookBytes(kOldEntries));
    oldBytes = qltest::ReadFileBytes(bookPath);
    ASSERT_TRUE(ql::OpenDocument(doc, desktop, bookPath));
    doc.Reader().SetBookmark(3, 6, 1, 0, "banana");
    desktop.log.clear();
  }

  std::string Source(const std::string& bytes, const std::string& name = "in.txt") {
    const std::string path = dir.File(name);
    qltest::WriteFileBytes(path, bytes);
    return path;
  }

  // Import from source, read as the filter at filterIndex reads, into target.
  void ImportInto(const std::string& source, int filterIndex, const std::string& target) {
    desktop.files = {ql::ChosenFile{source, filterIndex}, ql::ChosenFile{target, 0}};
    ql::RunImport(doc, desktop);
  }

  void ExpectOldBookOpenWithItsBookmark() {
    EXPECT_TRUE(doc.IsOpen());
    EXPECT_EQ(doc.Path(), bookPath);
    EXPECT_EQ(ReadEntries(doc.Reader()), AsPairs(kOldEntries));
    EXPECT_EQ(doc.Reader().GetBookmark(3).text, "banana");
    EXPECT_EQ(desktop.progressOpen, 0);
    EXPECT_FALSE(desktop.waitCursor);
  }

  std::string OnlyMessage() {
    const std::vector<std::string> messages = desktop.Calls("ShowMessage");
    EXPECT_EQ(messages.size(), 1u);
    return messages.empty() ? std::string() : messages[0];
  }

  qltest::TempDir dir;
  std::string bookPath;
  std::string oldBytes;
  ql::Document doc;
  ScriptedDesktop desktop;
};

using ImportTest = MakeFlowTest;

TEST_F(ImportTest, CancelAtEitherDialogChangesNothing) {
  OpenOldBook();
  desktop.files = {std::nullopt};
  ql::RunImport(doc, desktop);
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile"));

  desktop.log.clear();
  desktop.files = {ql::ChosenFile{Source(kTaggedSource), 0}, std::nullopt};
  ql::RunImport(doc, desktop);
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile", "ChooseFile"));
  EXPECT_TRUE(doc.IsOpen());
  EXPECT_THAT(DirectoryNames(dir.Path()), ElementsAre("in.txt", "old.ql"));

  ASSERT_EQ(desktop.fileDialogs.size(), 3u);
  const ql::FileDialogSpec& source = desktop.fileDialogs[1];
  EXPECT_FALSE(source.save);
  EXPECT_EQ(source.filter,
            "Tagged text files (*.txt)|*.txt|Tab seperated files (*.tab)|*.tab|"
            "dictd dictionaries (*.index)|*.index|StarDict dictionaries (*.ifo)|*.ifo||");
  EXPECT_EQ(source.defaultExtension, "");
  EXPECT_TRUE(source.owned);
  const ql::FileDialogSpec& book = desktop.fileDialogs[2];
  EXPECT_TRUE(book.save);
  EXPECT_EQ(book.filter, "Quillary files (*.ql)|*.ql||");
  EXPECT_EQ(book.defaultExtension, "ql");
  EXPECT_EQ(book.initialName, "");
  EXPECT_TRUE(book.owned);
}

TEST_F(ImportTest, SortedTaggedImportShowsTheResultsAndOpensTheNewBook) {
  OpenOldBook();
  const std::string source = Source(kTaggedSource);
  const std::string target = dir.File("new.ql");
  desktop.files = {ql::ChosenFile{source, 0}, ql::ChosenFile{target, 0}};
  ql::RunImport(doc, desktop);

  EXPECT_THAT(desktop.log,
              ElementsAre("ChooseFile", "ChooseFile", "EmptyList", "WaitCursor on",
                          "StartProgress " + std::to_string(kTaggedSource.size() + 1) + " owned",
                          "EndProgress", "WaitCursor off",
                          "ShowMessage Import results: Number of subjects:   \t2\n"
                          "File sorted status:       \tYes",
                          "RebuildBookmarkMenu", "DocumentOpened"));
  EXPECT_TRUE(doc.IsOpen());
  EXPECT_EQ(doc.Path(), target);
  EXPECT_EQ(ReadEntries(doc.Reader()), kTaggedEntries);
  EXPECT_EQ(doc.Reader().GetSorted(), 1);

  // The old book kept the bookmark made while it was open.
  ql::BookReader old;
  ASSERT_EQ(old.Open(bookPath, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(old.GetBookmark(3).text, "banana");
}

TEST_F(ImportTest, UnsortedTabImportReportsTheFirstSubjectOutOfOrder) {
  // Read as tagged text this holds no entry at all: the chosen filter decides.
  const std::string source = Source("pear\tGreen\r\nlemon\tSour\r\nlime\tSmall\r\n", "in.tab");
  const std::string target = dir.File("new.ql");
  desktop.files = {ql::ChosenFile{source, 1}, ql::ChosenFile{target, 0}};
  ql::RunImport(doc, desktop);

  EXPECT_EQ(OnlyMessage(),
            "ShowMessage Import results: Number of subjects:   \t3\n"
            "File sorted status:       \tNo\nSorted check failed at subject: lemon");
  EXPECT_FALSE(desktop.Called("EmptyList"));  // no book was open
  ASSERT_TRUE(doc.IsOpen());
  EXPECT_EQ(doc.Reader().GetSorted(), 0);
  EXPECT_EQ(ReadEntries(doc.Reader()),
            (Pairs{{"pear", "Green"}, {"lemon", "Sour"}, {"lime", "Small"}}));
}

TEST_F(ImportTest, ImportIntoTheOpenBooksOwnPathReplacesIt) {
  OpenOldBook();
  desktop.files = {ql::ChosenFile{Source(kTaggedSource), 0}, ql::ChosenFile{bookPath, 0}};
  ql::RunImport(doc, desktop);
  EXPECT_THAT(OnlyMessage(), HasSubstr("Number of subjects:   \t2"));
  ASSERT_TRUE(doc.IsOpen());
  EXPECT_EQ(doc.Path(), bookPath);
  EXPECT_EQ(ReadEntries(doc.Reader()), kTaggedEntries);
  EXPECT_EQ(doc.Reader().GetBookmark(3).textLength, 0);  // a new book, new bookmarks
  EXPECT_THAT(DirectoryNames(dir.Path()), ElementsAre("in.txt", "old.ql"));
}

TEST_F(ImportTest, FailedWriteIntoTheOpenBooksPathReopensTheOldBookWhole) {
  OpenOldBook();
  // Text that does not compress: the new book outgrows the old one, while
  // the import's own streams stay smaller.
  std::string source;
  uint32_t seed = 12345;
  for (int entry = 0; entry < 40; ++entry) {
    source += "<new>s" + std::to_string(100 + entry) + "\r\n";
    for (int i = 0; i < 40; ++i) {
      seed = seed * 1103515245u + 12345u;
      source += static_cast<char>('a' + (seed >> 16) % 26);
    }
    source += "\r\n";
  }
  desktop.files = {ql::ChosenFile{Source(source), 0}, ql::ChosenFile{bookPath, 0}};
  {
    // Room to write the old book's bookmarks back, not for the new book.
    FileSizeLimit limit(oldBytes.size());
    ql::RunImport(doc, desktop);
  }
  const std::string message = OnlyMessage();
  EXPECT_THAT(message, HasSubstr("Import failed:\n" + bookPath));
  EXPECT_THAT(message, HasSubstr(std::strerror(EFBIG)));
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile", "ChooseFile", "EmptyList", "WaitCursor on",
                                       HasSubstr("StartProgress"), "EndProgress", "WaitCursor off",
                                       "RebuildBookmarkMenu", "DocumentOpened", message));
  ExpectOldBookOpenWithItsBookmark();
  EXPECT_THAT(DirectoryNames(dir.Path()), ElementsAre("in.txt", "old.ql"));
}

TEST_F(ImportTest, SourceThatFailsWhileBeingReadOpensNoBook) {
  OpenOldBook();
  // Opens for reading, and its first read fails: nothing is mapped at offset 0.
  // That first read looks for UTF-8, before the open book is closed.
  desktop.files = {ql::ChosenFile{"/proc/self/mem", 0}, ql::ChosenFile{dir.File("new.ql"), 0}};
  ql::RunImport(doc, desktop);
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile", "ChooseFile",
                                       "ShowMessage Quillary: Import failed:\n/proc/self/mem: " +
                                           std::string(std::strerror(EIO))));
  ExpectOldBookOpenWithItsBookmark();
  EXPECT_THAT(DirectoryNames(dir.Path()), ElementsAre("old.ql"));
}

TEST_F(ImportTest, Utf8SourceIsStoredAsWindows1252) {
  OpenOldBook();
  // A byte-order mark, then characters Windows-1252 has: nothing is replaced,
  // so the results are the only message.
  const std::string source =
      Source("\xEF\xBB\xBF<new>caf\xC3\xA9\r\nOne \xE2\x82\xAC, na\xC3\xAFve\r\n");
  const std::string target = dir.File("new.ql");
  ImportInto(source, 0, target);
  EXPECT_EQ(OnlyMessage(),
            "ShowMessage Import results: Number of subjects:   \t1\n"
            "File sorted status:       \tYes");
  ASSERT_TRUE(doc.IsOpen());
  EXPECT_EQ(doc.Path(), target);
  EXPECT_EQ(ReadEntries(doc.Reader()), (Pairs{{"caf\xE9", "One \x80, na\xEFve"}}));
}

TEST_F(ImportTest, Utf8CharactersWithoutAWindows1252FormMakeAUtf8Book) {
  // No byte-order mark: the start of the text is UTF-8, and characters
  // Windows-1252 lacks make a version 2002 book, which the results say.
  const std::string source = Source("caf\xC3\xA9\tA \xE2\x98\x83 and \xE4\xB8\xAD\r\n", "in.tab");
  ImportInto(source, 1, dir.File("new.ql"));
  EXPECT_EQ(OnlyMessage(),
            "ShowMessage Import results: Number of subjects:   \t1\n"
            "File sorted status:       \tYes\n"
            "Book version:\t2002 (UTF-8 text, nothing replaced)\n"
            "Texts shared by several subjects:\t0");
  ASSERT_TRUE(doc.IsOpen());
  EXPECT_TRUE(doc.Reader().IsUnicode());
  EXPECT_EQ(ReadEntries(doc.Reader()), (Pairs{{"caf\xC3\xA9", "A \xE2\x98\x83 and \xE4\xB8\xAD"}}));
}

TEST_F(ImportTest, Windows1252SourceKeepsItsBytes) {
  // Not UTF-8 (a lone 0xE9): taken as it is.
  const std::string source = Source("caf\xE9\tna\xEFve \x80\r\n", "in.tab");
  ImportInto(source, 1, dir.File("new.ql"));
  EXPECT_THAT(OnlyMessage(), HasSubstr("Number of subjects:   \t1"));
  ASSERT_TRUE(doc.IsOpen());
  EXPECT_EQ(ReadEntries(doc.Reader()), (Pairs{{"caf\xE9", "na\xEFve \x80"}}));
}

TEST_F(ImportTest, DictdDictionaryIsSortedLinkedAndOpened) {
  OpenOldBook();
  // Out of order in the index, one headword twice, one character Windows-1252
  // lacks: the book is a sorted version 2002 one, the two texts share a
  // record, the results say so, and nothing is replaced.
  qltest::WriteDictd(dir.File("words"),
                     {{"plum", "plum\n  a fruit, see {fig}\n"},
                      {"fig", "fig\n  sweet \xE2\x98\x83\n"},
                      {"plum", "plum\n  a colour\n"}},
                     qltest::DictText::kDictzip);
  const std::string target = dir.File("new.ql");
  ImportInto(dir.File("words.index"), ql::ImportFilterIndex("dictd"), target);
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile", "ChooseFile", "EmptyList", "WaitCursor on",
                                       "StartProgress 4 owned", "EndProgress", "WaitCursor off",
                                       "ShowMessage Import results: Number of subjects:   \t2\n"
                                       "File sorted status:       \tYes\n"
                                       "Book version:\t2002 (UTF-8 text, nothing replaced)\n"
                                       "Texts shared by several subjects:\t0\n"
                                       "Entries merged into the record of the same headword:\t1",
                                       "RebuildBookmarkMenu", "DocumentOpened"));
  ASSERT_TRUE(doc.IsOpen());
  EXPECT_EQ(doc.Path(), target);
  EXPECT_EQ(doc.Reader().GetSorted(), 1);
  EXPECT_EQ(ReadEntries(doc.Reader()), (Pairs{{"fig",
                                               "\xC2\xA0\xC2\xA0"
                                               "sweet \xE2\x98\x83"},
                                              {"plum",
                                               "\xC2\xA0\xC2\xA0"
                                               "a fruit, see \t\x11"
                                               "fig\t\x12\t\x09\xC2\xA0\xC2\xA0"
                                               "a colour"}}));
}

TEST_F(ImportTest, StarDictDictionaryIsImportedFromItsIfo) {
  qltest::WriteStarDict(
      dir.File("words"),
      {{"apple", "<b>Apple</b><br>see <a href=\"bword://pear\">pear</a>"}, {"pear", "A &amp; B"}},
      "h");
  const std::string target = dir.File("new.ql");
  ImportInto(dir.File("words.ifo"), ql::ImportFilterIndex("stardict"), target);
  EXPECT_EQ(OnlyMessage(),
            "ShowMessage Import results: Number of subjects:   \t2\n"
            "File sorted status:       \tYes\n"
            "Book version:\t2002 (UTF-8 text, nothing replaced)\n"
            "Texts shared by several subjects:\t0");
  ASSERT_TRUE(doc.IsOpen());
  EXPECT_EQ(ReadEntries(doc.Reader()), (Pairs{{"apple",
                                               "\t\x01"
                                               "Apple\t\x02\t\x08see \t\x11pear>pear\t\x12"},
                                              {"pear", "A & B"}}));
}

TEST_F(ImportTest, DictionaryWithoutItsTextFailsBeforeTheBookCloses) {
  OpenOldBook();
  qltest::WriteFileBytes(dir.File("words.index"), qltest::DictdIndexLine("fig", 0, 3));
  ImportInto(dir.File("words.index"), ql::ImportFilterIndex("dictd"), dir.File("new.ql"));
  EXPECT_THAT(
      desktop.log,
      ElementsAre("ChooseFile", "ChooseFile",
                  "ShowMessage Quillary: Import failed:\n" + dir.File("words.index") +
                      ": the dictionary's text is missing: no " + dir.File("words") + ".dict.dz, " +
                      dir.File("words") + ".dict or " + dir.File("words") + ".dict.gz"));
  ExpectOldBookOpenWithItsBookmark();

  // A text file read as a dictionary: the index is damaged.
  desktop.log.clear();
  qltest::WriteFileBytes(dir.File("words.dict"), "fig");
  qltest::WriteFileBytes(dir.File("words.index"), "<new>fig\r\nSweet\r\n");
  ImportInto(dir.File("words.index"), ql::ImportFilterIndex("dictd"), dir.File("new.ql"));
  EXPECT_THAT(OnlyMessage(),
              HasSubstr("words.index: line 1: not \"headword TAB offset TAB length\""));
  ExpectOldBookOpenWithItsBookmark();
  EXPECT_THAT(DirectoryNames(dir.Path()), ElementsAre("old.ql", "words.dict", "words.index"));
}

TEST_F(ImportTest, SourceThatCannotBeOpenedLeavesTheBookOpen) {
  OpenOldBook();
  for (const std::string& source : {dir.File("missing.txt"), dir.Path()}) {
    desktop.log.clear();
    desktop.files = {ql::ChosenFile{source, 0}, ql::ChosenFile{dir.File("new.ql"), 0}};
    ql::RunImport(doc, desktop);
    const std::string why = source == dir.Path() ? "is a directory" : std::strerror(ENOENT);
    EXPECT_THAT(desktop.log,
                ElementsAre("ChooseFile", "ChooseFile",
                            "ShowMessage Quillary: Import failed:\n" + source + ": " + why));
  }
  ExpectOldBookOpenWithItsBookmark();
  EXPECT_THAT(DirectoryNames(dir.Path()), ElementsAre("old.ql"));
}

TEST_F(ImportTest, TargetDirectoryThatTakesNoFileIsFoundBeforeTheBookCloses) {
  OpenOldBook();
  const std::string source = Source(kTaggedSource);
  const std::string target = source + "/new.ql";  // under a regular file
  desktop.files = {ql::ChosenFile{source, 0}, ql::ChosenFile{target, 0}};
  ql::RunImport(doc, desktop);
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile", "ChooseFile",
                                       "ShowMessage Quillary: Import failed:\n" + target +
                                           ": cannot write the book: " + std::strerror(ENOTDIR) +
                                           " (nothing was changed there)"));
  ExpectOldBookOpenWithItsBookmark();
}

TEST_F(ImportTest, TargetThatIsTheSourceOrAFileItReadsIsRefused) {
  // Picked as the target (after the dialog's "replace?"), the text itself or
  // a dictionary's text or index would become the book: refused, naming both
  // paths, with nothing written and the open book left open.
  OpenOldBook();
  const std::string tagged = Source(kTaggedSource);
  const std::string tab = Source("fig\tsweet\r\n", "in.tab");
  qltest::WriteDictd(dir.File("d"), {{"fig", "sweet"}}, qltest::DictText::kGzip);
  qltest::WriteStarDict(dir.File("s"), {{"fig", "sweet"}}, "m");
  ASSERT_EQ(::link(tab.c_str(), dir.File("tab.ql").c_str()), 0);
  struct Case {
    std::string source;
    int filterIndex;
    std::string target;
    std::string read;  // the file the target is
  };
  const std::vector<Case> cases = {
      {tagged, 0, tagged, tagged},
      {tab, ql::ImportFilterIndex("tab"), dir.File("tab.ql"), tab},
      {dir.File("d.index"), ql::ImportFilterIndex("dictd"), dir.File("d.index"),
       dir.File("d.index")},
      {dir.File("d.index"), ql::ImportFilterIndex("dictd"), dir.File("d.dict.gz"),
       dir.File("d.dict.gz")},
      {dir.File("s.ifo"), ql::ImportFilterIndex("stardict"), dir.File("s.idx"), dir.File("s.idx")},
      {dir.File("s.ifo"), ql::ImportFilterIndex("stardict"), dir.File("s.dict"),
       dir.File("s.dict")},
  };
  const std::vector<std::string> names = DirectoryNames(dir.Path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    desktop.log.clear();
    const std::string before = qltest::ReadFileBytes(c.read);
    ImportInto(c.source, c.filterIndex, c.target);
    EXPECT_THAT(desktop.log,
                ElementsAre("ChooseFile", "ChooseFile",
                            "ShowMessage Quillary: Import failed:\n" + c.target +
                                ": is the same file as " + c.read + "; nothing was written"));
    EXPECT_EQ(qltest::ReadFileBytes(c.read), before);
    ExpectOldBookOpenWithItsBookmark();
    EXPECT_EQ(DirectoryNames(dir.Path()), names);
  }
}

TEST_F(ImportTest, BookmarksThatCannotBeSavedKeepTheBookOpen) {
  OpenOldBook();
  desktop.files = {ql::ChosenFile{Source(kTaggedSource), 0}, ql::ChosenFile{dir.File("n.ql"), 0}};
  {
    FileSizeLimit limit(1024);  // below the bookmark block's end
    ql::RunImport(doc, desktop);
  }
  EXPECT_THAT(desktop.log,
              ElementsAre("ChooseFile", "ChooseFile",
                          "ShowMessage Quillary: Could not save the bookmarks:\n" + bookPath +
                              ": " + std::strerror(EFBIG) + "\nThe book stays open."));
  ExpectOldBookOpenWithItsBookmark();
  EXPECT_THAT(DirectoryNames(dir.Path()), ElementsAre("in.txt", "old.ql"));
}

TEST_F(ImportTest, EmptySourceMakesABookWithoutSubjectsWhereNoneStood) {
  const std::string target = dir.File("new.ql");
  desktop.files = {ql::ChosenFile{Source("no entry here\r\n"), 0}, ql::ChosenFile{target, 0}};
  ql::RunImport(doc, desktop);
  EXPECT_EQ(OnlyMessage(),
            "ShowMessage Import results: Number of subjects:   \t0\n"
            "File sorted status:       \tYes");
  ASSERT_TRUE(doc.IsOpen());
  EXPECT_EQ(doc.Path(), target);
  EXPECT_EQ(doc.RowCount(), 0);
}

TEST_F(ImportTest, EmptySourceKeepsTheBookItWouldReplace) {
  OpenOldBook();
  const std::string source = Source("");
  desktop.files = {ql::ChosenFile{source, 0}, ql::ChosenFile{bookPath, 0}};
  ql::RunImport(doc, desktop);
  EXPECT_EQ(OnlyMessage(), "ShowMessage Quillary: No entry was found in " + source + ".\n" +
                               bookPath + " was left as it was.");
  ExpectOldBookOpenWithItsBookmark();
  EXPECT_EQ(desktop.log.back(), OnlyMessage());
}

class UpgradeCommandTest : public MakeFlowTest {
 protected:
  void OpenLegacyBook() {
    qltest::WriteFileBytes(bookPath, qltest::BuildLegacyBookBytes(kOldEntries, 1));
    desktop.answers = {ql::Answer::kNo};  // the offer to upgrade in place
    ASSERT_TRUE(ql::OpenDocument(doc, desktop, bookPath));
    // As opening left it: a legacy book opened for writing gains a bookmark block.
    oldBytes = qltest::ReadFileBytes(bookPath);
    desktop.log.clear();
  }
  void ExpectLegacyBookOpenAndUnchanged() {
    EXPECT_TRUE(doc.IsOpen());
    EXPECT_EQ(doc.Path(), bookPath);
    EXPECT_FALSE(doc.Reader().IsVersion2());
    EXPECT_EQ(ReadEntries(doc.Reader()), AsPairs(kOldEntries));
    EXPECT_TRUE(qltest::ReadFileBytes(bookPath) == oldBytes) << "the legacy book changed";
    EXPECT_FALSE(desktop.waitCursor);
  }
};

TEST_F(UpgradeCommandTest, NeedsAnOpenLegacyBook) {
  const std::string message =
      "ShowMessage Quillary: First open a Quillary Version 1 file then select 'Upgrade'";
  ql::RunUpgradeCommand(doc, desktop);
  EXPECT_THAT(desktop.log, ElementsAre(message));
  OpenOldBook();
  ql::RunUpgradeCommand(doc, desktop);
  EXPECT_THAT(desktop.log, ElementsAre(message));
}

TEST_F(UpgradeCommandTest, WritesAndOpensTheNewBook) {
  OpenLegacyBook();
  desktop.files = {std::nullopt};
  ql::RunUpgradeCommand(doc, desktop);
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile"));
  EXPECT_TRUE(desktop.fileDialogs[0].save);
  EXPECT_EQ(desktop.fileDialogs[0].filter, "Quillary files (*.ql)|*.ql||");
  EXPECT_EQ(desktop.fileDialogs[0].defaultExtension, "ql");

  desktop.log.clear();
  const std::string target = dir.File("new.ql");
  desktop.files = {ql::ChosenFile{target, 0}};
  ql::RunUpgradeCommand(doc, desktop);
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile", "WaitCursor on", "WaitCursor off",
                                       "RebuildBookmarkMenu", "DocumentOpened"));
  EXPECT_EQ(doc.Path(), target);
  EXPECT_TRUE(doc.Reader().IsVersion2());
  EXPECT_EQ(ReadEntries(doc.Reader()), AsPairs(kOldEntries));
  EXPECT_TRUE(qltest::ReadFileBytes(bookPath) == oldBytes) << "the legacy book changed";
}

TEST_F(UpgradeCommandTest, TheOpenBooksOwnPathIsRefused) {
  OpenLegacyBook();
  desktop.files = {ql::ChosenFile{bookPath, 0}};
  ql::RunUpgradeCommand(doc, desktop);
  EXPECT_EQ(OnlyMessage(), "ShowMessage Quillary: Upgrade failed:\n" + bookPath +
                               ": is the book that is open; choose another file");
  ExpectLegacyBookOpenAndUnchanged();
}

TEST_F(UpgradeCommandTest, FailedWriteSaysWhyAndKeepsTheLegacyBookOpen) {
  OpenLegacyBook();
  const std::string target = bookPath + "/new.ql";
  desktop.files = {ql::ChosenFile{target, 0}};
  ql::RunUpgradeCommand(doc, desktop);
  EXPECT_EQ(OnlyMessage(), "ShowMessage Quillary: Upgrade failed:\n" + target +
                               ": cannot write the book: " + std::strerror(ENOTDIR) +
                               " (nothing was changed there)");
  ExpectLegacyBookOpenAndUnchanged();
}

using TextExportTest = MakeFlowTest;

TEST_F(TextExportTest, WritesTheOpenBookAsTabSeparatedText) {
  ql::RunTextExport(doc, desktop);  // no book: nothing at all
  EXPECT_TRUE(desktop.log.empty());

  OpenOldBook();
  desktop.files = {std::nullopt};
  ql::RunTextExport(doc, desktop);
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile"));
  const ql::FileDialogSpec& dialog = desktop.fileDialogs[0];
  EXPECT_TRUE(dialog.save);
  EXPECT_EQ(dialog.filter, "Text files (*.txt)|*.txt||");
  EXPECT_EQ(dialog.defaultExtension, "txt");

  desktop.log.clear();
  const std::string out = dir.File("out.txt");
  qltest::WriteFileBytes(out, "older text");
  desktop.files = {ql::ChosenFile{out, 0}};
  ql::RunTextExport(doc, desktop);
  EXPECT_THAT(desktop.log, ElementsAre("ChooseFile", "WaitCursor on", "WaitCursor off"));
  EXPECT_EQ(qltest::ReadFileBytes(out),
            "apple\tA red <b>fruit</b>.\r\n"
            "banana\tYellow; see <a:apple>the apple</a>.\r\n"
            "cherry\tSmall & dark.\r\n");
  EXPECT_TRUE(doc.IsOpen());
}

TEST_F(TextExportTest, EntriesTheTextCannotCarryAreNamedAfterWriting) {
  qltest::WriteFileBytes(
      bookPath, qltest::BuildBookBytes({{"apple", ""}, {"fig", "Sweet"}, {"", "nameless"}}));
  ASSERT_TRUE(ql::OpenDocument(doc, desktop, bookPath));
  desktop.log.clear();
  const std::string out = dir.File("out.txt");
  desktop.files = {ql::ChosenFile{out, 0}};
  ql::RunTextExport(doc, desktop);
  EXPECT_THAT(desktop.log,
              ElementsAre("ChooseFile", "WaitCursor on", "WaitCursor off",
                          "ShowMessage Quillary: The text was written, but not all of the book "
                          "is in it:\n" +
                              out +
                              ": 2 entries: apple,  (the tab-separated form cannot carry an "
                              "empty subject or text, a TAB in a subject or a CR in a text, so "
                              "these do not import back as they are)"));
  // The text is kept: the fig went out whole.
  EXPECT_THAT(qltest::ReadFileBytes(out), HasSubstr("fig\tSweet\r\n"));
  EXPECT_TRUE(doc.IsOpen());
}

TEST_F(TextExportTest, FailuresSayWhyAndLeaveTheTargetAsItWas) {
  OpenOldBook();
  const std::string underFile = bookPath + "/out.txt";
  desktop.files = {ql::ChosenFile{underFile, 0}};
  ql::RunTextExport(doc, desktop);
  EXPECT_EQ(OnlyMessage(), "ShowMessage Quillary: Text export failed:\n" + underFile + ": " +
                               std::strerror(ENOTDIR));

  desktop.log.clear();
  desktop.files = {ql::ChosenFile{bookPath, 0}};
  ql::RunTextExport(doc, desktop);
  EXPECT_EQ(OnlyMessage(), "ShowMessage Quillary: Text export failed:\n" + bookPath +
                               ": is the book that is open; choose another file");

  desktop.log.clear();
  const std::string out = dir.File("out.txt");
  qltest::WriteFileBytes(out, "older text");
  desktop.files = {ql::ChosenFile{out, 0}};
  {
    FileSizeLimit limit(40);  // the text takes more
    ql::RunTextExport(doc, desktop);
  }
  EXPECT_THAT(OnlyMessage(), HasSubstr("Text export failed:\n" + out + ": cannot write the text"));
  EXPECT_EQ(qltest::ReadFileBytes(out), "older text");
  EXPECT_FALSE(desktop.waitCursor);
  EXPECT_THAT(DirectoryNames(dir.Path()), ElementsAre("old.ql", "out.txt"));
  ExpectOldBookOpenWithItsBookmark();
}

}  // namespace
