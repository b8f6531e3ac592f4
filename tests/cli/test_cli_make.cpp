// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook import, export-text and upgrade, run as a program: the results
// text byte for byte, exit codes, and the books they leave behind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_reader.h"
#include "qlbook_runner.h"

namespace {

using MakeRun = qltest::QlbookRun;

// Runs qlbook with args; prefix (shell text) runs first, e.g. a ulimit.
MakeRun RunQlbook(const qltest::TempDir&, const std::vector<std::string>& args,
                  const std::string& prefix = "") {
  return qltest::RunQlbook(args, prefix);
}

std::vector<qltest::Entry> ReadBook(const std::string& path) {
  ql::BookReader reader;
  EXPECT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk) << path;
  std::vector<qltest::Entry> entries;
  for (int i = 0; i < reader.GetSubjectCount(); ++i) {
    reader.LoadRecord(i);
    entries.push_back({reader.GetSubject(i), std::string(reader.CurrentRecordText())});
  }
  return entries;
}

bool SameEntries(const std::vector<qltest::Entry>& a, const std::vector<qltest::Entry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].subject != b[i].subject || a[i].text != b[i].text) return false;
  return true;
}

TEST(CliImport, PrintsTheResultsText) {
  qltest::TempDir dir;
  std::string book = dir.File("b.ql");
  qltest::WriteFileBytes(dir.File("sorted.txt"),
                         "<new>apple\r\nred<br>fruit\r\n<new>Apple\r\nsame\r\n<new>banana\r\ny");
  MakeRun run = RunQlbook(dir, {"import", dir.File("sorted.txt"), book});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Number of subjects:   \t3\nFile sorted status:       \tYes\n");
  EXPECT_TRUE(SameEntries(ReadBook(book), {{"apple",
                                            "red\t\x08"
                                            "fruit"},
                                           {"Apple", "same"},
                                           {"banana", "y"}}));

  qltest::WriteFileBytes(dir.File("unsorted.tsv"), "banana\t1\r\napple\t2\r\ncherry\t3\r\n");
  run = RunQlbook(dir, {"import", dir.File("unsorted.tsv"), book});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Number of subjects:   \t3\nFile sorted status:       \tNo\n"
            "Sorted check failed at subject: apple\n");
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(book, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(reader.GetSorted(), 0);
  EXPECT_EQ(reader.GetSubjectCount(), 3);
  reader.Close();

  // No entry found: the book that stood there is kept.
  const std::string before = qltest::ReadFileBytes(book);
  qltest::WriteFileBytes(dir.File("none.txt"), "no entries here\r\n");
  run = RunQlbook(dir, {"import", dir.File("none.txt"), book});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.out, "Number of subjects:   \t0\nFile sorted status:       \tYes\n");
  EXPECT_EQ(qltest::ReadFileBytes(book), before);
  run = RunQlbook(dir, {"import", dir.File("none.txt"), dir.File("empty.ql")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(qltest::ReadFileBytes(dir.File("empty.ql")).size(), 4815u);
}

TEST(CliImport, FormatFromExtensionUnlessGiven) {
  qltest::TempDir dir;
  std::string book = dir.File("b.ql");
  const std::string tab = "s\tt\r\n";
  for (const char* name : {"x.tsv", "x.TAB"}) {
    qltest::WriteFileBytes(dir.File(name), tab);
    EXPECT_EQ(RunQlbook(dir, {"import", dir.File(name), book}).status, 0);
    EXPECT_TRUE(SameEntries(ReadBook(book), {{"s", "t"}})) << name;
  }
  // The same bytes as tagged text hold no "<new>", so no entries.
  qltest::WriteFileBytes(dir.File("x.txt"), tab);
  EXPECT_EQ(RunQlbook(dir, {"import", dir.File("x.txt"), book}).out,
            "Number of subjects:   \t0\nFile sorted status:       \tYes\n");
  EXPECT_EQ(RunQlbook(dir, {"import", dir.File("x.txt"), book, "--format", "tab"}).status, 0);
  EXPECT_TRUE(SameEntries(ReadBook(book), {{"s", "t"}}));
  qltest::WriteFileBytes(dir.File("y.tsv"), "<new>a\r\nb");
  EXPECT_EQ(RunQlbook(dir, {"import", dir.File("y.tsv"), book, "--format", "tagged"}).status, 0);
  EXPECT_TRUE(SameEntries(ReadBook(book), {{"a", "b"}}));
  EXPECT_EQ(RunQlbook(dir, {"import", dir.File("y.tsv"), book, "--format", "csv"}).status, 2);
  EXPECT_EQ(RunQlbook(dir, {"import", dir.File("y.tsv")}).status, 2);
}

TEST(CliImport, Utf8TextIsStoredAsWindows1252) {
  qltest::TempDir dir;
  const std::string book = dir.File("b.ql");
  // "café", "naïve €5", a snowman (not in Windows-1252), LF line ends.
  const std::string utf8 =
      "caf\xC3\xA9\tna\xC3\xAFve \xE2\x82\xAC"
      "5\nsnow\tman \xE2\x98\x83\n";
  const std::vector<qltest::Entry> stored = {{"caf\xE9",
                                              "na\xEFve \x80"
                                              "5"},
                                             {"snow", "man ?"}};
  qltest::WriteFileBytes(dir.File("plain.tsv"), utf8);
  MakeRun run = RunQlbook(dir, {"import", dir.File("plain.tsv"), book, "--book-version", "2001"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("UTF-8"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("Number of subjects:   \t2\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("?):\t1\n"), std::string::npos) << run.out;
  EXPECT_TRUE(SameEntries(ReadBook(book), stored));
  // Not asked for a version, the snowman makes a version 2002 book of the
  // text as it is.
  run = RunQlbook(dir, {"import", dir.File("plain.tsv"), book});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "qlbook: " + dir.File("plain.tsv") +
                         ": read as UTF-8 (its start is UTF-8) and stored as UTF-8 in a version "
                         "2002 book, as Windows-1252 lacks some of its characters; give "
                         "--book-version 2001 to store it as Windows-1252\n");
  EXPECT_EQ(run.out,
            "Number of subjects:   \t2\nFile sorted status:       \tYes\n"
            "Characters without a Windows-1252 form (written as ?):\t0\n"
            "Book version:\t2002 (UTF-8 text, nothing replaced)\n"
            "Texts shared by several subjects:\t0\n");
  const std::vector<qltest::Entry> original = {{"caf\xC3\xA9",
                                                "na\xC3\xAFve \xE2\x82\xAC"
                                                "5"},
                                               {"snow", "man \xE2\x98\x83"}};
  EXPECT_TRUE(SameEntries(ReadBook(book), original));
  // A byte-order mark says UTF-8 too, in tagged text as well.
  qltest::WriteFileBytes(dir.File("bom.txt"),
                         "\xEF\xBB\xBF<new>caf\xC3\xA9\r\nna\xC3\xAFve \xE2\x82\xAC"
                         "5\r\n");
  run = RunQlbook(dir, {"import", dir.File("bom.txt"), book});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(SameEntries(ReadBook(book), {stored[0]}));
  // Asked for, the bytes are kept as they are; or converted without a guess.
  run = RunQlbook(dir, {"import", dir.File("plain.tsv"), book, "--encoding", "cp1252"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadBook(book)[0].subject, "caf\xC3\xA9");
  qltest::WriteFileBytes(dir.File("latin.tsv"), "caf\xE9\tx\r\n");
  run = RunQlbook(dir, {"import", dir.File("latin.tsv"), book});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "Number of subjects:   \t1\nFile sorted status:       \tYes\n");
  EXPECT_EQ(ReadBook(book)[0].subject, "caf\xE9");
  run = RunQlbook(dir, {"import", dir.File("latin.tsv"), book, "--encoding", "utf-8",
                        "--book-version", "2001"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadBook(book)[0].subject, "caf?");
  EXPECT_EQ(RunQlbook(dir, {"import", dir.File("latin.tsv"), book, "--encoding", "latin1"}).status,
            2);
  // Text from a pipe is looked at and read whole all the same.
  const std::string pipe = dir.File("pipe.tsv");
  ASSERT_EQ(std::system(("mkfifo " + qltest::ShellQuote(pipe)).c_str()), 0);
  run = RunQlbook(dir, {"import", pipe, book},
                  "cat " + qltest::ShellQuote(dir.File("plain.tsv")) + " > " +
                      qltest::ShellQuote(pipe) + " & ");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(SameEntries(ReadBook(book), original));
}

TEST(CliImport, FailuresAreReportedAndKeepTheOldBook) {
  qltest::TempDir dir;
  std::string book = dir.File("b.ql");
  qltest::WriteFileBytes(book, "old book");
  MakeRun run = RunQlbook(dir, {"import", dir.File("missing.txt"), book});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("missing.txt"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  // A file size limit of 4 x 512 bytes: the book (at least 4815 bytes) cannot be written.
  std::string big;
  for (int i = 0; i < 200; ++i) big += "<new>entry " + std::to_string(i) + "\r\ntext\r\n";
  qltest::WriteFileBytes(dir.File("big.txt"), big);
  run = RunQlbook(dir, {"import", dir.File("big.txt"), book}, "trap '' XFSZ; ulimit -f 4; ");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot write the book"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(qltest::ReadFileBytes(book), "old book");
}

TEST(CliMake, ExportTextThenImportGivesTheSameBook) {
  qltest::TempDir dir;
  std::string tagged;
  for (int i = 0; i < 300; ++i)
    tagged += "<new>word " + std::to_string(1000 + i) + "\r\nsee <a:word " +
              std::to_string(1000 + (i * 7) % 300) + ">there</a>, <b>bold</b><br>" +
              std::string(size_t(i), 'x') + "\r\nsecond line\r\n\r\n";
  qltest::WriteFileBytes(dir.File("in.txt"), tagged);
  ASSERT_EQ(RunQlbook(dir, {"import", dir.File("in.txt"), dir.File("a.ql")}).status, 0);
  MakeRun run = RunQlbook(dir, {"export-text", dir.File("a.ql"), dir.File("a.tab")});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string text = qltest::ReadFileBytes(dir.File("a.tab"));
  EXPECT_EQ(text.substr(0, 70),
            "word 1000\tsee <a:word 1000>there</a>, <b>bold</b><br><br>second line\r\n");
  ASSERT_EQ(RunQlbook(dir, {"import", dir.File("a.tab"), dir.File("b.ql")}).status, 0);
  EXPECT_EQ(qltest::ReadFileBytes(dir.File("a.ql")), qltest::ReadFileBytes(dir.File("b.ql")));
  EXPECT_EQ(ReadBook(dir.File("a.ql")).size(), 300u);

  EXPECT_EQ(RunQlbook(dir, {"export-text", dir.File("missing.ql"), dir.File("c.tab")}).status, 1);
}

TEST(CliMake, ImportedBookReadsBackThroughSubjectsAndRecord) {
  // A generated tab-separated book large enough for several blocks, with
  // long texts, tags and bytes above 127; read back with qlbook itself.
  qltest::TempDir dir;
  std::string tab, subjects;
  std::vector<std::string> records;
  for (int i = 0; i < 2000; ++i) {
    std::string subject = "entry\xe9 " + std::to_string(10000 + i);
    std::string text = "head <i>" + std::to_string(i) + "</i>" + std::string(size_t(i % 400), 'q');
    tab += subject + "\t" + text + "\r\n";
    subjects += subject + "\n";
    records.push_back("head \t\x03" + std::to_string(i) + "\t\x04" +
                      std::string(size_t(i % 400), 'q'));
  }
  qltest::WriteFileBytes(dir.File("gen.tsv"), tab);
  ASSERT_EQ(RunQlbook(dir, {"import", dir.File("gen.tsv"), dir.File("gen.ql")}).out,
            "Number of subjects:   \t2000\nFile sorted status:       \tYes\n");
  MakeRun run = RunQlbook(dir, {"subjects", dir.File("gen.ql")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, subjects);
  for (int i : {0, 1, 399, 777, 1999}) {
    run = RunQlbook(dir, {"record", dir.File("gen.ql"), std::to_string(i)});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, records[size_t(i)]) << i;
  }
}

TEST(CliMake, UpgradeWritesVersion2AndRefusesVersion2) {
  qltest::TempDir dir;
  const std::vector<qltest::Entry> entries = {
      {"cat", "feline"}, {"empty", ""}, {"tab\tin subject", "<b> literal"}, {"dog", "canine"}};
  std::string legacy = dir.File("old.ql");
  std::string legacyBytes = qltest::BuildLegacyBookBytes(entries, 2);
  qltest::WriteFileBytes(legacy, legacyBytes);
  MakeRun run = RunQlbook(dir, {"upgrade", legacy, dir.File("new.ql")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(SameEntries(ReadBook(dir.File("new.ql")), entries));
  EXPECT_EQ(qltest::ReadFileBytes(legacy), legacyBytes);

  run = RunQlbook(dir, {"upgrade", dir.File("new.ql"), dir.File("again.ql")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("already a version 2 book"), std::string::npos) << run.err;
  EXPECT_TRUE(qltest::ReadFileBytes(dir.File("again.ql")).empty());
}

}  // namespace
