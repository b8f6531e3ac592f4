// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook search --threads: the same bytes and exit status for every thread
// count, and the option's checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "qlbook_runner.h"

namespace {

class CliSearchThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    // Many records with hits in subjects, texts and links, spread over many
    // small blocks so the book splits into many ranges.
    const std::vector<std::string> words = {"cat",
                                            "Cat",
                                            "dog",
                                            "concatenate",
                                            "\xC9T\xC9",
                                            "tea",
                                            "a",
                                            "the",
                                            "\t\x11"
                                            "cat>dog\t\x12"};
    std::vector<qltest::Entry> entries;
    for (size_t i = 0; i < 400; ++i) {
      std::string text;
      for (size_t k = 0; k < 12 + i % 40; ++k) text += words[(i * 7 + k * k) % words.size()] + " ";
      entries.push_back({words[i % 6] + " " + std::to_string(i), text});
    }
    qltest::BookOptions small;
    small.subjectBlockSize = 200;
    small.recordBlockSize = 300;
    book_ = dir_.File("many.ql");
    qltest::WriteFileBytes(book_, qltest::BuildBookBytes(entries, small));
  }
  qltest::TempDir dir_;
  std::string book_;
};

TEST_F(CliSearchThreads, SameOutputForEveryThreadCount) {
  const std::vector<std::vector<std::string>> searches = {
      {"cat"},
      {"cat", "--whole-word"},
      {"\xE9t\xE9", "--and", "dog", "--exclude"},
      {"tea", "--and", "cat", "--and", "the", "--exclude"},
      {"dog", "--subjects-only"},
      {"cat", "--first"},
      {"the", "--and", "concatenate", "--first"},
      {"zebu"},
      {"zebu", "--first"},
  };
  for (const std::vector<std::string>& search : searches) {
    std::vector<std::string> args = {"search", book_};
    args.insert(args.end(), search.begin(), search.end());
    const qltest::QlbookRun plain = qltest::RunQlbook([&] {
      std::vector<std::string> a = args;
      a.insert(a.end(), {"--threads", "1"});
      return a;
    }());
    for (const std::string threads : {"2", "4", "", "2147483647"}) {
      std::vector<std::string> a = args;
      if (!threads.empty()) a.insert(a.end(), {"--threads", threads});
      const qltest::QlbookRun run = qltest::RunQlbook(a);
      EXPECT_EQ(run.status, plain.status) << search[0] << " " << threads;
      EXPECT_EQ(run.out, plain.out) << search[0] << " " << threads;
      EXPECT_EQ(run.err, "");
    }
  }
  // The book gives many hits, the first of them in the first record's subject.
  const qltest::QlbookRun all = qltest::RunQlbook({"search", book_, "cat", "--threads", "1"});
  EXPECT_EQ(all.status, 0);
  EXPECT_GT(std::count(all.out.begin(), all.out.end(), '\n'), 1000);
  EXPECT_EQ(all.out.substr(0, 12), "0\t-1\tcat 0\n0");
  EXPECT_EQ(qltest::RunQlbook({"search", book_, "zebu", "--threads", "3"}).status, 1);
}

TEST_F(CliSearchThreads, ThreadCountIsChecked) {
  for (const std::string bad : {"0", "-1", "abc", "2.5", ""}) {
    const qltest::QlbookRun run = qltest::RunQlbook({"search", book_, "cat", "--threads", bad});
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_EQ(run.out, "") << bad;
    EXPECT_NE(run.err.find("--threads"), std::string::npos) << bad << ": " << run.err;
  }
  const qltest::QlbookRun help = qltest::RunQlbook({"search", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--threads N"), std::string::npos);
}

}  // namespace
