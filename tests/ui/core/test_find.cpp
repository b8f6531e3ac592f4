// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Find and Find Next over a small book: where a search starts, how it goes
// on, the restart offer and what is shown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "find.h"
#include "open_document.h"

namespace {

using testing::ElementsAre;

const char* const kAsk = "Ask Not found yesno icon 1 owned";

class FindTest : public qltest::OpenDocumentTest {
 protected:
  void SetUp() override {
    Open({{"apple", "An apple a day keeps. Another apple."},
          {"banana", "Yellow fruit."},
          {"cherry", "Red fruit with apple pie."},
          {"date", "Sweet fruit."},
          {"mango", "Orange fruit; banana's cousin."}});
  }
  static ql::FindDialogValues Terms(std::string term1, std::string term2 = {},
                                    bool exclude2 = false) {
    ql::FindDialogValues v;
    v.term1 = std::move(term1);
    v.term2 = std::move(term2);
    v.exclude2 = exclude2;
    return v;
  }
  void Find(const ql::FindDialogValues& values) {
    desktop.finds = {values};
    ql::RunFind(doc, desktop, state);
  }
  void Next() { ql::RunFindNext(doc, desktop, state); }
  // The records shown, as "index pos length".
  std::vector<std::string> Shown() {
    std::vector<std::string> out;
    for (const std::string& line : desktop.Calls("ShowRecord"))
      out.push_back(line.substr(std::string("ShowRecord ").size()));
    return out;
  }

  ql::FindState state;
};

TEST_F(FindTest, NothingWithoutABookAndNothingOnCancel) {
  doc.MarkClosed();
  ql::RunFind(doc, desktop, state);
  Next();
  EXPECT_TRUE(desktop.log.empty());

  doc.MarkOpen(path);
  desktop.finds = {std::nullopt};
  ql::RunFind(doc, desktop, state);
  EXPECT_THAT(desktop.log, ElementsAre("EditFind"));
  EXPECT_TRUE(state.iQuery.term1.empty());
  EXPECT_TRUE(state.iWholeWords);
  EXPECT_FALSE(state.iSubjectOnly);
}

TEST_F(FindTest, EmptyFirstTermStoresTheRestButDoesNotSearch) {
  ql::FindDialogValues v = Terms("", "Fruit", true);
  v.term3 = "Pie";
  v.wholeWords = false;
  v.subjectOnly = true;
  Find(v);
  Next();
  EXPECT_THAT(desktop.log, ElementsAre("EditFind"));
  EXPECT_EQ(state.iQuery.term2, "Fruit");  // not lowered: no search ran
  EXPECT_EQ(state.iQuery.term3, "Pie");
  EXPECT_TRUE(state.iQuery.exclude2);
  EXPECT_FALSE(state.iWholeWords);
  EXPECT_TRUE(state.iSubjectOnly);

  desktop.finds = {std::nullopt};
  ql::RunFind(doc, desktop, state);
  const ql::FindDialogValues& shown = desktop.findShown.back();
  EXPECT_EQ(shown.term2, "Fruit");
  EXPECT_TRUE(shown.exclude2);
  EXPECT_FALSE(shown.wholeWords);
  EXPECT_TRUE(shown.subjectOnly);
}

TEST_F(FindTest, FindStartsAtTheSelectedSubjectAndShowsSubjectHitsUnmarked) {
  desktop.mark = 0;
  Find(Terms("apple"));
  EXPECT_THAT(desktop.log, ElementsAre("EditFind", "WaitCursor on", "WaitCursor off",
                                       "ShowRecord 0 -1 5 scroll", "SelectRow 0"));
  // With no selection the search starts at record 0 as well.
  desktop.mark = -1;
  Find(Terms("fruit"));
  EXPECT_THAT(Shown().back(), "1 7 5 scroll");
  EXPECT_EQ(desktop.mark, 1);
}

TEST_F(FindTest, TermsAreLoweredAndShownLoweredNextTime) {
  desktop.mark = 1;
  ql::FindDialogValues v = Terms("APPLE", "RED");
  v.term3 = "PIE";
  Find(v);
  EXPECT_EQ(state.iQuery.term1, "apple");
  EXPECT_EQ(state.iQuery.term2, "red");
  EXPECT_EQ(state.iQuery.term3, "pie");
  EXPECT_THAT(Shown(), ElementsAre("2 15 5 scroll"));
  desktop.finds = {std::nullopt};
  ql::RunFind(doc, desktop, state);
  EXPECT_EQ(desktop.findShown.back().term1, "apple");
  EXPECT_EQ(desktop.findShown.back().term2, "red");
}

TEST_F(FindTest, ExcludedTermRejectsTheRecord) {
  desktop.mark = 0;
  Find(Terms("fruit", "yellow", true));
  EXPECT_THAT(Shown(), ElementsAre("2 4 5 scroll"));
  desktop.mark = 0;
  Find(Terms("fruit", "orange"));
  EXPECT_THAT(Shown().back(), "4 7 5 scroll");
}

TEST_F(FindTest, FindNextInTextGoesOnInTheSameRecordFirst) {
  desktop.mark = 0;
  Find(Terms("apple"));
  Next();
  Next();
  Next();
  desktop.answers = {ql::Answer::kNo};
  Next();
  EXPECT_THAT(Shown(),
              ElementsAre("0 -1 5 scroll", "0 3 5 scroll", "0 30 5 scroll", "2 15 5 scroll"));
  EXPECT_THAT(desktop.Calls("Ask"), ElementsAre(kAsk));
  EXPECT_EQ(desktop.mark, 2);
}

TEST_F(FindTest, FindNextInTextStartsOverWhereTheUserMoved) {
  desktop.mark = 0;
  Find(Terms("fruit"));  // banana
  desktop.mark = 3;
  Next();
  EXPECT_THAT(Shown(), ElementsAre("1 7 5 scroll", "3 6 5 scroll"));
}

TEST_F(FindTest, FindNextInSubjectsGoesOnAfterTheMatchOrAtTheNewSelection) {
  ql::FindDialogValues v = Terms("an");
  v.wholeWords = false;
  v.subjectOnly = true;
  desktop.mark = 0;
  Find(v);
  Next();
  desktop.mark = 1;  // the user went back to banana: it is found again
  Next();
  desktop.mark = 0;  // before banana: the search starts at apple
  Next();
  EXPECT_THAT(Shown(),
              ElementsAre("1 -1 2 scroll", "4 -1 2 scroll", "1 -1 2 scroll", "1 -1 2 scroll"));
}

TEST_F(FindTest, RestartFromTheFirstRecord) {
  desktop.mark = 3;
  desktop.answers = {ql::Answer::kYes};
  Find(Terms("apple"));
  EXPECT_THAT(desktop.log,
              ElementsAre("EditFind", "WaitCursor on", "WaitCursor off", kAsk, "WaitCursor on",
                          "WaitCursor off", "ShowRecord 0 -1 5 scroll", "SelectRow 0"));
}

TEST_F(FindTest, NoMatchInTheWholeBookLeavesTheSelection) {
  desktop.mark = 2;
  desktop.answers = {ql::Answer::kYes};
  Find(Terms("kiwi"));
  EXPECT_THAT(desktop.log,
              ElementsAre("EditFind", "WaitCursor on", "WaitCursor off", kAsk, "WaitCursor on",
                          "WaitCursor off",
                          "ShowMessageIcon Quillary: No match found in whole file icon 2"));
  EXPECT_EQ(desktop.mark, 2);

  desktop.log.clear();
  desktop.answers = {ql::Answer::kNo};
  Next();
  EXPECT_THAT(desktop.log, ElementsAre("WaitCursor on", "WaitCursor off", kAsk));
}

// Holds each search until the test lets it end, the way the window's worker
// threads do; the flow must pick up only when it ends, and a cancelled one
// must change nothing.
class HeldSearches final : public ql::SearchRunner {
 public:
  void Start(ql::Document& doc, const ql::SearchQuery& query, int record, int pos,
             Done done) override {
    held.push_back([&doc, query, record, pos, done](bool cancel) mutable {
      if (cancel) {
        done(ql::kSearchCancelled, -7, -7);
        return;
      }
      const int result = doc.Reader().FindMatch(query, record, pos);
      done(result >= 0 ? ql::kSearchHit : ql::kSearchNone, record, pos);
    });
  }
  // Ends the oldest search still held.
  void End(bool cancel) {
    ASSERT_FALSE(held.empty());
    auto next = std::move(held.front());
    held.erase(held.begin());
    next(cancel);
  }
  std::vector<std::function<void(bool)>> held;
};

TEST_F(FindTest, CancelledSearchesLeaveTheFindStateAsItWas) {
  HeldSearches runner;
  desktop.mark = 0;
  desktop.finds = {Terms("apple")};
  ql::RunFind(doc, desktop, state, runner);
  runner.End(false);
  ql::RunFindNext(doc, desktop, state, runner);
  runner.End(false);
  EXPECT_THAT(Shown(), ElementsAre("0 -1 5 scroll", "0 3 5 scroll"));
  const ql::FindState before = state;

  // Find Next, then Esc.
  ql::RunFindNext(doc, desktop, state, runner);
  runner.End(true);
  // A new Find with other terms, then Esc: the old terms and place stay.
  desktop.finds = {Terms("Fruit", "red", true)};
  ql::RunFind(doc, desktop, state, runner);
  EXPECT_EQ(state.iQuery.term1, "apple");
  runner.End(true);
  EXPECT_EQ(state.iQuery.term2, before.iQuery.term2);
  EXPECT_EQ(state.iSearchRecord, before.iSearchRecord);
  EXPECT_EQ(state.iSearchPos, before.iSearchPos);
  EXPECT_THAT(Shown(), ElementsAre("0 -1 5 scroll", "0 3 5 scroll"));
  EXPECT_TRUE(desktop.Calls("Ask").empty());
  // The wait cursor went off each time all the same.
  EXPECT_EQ(desktop.Calls("WaitCursor on").size(), desktop.Calls("WaitCursor off").size());

  // Find Next goes on from the last hit as if nothing had happened.
  ql::RunFindNext(doc, desktop, state, runner);
  runner.End(false);
  EXPECT_EQ(Shown().back(), "0 30 5 scroll");
}

TEST_F(FindTest, HeldSearchAsksToRestartOnlyWhenItEnds) {
  HeldSearches runner;
  desktop.mark = 3;
  desktop.answers = {ql::Answer::kYes};
  desktop.finds = {Terms("apple")};
  ql::RunFind(doc, desktop, state, runner);
  EXPECT_TRUE(desktop.Calls("Ask").empty());
  runner.End(false);  // nothing from date on
  EXPECT_THAT(desktop.Calls("Ask"), ElementsAre(kAsk));
  // The restart is a search of its own, and may be cancelled as well.
  runner.End(true);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(state.iSearchRecord, 5);  // where the first walk ended
  EXPECT_TRUE(runner.held.empty());
}

}  // namespace
