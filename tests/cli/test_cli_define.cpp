// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook define run as a program: plain text in the terminal's character
// set, JSON, --prefix, folders of books, failing books and exit codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "book_fixture.h"
#include "qlbook_runner.h"

namespace {

class CliDefine : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string shelf = dir_.File("shelf");
    ASSERT_EQ(::system(("mkdir -p " + qltest::ShellQuote(shelf + "/sub")).c_str()), 0);
    qltest::WriteFileBytes(shelf + "/b.ql", qltest::BuildBookBytes({{"caf\xE9",
                                                                     "bean "
                                                                     "\t\x09"
                                                                     "roast"},
                                                                    {"tea", "leaf"}}));
    qltest::WriteFileBytes(shelf + "/a.ql",
                           qltest::BuildBookBytes({{"Caf\xE9", "see \t\x11tea>tea\t\x12"}}));
    qltest::WriteFileBytes(shelf + "/sub/c.ql", qltest::BuildBookBytes({{"caf\xE9", "deep"}}));
    qltest::WriteFileBytes(shelf + "/notes.txt", "caf\xE9");
    shelf_ = shelf;
    junk_ = dir_.File("junk.ql");
    qltest::WriteFileBytes(junk_, std::string(700, 'j'));
  }
  qltest::QlbookRun Define(const std::vector<std::string>& args, const std::string& lang) {
    std::vector<std::string> all = {"define"};
    all.insert(all.end(), args.begin(), args.end());
    return qltest::RunQlbook(all, "export LC_ALL=" + lang + "; ");
  }
  qltest::TempDir dir_;
  std::string shelf_, junk_;
};

TEST_F(CliDefine, TextExitCodesAndFailingBooks) {
  struct Case {
    std::vector<std::string> args;
    std::string lang;
    int status;
    std::string out, errPart;
  };
  const std::string a = "== a.ql ==\nsee tea\n", b = "== b.ql ==\nbean\n\nroast\n";
  const std::vector<Case> cases = {
      // A folder gives its own .ql files in name order.
      {{"caf\xC3\xA9", "DIR"},
       "C.UTF-8",
       0,
       "== a.ql ==\nsee tea\n\n== b.ql ==\nbean\n\nroast\n",
       ""},
      {{"caf\xE9", "DIR"}, "C", 0, a + "\n" + b, ""},
      {{"CAF\xC3\xA9", "DIR/b.ql"}, "C.UTF-8", 0, "== b.ql ==\nbean\n\nroast\n", ""},
      {{"te", "DIR", "--prefix"}, "C", 0, "== b.ql ==\nleaf\n", ""},
      {{"zz", "DIR"}, "C", 1, "", ""},
      // A character the books' code page lacks matches nothing.
      {{"\xE4\xB8\x80", "DIR"}, "C.UTF-8", 1, "", ""},
      // A failing book is named and the others go on.
      {{"tea", "JUNK", "DIR/missing.ql", "DIR/b.ql"},
       "C",
       0,
       "== b.ql ==\nleaf\n",
       "not a Quillary book"},
      {{"tea", "DIR/missing.ql"}, "C", 1, "", "missing.ql: No such file"},
      {{"tea", "DIR", "--bogus"}, "C", 2, "", ""},
      {{}, "C", 2, "", ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args;
    for (std::string arg : c.args) {
      if (arg.starts_with("DIR")) arg = shelf_ + arg.substr(3);
      if (arg == "JUNK") arg = junk_;
      args.push_back(arg);
    }
    SCOPED_TRACE(args.empty() ? "" : args[0]);
    const auto r = Define(args, c.lang);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
  }
}

TEST_F(CliDefine, NoBookNamedMeansTheLibrarysBooks) {
  const std::string books = dir_.File("data/quillary/books");
  ASSERT_EQ(::system(("mkdir -p " + qltest::ShellQuote(books)).c_str()), 0);
  qltest::WriteFileBytes(books + "/z.ql", qltest::BuildBookBytes({{"tea", "green"}}));
  qltest::WriteFileBytes(books + "/y.ql", qltest::BuildBookBytes({{"tea", "black"}}));
  const std::string env =
      "export LC_ALL=C XDG_CONFIG_HOME=" + qltest::ShellQuote(dir_.File("cfg")) +
      " XDG_DATA_HOME=" + qltest::ShellQuote(dir_.File("data")) + "; ";
  auto r = qltest::RunQlbook({"define", "tea"}, env);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "== y.ql ==\nblack\n\n== z.ql ==\ngreen\n");
  r = qltest::RunQlbook({"define", "coffee"}, env);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
}

TEST_F(CliDefine, JsonOneObjectALineInUtf8) {
  const auto r = Define({"caf\xE9", shelf_ + "/b.ql", shelf_ + "/sub", "--json"}, "C");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string b = shelf_ + "/b.ql", c = shelf_ + "/sub/c.ql";
  const std::string first = "{\"book\":\"" + b +
                            "\",\"title\":\"b.ql\",\"index\":0,\"subject\":\"caf\xC3\xA9\","
                            "\"text\":\"bean\\n\\nroast\\n\",\"html\":\"<html>\\r\\n";
  ASSERT_TRUE(r.out.starts_with(first)) << r.out;
  EXPECT_NE(r.out.find("<h2>caf\xC3\xA9</h2>bean <p>roast\\r\\n</font></body>\\r\\n</html>\"}\n"
                       "{\"book\":\"" +
                       c + "\",\"title\":\"c.ql\",\"index\":0,"),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(r.out.ends_with("\"}\n"));
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
}

}  // namespace
