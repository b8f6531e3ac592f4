// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Damaged books: every record the reader can tell is damaged says so, reads
// no further than it can, and renders as a page that says it is damaged; the
// records around it read as built.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_reader.h"
#include "parallel_search.h"

namespace {

constexpr std::string_view kDamagedPage = "This entry is damaged";

std::string Render(ql::BookReader& reader, int index) {
  ql::StringSink sink;
  reader.RenderRecord(sink, ql::RenderOptions{}, index, -1, -1);
  return sink.Data();
}

// The records that LoadRecord reports damaged, each checked against what was
// built for the others.
std::vector<int> DamagedRecords(ql::BookReader& reader, const std::vector<qltest::Entry>& entries,
                                const std::string& name) {
  std::vector<int> damaged;
  for (int i = 0; i < reader.GetSubjectCount(); ++i) {
    EXPECT_EQ(reader.LoadRecord(i), 1) << name << " record " << i;
    if (reader.CurrentRecordDamaged()) {
      damaged.push_back(i);
      continue;
    }
    const qltest::Entry& built = entries[static_cast<size_t>(i)];
    EXPECT_EQ(reader.CurrentRecordText(), built.text) << name << " record " << i;
    EXPECT_EQ(reader.GetSubject(i), built.subject) << name << " record " << i;
  }
  return damaged;
}

TEST(DamagedBook, UndamagedBookReadsWhole) {
  qltest::TempDir dir;
  const std::string path = dir.File("good.ql");
  const std::vector<qltest::Entry> entries = qltest::DamageTestEntries();
  qltest::WriteFileBytes(path, qltest::BuildBookBytes(entries, qltest::DamageTestOptions()));
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_EQ(DamagedRecords(reader, entries, "good"), std::vector<int>{});
  for (int i = 0; i < reader.GetSubjectCount(); ++i)
    EXPECT_EQ(Render(reader, i).find(kDamagedPage), std::string::npos) << i;
}

TEST(DamagedBook, EachKindOfDamageIsTold) {
  for (const qltest::DamagedBook& book : qltest::DamagedBooks()) {
    qltest::TempDir dir;
    const std::string path = dir.File("damaged.ql");
    qltest::WriteFileBytes(path, book.bytes);
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk) << book.name;
    ASSERT_FALSE(book.damaged.empty()) << book.name;
    EXPECT_EQ(DamagedRecords(reader, book.entries, book.name), book.damaged) << book.name;
    // The window's page says so instead of showing what could be read.
    for (int i = 0; i < reader.GetSubjectCount(); ++i) {
      const bool damaged =
          std::find(book.damaged.begin(), book.damaged.end(), i) != book.damaged.end();
      const std::string page = Render(reader, i);
      EXPECT_EQ(page.find(kDamagedPage) != std::string::npos, damaged) << book.name << " " << i;
      if (damaged) {
        EXPECT_EQ(page.find(book.entries[static_cast<size_t>(i)].text.substr(30, 40)),
                  std::string::npos)
            << book.name << " " << i;
      }
    }
  }
}

// Blocks are decoded only as far as a read needs and judged once: what a
// record reads as, and whether it is damaged, must not depend on what was
// read before it. Readers in book order, in random orders and by subject
// lookups agree on every book, damaged or not.
TEST(DamagedBook, ReadsDoNotDependOnWhatCameBefore) {
  std::vector<qltest::DamagedBook> books = qltest::DamagedBooks();
  books.push_back({"good",
                   qltest::BuildBookBytes(qltest::DamageTestEntries(), qltest::DamageTestOptions()),
                   qltest::DamageTestEntries(),
                   {}});
  std::mt19937 rng(11);
  for (const qltest::DamagedBook& book : books) {
    qltest::TempDir dir;
    const std::string path = dir.File("book.ql");
    qltest::WriteFileBytes(path, book.bytes);
    struct Read {
      std::string subject, text;
      bool damaged = false;
      bool operator==(const Read&) const = default;
    };
    auto read = [](ql::BookReader& reader, int i) {
      Read r;
      r.subject = reader.GetSubject(i);
      reader.LoadRecord(i);
      r.text = std::string(reader.CurrentRecordText());
      r.damaged = reader.CurrentRecordDamaged();
      return r;
    };
    ql::BookReader inOrder;
    ASSERT_EQ(inOrder.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk) << book.name;
    const int n = inOrder.GetSubjectCount();
    std::vector<Read> expected;
    for (int i = 0; i < n; ++i) expected.push_back(read(inOrder, i));
    for (int round = 0; round < 4; ++round) {
      ql::BookReader reader;
      ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk) << book.name;
      std::vector<int> order(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) order[static_cast<size_t>(i)] = round % 2 ? n - 1 - i : i;
      if (round >= 2) std::shuffle(order.begin(), order.end(), rng);
      for (int i : order) {
        // Now and then a lookup first, which probes other entries.
        if (rng() % 3 == 0) reader.FindSubject(ql::MatchWhole, expected[rng() % n].subject);
        EXPECT_TRUE(read(reader, i) == expected[static_cast<size_t>(i)])
            << book.name << " record " << i << " round " << round;
      }
    }
  }
}

// Every search, plain or on threads, names the same damaged records: those
// the plain walk read and found damaged.
TEST(DamagedBook, SearchesOnThreadsNameWhatThePlainWalkDoes) {
  for (const qltest::DamagedBook& book : qltest::DamagedBooks()) {
    qltest::TempDir dir;
    const std::string path = dir.File("damaged.ql");
    qltest::WriteFileBytes(path, book.bytes);
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk) << book.name;
    for (int mode : {ql::SearchSubjectsAndText, ql::SearchSubjects}) {
      ql::SearchQuery query;
      query.term1 = mode == ql::SearchSubjects ? "entry" : "fern";
      query.mode = mode;
      int record = 0, pos = -1;
      while (record < reader.GetSubjectCount() &&
             reader.FindMatch(query, record, pos) == ql::kSearchHit) {
        if (mode == ql::SearchSubjects) {
          ++record;
          pos = -1;
        } else {
          ++pos;
        }
      }
      const std::vector<int> plain = reader.TakeDamagedRecords();
      // Searching the text reads every record whole, so all of them are named.
      if (mode == ql::SearchSubjectsAndText) {
        EXPECT_EQ(plain, book.damaged) << book.name;
      }
      EXPECT_EQ(reader.TakeDamagedRecords(), std::vector<int>{}) << book.name;
      for (int threads : {1, 2, 5}) {
        std::vector<int> damaged = {-1};
        ASSERT_GE(ql::ForEachHit(
                      reader, query, threads, [](const ql::SearchHit&) { return true; }, &damaged),
                  0);
        EXPECT_EQ(damaged, plain) << book.name << " mode " << mode << " threads " << threads;
      }
      // The first hit only: what the walk to it found.
      int first = 0, at = -1;
      ASSERT_EQ(reader.FindMatch(query, first, at), ql::kSearchHit) << book.name;
      const std::vector<int> beforeFirst = reader.TakeDamagedRecords();
      ql::ParallelSearch search;
      ASSERT_EQ(search.Start(reader, query, 0, -1, 3), ql::OpenResult::kOk);
      EXPECT_EQ(search.Wait().record, first);
      EXPECT_EQ(search.DamagedRecords(), beforeFirst) << book.name << " mode " << mode;
    }
  }
}

// info --check's reader side: nothing in a good book, every damaged record
// held by a block or named itself in a damaged one.
TEST(DamagedBook, CheckBookCoversEveryDamagedRecord) {
  qltest::TempDir dir;
  const std::string good = dir.File("good.ql");
  qltest::WriteFileBytes(
      good, qltest::BuildBookBytes(qltest::DamageTestEntries(), qltest::DamageTestOptions()));
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(good, ql::kOpenReadOnly), ql::OpenResult::kOk);
  EXPECT_TRUE(reader.CheckBook().empty());
  for (const qltest::DamagedBook& book : qltest::DamagedBooks()) {
    const std::string path = dir.File("damaged.ql");
    qltest::WriteFileBytes(path, book.bytes);
    ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk) << book.name;
    const std::vector<ql::BookReader::DamagedPart> parts = reader.CheckBook();
    for (int i : book.damaged)
      EXPECT_TRUE(std::any_of(
          parts.begin(), parts.end(),
          [i](const ql::BookReader::DamagedPart& p) { return p.first <= i && i <= p.last; }))
          << book.name << " " << i;
    // A block decoding short or long is told as that block.
    const bool blockCase = book.name.find("decoding") != std::string::npos;
    if (blockCase) {
      ASSERT_FALSE(parts.empty()) << book.name;
      EXPECT_NE(parts.front().kind, ql::BookReader::DamagedPart::Kind::kRecord) << book.name;
      EXPECT_EQ(parts.front().number, 1) << book.name;
    }
  }
}

}  // namespace
