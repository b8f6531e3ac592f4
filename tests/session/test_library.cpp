// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "book_fixture.h"
#include "library.h"

namespace {

using qltest::TempDir;
using qltest::WriteFileBytes;
using Paths = std::vector<std::string>;
using namespace std::string_literals;

Paths PathsOf(const ql::Library& lib) {
  Paths out;
  for (const ql::LibraryBook& b : lib.Books()) out.push_back(b.path);
  return out;
}

TEST(Library, ReadingTakesWhatItCanAndCountsTheRest) {
  const std::string head = std::string(ql::kLibraryFormatLine) + "\n";
  const std::string longPath =
      "book\t/" + std::string(ql::kLibraryLineLimit, 'x') + "\ton\tadded\n";
  struct Case {
    const char* name;
    std::string bytes;
    Paths books;
    int skipped;
    bool fails;
  } cases[] = {
      {"empty file", "", {}, 0, false},
      {"header only, CRLF", head + "\r\n", {}, 0, false},
      {"not a library", "book\t/a.ql\ton\tadded\n", {}, 0, true},
      {"good lines",
       head + "book\t/b/./x.ql\ton\tadded\r\nbook\t/a//y.ql/\toff\tfound\n",
       {"/b/x.ql", "/a/y.ql"},
       0,
       false},
      {"hostile lines",
       head + "book\trel.ql\ton\tadded\nbook\t/n\0ul.ql\ton\tadded\n"s + longPath +
           "book\t/a.ql\tmaybe\tadded\nbook\t/a.ql\ton\tadded\tmore\nshelf\t/a.ql\n"
           "book\t/c.ql\ton\topened\nbook\t/c.ql\toff\tadded\ngroup\t\ngroup\tAll books\n"
           "group\tG\t/missing.ql\nfolder\tsub\n" +
           std::string("\xff\xfe\t\t\t\n"),
       {"/c.ql"},
       12,
       false},
      {"last line without end", head + "book\t/z.ql\ton\tadded", {"/z.ql"}, 0, false},
      {"carriage returns inside paths",
       head + "book\t/cr\r.ql\ton\tadded\nremoved\t/r\r\r\nfolder\t/f\r\r\n",
       {},
       3,
       false},
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFileBytes(dir.File("library"), c.bytes);
    const ql::Library lib = ql::Library::Load(dir.File("library"));
    EXPECT_EQ(PathsOf(lib), c.books) << c.name;
    EXPECT_EQ(lib.SkippedLines(), c.skipped) << c.name;
    EXPECT_EQ(!lib.LoadFailure().empty(), c.fails) << c.name;
  }
  // A directory, a missing file and a huge one.
  EXPECT_EQ(ql::Library::Load(dir.Path()).LoadFailure(), "is a directory");
  EXPECT_EQ(ql::Library::Load(dir.File("none")).LoadFailure(), "");
  // What is read of a huge one stops inside a line, which is not taken.
  std::string huge = head + "book\t/h.ql\ton\tadded\n";
  const size_t cut = static_cast<size_t>(ql::kLibraryReadLimit) - 10;
  while (huge.size() < cut)
    huge += std::string(std::min<size_t>(999, cut - huge.size()), '#') + "\n";
  huge.resize(cut);
  huge += "\nfolder\t/cut/off\nbook\t/beyond.ql\ton\tadded\n";
  WriteFileBytes(dir.File("library"), huge);
  const ql::Library big = ql::Library::Load(dir.File("library"));
  EXPECT_EQ(PathsOf(big), Paths{"/h.ql"});
  EXPECT_TRUE(big.Folders().empty());
}

TEST(Library, SavedAndLoadedAgainItIsTheSame) {
  TempDir dir;
  ql::Library lib;
  ASSERT_TRUE(lib.AddBook("/books/a.ql"));
  ASSERT_TRUE(lib.AddBook("/books/b.ql"));
  lib.AddOpened("/tmp/o.ql");
  ASSERT_TRUE(lib.AddFolder("/more/"));
  ASSERT_TRUE(lib.SetEnabled("/books/b.ql", false));
  ASSERT_TRUE(lib.AddGroup("Empty"));
  ASSERT_TRUE(lib.AddGroup("Two"));
  ASSERT_TRUE(lib.SetInGroup("Two", "/tmp/o.ql", true));
  ASSERT_TRUE(lib.SetInGroup("Two", "/books/b.ql", true));
  std::string reason;
  const std::string file = dir.File("config/quillary/library");
  ASSERT_TRUE(lib.Save(file, reason)) << reason;
  const ql::Library back = ql::Library::Load(file);
  EXPECT_EQ(back.SkippedLines(), 0);
  EXPECT_EQ(PathsOf(back), (Paths{"/books/a.ql", "/books/b.ql", "/tmp/o.ql"}));
  EXPECT_FALSE(back.Books()[1].enabled);
  EXPECT_TRUE(back.Books()[2].opened);
  EXPECT_EQ(back.Folders(), Paths{"/more"});
  EXPECT_EQ(back.GroupNames(), (Paths{ql::kAllBooks, "Empty", "Two"}));
  EXPECT_EQ(back.BooksOf("Two"), Paths{"/tmp/o.ql"});  // b is off
  EXPECT_TRUE(back.InGroup("Two", "/books/b.ql"));
  // Saving where a directory stands fails and says so.
  EXPECT_FALSE(lib.Save(dir.Path(), reason));
  EXPECT_NE(reason.find(dir.Path()), std::string::npos);
}

TEST(Library, GroupsHoldLibraryBooksUnderGoodNames) {
  ql::Library lib;
  lib.AddBook("/a.ql");
  lib.AddBook("/b.ql");
  struct Step {
    bool (*op)(ql::Library&);
    bool result;
  } steps[] = {
      {[](ql::Library& l) { return l.AddGroup("G"); }, true},
      {[](ql::Library& l) { return l.AddGroup("G"); }, false},
      {[](ql::Library& l) { return l.AddGroup(""); }, false},
      {[](ql::Library& l) { return l.AddGroup("a\tb"); }, false},
      {[](ql::Library& l) { return l.AddGroup("a\nb"); }, false},
      {[](ql::Library& l) { return l.AddGroup(ql::kAllBooks); }, false},
      {[](ql::Library& l) { return l.RemoveGroup(ql::kAllBooks); }, false},
      {[](ql::Library& l) { return l.SetInGroup("G", "/c.ql", true); }, false},
      {[](ql::Library& l) { return l.SetInGroup("H", "/a.ql", true); }, false},
      {[](ql::Library& l) { return l.SetInGroup(ql::kAllBooks, "/a.ql", false); }, false},
      {[](ql::Library& l) { return l.SetInGroup("G", "/b.ql", true); }, true},
      {[](ql::Library& l) { return l.SetInGroup("G", "/a.ql", true); }, true},
      {[](ql::Library& l) { return l.SetInGroup("G", "/a.ql", true); }, false},
  };
  for (size_t i = 0; i < std::size(steps); ++i)
    EXPECT_EQ(steps[i].op(lib), steps[i].result) << "step " << i;
  EXPECT_EQ(lib.BooksOf("G"), (Paths{"/a.ql", "/b.ql"}));  // library order
  EXPECT_TRUE(lib.Move("/b.ql", -5));
  EXPECT_FALSE(lib.Move("/b.ql", -1));
  EXPECT_EQ(lib.BooksOf(ql::kAllBooks), (Paths{"/b.ql", "/a.ql"}));
  EXPECT_TRUE(lib.RemoveBook("/a.ql"));
  EXPECT_EQ(lib.BooksOf("G"), Paths{"/b.ql"});
  EXPECT_TRUE(lib.BooksOf("H").empty());
  EXPECT_TRUE(lib.RemoveGroup("G"));
  EXPECT_EQ(lib.GroupNames(), Paths{ql::kAllBooks});
}

TEST(Library, RescanKeepsTheUsersOrderAndFollowsTheFolders) {
  TempDir dir;
  const std::string books = dir.File("books"), mine = dir.File("mine");
  std::filesystem::create_directories(books + "/sub");
  std::filesystem::create_directories(mine);
  for (const char* f : {"/b.ql", "/a.QL", "/sub/c.ql", "/.part.ql", "/notes.txt"})
    WriteFileBytes(books + f, "x");
  WriteFileBytes(mine + "/m.ql", "x");
  std::filesystem::create_directory_symlink(books, books + "/sub/loop");
  ql::Library lib;
  lib.AddBook(dir.File("kept.ql"));  // added by name, never there
  lib.AddOpened(dir.File("gone.ql"));
  lib.AddFolder(mine);
  lib.Rescan(books);
  EXPECT_EQ(PathsOf(lib), (Paths{dir.File("kept.ql"), books + "/a.QL", books + "/b.ql",
                                 books + "/sub/c.ql", mine + "/m.ql"}));
  lib.Move(books + "/sub/c.ql", -3);
  lib.RemoveBook(books + "/b.ql");
  std::filesystem::remove(books + "/a.QL");
  WriteFileBytes(books + "/0.ql", "x");
  lib.RemoveFolder(mine);
  lib.Rescan(books);
  EXPECT_EQ(PathsOf(lib), (Paths{books + "/sub/c.ql", dir.File("kept.ql"), books + "/0.ql"}));
  // A removed book comes back once added by name.
  lib.AddBook(books + "/b.ql");
  lib.Rescan(books);
  EXPECT_EQ(PathsOf(lib).back(), books + "/b.ql");
}

TEST(Library, ProbeTellsEachStateInTheWindowsWords) {
  TempDir dir;
  const std::vector<qltest::Entry> entries = {{"alpha", "a"}, {"beta", "b"}};
  const std::string good = qltest::BuildBookBytes(entries);
  qltest::BookOptions newer;
  newer.version = 9001;
  WriteFileBytes(dir.File("good.ql"), good);
  WriteFileBytes(dir.File("short.ql"), good.substr(0, good.size() / 2));
  WriteFileBytes(dir.File("newer.ql"), qltest::BuildBookBytes(entries, newer));
  WriteFileBytes(dir.File("text.ql"), "just some words, no book");
  WriteFileBytes(dir.File("locked.ql"), good);
  ::chmod(dir.File("locked.ql").c_str(), 0);
  ASSERT_EQ(::mkfifo(dir.File("fifo.ql").c_str(), 0600), 0);
  struct Case {
    const char* name;
    ql::BookState state;
    int subjects;
    const char* reason;
  } cases[] = {
      {"good.ql", ql::BookState::kOpen, 2, ""},
      {"missing.ql", ql::BookState::kFailed, 0, "No such file or directory"},
      {"short.ql", ql::BookState::kFailed, 0, "damaged"},
      {"newer.ql", ql::BookState::kFailed, 0, "(9001)"},
      {"text.ql", ql::BookState::kFailed, 0, "not a Quillary book"},
      {"", ql::BookState::kFailed, 0, "is a directory"},
      {"fifo.ql", ql::BookState::kFailed, 0, "not a Quillary book"},
      {"locked.ql", ql::BookState::kFailed, 0, "Permission denied"},
  };
  for (const Case& c : cases) {
    if (std::string(c.name) == "locked.ql" && ::geteuid() == 0) continue;
    const ql::BookStatus s = ql::ProbeBook(dir.File(c.name));
    EXPECT_EQ(s.state, c.state) << c.name;
    EXPECT_EQ(s.subjects, c.subjects) << c.name;
    EXPECT_NE(s.reason.find(c.reason), std::string::npos) << c.name << ": " << s.reason;
    EXPECT_EQ(s.title, c.name);
  }
  EXPECT_EQ(ql::ProbeBook(dir.File("good.ql")).size, static_cast<int64_t>(good.size()));
  EXPECT_EQ(ql::BookStateText(ql::ProbeBook(dir.File("text.ql"))), "failed: not a Quillary book");
}

}  // namespace
