// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook export-pdb, run as a program: the database bytes, the default
// name, reproducible dates, and the messages and exit codes of failures.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "byte_order.h"
#include "qlbook_runner.h"

namespace {

struct ExportRun {
  int status = -1;
  std::string output;  // stdout and stderr together
};

// Runs qlbook with args; epoch, when not empty, is given as SOURCE_DATE_EPOCH.
ExportRun Qlbook(const std::vector<std::string>& args, const std::string& epoch = "0") {
  qltest::QlbookRun run = qltest::RunQlbook(
      args, epoch.empty() ? "unset SOURCE_DATE_EPOCH; "
                          : "export SOURCE_DATE_EPOCH=" + qltest::ShellQuote(epoch) + "; ");
  return {run.status, run.out + run.err};
}

std::string TinyDatabase(const std::string& name, uint32_t unixTime) {
  std::string f = name.substr(0, 32);
  f.resize(32, '\0');
  ql::AppendBE16(f, 0);
  ql::AppendBE16(f, 1);
  ql::AppendBE32(f, unixTime + 2082844800u);
  ql::AppendBE32(f, unixTime + 2082844800u);
  f += std::string(16, '\0') + "QlryQLPW" + std::string(8, '\0');
  ql::AppendBE16(f, 4);
  for (uint32_t offset : {112u, 514u, 515u, 519u}) {
    ql::AppendBE32(f, offset);
    ql::AppendBE32(f, 0);
  }
  f += "\x99\x99";
  for (int v : {7, 0}) ql::AppendBE16(f, static_cast<uint16_t>(v));
  ql::AppendBE32(f, 1);
  for (int v : {4095, 61440, 2, 0, 1}) ql::AppendBE16(f, static_cast<uint16_t>(v));
  f += std::string(384, '\0');
  f += "a";
  f += std::string(4, '\0');
  f += std::string(
      "\x80\x04"
      "a\0b\0",
      6);
  return f;
}

class CliExport : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = dir_.File("tiny.ql");
    qltest::WriteFileBytes(book_, qltest::BuildBookBytes({{"a", "b"}}));
  }
  qltest::TempDir dir_;
  std::string book_;
};

TEST_F(CliExport, WritesTheDatabaseNamedAfterTheFile) {
  std::string out = dir_.File("Pocket Book.pdb");
  ExportRun r = Qlbook({"export-pdb", book_, out});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "");
  EXPECT_TRUE(qltest::ReadFileBytes(out) == TinyDatabase("Pocket Book", 0));

  r = Qlbook({"export-pdb", book_, out, "--name", "Other"}, "1700000000");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(qltest::ReadFileBytes(out) == TinyDatabase("Other", 1700000000));

  std::string plain = dir_.File("noext");
  EXPECT_EQ(Qlbook({"export-pdb", book_, plain}).status, 0);
  EXPECT_EQ(qltest::ReadFileBytes(plain).substr(0, 6), std::string("noext\0", 6));
}

TEST_F(CliExport, DatesFollowTheClockWithoutSourceDateEpoch) {
  std::string out = dir_.File("now.pdb");
  uint32_t before = static_cast<uint32_t>(std::time(nullptr));
  ASSERT_EQ(Qlbook({"export-pdb", book_, out}, "").status, 0);
  uint32_t after = static_cast<uint32_t>(std::time(nullptr));
  std::string f = qltest::ReadFileBytes(out);
  uint32_t created = ql::ReadBE32(reinterpret_cast<const uint8_t*>(f.data()) + 36);
  EXPECT_GE(created, before + 2082844800u);
  EXPECT_LE(created, after + 2082844800u);
  EXPECT_EQ(f.substr(36, 4), f.substr(40, 4));
}

TEST_F(CliExport, LegacyBooksExportToo) {
  std::string legacy = dir_.File("old.ql");
  qltest::WriteFileBytes(legacy, qltest::BuildLegacyBookBytes({{"a", "b"}}, 2));
  std::string out = dir_.File("old.pdb");
  ASSERT_EQ(Qlbook({"export-pdb", legacy, out}).status, 0);
  std::string f = qltest::ReadFileBytes(out);
  // The same database as a sorted version 2 book, but unsorted.
  std::string expected = TinyDatabase("old", 0);
  expected[112 + 17] = 0;
  EXPECT_TRUE(f == expected);
}

TEST_F(CliExport, FailuresAreClearAndExitOne) {
  struct Case {
    std::string book, out, epoch, message;
  };
  qltest::WriteFileBytes(dir_.File("text.ql"), "this is not a book at all, just some text");
  qltest::BookOptions newer;
  newer.version = 2002;
  qltest::WriteFileBytes(dir_.File("newer.ql"), qltest::BuildBookBytes({{"a", "b"}}, newer));
  const Case cases[] = {
      {dir_.File("missing.ql"), dir_.File("o.pdb"), "0", "cannot open the book"},
      {dir_.File("text.ql"), dir_.File("o.pdb"), "0", "not a book"},
      {dir_.File("newer.ql"), dir_.File("o.pdb"), "0", "not supported"},
      {book_, dir_.File("no/such/dir/o.pdb"), "0", "cannot create the file"},
      {book_, dir_.File("o.pdb"), "yesterday", "SOURCE_DATE_EPOCH"},
  };
  for (const Case& c : cases) {
    ExportRun r = Qlbook({"export-pdb", c.book, c.out}, c.epoch);
    EXPECT_EQ(r.status, 1) << c.book;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir_.File("o.pdb")));
  }
  EXPECT_EQ(Qlbook({"export-pdb", book_}).status, 2);
  EXPECT_EQ(Qlbook({"export-pdb"}).status, 2);
}

// A write that fails names its cause after the library's text.
TEST_F(CliExport, FailedWritesSayWhy) {
  std::mt19937 rng(3);
  std::string text(6000, ' ');
  for (char& c : text) c = static_cast<char>('a' + rng() % 26);
  const std::string big = dir_.File("big.ql");
  qltest::WriteFileBytes(big, qltest::BuildBookBytes({{"a", text}}));
  struct Case {
    std::string book, out, prefix, message;
  };
  std::vector<Case> cases = {{big, dir_.File("o.pdb"), "trap '' XFSZ; ulimit -f 1; ",
                              dir_.File("o.pdb") + ": writing the file failed: file too large"}};
  if (access("/dev/full", W_OK) == 0)
    cases.push_back({book_, "/dev/full", "", "/dev/full: writing the file failed: disk full"});
  for (const Case& c : cases) {
    qltest::QlbookRun r =
        qltest::RunQlbook({"export-pdb", c.book, c.out}, "export SOURCE_DATE_EPOCH=0; " + c.prefix);
    EXPECT_EQ(r.status, 1) << c.out;
    EXPECT_EQ(r.err, "qlbook: " + c.message + "\n");
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("o.pdb")));
}

}  // namespace
