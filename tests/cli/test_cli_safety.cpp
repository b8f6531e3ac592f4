// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook commands that write files, run as a program against the ways a
// good book can be lost: source and target the same file, an import that
// finds nothing, output paths that are links, devices or pipes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_reader.h"
#include "qlbook_runner.h"

namespace {

using QlRun = qltest::QlbookRun;

QlRun Qlbook(const std::vector<std::string>& args, const std::string& prefix = "") {
  return qltest::RunQlbook(args, prefix);
}

class CliSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = dir_.File("pets.ql");
    bookBytes_ = qltest::BuildBookBytes({{"cat", "feline"}, {"dog", "canine"}});
    qltest::WriteFileBytes(book_, bookBytes_);
    legacy_ = dir_.File("old.ql");
    legacyBytes_ = qltest::BuildLegacyBookBytes({{"ant", "small"}, {"bee", "buzz"}}, 1);
    qltest::WriteFileBytes(legacy_, legacyBytes_);
  }

  qltest::TempDir dir_;
  std::string book_, bookBytes_, legacy_, legacyBytes_;
};

TEST_F(CliSafety, SourceAndTargetTheSameFileAreRefused) {
  ASSERT_EQ(symlink(book_.c_str(), dir_.File("link.ql").c_str()), 0);
  ASSERT_EQ(link(book_.c_str(), dir_.File("hard.ql").c_str()), 0);
  const std::string dotted = dir_.Path() + "/./pets.ql";
  const std::vector<std::vector<std::string>> commands = {
      {"import", book_, book_, "--format", "tab"},
      {"import", book_, dir_.File("link.ql")},
      {"export-pdb", book_, book_},
      {"export-pdb", book_, dir_.File("hard.ql")},
      {"export-text", book_, dotted},
      {"export-text", dir_.File("link.ql"), book_},
  };
  for (const auto& args : commands) {
    QlRun r = Qlbook(args);
    EXPECT_EQ(r.status, 1) << args[0] << " " << args[2];
    EXPECT_NE(r.err.find("the same file"), std::string::npos) << r.err;
    EXPECT_EQ(qltest::ReadFileBytes(book_), bookBytes_) << args[0] << " " << args[2];
  }
  QlRun r = Qlbook({"upgrade", legacy_, legacy_});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the same file"), std::string::npos) << r.err;
  EXPECT_EQ(qltest::ReadFileBytes(legacy_), legacyBytes_);
}

TEST_F(CliSafety, ImportFindingNoEntryKeepsAnExistingBook) {
  // Tab-separated text in a .txt file reads as tagged text: no "<new>".
  const std::string source = dir_.File("words.txt");
  qltest::WriteFileBytes(source, "cat\tfeline\r\ndog\tcanine\r\n");
  QlRun r = Qlbook({"import", source, book_});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Number of subjects:   \t0\nFile sorted status:       \tYes\n");
  EXPECT_NE(r.err.find("no entry"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--format tab"), std::string::npos) << r.err;
  EXPECT_EQ(qltest::ReadFileBytes(book_), bookBytes_);

  // Read as tab-separated, tagged text gives no entry either way round.
  const std::string tagged = dir_.File("words.tsv");
  qltest::WriteFileBytes(tagged, "<new>cat\r\nfeline\r\n");
  r = Qlbook({"import", tagged, book_});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--format tagged"), std::string::npos) << r.err;
  EXPECT_EQ(qltest::ReadFileBytes(book_), bookBytes_);

  // Without a book in the way the empty book is written, as before.
  r = Qlbook({"import", source, dir_.File("new.ql")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(qltest::ReadFileBytes(dir_.File("new.ql")).size(), 4815u);
}

TEST_F(CliSafety, OutputThroughALinkReplacesItsTargetAndKeepsTheLink) {
  const std::string target = dir_.File("real.txt");
  qltest::WriteFileBytes(target, "old text");
  ASSERT_EQ(symlink("real.txt", dir_.File("link.txt").c_str()), 0);
  QlRun r = Qlbook({"export-text", book_, dir_.File("link.txt")});
  ASSERT_EQ(r.status, 0) << r.err;
  struct stat st {};
  ASSERT_EQ(lstat(dir_.File("link.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(qltest::ReadFileBytes(target), "cat\tfeline\r\ndog\tcanine\r\n");
  // A link to a file not yet there makes that file.
  ASSERT_EQ(symlink("made.ql", dir_.File("dangling.ql").c_str()), 0);
  r = Qlbook({"import", target, dir_.File("dangling.ql"), "--format", "tab"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(lstat(dir_.File("dangling.ql").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(dir_.File("made.ql"), ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetSubjectCount(), 2);
}

TEST_F(CliSafety, OutputToAPipeIsWrittenThrough) {
  const std::string fifo = dir_.File("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // The reading end is open before qlbook starts, so its open does not wait.
  const int in = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(in, 0);
  QlRun r = Qlbook({"export-text", book_, fifo});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string got(256, '\0');
  const ssize_t n = read(in, got.data(), got.size());
  close(in);
  got.resize(n > 0 ? size_t(n) : 0);
  EXPECT_EQ(got, "cat\tfeline\r\ndog\tcanine\r\n");
  struct stat st {};
  ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(CliSafety, TemporaryFilesNeitherLengthenNamesNorStayBehind) {
  // A 250-byte name leaves no room for a suffix on the same name.
  const std::string longName = dir_.File(std::string(247, 'n') + ".ql");
  QlRun r = Qlbook({"export-text", book_, longName});
  EXPECT_EQ(r.status, 0) << r.err;
  r = Qlbook({"import", longName, longName + "x", "--format", "tab"});
  EXPECT_EQ(r.status, 0) << r.err;
  r = Qlbook({"export-pdb", book_, dir_.File(std::string(251, 'p')) + ".pdb", "--name", "p"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
    names.push_back(entry.path().filename().string());
  // The fixture's two books, the text, the book made from it and the database.
  EXPECT_EQ(names.size(), 5u);
  // Work files go where TMPDIR says.
  r = Qlbook({"import", book_, dir_.File("x.ql"), "--format", "tab"},
             "export TMPDIR=" + qltest::ShellQuote(dir_.File("nowhere")) + "; ");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("temporary"), std::string::npos) << r.err;
}

TEST_F(CliSafety, ExportsThatLoseRecordsSaySoAndExitOne) {
  // The record block cut short: the long record's tail has no end.
  const std::vector<qltest::Entry> entries = {{"ant", "small"}, {"bee", std::string(400, 'b')}};
  const std::string full = qltest::BuildBookBytes(entries);
  const std::string cut = dir_.File("cut.ql");
  qltest::WriteFileBytes(cut, full.substr(0, full.size() - 100));
  QlRun r = Qlbook({"export-text", cut, dir_.File("cut.tab")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("1 record"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("bee"), std::string::npos) << r.err;
  EXPECT_EQ(qltest::ReadFileBytes(dir_.File("cut.tab")).substr(0, 14), "ant\tsmall\r\nbee");
  r = Qlbook({"export-pdb", cut, dir_.File("cut.pdb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bee"), std::string::npos) << r.err;
  EXPECT_FALSE(qltest::ReadFileBytes(dir_.File("cut.pdb")).empty());

  // A legacy book cut inside its last record.
  const std::string legacy = qltest::BuildLegacyBookBytes(entries, 1);
  qltest::WriteFileBytes(legacy_, legacy.substr(0, legacy.size() - 50));
  r = Qlbook({"upgrade", legacy_, dir_.File("up.ql")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bee"), std::string::npos) << r.err;
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(dir_.File("up.ql"), ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetSubjectCount(), 2);
  reader.Close();
  // A legacy coding the export does not know gives "~" records.
  qltest::WriteFileBytes(legacy_, qltest::BuildLegacyBookBytes(entries, 4));
  r = Qlbook({"export-pdb", legacy_, dir_.File("four.pdb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("2 records"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("ant"), std::string::npos) << r.err;
}

TEST_F(CliSafety, ExportTextNamesEntriesItsFormCannotCarry) {
  const std::string path = dir_.File("odd.ql");
  qltest::WriteFileBytes(path, qltest::BuildBookBytes({{"ant", "small"},
                                                       {"bee", ""},
                                                       {"cow\tcalf", "moo"},
                                                       {"dog", "line\rbreak"},
                                                       {"eel", "slippery"},
                                                       {"fox", "a list\t\x0d item\t\x0e"},
                                                       {"gnu", "no such tag: \t\xbb"}}));
  QlRun r = Qlbook({"export-text", path, dir_.File("odd.tab")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("4 entries"), std::string::npos) << r.err;
  for (const char* subject : {"bee", "cow", "dog", "gnu"})
    EXPECT_NE(r.err.find(subject), std::string::npos) << r.err;
  // A tag whose code is the value of CR is written as its tag.
  for (const char* carried : {"eel", "fox"})
    EXPECT_EQ(r.err.find(carried), std::string::npos) << r.err;
  // Everything is still written.
  const std::string text = qltest::ReadFileBytes(dir_.File("odd.tab"));
  EXPECT_NE(text.find("eel\tslippery\r\n"), std::string::npos);
  // A line end in the first line would make the import take it for the
  // file's line end; further on an LF stays content.
  // A first subject that starts with the bytes of a byte-order mark would
  // lose them.
  for (const auto& first : std::vector<qltest::Entry>{{"ant\nbee", "x"},
                                                      {"ant", "x\ny"},
                                                      {"\xEF\xBB\xBF"
                                                       "ant",
                                                       "x"}}) {
    qltest::WriteFileBytes(path, qltest::BuildBookBytes({first, {"cow", "y"}, {"d\ne", "z\nw"}}));
    r = Qlbook({"export-text", path, dir_.File("odd.tab")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("1 entry: " + first.subject.substr(0, 3)), std::string::npos) << r.err;
  }
}

TEST_F(CliSafety, BooksWhoseEntriesOverlapAreRefused) {
  // Every index value points at the first entry, whose text is long: each
  // export would write that entry once per index value.
  std::vector<qltest::Entry> entries(400, {"x", "y"});
  entries[0] = {"big", std::string(3000, 'b')};
  std::string bytes = qltest::BuildBookBytes(entries);
  const int32_t first = qltest::WordAt(bytes, 4791);
  for (size_t i = 1; i < entries.size(); ++i) bytes.replace(4791 + 4 * i, 4, bytes.substr(4791, 4));
  ASSERT_EQ(qltest::WordAt(bytes, 4791 + 4 * 399), first);
  const std::string hostile = dir_.File("hostile.ql");
  qltest::WriteFileBytes(hostile, bytes);
  // The legacy form: every offset table value names the first entry.
  std::string legacy = qltest::BuildLegacyBookBytes(entries, 1);
  for (size_t i = 1; i < entries.size(); ++i) legacy.replace(28 + 4 * i, 4, legacy.substr(28, 4));
  qltest::WriteFileBytes(legacy_, legacy);
  for (const std::string& book : {hostile, legacy_}) {
    for (const char* command : {"export-text", "export-pdb", "upgrade"}) {
      if (book == hostile && std::string(command) == "upgrade") continue;
      const std::string out = dir_.File(std::string("out.") + command);
      QlRun r = Qlbook({command, book, out});
      EXPECT_EQ(r.status, 1) << command << " " << book;
      EXPECT_NE(r.err.find("overlap"), std::string::npos) << command << ": " << r.err;
      EXPECT_EQ(qltest::ReadFileBytes(out), "") << command << " " << book;
    }
  }
}

// A file size limit of 1 KiB: the bookmark block (4743 bytes) cannot be
// written or appended, while stdout and stderr still can.
const std::string kSmallFileLimit = "trap '' XFSZ; ulimit -f 1; ";

TEST_F(CliSafety, FailedBookmarkWritesAreReported) {
  QlRun r = Qlbook({"bookmarks", book_, "--add", "1"}, kSmallFileLimit);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write the bookmarks"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");

  // A legacy book gets its block appended on the first change; a failed
  // append is undone and said as what it is.
  r = Qlbook({"bookmarks", legacy_, "--add", "1"}, kSmallFileLimit);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find("in use"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  EXPECT_EQ(qltest::ReadFileBytes(legacy_), legacyBytes_);
}

TEST_F(CliSafety, LegacyBookChangesOnlyWhenABookmarkChanges) {
  QlRun r = Qlbook({"bookmarks", legacy_, "--remove", "5"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Qlbook({"bookmarks", legacy_, "--add", "2"}).status, 2);
  EXPECT_EQ(qltest::ReadFileBytes(legacy_), legacyBytes_);

  r = Qlbook({"bookmarks", legacy_, "--add", "1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\t1\tbee\n");
  const std::string marked = qltest::ReadFileBytes(legacy_);
  EXPECT_EQ(marked.size(), legacyBytes_.size() + 88 + 4743);
  // Read-only commands list what is stored and change nothing.
  r = Qlbook({"bookmarks", legacy_});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1\t1\tbee\n");
  EXPECT_EQ(Qlbook({"info", legacy_}).out,
            "format: legacy\nversion: 1501\nsorted: no\nsubjects: 2\nbookmarks: 1\n");
  EXPECT_EQ(Qlbook({"bookmarks", legacy_, "--remove", "9"}).status, 1);
  EXPECT_EQ(qltest::ReadFileBytes(legacy_), marked);
}

TEST_F(CliSafety, LegacyBookClaimingAMissingBookmarkBlockKeepsItsRecords) {
  // Marked as having a bookmark block (+500) that was never appended: the
  // last 4743 bytes are record text.
  const std::vector<qltest::Entry> entries = {{"ant", "small"}, {"bee", std::string(6000, 'b')}};
  const std::string bytes = qltest::BuildLegacyBookBytes(entries, 1501);
  qltest::WriteFileBytes(legacy_, bytes);
  EXPECT_EQ(Qlbook({"bookmarks", legacy_}).out, "");
  EXPECT_EQ(Qlbook({"bookmarks", legacy_, "--add", "3"}).status, 2);
  QlRun r = Qlbook({"bookmarks", legacy_, "--add", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bookmark block"), std::string::npos) << r.err;
  EXPECT_EQ(qltest::ReadFileBytes(legacy_), bytes);
  EXPECT_EQ(Qlbook({"record", legacy_, "1"}).out, entries[1].text);
}

}  // namespace
