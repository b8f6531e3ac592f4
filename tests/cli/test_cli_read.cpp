// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook read commands run as a program: info, subjects, head, record,
// lookup and bookmarks; output bytes, exit codes, and books left unchanged.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_reader.h"
#include "qlbook_runner.h"

namespace {

using QlRun = qltest::QlbookRun;

class CliRead : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = dir_.File("pets.ql");
    qltest::WriteFileBytes(book_, qltest::BuildBookBytes(entries_));
    legacy_ = dir_.File("old.ql");
    qltest::WriteFileBytes(legacy_, qltest::BuildLegacyBookBytes(
                                        {{"Aardvark", "Digs@burrows"}, {"Zebra", "Stripes"}}, 3));
  }

  QlRun Qlbook(const std::vector<std::string>& args) { return qltest::RunQlbook(args); }

  qltest::TempDir dir_;
  std::vector<qltest::Entry> entries_ = {
      {"Cat", "a small \t\x01pet\t\x02"},
      {"cat flap", std::string(200, 'f')},
      {"dog", ""},
      {"\xC9t\xE9", "summer"},
  };
  std::string book_;
  std::string legacy_;
};

TEST_F(CliRead, InfoSubjectsHeadRecord) {
  QlRun r = Qlbook({"info", book_});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "format: 2\nversion: 2001\nsorted: yes\nsubjects: 4\nbookmarks: 0\n");
  r = Qlbook({"subjects", book_});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Cat\ncat flap\ndog\n\xC9t\xE9\n");
  r = Qlbook({"head", book_, "1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(150, 'f'));
  r = Qlbook({"record", book_, "1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(200, 'f'));
  EXPECT_EQ(Qlbook({"record", book_, "0"}).out, entries_[0].text);
  r = Qlbook({"record", book_, "2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");

  EXPECT_EQ(Qlbook({"head", book_, "4"}).status, 2);
  EXPECT_EQ(Qlbook({"record", book_, "-1"}).status, 2);
  EXPECT_EQ(Qlbook({"record", book_, "one"}).status, 2);
  EXPECT_EQ(Qlbook({"head", book_}).status, 2);
}

TEST_F(CliRead, LegacyBooksAreReadWithoutChange) {
  const std::string before = qltest::ReadFileBytes(legacy_);
  QlRun r = Qlbook({"info", legacy_});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "format: legacy\nversion: 3\nsorted: no\nsubjects: 2\nbookmarks: 0\n");
  EXPECT_EQ(Qlbook({"subjects", legacy_}).out, "Aardvark\nZebra\n");
  EXPECT_EQ(Qlbook({"head", legacy_, "0"}).out, "Digs");
  EXPECT_EQ(Qlbook({"record", legacy_, "0"}).out,
            "Digs\t\x08"
            "burrows");
  EXPECT_EQ(Qlbook({"lookup", legacy_, "zebra"}).out, "1\n");
  EXPECT_EQ(Qlbook({"bookmarks", legacy_}).out, "");
  EXPECT_EQ(qltest::ReadFileBytes(legacy_), before);
}

TEST_F(CliRead, Lookup) {
  QlRun r = Qlbook({"lookup", book_, "cat"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0\n");
  EXPECT_EQ(Qlbook({"lookup", book_, "CAT FLAP"}).out, "1\n");
  EXPECT_EQ(Qlbook({"lookup", book_, "do", "--prefix"}).out, "2\n");
  EXPECT_EQ(Qlbook({"lookup", book_, "\xC9t\xE9"}).out, "3\n");
  r = Qlbook({"lookup", book_, "zebra"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "-1\n");
  EXPECT_EQ(Qlbook({"lookup", book_}).status, 2);
}

TEST_F(CliRead, BookmarksAddListRemove) {
  QlRun r = Qlbook({"bookmarks", book_});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  r = Qlbook({"bookmarks", book_, "--add", "2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1\t2\tdog\n");
  r = Qlbook({"bookmarks", book_, "--add", "3"});
  EXPECT_EQ(r.out, "1\t2\tdog\n2\t3\t\xC9t\xE9\n");
  EXPECT_EQ(Qlbook({"info", book_}).out,
            "format: 2\nversion: 2001\nsorted: yes\nsubjects: 4\nbookmarks: 2\n");

  // Stored as the reader keeps them: textLength, recordIndex, reserved, text.
  const std::string bytes = qltest::ReadFileBytes(book_);
  const size_t slot2 = 36 + 12 + 2 * 93;
  EXPECT_EQ(qltest::WordAt(bytes, slot2), 3);
  EXPECT_EQ(qltest::WordAt(bytes, slot2 + 4), 3);
  EXPECT_EQ(bytes.substr(slot2 + 12, 4), std::string("\xC9t\xE9\0", 4));

  r = Qlbook({"bookmarks", book_, "--remove", "1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "2\t3\t\xC9t\xE9\n");
  // The freed slot is the first free one again.
  EXPECT_EQ(Qlbook({"bookmarks", book_, "--add", "0"}).out, "1\t0\tCat\n2\t3\t\xC9t\xE9\n");

  r = Qlbook({"bookmarks", book_, "--remove", "5"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("not in use"), std::string::npos);
  EXPECT_EQ(Qlbook({"bookmarks", book_, "--remove", "51"}).status, 2);
  EXPECT_EQ(Qlbook({"bookmarks", book_, "--remove", "0"}).status, 2);
  EXPECT_EQ(Qlbook({"bookmarks", book_, "--add", "4"}).status, 2);
  EXPECT_EQ(Qlbook({"bookmarks", book_, "--add", "x"}).status, 2);
}

TEST_F(CliRead, BookmarkTextIsCutTo81Bytes) {
  const std::string subject(100, 's');
  std::string path = dir_.File("long.ql");
  qltest::WriteFileBytes(path, qltest::BuildBookBytes({{subject, "t"}}));
  QlRun r = Qlbook({"bookmarks", path, "--add", "0"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1\t0\t" + subject.substr(0, 81) + "\n");
  const std::string bytes = qltest::ReadFileBytes(path);
  EXPECT_EQ(qltest::WordAt(bytes, 36 + 12 + 93), 100);
}

TEST_F(CliRead, FullTableAndReadOnlyBook) {
  for (int i = 0; i < 50; ++i) ASSERT_EQ(Qlbook({"bookmarks", book_, "--add", "1"}).status, 0);
  QlRun r = Qlbook({"bookmarks", book_, "--add", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("in use"), std::string::npos);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 0);
  const std::string listed = Qlbook({"bookmarks", book_}).out;
  EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 50);

  ASSERT_EQ(chmod(book_.c_str(), 0444), 0);
  const std::string before = qltest::ReadFileBytes(book_);
  r = Qlbook({"bookmarks", book_, "--remove", "3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("read-only"), std::string::npos);
  // Read commands work on a read-only book and leave it alone.
  r = Qlbook({"bookmarks", book_});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 50);
  EXPECT_EQ(Qlbook({"record", book_, "0"}).out, entries_[0].text);
  EXPECT_EQ(qltest::ReadFileBytes(book_), before);
}

// A book open in the window (a writer) is read by every read command as if
// nothing held it; only a change of its bookmarks is refused.
TEST_F(CliRead, ReadCommandsWorkWhileAWindowWritesTheBook) {
  // Each command, with OUT for a file it writes.
  const std::vector<std::vector<std::string>> reads = {
      {"info"},        {"subjects"},           {"head", "1"},
      {"record", "0"}, {"render", "0"},        {"lookup", "dog"},
      {"search", "a"}, {"export-text", "OUT"}, {"export-pdb", "OUT"},
      {"bookmarks"},
  };
  for (const std::string& book : {book_, legacy_}) {
    SCOPED_TRACE(book);
    {
      // A bookmark to list; opening a legacy book for writing marks it first.
      ql::BookReader marker;
      ASSERT_EQ(marker.Open(book, ql::kOpenReadWrite), ql::OpenResult::kOk);
      marker.SetBookmark(1, 3, 0, 0, "abc");
    }
    auto run = [&](const std::vector<std::string>& command, const std::string& out) {
      std::vector<std::string> args = {command[0], book};
      for (size_t i = 1; i < command.size(); ++i)
        args.push_back(command[i] == "OUT" ? out : command[i]);
      QlRun r = qltest::RunQlbook(args, "export SOURCE_DATE_EPOCH=0; ");
      if (command.back() == "OUT") r.out += qltest::ReadFileBytes(out);
      return r;
    };
    std::vector<QlRun> alone;
    for (const auto& command : reads) alone.push_back(run(command, dir_.File("out")));
    const std::string before = qltest::ReadFileBytes(book);

    ql::BookReader window;
    ASSERT_EQ(window.Open(book, ql::kOpenReadWrite), ql::OpenResult::kOk);
    for (size_t i = 0; i < reads.size(); ++i) {
      SCOPED_TRACE(reads[i][0]);
      const QlRun r = run(reads[i], dir_.File("out"));
      EXPECT_FALSE(alone[i].out.empty());
      EXPECT_EQ(r.status, alone[i].status);
      EXPECT_EQ(r.out, alone[i].out);
      EXPECT_EQ(r.err, alone[i].err);
    }
    EXPECT_NE(alone[0].out.find("bookmarks: 1\n"), std::string::npos);
    for (const std::vector<std::string>& change :
         {std::vector<std::string>{"--add", "0"}, std::vector<std::string>{"--remove", "1"}}) {
      std::vector<std::string> args = {"bookmarks", book};
      args.insert(args.end(), change.begin(), change.end());
      const QlRun r = Qlbook(args);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err, "qlbook: " + book + ": another Quillary has the book open for writing\n");
    }
    EXPECT_EQ(qltest::ReadFileBytes(book), before);
    window.Close();
    EXPECT_EQ(Qlbook({"bookmarks", book, "--remove", "1"}).status, 0);
  }
}

TEST_F(CliRead, BadBooksGiveClearMessages) {
  QlRun r = Qlbook({"info", dir_.File("missing.ql")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("missing.ql"), std::string::npos);

  std::string text = dir_.File("notes.txt");
  qltest::WriteFileBytes(text, "just some text, not a book at all\n");
  r = Qlbook({"subjects", text});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("notes.txt: not a Quillary book"), std::string::npos) << r.err;

  qltest::BookOptions newer;
  newer.version = 2002;
  std::string future = dir_.File("future.ql");
  qltest::WriteFileBytes(future, qltest::BuildBookBytes(entries_, newer));
  r = Qlbook({"info", future});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("not supported"), std::string::npos);

  for (const char* command : {"info", "subjects", "head", "record", "lookup", "bookmarks"}) {
    r = Qlbook({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_NE(r.out.find("BOOK"), std::string::npos) << command;
  }
}

}  // namespace
