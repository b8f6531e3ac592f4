#include <gtest/gtest.h>

#include "history.h"

namespace {

TEST(History, BackAndForwardRetraceTheRecordsShown) {
  ql::History history;
  EXPECT_FALSE(history.Back().has_value());
  EXPECT_FALSE(history.Forward().has_value());
  history.Visit(3);
  history.Visit(3);  // shown again: no new step
  history.Visit(7);
  history.Visit(1);
  EXPECT_EQ(history.Entries(), (std::vector<int>{3, 7, 1}));
  EXPECT_EQ(history.Back(), 7);
  EXPECT_EQ(history.Back(), 3);
  EXPECT_FALSE(history.Back().has_value());
  EXPECT_EQ(history.Forward(), 7);
  // A new record from the middle drops what lay forward.
  history.Visit(9);
  EXPECT_EQ(history.Entries(), (std::vector<int>{3, 7, 9}));
  EXPECT_FALSE(history.CanGoForward());
  EXPECT_EQ(history.Back(), 7);
  // Going back to a record and showing it again keeps the way forward.
  history.Visit(7);
  EXPECT_EQ(history.Forward(), 9);
  history.Clear();
  EXPECT_FALSE(history.CanGoBack());
  EXPECT_TRUE(history.Entries().empty());
}

TEST(History, TheOldestGoWhenItIsFull) {
  ql::History history(3);
  for (int i = 0; i < 5; ++i) history.Visit(i);
  EXPECT_EQ(history.Entries(), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(history.Back(), 3);
  EXPECT_EQ(history.Back(), 2);
  EXPECT_FALSE(history.Back().has_value());
}

}  // namespace

namespace {

TEST(History, LookupTypingMakesOneStep) {
  ql::History history;
  history.ReplaceCurrent(4);  // the first record of a book
  history.Visit(10);
  history.Visit(20);
  EXPECT_EQ(history.Back(), 10);
  // Typing from here drops the way forward, then moves within one step.
  history.Visit(30);
  history.ReplaceCurrent(31);
  history.ReplaceCurrent(32);
  EXPECT_EQ(history.Entries(), (std::vector<int>{4, 10, 32}));
  // Typing back to the record before leaves no step of its own.
  history.ReplaceCurrent(10);
  EXPECT_EQ(history.Entries(), (std::vector<int>{4, 10}));
  EXPECT_FALSE(history.CanGoForward());
  EXPECT_EQ(history.Back(), 4);
}

}  // namespace
