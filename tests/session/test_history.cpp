// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Back, Forward and the lasting history: the rules of a step, the limit,
// the file written and read back, and files that are not what they should be.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include "book_fixture.h"
#include "document.h"
#include "lasting_history.h"

namespace {

// "x:apple" is subject apple of /books/x.ql; ":apple" a lookup over the group.
ql::HistoryEntry Step(const std::string& text) {
  const size_t colon = text.find(':');
  const std::string book = text.substr(0, colon);
  return {book.empty() ? "" : "/books/" + book + ".ql", text.substr(colon + 1)};
}

std::string Describe(const ql::History& history) {
  std::string out;
  for (size_t i = 0; i < history.Entries().size(); ++i) {
    const ql::HistoryEntry& e = history.Entries()[i];
    if (!out.empty()) out += ' ';
    if (i == history.Current()) out += '*';
    const size_t slash = e.path.find_last_of('/');
    out += (e.path.empty() ? "" : e.path.substr(slash + 1, e.path.size() - slash - 4)) + ":" +
           e.subject;
  }
  return out;
}

// Plays ops ("+STEP" visit, "~STEP" typing replaces, "<" Back, ">" Forward,
// "0" Clear); each Back and Forward adds what it went to, or "-", to went.
std::string Play(ql::History& history, const std::string& ops, std::string& went) {
  std::istringstream in(ops);
  for (std::string op; in >> op;) {
    if (op[0] == '+') history.Visit(Step(op.substr(1)));
    if (op[0] == '~') history.ReplaceCurrent(Step(op.substr(1)));
    if (op[0] == '0') history.Clear();
    if (op[0] == '<' || op[0] == '>') {
      const auto step = op[0] == '<' ? history.Back() : history.Forward();
      went += step ? step->subject : "-";
    }
  }
  return Describe(history);
}

TEST(History, StepsFollowBackForwardAndTyping) {
  struct Case {
    const char* ops;
    const char* steps;  // * marks the current one
    const char* went;
    size_t limit = 1000;
  };
  const Case cases[] = {
      {"< >", "", "--"},
      {"+x:a +x:a +x:b", "x:a *x:b", ""},  // shown again: no new step
      {"+x:a +y:a", "x:a *y:a", ""},       // the same subject in another book is a step
      {"+x:a +x:b +x:c < < < > ", "x:a *x:b x:c", "ba-b"},
      {"+x:a +x:b +x:c < < +y:d", "x:a *y:d", "ba"},  // a new step drops the way forward
      {"+x:a +x:b < +x:a >", "x:a *x:b", "ab"},       // showing the current keeps it
      {"~x:a +x:b +x:c < +x:d ~x:e ~x:f", "x:a x:b *x:f", "b"},
      {"+x:a +x:b ~x:c ~x:a", "*x:a", ""},  // typing back to the step before
      {"+x:a +:word ~:wor", "x:a *:wor", ""},
      {"+x:a +x:b 0 <", "", "-"},
      {"+x:0 +x:1 +x:2 +x:3 +x:4 < < <", "*x:2 x:3 x:4", "32-", 3},  // the oldest go
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ops);
    ql::History history(c.limit);
    std::string went;
    EXPECT_EQ(Play(history, c.ops, went), c.steps);
    EXPECT_EQ(went, c.went);
    EXPECT_EQ(history.CanGoBack(), history.Current() > 0);
  }
}

TEST(History, RestoredStepsKeepTheNewest) {
  ql::History history(3);
  // Restored steps keep the newest; a current among those let go is the newest.
  history.Restore({Step("x:a"), Step("x:b"), Step("x:c"), Step("x:d"), Step("x:e")}, 3);
  EXPECT_EQ(Describe(history), "x:c *x:d x:e");
  history.Restore({Step("x:a"), Step("x:b"), Step("x:c"), Step("x:d")}, 0);
  EXPECT_EQ(Describe(history), "x:b x:c *x:d");
}

TEST(LastingHistory, RoundTripKeepsStepsCurrentAndAwkwardBytes) {
  qltest::TempDir dir;
  const std::string file = dir.File("data/quillary/history");
  ql::History history(ql::kLastingHistoryLimit);
  for (int i = 0; i < 600; ++i)
    history.Visit({"/b/" + std::to_string(i % 7) + ".ql", "s" + std::to_string(i)});
  // Tabs, line feeds, backslashes and bytes above 0x7F in paths and subjects.
  history.Visit({"/b/tab\there\\.ql", "caf\xe9\nnew\rline\\t"});
  history.Visit({"", "group word"});
  ASSERT_TRUE(history.Back());
  ql::LastingHistory keeper(file);
  std::string reason;
  ASSERT_TRUE(keeper.Save(history, reason)) << reason;  // makes the folders
  EXPECT_FALSE(keeper.Unsaved(history));

  ql::History back;
  ql::LastingHistory(file).Load(back);
  EXPECT_EQ(back.Entries().size(), ql::kLastingHistoryLimit);
  EXPECT_EQ(back.Entries(), history.Entries());
  EXPECT_EQ(back.Current(), history.Current());
  EXPECT_EQ(back.Entries().front().subject, "s102");

  // Cleared and saved, the file holds no step.
  history.Clear();
  EXPECT_TRUE(keeper.Unsaved(history));
  ASSERT_TRUE(keeper.Save(history, reason)) << reason;
  ql::LastingHistory(file).Load(back);
  EXPECT_TRUE(back.Entries().empty());

  // A file that cannot be written leaves the history unsaved.
  qltest::WriteFileBytes(dir.File("blocker"), "");
  ql::LastingHistory blocked(dir.File("blocker/history"));
  EXPECT_FALSE(blocked.Save(history, reason));
  EXPECT_NE(reason.find("blocker/history"), std::string::npos);
  EXPECT_TRUE(blocked.Unsaved(history));
}

TEST(LastingHistory, HostileFilesGiveWhatIsGoodInThem) {
  const std::string header = "quillary history 1\n";
  const std::string longLine = "/b/x.ql\t" + std::string(20000, 'w') + "\n";
  struct Case {
    const char* name;
    std::string bytes;
    const char* steps;
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"another file", "quillary history 2\n/books/x.ql\ta\n", ""},
      {"no current line", header + "/books/x.ql\ta\n/books/x.ql\tb\n", "x:a *x:b"},
      {"current too big", header + "current 99\n/books/x.ql\ta\n/books/x.ql\tb\n", "x:a *x:b"},
      {"current not a number", header + "current -1\n/books/x.ql\ta\n", "*x:a"},
      {"bad lines skipped",
       header + "current 1\nno tab\n/books/x.ql\t\nrelative.ql\tb\n/books/x.ql\tbad\\q\n" +
           longLine + "/books/x.ql\ta\n\t\n/books/y.ql\tb\n\tw\n",
       "x:a *y:b :w"},
      {"last line cut short", header + "/books/x.ql\ta\n/books/x.ql\tb", "*x:a"},
      {"a lone backslash", header + "/books/x.ql\ta\\\n", ""},
      {"nul bytes", header + std::string("/books/x.ql\ta\0b\n", 16) + "/books/x.ql\tc\n", "*x:c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Describe(ql::ParseHistory(c.bytes)), c.steps);
  }
  // Far more steps than the limit: the newest stay, whatever the count.
  std::string many = header + "current 5\n";
  for (int i = 0; i < 3000; ++i) many += "/books/x.ql\t" + std::to_string(i) + "\n";
  const ql::History history = ql::ParseHistory(many);
  ASSERT_EQ(history.Entries().size(), ql::kLastingHistoryLimit);
  EXPECT_EQ(history.Entries().front().subject, "2500");
  EXPECT_EQ(history.Current(), ql::kLastingHistoryLimit - 1);
  // A missing file: nothing.
  ql::History none;
  none.Visit(Step("x:a"));
  ql::LastingHistory("/nonexistent/history").Load(none);
  EXPECT_TRUE(none.Entries().empty());
  // A FIFO or a folder where the file should be: nothing, and no waiting
  // for a writer that never comes.
  qltest::TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  for (const std::string& path : {dir.File("fifo"), dir.Path()}) {
    none.Visit(Step("x:a"));
    ql::LastingHistory(path).Load(none);
    EXPECT_TRUE(none.Entries().empty()) << path;
  }
}

TEST(LastingHistory, StepsLeadIntoTheirBooks) {
  qltest::TempDir dir;
  const std::string a = dir.File("a.ql"), b = dir.File("b.ql");
  qltest::WriteFileBytes(a, qltest::BuildBookBytes({{"apple", "1"}, {"pear", "2"}}));
  qltest::WriteFileBytes(b, qltest::BuildBookBytes({{"zebra", "3"}}));
  struct Case {
    ql::HistoryEntry step;
    ql::StepFound found;
    int index;
    std::string opened;  // the book open asked for, "" for none
  };
  const Case cases[] = {
      {{a, "pear"}, ql::StepFound::kFound, 1, ""},
      {{a, "PEAR"}, ql::StepFound::kFound, 1, ""},  // as FindSubject folds
      {{a, "plum"}, ql::StepFound::kGone, -1, ""},
      {{b, "zebra"}, ql::StepFound::kFound, 0, b},
      {{b, "apple"}, ql::StepFound::kGone, -1, b},
      {{dir.File("gone.ql"), "apple"}, ql::StepFound::kNotOpened, -1, dir.File("gone.ql")},
      {{"", "apple"}, ql::StepFound::kNotOpened, -1, ""},  // the group's: not a book's
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step.path + " " + c.step.subject);
    ql::Document doc;
    ASSERT_EQ(doc.Open(a, ql::kOpenReadOnly, a), ql::OpenResult::kOk);
    std::string opened;
    const ql::StepTarget target = ql::FindStep(doc, c.step, [&](const std::string& path) {
      opened = path;
      return doc.Open(path, ql::kOpenReadOnly, path) == ql::OpenResult::kOk;
    });
    EXPECT_EQ(target.found, c.found);
    EXPECT_EQ(target.index, c.index);
    EXPECT_EQ(opened, c.opened);
  }
}

}  // namespace
