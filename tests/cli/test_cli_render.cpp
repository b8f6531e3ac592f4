// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook render and search, run as a program: output bytes and exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "qlbook_runner.h"

namespace {

using CliRun = qltest::QlbookRun;

CliRun Qlbook(const std::vector<std::string>& args) {
  return qltest::RunQlbook(args);
}

class CliRenderSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = dir_.File("pets.ql");
    qltest::WriteFileBytes(book_, qltest::BuildBookBytes({
                                      {"Cat",
                                       "a cat and a \t\x11"
                                       "dog>cat\t\x12 cat"},
                                      {"dog", "dogs chase cats"},
                                      {"\xC9t\xE9", "caf\xC9 cat\t\x01!"},
                                  }));
  }
  qltest::TempDir dir_;
  std::string book_;
};

TEST_F(CliRenderSearch, RenderWritesThePage) {
  const std::string head =
      "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Language\" content=\"en-gb\">\r\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n"
      "<meta name=\"GENERATOR\" content=\"Quillary\">\r\n"
      "<meta name=\"ProgId\" content=\"Quillary\">\r\n<title>Quillary</title>\r\n</head>\r\n"
      "<body><font size=";
  const std::string tail = "\r\n</font></body>\r\n</html>";
  CliRun r = Qlbook({"render", book_, "1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, head + "3 face=Arial>\r\n<h2>dog</h2>dogs chase cats" + tail);

  r = Qlbook(
      {"render", book_, "2", "--found", "5", "9", "--face", "Times New Roman", "--size", "5"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, head + "5 face=Times New Roman>\r\n<h2>\xC9t\xE9</h2>caf\xC9 " +
                       "<font color=\"red\"><a name=\"foundtext\">cat</a></font><b>!" + tail);

  EXPECT_EQ(Qlbook({"render", book_, "3"}).status, 2);  // no such record
  EXPECT_EQ(Qlbook({"render", book_, "0", "--found", "5"}).status, 2);
  CliRun missing = Qlbook({"render", dir_.File("none.ql"), "0"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
}

TEST_F(CliRenderSearch, SearchWalksOnAsFindNext) {
  // Subject hit, then the text from 0: the cat inside the link is skipped.
  CliRun r = Qlbook({"search", book_, "CAT"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0\t-1\tCat\n0\t2\tCat\n0\t24\tCat\n1\t11\tdog\n2\t5\t\xC9t\xE9\n");

  EXPECT_EQ(Qlbook({"search", book_, "cat", "--whole-word"}).out,
            "0\t-1\tCat\n0\t2\tCat\n0\t24\tCat\n2\t5\t\xC9t\xE9\n");
  EXPECT_EQ(Qlbook({"search", book_, "cat", "--first"}).out, "0\t-1\tCat\n");
  EXPECT_EQ(Qlbook({"search", book_, "\xC9T\xC9", "--subjects-only"}).out, "2\t-1\t\xC9t\xE9\n");
  EXPECT_EQ(Qlbook({"search", book_, "caf\xE9"}).out, "2\t0\t\xC9t\xE9\n");

  CliRun none = Qlbook({"search", book_, "zebra"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "");
}

TEST_F(CliRenderSearch, SearchTermsAndUsage) {
  EXPECT_EQ(Qlbook({"search", book_, "cat", "--and", "chase"}).out, "1\t11\tdog\n");
  // Hits inside links are skipped for the further terms too: record 0 holds
  // "dog" only as a link target.
  EXPECT_EQ(Qlbook({"search", book_, "cat", "--and", "dog", "--exclude"}).out,
            "0\t-1\tCat\n0\t2\tCat\n0\t24\tCat\n2\t5\t\xC9t\xE9\n");
  // --exclude belongs to the term just before it.
  EXPECT_EQ(Qlbook({"search", book_, "cat", "--and", "dog", "--exclude", "--and", "caf"}).out,
            "2\t5\t\xC9t\xE9\n");
  EXPECT_EQ(Qlbook({"search", book_, "cat", "--and", "caf", "--and", "dog", "--exclude"}).out,
            "2\t5\t\xC9t\xE9\n");
  EXPECT_EQ(Qlbook({"search", book_, "cat", "--and", "dog", "--and", "caf", "--exclude"}).out,
            "1\t11\tdog\n");
  EXPECT_EQ(Qlbook({"search", book_, "dog", "--subjects-only", "--and", "chase"}).status, 1);

  EXPECT_EQ(Qlbook({"search", book_, "a", "--and", "b", "--and", "c", "--and", "d"}).status, 2);
  EXPECT_EQ(Qlbook({"search", book_, "cat", "--exclude", "--and", "dog"}).status, 2);
  EXPECT_EQ(Qlbook({"search", book_, "cat", "--and", "dog", "--exclude", "--exclude"}).status, 2);
  EXPECT_EQ(Qlbook({"search", book_, ""}).status, 2);
  EXPECT_EQ(Qlbook({"search", book_}).status, 2);
}

}  // namespace
