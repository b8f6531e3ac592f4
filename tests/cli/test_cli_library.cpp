// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook library run as a program over a home of its own: the list, adding
// and removing, the dictionaries found and imported, and the exit codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "book_fixture.h"
#include "dict_fixture.h"
#include "qlbook_runner.h"

namespace {

using testing::HasSubstr;

TEST(CliLibrary, ListsAddsAndRemovesWithItsExitCodes) {
  qltest::TempDir dir;
  const std::string home = dir.Path(), books = dir.File("d/quillary/books");
  std::filesystem::create_directories(books);
  std::filesystem::create_directories(dir.File("sys/dictd"));
  qltest::WriteFileBytes(books + "/b.ql", qltest::BuildBookBytes({{"one", "1"}, {"two", "2"}}));
  qltest::WriteFileBytes(books + "/a.ql", "no book");
  qltest::WriteFileBytes(dir.File("own.ql"), qltest::BuildBookBytes({{"x", "y"}}));
  qltest::WriteFileBytes(dir.File("text.ql"), "words");
  qltest::WriteDictd(dir.File("sys/dictd/wn"), {{"apple", "a fruit"}});
  const std::string env = "export HOME=" + home + " XDG_CONFIG_HOME=" + home +
                          "/c XDG_DATA_HOME=" + home + "/d XDG_DATA_DIRS=" + home + "/sys; cd " +
                          home + "; ";
  const std::string a = books + "/a.ql\ta.ql\t0\tfailed: not a Quillary book\n";
  const std::string b = books + "/b.ql\tb.ql\t2\topen\n";
  const std::string own = dir.File("own.ql") + "\town.ql\t1\topen\n";
  const std::string wn = books + "/wn.ql\twn.ql\t1\topen\n";
  struct Step {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;  // a part of it
  } steps[] = {
      {{"library"}, 0, a + b, ""},
      {{"library", "--add", "own.ql"}, 0, "", ""},
      {{"library", "--add", "own.ql"}, 1, "", "own.ql: the book is in the library already"},
      {{"library", "--add", "text.ql"}, 1, "", "text.ql: not added: not a Quillary book"},
      {{"library", "--add", "gone.ql"}, 1, "", "gone.ql: No such file or directory"},
      {{"library", "--remove", books + "/a.ql"}, 0, "", ""},
      {{"library", "--remove", "gone.ql"}, 1, "", "gone.ql: not in the library"},
      {{"library"}, 0, b + own, ""},
      {{"library", "--find-dictionaries"},
       0,
       dir.File("sys/dictd/wn.index") + "\t" + books + "/wn.ql\timported\n",
       ""},
      {{"library", "--find-dictionaries"},
       0,
       dir.File("sys/dictd/wn.index") + "\t" + books + "/wn.ql\tcurrent\n",
       ""},
      {{"library"}, 0, b + own + wn, ""},
      {{"library", "--add", "x", "--remove", "y"}, 2, "", "excludes"},
      {{"library", "extra"}, 2, "", "extra"},
  };
  for (const Step& s : steps) {
    const qltest::QlbookRun run = qltest::RunQlbook(s.args, env);
    const std::string name = s.args.size() > 1 ? s.args[1] : s.args[0];
    EXPECT_EQ(run.status, s.status) << name << ": " << run.err;
    EXPECT_EQ(run.out, s.out) << name;
    EXPECT_THAT(run.err, HasSubstr(s.err)) << name;
  }
  // A damaged dictionary fails the run, and a library file that cannot be
  // read is not written over.
  qltest::WriteFileBytes(dir.File("sys/dictd/wn.index"), "apple\t!!\t??\n");
  qltest::QlbookRun run = qltest::RunQlbook({"library", "--find-dictionaries"}, env);
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.out, HasSubstr("\tfailed: "));
  std::filesystem::remove(dir.File("c/quillary/library"));
  std::filesystem::create_directory(dir.File("c/quillary/library"));
  run = qltest::RunQlbook({"library"}, env);
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("library: is a directory"));
  EXPECT_EQ(run.out, a + b + wn);  // the books folder, as an empty library finds it
}

}  // namespace
