// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The window's side of a lookup over the group: sections kept in library
// order, stale ones dropped, the page painted at once and then together,
// and spelling offers merged from every book.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "book_fixture.h"
#include "shelf_page.h"

namespace {

ql::LookupSection Sec(int book, bool failed = false) {
  ql::LookupSection s;
  s.book = book;
  s.title = "t" + std::to_string(book);
  s.failed = failed;
  if (failed) s.reason = "damaged";
  return s;
}

TEST(ShelfAnswers, LibraryOrderAndStaleSectionsDropped) {
  ql::ShelfAnswers answers;
  answers.Start(7);
  EXPECT_TRUE(answers.Add(7, Sec(4)));
  EXPECT_TRUE(answers.Add(7, Sec(1, true)));
  EXPECT_FALSE(answers.Add(6, Sec(0)));
  EXPECT_TRUE(answers.Add(7, Sec(2)));
  EXPECT_FALSE(answers.Finish(6));
  EXPECT_FALSE(answers.Done());
  EXPECT_TRUE(answers.Finish(7));
  EXPECT_EQ(answers.FoundInRows(), (std::vector<std::string>{"t1 (damaged)", "t2", "t4"}));
  EXPECT_EQ(answers.FoundCount(), 2);
  answers.Start(8);
  EXPECT_TRUE(answers.Sections().empty());
  EXPECT_FALSE(answers.Done());
}

// What the status line and the page's lead say as books answer: books that
// could not be asked are told, also when no book has the text.
TEST(ShelfAnswers, NoteAndLeadTellFoundAndUnaskedBooks) {
  const struct {
    std::vector<ql::LookupSection> sections;
    bool done;
    const char* note;
    bool lead;
  } cases[] = {
      {{}, false, "", false},
      {{}, true, "Found in no book", true},
      {{Sec(0), Sec(1), Sec(2)}, true, "Found in 3 books", false},
      {{Sec(0), Sec(1, true)}, true, "Found in 1 book; 1 book could not be asked", false},
      {{Sec(0, true)}, false, "Found in no book; 1 book could not be asked", false},
      {{Sec(0, true), Sec(3, true)}, true, "Found in no book; 2 books could not be asked", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.note);
    ql::ShelfAnswers answers;
    answers.Start(1);
    for (const auto& s : c.sections) answers.Add(1, s);
    if (c.done) answers.Finish(1);
    EXPECT_EQ(ql::FoundNote(answers), c.note);
    EXPECT_EQ(ql::NoneFoundLead(answers, "a<b"),
              c.lead ? "\x93"
                       "a<b\x94 is in none of the books that answered."
                     : "");
  }
}

TEST(RepaintPacer, FirstAtOnceThenAtMostOnceAnInterval) {
  // Each step: a change at time, what Changed says, and whether the page is
  // painted then (at paintAt, the paint taking took ms).
  struct Step {
    int64_t at;
    int64_t want;
    int64_t paintAt;  // -1: no paint
    int64_t took = 0;
  };
  const std::vector<Step> steps = {
      {100, 0, 100},      // the first section paints at once
      {101, 14, -1},      // the next waits for the interval's end
      {105, -1, -1},      // one already due: nothing more to schedule
      {110, -1, 115},     // the due paint takes it along
      {140, 0, 140, 20},  // after a quiet spell: at once again; it took 20 ms
      {150, 50, -1},      // so the next waits three times that
      {160, -1, 200, 4},  // a quick paint again
      {201, 14, 215},     // brings the interval back
      {240, 0, 240, 2},   // a paint quicker than the interval keeps it
      {241, 14, -1},
  };
  ql::RepaintPacer pacer(15);
  for (const auto& s : steps) {
    EXPECT_EQ(pacer.Changed(s.at), s.want) << s.at;
    if (s.paintAt >= 0) pacer.Painted(s.paintAt, s.took);
  }
  pacer.Reset();
  EXPECT_EQ(pacer.Changed(256), 0);
}

// A group's offer of one book's subject (its shown text is the same ASCII).
ql::ShelfSuggestion Offer(int book, int record, const std::string& subject, int distance) {
  ql::ShelfSuggestion offer;
  offer.book = book;
  offer.suggestion = {record, subject, distance};
  offer.text = subject;
  return offer;
}

TEST(ShelfSpelling, MergedBestFirstThenLibraryOrder) {
  using S = ql::Suggestion;
  const std::vector<std::vector<S>> perBook = {
      {{3, "cart", 1}, {0, "act", 2}},
      {},
      {{5, "CAT", 0}, {2, "Cart", 1}, {9, "scat", 1}},
  };
  const std::vector<ql::ShelfSuggestion> want = {Offer(2, 5, "CAT", 0), Offer(0, 3, "cart", 1),
                                                 Offer(2, 9, "scat", 1), Offer(0, 0, "act", 2)};
  EXPECT_EQ(ql::MergeSuggestions(perBook), want);
  // Never more than a list holds.
  std::vector<std::vector<S>> many(5);
  for (int b = 0; b < 5; ++b)
    for (int i = 0; i < 10; ++i) many[b].push_back({i, "w" + std::to_string(b * 10 + i), i});
  const auto merged = ql::MergeSuggestions(many);
  ASSERT_EQ(merged.size(), ql::kMaxSuggestions);
  EXPECT_EQ(merged[4].book, 4);
  EXPECT_EQ(merged[5].suggestion.distance, 1);
}

TEST(ShelfSpelling, GathersFromEveryBookOfTheShelf) {
  qltest::TempDir dir;
  auto book = [&](const std::string& name, std::vector<qltest::Entry> entries) {
    const std::string path = dir.File(name);
    qltest::WriteFileBytes(path, qltest::BuildBookBytes(entries));
    return ql::ShelfBook{path, name};
  };
  ql::Shelf shelf;
  shelf.SetBooks({book("a.ql", {{"house", "1"}, {"mouse", "2"}}),
                  book("b.ql", {{"horse", "3"}, {"hose", "4"}, {"zebra", "5"}}),
                  ql::ShelfBook{dir.File("gone.ql"), "gone.ql"}});
  std::atomic<bool> stop{false};
  std::vector<ql::Suggestion> one;
  shelf.Post(1, [&](ql::BookReader* r) { one = ql::NearestSubjects(*r, "hoose", stop); });
  shelf.ResolveLink("nothing", 0);
  EXPECT_EQ(one, (std::vector<ql::Suggestion>{{0, "horse", 1}, {1, "hose", 1}, {2, "zebra", 5}}));

  ql::ShelfSpelling spelling(shelf);
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<ql::ShelfSuggestion> got;
  uint64_t gotSerial = 0;
  const uint64_t serial = spelling.Start("hoose", [&](uint64_t s, auto list) {
    std::lock_guard lock(mutex);
    gotSerial = s;
    got = std::move(list);
    changed.notify_all();
  });
  std::unique_lock lock(mutex);
  ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return gotSerial != 0; }));
  EXPECT_EQ(gotSerial, serial);
  const std::vector<ql::ShelfSuggestion> want = {Offer(0, 0, "house", 1), Offer(1, 0, "horse", 1),
                                                 Offer(1, 1, "hose", 1), Offer(0, 1, "mouse", 2),
                                                 Offer(1, 2, "zebra", 5)};
  EXPECT_EQ(got, want);
}

}  // namespace
