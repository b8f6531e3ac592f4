// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook on damaged books: search, the exports and info --check name what
// they could not read and exit 1, keeping what could be read; search gives
// the same bytes for every thread count.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "qlbook_runner.h"

namespace {

// "N record(s): " as the messages count them.
std::string Counted(size_t count) {
  return std::to_string(count) + (count == 1 ? " record: " : " records: ");
}

// The records info --check names after the info lines: a block's range or
// one record.
std::set<int> CheckedRecords(const std::string& lines, const std::string& name) {
  std::set<int> named;
  std::istringstream in(lines);
  std::string line;
  const std::regex block(
      "damaged: (subject|record) block [0-9]+: (subjects|records) ([0-9]+)(-([0-9]+))?");
  const std::regex record("damaged: record ([0-9]+)");
  while (std::getline(in, line)) {
    std::smatch m;
    if (std::regex_match(line, m, block)) {
      const int first = std::stoi(m[3]);
      const int last = m[5].matched ? std::stoi(m[5]) : first;
      for (int i = first; i <= last; ++i) named.insert(i);
    } else if (std::regex_match(line, m, record)) {
      named.insert(std::stoi(m[1]));
    } else {
      ADD_FAILURE() << name << ": unexpected line " << line;
    }
  }
  return named;
}

class CliDamage : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) {
    const std::string path = dir_.File("book" + std::to_string(++count_) + ".ql");
    qltest::WriteFileBytes(path, bytes);
    return path;
  }
  qltest::TempDir dir_;
  int count_ = 0;
};

TEST_F(CliDamage, UndamagedBookChecksClean) {
  const std::string book =
      Write(qltest::BuildBookBytes(qltest::DamageTestEntries(), qltest::DamageTestOptions()));
  const qltest::QlbookRun info = qltest::RunQlbook({"info", book});
  const qltest::QlbookRun check = qltest::RunQlbook({"info", "--check", book});
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out, info.out);
  EXPECT_EQ(check.err, "");
  const qltest::QlbookRun search = qltest::RunQlbook({"search", book, "fern"});
  EXPECT_EQ(search.status, 0);
  EXPECT_EQ(search.err, "");
  const qltest::QlbookRun help = qltest::RunQlbook({"info", "--help"});
  EXPECT_NE(help.out.find("--check"), std::string::npos);
}

TEST_F(CliDamage, DamageIsNamedAndExitsOne) {
  for (const qltest::DamagedBook& damaged : qltest::DamagedBooks()) {
    const std::string& name = damaged.name;
    const std::string book = Write(damaged.bytes);
    const std::string counted = Counted(damaged.damaged.size());

    // Search: the hits of the records that could be read, the damaged ones
    // named on stderr, the same bytes for every thread count.
    const qltest::QlbookRun plain = qltest::RunQlbook({"search", book, "fern", "--threads", "1"});
    EXPECT_EQ(plain.status, 1) << name;
    EXPECT_NE(plain.err.find(counted), std::string::npos) << name << ": " << plain.err;
    EXPECT_NE(plain.err.find("damaged"), std::string::npos) << name << ": " << plain.err;
    for (int i = 0; i < static_cast<int>(damaged.entries.size()); ++i) {
      if (std::count(damaged.damaged.begin(), damaged.damaged.end(), i)) continue;
      const std::string hit =
          std::to_string(i) + "\t20\t" + damaged.entries[static_cast<size_t>(i)].subject + "\n";
      EXPECT_NE(plain.out.find(hit), std::string::npos) << name << " " << i;
    }
    for (const std::vector<std::string>& more :
         {std::vector<std::string>{"--threads", "2"}, {"--threads", "3"}, {"--threads", "64"}}) {
      std::vector<std::string> args = {"search", book, "fern"};
      args.insert(args.end(), more.begin(), more.end());
      const qltest::QlbookRun run = qltest::RunQlbook(args);
      EXPECT_EQ(run.status, plain.status) << name << " " << more[1];
      EXPECT_EQ(run.out, plain.out) << name << " " << more[1];
      EXPECT_EQ(run.err, plain.err) << name << " " << more[1];
    }
    const qltest::QlbookRun subjects =
        qltest::RunQlbook({"search", book, "entry", "--subjects-only", "--threads", "1"});
    const qltest::QlbookRun subjectsThreaded =
        qltest::RunQlbook({"search", book, "entry", "--subjects-only", "--threads", "3"});
    EXPECT_EQ(subjectsThreaded.status, subjects.status) << name;
    EXPECT_EQ(subjectsThreaded.out, subjects.out) << name;
    EXPECT_EQ(subjectsThreaded.err, subjects.err) << name;

    // The exports keep what they wrote and name the records.
    const qltest::QlbookRun text = qltest::RunQlbook({"export-text", book, dir_.File("out.txt")});
    EXPECT_EQ(text.status, 1) << name;
    EXPECT_NE(text.err.find(counted), std::string::npos) << name << ": " << text.err;
    EXPECT_FALSE(qltest::ReadFileBytes(dir_.File("out.txt")).empty()) << name;
    const qltest::QlbookRun pdb = qltest::RunQlbook({"export-pdb", book, dir_.File("out.pdb")},
                                                    "export SOURCE_DATE_EPOCH=0; ");
    EXPECT_EQ(pdb.status, 1) << name;
    EXPECT_NE(pdb.err.find(counted), std::string::npos) << name << ": " << pdb.err;
    EXPECT_FALSE(qltest::ReadFileBytes(dir_.File("out.pdb")).empty()) << name;

    // info --check: the info lines as ever, then what is damaged.
    const qltest::QlbookRun info = qltest::RunQlbook({"info", book});
    const qltest::QlbookRun check = qltest::RunQlbook({"info", "--check", book});
    EXPECT_EQ(check.status, 1) << name;
    ASSERT_EQ(check.out.substr(0, info.out.size()), info.out) << name;
    const std::set<int> named = CheckedRecords(check.out.substr(info.out.size()), name);
    for (int i : damaged.damaged) EXPECT_TRUE(named.count(i)) << name << " " << i;
  }
}

// A book made by qlbook itself, with real block coding, zeroed in the middle.
TEST_F(CliDamage, ZeroedMiddleOfAnImportedBook) {
  std::string tsv;
  for (int i = 0; i < 4000; ++i) {
    tsv += "word" + std::to_string(10000 + i) + "\tthe meaning of word " + std::to_string(i) +
           ", told at some length so that the record has a tail: ";
    for (int k = 0; k < 8; ++k) tsv += "alpha beta gamma delta " + std::to_string(i * k) + " ";
    tsv += "omega\n";
  }
  qltest::WriteFileBytes(dir_.File("words.tsv"), tsv);
  const std::string book = dir_.File("words.ql");
  ASSERT_EQ(qltest::RunQlbook({"import", dir_.File("words.tsv"), book}).status, 0);
  const qltest::QlbookRun before = qltest::RunQlbook({"search", book, "omega"});
  ASSERT_EQ(before.status, 0);
  std::string bytes = qltest::ReadFileBytes(book);
  // From the middle of the record blocks' data, a little more than a block.
  const qltest::BlockSpans spans = qltest::FindBlockSpans(bytes);
  ASSERT_GE(spans.records.size(), 4u);
  const auto& middle = spans.records[spans.records.size() / 2];
  std::fill_n(bytes.begin() + static_cast<long>(middle.first + middle.second / 2),
              middle.second + 100, '\0');
  qltest::WriteFileBytes(book, bytes);

  const qltest::QlbookRun after = qltest::RunQlbook({"search", book, "omega", "--threads", "1"});
  EXPECT_EQ(after.status, 1);
  EXPECT_NE(after.err.find("records: "), std::string::npos) << after.err;
  const size_t hitsBefore =
      static_cast<size_t>(std::count(before.out.begin(), before.out.end(), '\n'));
  const size_t hitsAfter =
      static_cast<size_t>(std::count(after.out.begin(), after.out.end(), '\n'));
  EXPECT_LT(hitsAfter, hitsBefore);
  EXPECT_GT(hitsAfter, hitsBefore / 2);
  const qltest::QlbookRun threaded = qltest::RunQlbook({"search", book, "omega", "--threads", "4"});
  EXPECT_EQ(threaded.status, after.status);
  EXPECT_EQ(threaded.out, after.out);
  EXPECT_EQ(threaded.err, after.err);

  const qltest::QlbookRun check = qltest::RunQlbook({"info", "--check", book});
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.out.find("damaged: record block "), std::string::npos) << check.out;
  EXPECT_EQ(qltest::RunQlbook({"export-text", book, dir_.File("words.txt")}).status, 1);
}

}  // namespace
