// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook import of dictionaries, run as a program: the format from the
// extension or --format, the results text byte for byte, and the exit codes
// and messages when a file is missing or damaged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_reader.h"
#include "dict_fixture.h"
#include "qlbook_runner.h"

namespace {

using testing::HasSubstr;

TEST(CliDictImport, FormatFromTheExtensionAndTheResultsText) {
  qltest::TempDir dir;
  qltest::WriteDictd(dir.File("d"),
                     {{"pear", "pear\n  {apple}\n"}, {"apple", "\xE2\x98\x83"}, {"pear", "2"}},
                     qltest::DictText::kDictzip);
  const std::string book = dir.File("d.ql");
  qltest::QlbookRun run = qltest::RunQlbook({"import", dir.File("d.index"), book});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Number of subjects:   \t2\nFile sorted status:       \tYes\n"
            "Characters without a Windows-1252 form (written as ?):\t0\n"
            "Book version:\t2002 (UTF-8 text, nothing replaced)\n"
            "Texts shared by several subjects:\t0\n"
            "Entries merged into the record of the same headword:\t1\n");
  EXPECT_EQ(run.err, "");
  {
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(book, ql::kOpenReadOnly), ql::OpenResult::kOk);
    EXPECT_TRUE(reader.IsUnicode());
    EXPECT_EQ(reader.GetSubject(0), "apple");
    ASSERT_EQ(reader.LoadRecord(0), 1);
    EXPECT_EQ(reader.CurrentRecordText(), "\xE2\x98\x83");
    EXPECT_EQ(reader.GetSorted(), 1);
  }
  // Asked for, a version 2001 book, with what Windows-1252 lacks counted.
  run = qltest::RunQlbook({"import", dir.File("d.index"), book, "--book-version", "2001"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Number of subjects:   \t2\nFile sorted status:       \tYes\n"
            "Characters without a Windows-1252 form (written as ?):\t1\n"
            "Entries merged into the record of the same headword:\t1\n");
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(book, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_FALSE(reader.IsUnicode());
  EXPECT_EQ(reader.GetSubject(0), "apple");
  ASSERT_EQ(reader.LoadRecord(0), 1);
  EXPECT_EQ(reader.CurrentRecordText(), "?");
  reader.Close();

  // Headwords whose index lines name the same long text share it, counted
  // once (a dictionary without the UTF-8 mark has no line of replaced
  // characters).
  const std::string longText(400, 'x');
  qltest::WriteFileBytes(dir.File("t.dict"), longText + "\n");
  qltest::WriteFileBytes(dir.File("t.index"),
                         qltest::DictdIndexLine("one", 0, longText.size()) +
                             qltest::DictdIndexLine("three", 0, longText.size()) +
                             qltest::DictdIndexLine("two", 0, longText.size()));
  run = qltest::RunQlbook({"import", dir.File("t.index"), book});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Number of subjects:   \t3\nFile sorted status:       \tYes\n"
            "Book version:\t2002 (UTF-8 text, nothing replaced)\n"
            "Texts shared by several subjects:\t1\n");

  qltest::WriteStarDict(dir.File("s"), {{"b", "two"}, {"a", "one"}}, "m");
  run = qltest::RunQlbook({"import", dir.File("s.ifo"), book});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Number of subjects:   \t2\nFile sorted status:       \tYes\n"
            "Characters without a Windows-1252 form (written as ?):\t0\n"
            "Book version:\t2002 (UTF-8 text, nothing replaced)\n"
            "Texts shared by several subjects:\t0\n");

  // --format names the kind whatever the name.
  qltest::WriteFileBytes(dir.File("plain.txt"), qltest::ReadFileBytes(dir.File("d.index")));
  run = qltest::RunQlbook({"import", dir.File("plain.txt"), book, "--format", "dictd"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("the dictionary's text is missing: no " + dir.File("plain.txt") +
                                 ".dict.dz, "));
}

TEST(CliDictImport, MissingOrDamagedFilesFailAndKeepTheBook) {
  qltest::TempDir dir;
  const std::string book = dir.File("b.ql");
  qltest::WriteFileBytes(book, "stands here");
  qltest::WriteStarDict(dir.File("s"), {{"a", "one"}}, "m");
  qltest::WriteFileBytes(dir.File("s.ifo"), qltest::StarDictIfo(2, 10, "m"));
  qltest::QlbookRun run = qltest::RunQlbook({"import", dir.File("s.ifo"), book});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_THAT(run.err, HasSubstr("s.idx: holds 1 entry, but the .ifo gives wordcount 2"));
  EXPECT_EQ(qltest::ReadFileBytes(book), "stands here");

  // A dictionary of metadata alone has no entry: the book is kept.
  qltest::WriteDictd(dir.File("d"), {});
  run = qltest::RunQlbook({"import", dir.File("d.index"), book});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("the dictionary holds no entry; " + book + " was left as it was"));
  EXPECT_EQ(qltest::ReadFileBytes(book), "stands here");

  run = qltest::RunQlbook({"import", dir.File("d.index"), book, "--format", "epub"});
  EXPECT_EQ(run.status, 2);
}

TEST(CliDictImport, TargetThatIsAnyFileTheImportReadsIsRefused) {
  // The book must not be written over the dictionary's own text or index,
  // whether the text is plain, dictzip or gzip and the index plain or gzip;
  // nor over a link to one of them.
  qltest::TempDir dir;
  const std::string d = dir.File("d"), s = dir.File("s");
  const auto dictd = [&](qltest::DictText kind) {
    return [&, kind] { qltest::WriteDictd(d, {{"a", "one"}}, kind); };
  };
  const auto starDict = [&](bool idxGz, bool dictDz) {
    return [&, idxGz, dictDz] {
      const std::string idx = qltest::WriteStarDict(s, {{"a", "one"}}, "m");
      if (idxGz) {
        std::filesystem::remove(s + ".idx");
        qltest::WriteFileBytes(s + ".idx.gz", qltest::Gzip(idx));
      }
      if (dictDz) {
        std::filesystem::remove(s + ".dict");
        qltest::WriteFileBytes(s + ".dict.dz", qltest::Dictzip("one", 64));
      }
    };
  };
  struct Case {
    std::function<void()> write;
    std::string source;
    std::string read;  // the file the target is
    bool hardLink;     // the target is a link to it
  };
  const std::vector<Case> cases = {
      {dictd(qltest::DictText::kPlain), d + ".index", d + ".dict", false},
      {dictd(qltest::DictText::kDictzip), d + ".index", d + ".dict.dz", false},
      {dictd(qltest::DictText::kGzip), d + ".index", d + ".dict.gz", false},
      {dictd(qltest::DictText::kPlain), d + ".index", d + ".dict", true},
      {starDict(false, false), s + ".ifo", s + ".idx", false},
      {starDict(false, false), s + ".ifo", s + ".dict", false},
      {starDict(true, false), s + ".ifo", s + ".idx.gz", false},
      {starDict(false, true), s + ".ifo", s + ".dict.dz", true},
  };
  for (const Case& c : cases) {
    const std::string target = c.hardLink ? dir.File("link.ql") : c.read;
    SCOPED_TRACE(target);
    std::filesystem::remove_all(dir.Path());
    std::filesystem::create_directory(dir.Path());
    c.write();
    if (c.hardLink) {
      ASSERT_EQ(::link(c.read.c_str(), target.c_str()), 0);
    }
    const std::string before = qltest::ReadFileBytes(c.read);
    qltest::QlbookRun run = qltest::RunQlbook({"import", c.source, target});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "qlbook: " + target + ": is the same file as " + c.read + "; nothing was written\n");
    EXPECT_EQ(qltest::ReadFileBytes(c.read), before);
  }
}

TEST(CliDictImport, HeadwordsWithLineBreaksAreListedOneALine) {
  qltest::TempDir dir;
  qltest::WriteStarDict(dir.File("s"), {{"two\nlines", "a"}, {"one", "b"}}, "m");
  const std::string book = dir.File("s.ql");
  qltest::QlbookRun run = qltest::RunQlbook({"import", dir.File("s.ifo"), book});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Number of subjects:   \t2\nFile sorted status:       \tYes\n"
            "Characters without a Windows-1252 form (written as ?):\t0\n"
            "Book version:\t2002 (UTF-8 text, nothing replaced)\n"
            "Texts shared by several subjects:\t0\n"
            "Headwords whose line breaks became spaces:\t1\n");
  run = qltest::RunQlbook({"subjects", book});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "one\ntwo lines\n");
}

}  // namespace
