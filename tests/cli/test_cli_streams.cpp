// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook's conventions as a program: "-" for standard input and output,
// write errors with their cause, mistyped names answered with the nearest,
// and the help's closing lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "qlbook_runner.h"

namespace {

class CliStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    text_ = dir_.File("words.txt");
    qltest::WriteFileBytes(text_, "<new>apple\r\nred<br>fruit\r\n<new>pear\r\ngreen\r\n");
    book_ = dir_.File("words.ql");
    ASSERT_EQ(qltest::RunQlbook({"import", text_, book_}).status, 0);
    legacy_ = dir_.File("old.ql");
    qltest::WriteFileBytes(
        legacy_, qltest::BuildLegacyBookBytes({{"Aardvark", "Digs"}, {"Zebra", "Stripes"}}, 3));
    std::filesystem::create_directory(tmp_);
  }

  // Runs with stdin from path (through a pipe when piped) and TMPDIR private
  // to the test, so that what qlbook leaves behind is seen.
  qltest::QlbookRun Run(const std::vector<std::string>& args, const std::string& in, bool piped,
                        const std::string& stdoutPath = "") {
    const std::string env = "export TMPDIR=" + qltest::ShellQuote(tmp_) + " SOURCE_DATE_EPOCH=0; ";
    if (piped)
      return qltest::RunQlbookStreams(args, env + "cat " + qltest::ShellQuote(in) + " | ", "",
                                      stdoutPath);
    return qltest::RunQlbookStreams(args, env, "<" + qltest::ShellQuote(in), stdoutPath);
  }

  qltest::TempDir dir_;
  std::string tmp_ = dir_.File("tmp");
  std::string text_, book_, legacy_;
};

// Each command with "-" gives the bytes it gives with files named.
TEST_F(CliStreams, DashReadsStdinAndWritesStdout) {
  struct Case {
    std::vector<std::string> dashed;  // "-" in and/or out
    std::string in;                   // what stdin holds
    std::vector<std::string> named;   // the same with files
    std::string namedOut;             // the file the named run writes ("": its stdout)
  };
  const std::string out = dir_.File("out");
  const std::vector<Case> cases = {
      {{"subjects", "-"}, book_, {"subjects", book_}, ""},
      {{"render", "-", "1"}, book_, {"render", book_, "1"}, ""},
      {{"search", "-", "re"}, book_, {"search", book_, "re"}, ""},
      {{"export-text", book_, "-"}, text_, {"export-text", book_, out}, out},
      {{"export-text", "-", "-"}, book_, {"export-text", book_, out}, out},
      {{"import", "-", "-"}, text_, {"import", text_, out}, out},
      {{"upgrade", "-", "-"}, legacy_, {"upgrade", legacy_, out}, out},
      {{"export-pdb", "-", "-", "--name", "words"},
       book_,
       {"export-pdb", book_, out + ".pdb", "--name", "words"},
       out + ".pdb"},
  };
  for (const Case& c : cases) {
    const std::string what = c.dashed[0] + " " + c.dashed[1];
    const qltest::QlbookRun named = Run(c.named, "/dev/null", false);
    ASSERT_EQ(named.status, 0) << what << ": " << named.err;
    const std::string want = c.namedOut.empty() ? named.out : qltest::ReadFileBytes(c.namedOut);
    ASSERT_FALSE(want.empty()) << what;
    for (const bool piped : {false, true}) {
      const qltest::QlbookRun dashed = Run(c.dashed, c.in, piped);
      EXPECT_EQ(dashed.status, 0) << what << (piped ? " (piped)" : "") << ": " << dashed.err;
      EXPECT_EQ(dashed.out, want) << what << (piped ? " (piped)" : "");
      // The results an import prints move to stderr when the book takes stdout.
      if (c.dashed[0] == "import") {
        EXPECT_EQ(dashed.err, named.out) << what;
      }
      EXPECT_TRUE(std::filesystem::is_empty(tmp_)) << what << ": private files left behind";
    }
  }
  // Read back through "-": the text made from the book on stdin is the text.
  const qltest::QlbookRun back = Run({"export-text", "-", "-"}, book_, true);
  EXPECT_EQ(back.out, "apple\tred<br>fruit\r\npear\tgreen\r\n");
}

TEST_F(CliStreams, DashRefusalsAndMessages) {
  struct Case {
    std::vector<std::string> args;
    std::string in;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      // Standard output gives no file name to name the database after.
      {{"export-pdb", book_, "-"},
       book_,
       1,
       "qlbook: -: cannot take a database name from this file name (give one with --name)\n"},
      {{"bookmarks", "-", "--add", "0"},
       book_,
       2,
       "qlbook: a book read from standard input cannot have its bookmarks changed\n"},
      {{"info", "-"}, text_, 1, "qlbook: -: not a Quillary book\n"},
  };
  for (const Case& c : cases) {
    const qltest::QlbookRun run = Run(c.args, c.in, true);
    EXPECT_EQ(run.status, c.status) << c.args[0];
    EXPECT_EQ(run.err, c.err) << c.args[0];
    EXPECT_EQ(run.out, "") << c.args[0];
  }
}

TEST_F(CliStreams, WriteErrorsNameTheCause) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  const std::string cause = std::string(": ") + std::strerror(ENOSPC) + "\n";
  const std::vector<std::vector<std::string>> cases = {
      {"subjects", book_},
      {"record", book_, "0"},
      {"render", book_, "0"},
      {"search", book_, "e"},
      {"export-text", book_, "-"},
      {"import", text_, "-"},
      {"export-pdb", book_, "-", "--name", "w"},
  };
  for (const std::vector<std::string>& args : cases) {
    const qltest::QlbookRun run = Run(args, book_, false, "/dev/full");
    EXPECT_EQ(run.status, 1) << args[0];
    ASSERT_GE(run.err.size(), cause.size()) << args[0];
    EXPECT_EQ(run.err.substr(run.err.size() - cause.size()), cause) << args[0] << ": " << run.err;
    EXPECT_NE(run.err.find("qlbook: cannot write the "), std::string::npos) << run.err;
  }
  // A file grown past the size limit says so too, wherever it fails.
  std::string big;
  for (int i = 0; i < 3000; ++i) big += "<new>entry " + std::to_string(i) + "\r\ntext text\r\n";
  qltest::WriteFileBytes(dir_.File("big.txt"), big);
  ASSERT_EQ(qltest::RunQlbook({"import", dir_.File("big.txt"), dir_.File("big.ql")}).status, 0);
  const std::string tooLarge = std::strerror(EFBIG);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"import", dir_.File("big.txt"), dir_.File("again.ql")},
        {"export-text", dir_.File("big.ql"), dir_.File("out.txt")}}) {
    const qltest::QlbookRun run = qltest::RunQlbook(
        args, "export TMPDIR=" + qltest::ShellQuote(tmp_) + "; trap '' XFSZ; ulimit -f 8; ");
    EXPECT_EQ(run.status, 1) << args[0];
    EXPECT_NE(run.err.find(tooLarge), std::string::npos) << args[0] << ": " << run.err;
  }
}

TEST_F(CliStreams, UnknownNamesAreAnsweredWithTheNearest) {
  struct Case {
    std::vector<std::string> args;
    std::string firstLine;  // "" when the parser's own message stands
    bool whole = true;      // else firstLine is how the line begins
  };
  const std::vector<Case> cases = {
      {{"exprot-text", book_, "x"},
       "qlbook: unknown command \"exprot-text\" (did you mean \"export-text\"?)"},
      {{"subject", book_}, "qlbook: unknown command \"subject\" (did you mean \"subjects\"?)"},
      {{"exp"}, "qlbook: unknown command \"exp\" (did you mean \"export-text\"?)"},
      // Nothing close: every name is listed.
      {{"frobnicate"},
       "qlbook: unknown command \"frobnicate\" (there are: info, subjects, ",
       false},
      {{"info", "--chek", book_},
       "qlbook: info: unknown option \"--chek\" (did you mean \"--check\"?)"},
      {{"search", book_, "x", "--wholeword"},
       "qlbook: search: unknown option \"--wholeword\" (did you mean \"--whole-word\"?)"},
      {{"search", book_, "x", "--threads=2", "--frist"},
       "qlbook: search: unknown option \"--frist\" (did you mean \"--first\"?)"},
      {{"--hepl"}, "qlbook: unknown option \"--hepl\" (did you mean \"--help\"?)"},
      {{"--verbose", "info", book_},
       "qlbook: unknown option \"--verbose\" (there are: --help, ",
       false},
      {{"lookup", book_, "x", "-q"},
       "qlbook: lookup: unknown option \"-q\" (there are: --help, -h, --prefix)"},
      // Known names used wrongly keep the parser's words.
      {{"info", book_, "extra"}, ""},
      {{"render", book_, "one"}, ""},
  };
  for (const Case& c : cases) {
    const qltest::QlbookRun run = qltest::RunQlbook(c.args);
    EXPECT_EQ(run.status, 2) << c.args[0];
    EXPECT_EQ(run.out, "") << c.args[0];
    const std::string first = run.err.substr(0, run.err.find('\n'));
    if (c.firstLine.empty()) {
      EXPECT_NE(first.rfind("qlbook: ", 0), 0u) << run.err;
    } else {
      EXPECT_EQ(c.whole ? first : first.substr(0, c.firstLine.size()), c.firstLine) << run.err;
    }
  }
}

TEST(CliHelp, EndsWithExamplesAndExitStatuses) {
  const std::string statuses =
      "Exit status:\n"
      "  0  success (lookup, search, define: found)\n"
      "  1  failure (lookup, search, define: nothing found)\n"
      "  2  bad usage: an unknown command or option, a missing or invalid argument\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"info", "--help"}, {"export-text", "--help"}}) {
    const qltest::QlbookRun run = qltest::RunQlbook(args);
    EXPECT_EQ(run.status, 0);
    ASSERT_GE(run.out.size(), statuses.size());
    EXPECT_EQ(run.out.substr(run.out.size() - statuses.size()), statuses) << args[0];
  }
  const std::string help = qltest::RunQlbook({"--help"}).out;
  EXPECT_NE(help.find("Examples:\n  qlbook "), std::string::npos);
  EXPECT_NE(help.find("qlbook export-text words.ql - "), std::string::npos);
}

}  // namespace
