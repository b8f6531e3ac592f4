// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook index and qlbook fts run as a program over a cache of their own:
// usage errors and exit codes, indexes built, kept and removed, hits merged
// best first across books, the walk for a book without an index, and JSON.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "qlbook_runner.h"

namespace {

using testing::HasSubstr;

class CliFulltext : public ::testing::Test {
 protected:
  void SetUp() override {
    shelf_ = dir_.File("shelf");
    std::filesystem::create_directories(shelf_);
    // A Windows-1252 subject with a TAB; c.ql is a.ql again (one index).
    const std::string a =
        qltest::BuildBookBytes({{"caf\xE9\tnoir", "a red wine of the hills"},
                                {"tea", "green leaves"},
                                {"wine", "made of grapes, red or white, in many lands"}});
    qltest::WriteFileBytes(shelf_ + "/a.ql", a);
    qltest::WriteFileBytes(shelf_ + "/c.ql", a);
    qltest::WriteFileBytes(shelf_ + "/b.ql",
                           qltest::BuildBookBytes({{"red wine", "wine that is red"}}));
    env_ = "export LC_ALL=C HOME=" + qltest::ShellQuote(dir_.Path()) +
           " XDG_CACHE_HOME=" + qltest::ShellQuote(dir_.File("cache")) +
           " XDG_CONFIG_HOME=" + qltest::ShellQuote(dir_.File("cfg")) +
           " XDG_DATA_HOME=" + qltest::ShellQuote(dir_.File("data")) + "; ";
  }
  // "DIR" at the start of an argument is the shelf.
  qltest::QlbookRun Run(std::vector<std::string> args) {
    for (std::string& arg : args)
      if (arg.starts_with("DIR")) arg = shelf_ + arg.substr(3);
    return qltest::RunQlbook(args, env_);
  }
  // {A} {B} {C} {M}: the books' paths (M is missing), as a pattern; {S} a score.
  std::string Pattern(std::string p) const {
    const std::string dir =
        std::regex_replace(shelf_, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
    for (auto [token, value] : {std::pair{"{A}", dir + "/a\\.ql"},
                                {"{B}", dir + "/b\\.ql"},
                                {"{C}", dir + "/c\\.ql"},
                                {"{M}", dir + "/missing\\.ql"},
                                {"{S}", std::string("[0-9]+\\.[0-9]{3}")}})
      for (size_t at; (at = p.find(token)) != std::string::npos;) p.replace(at, 3, value);
    return p;
  }
  qltest::TempDir dir_;
  std::string shelf_, env_;
};

TEST_F(CliFulltext, StepsWithTheirOutputAndExitCodes) {
  struct Step {
    std::vector<std::string> args;
    int status;
    std::string out;      // a pattern of the whole output
    std::string errPart;  // a pattern found in stderr
  };
  const std::string walked = "qlbook: {C}: not indexed, searched by the walk\n";
  const std::vector<Step> steps = {
      {{"fts"}, 2, "", "QUERY"},
      {{"fts", "red", "DIR", "--limit", "0"}, 2, "", "--limit must be 1 to 10000"},
      {{"fts", "red", "DIR", "--limit", "10001"}, 2, "", "--limit must be 1 to 10000"},
      {{"fts", "red", "DIR", "--limit", "many"}, 2, "", "--limit"},
      {{"fts", "", "DIR"}, 2, "", "^qlbook: "},
      {{"fts", "--", "-red", "DIR"}, 2, "", "^qlbook: "},
      {{"index", "--bogus"}, 2, "", "--bogus"},
      {{"index", "--remove", "DIR/b.ql", "DIR/missing.ql"}, 1, "{B}\tnone\n{M}\tfailed: .+\n", ""},
      {{"fts", "zebra", "DIR/c.ql"}, 1, "", walked},
      // By the walk, each book said once; equal scores keep the books' order.
      {{"fts", "red", "DIR/c.ql", "DIR/a.ql", "--json"},
       0,
       R"(\{"book":"{C}","index":0,.*"indexed":false\}\n\{"book":"{A}","index":0,.*\n)"
       R"(\{"book":"{C}","index":2,.*\n\{"book":"{A}","index":2,.*"indexed":false\}\n)",
       "^" + walked + "qlbook: {A}: not indexed, searched by the walk\n$"},
      {{"index", "DIR"}, 0, "{A}\tbuilt\n{B}\tbuilt\n{C}\tkept\n", "^$"},
      {{"index", "DIR/b.ql", "DIR/missing.ql"},
       1,
       "{B}\tkept\n{M}\tfailed: No such file or directory\n",
       ""},
      // The subject equal to the query first; a book that does not open is
      // named and the others go on.
      {{"fts", "red wine", "DIR/b.ql", "DIR/a.ql", "DIR/missing.ql"},
       0,
       "{B}\t0\t{S}\tred wine\t[^\t\n]*\\[red\\][^\t\n]*\n"
       "({A}\t(0\t{S}\tcaf\xC3\xA9 noir\ta \\[red\\] \\[wine\\] of the hills|"
       "2\t{S}\twine\t[^\t\n]*\\[red\\][^\t\n]*)\n){2}",
       "missing\\.ql: No such file"},
      {{"fts", "red wine", "DIR", "--limit", "1"}, 0, "{B}\t0\t{S}\tred wine\t.*\n", "^$"},
      // Equal scores keep the order the books were named.
      {{"fts", "red", "DIR/c.ql", "DIR/a.ql"},
       0,
       "{C}\t0\t.*\n{A}\t0\t.*\n{C}\t2\t.*\n{A}\t2\t.*\n",
       ""},
      {{"fts", "grapes", "DIR/a.ql", "--json"},
       0,
       R"(\{"book":"{A}","index":2,"score":{S},"subject":"wine",)"
       R"("snippet":"made of grapes, red or white, in many lands","marks":\[\[8,6\]\],)"
       R"("indexed":true\}\n)",
       "^$"},
      {{"index", "--remove", "DIR/c.ql", "DIR/a.ql"}, 0, "{C}\tkept: .+\n{A}\tremoved\n", "^$"},
      {{"fts", "zebra", "DIR/c.ql"}, 1, "", walked},
      {{"index", "--remove", "DIR/c.ql"}, 0, "{C}\tnone\n", "^$"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::PrintToString(s.args));
    const auto r = Run(s.args);
    EXPECT_EQ(r.status, s.status) << r.err;
    EXPECT_TRUE(std::regex_match(r.out, std::regex(Pattern(s.out)))) << r.out;
    EXPECT_TRUE(std::regex_search(r.err, std::regex(Pattern(s.errPart)))) << r.err;
  }
}

TEST_F(CliFulltext, NoBookNamedMeansTheLibrarysBooks) {
  const std::string books = dir_.File("data/quillary/books");
  std::filesystem::create_directories(books);
  std::filesystem::copy_file(shelf_ + "/b.ql", books + "/b.ql");
  auto r = Run({"index"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, books + "/b.ql\tbuilt\n");
  r = Run({"fts", "red"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, testing::StartsWith(books + "/b.ql\t0\t"));
  r = qltest::RunQlbookStreams({"index", "-"}, env_, "<" + qltest::ShellQuote(books + "/b.ql"));
  EXPECT_EQ(r.out, "-\tkept\n");
}

}  // namespace
