// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The record display sequence and link following, as the main window, the
// help window and QuickPeek each run them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "open_document.h"
#include "show_record.h"
#include "test_helpers.h"

namespace {

using qltest::ScopedEnv;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;

class ShowRecordTest : public qltest::OpenDocumentTest {
 protected:
  ShowRecordTest() : runtime("XDG_RUNTIME_DIR", dir.Path().c_str()) {}
  void SetUp() override {
    Open({{"apple", "red"}, {"banana", "yellow"}, {"cherry", "dark"}, {"zebra", "striped"}});
  }

  static std::string Page(ql::Document& of, int index, int foundPos = -1, int foundLength = -1) {
    ql::StringSink sink;
    of.Reader().RenderRecord(sink, of.Options(), index, foundPos, foundLength);
    return sink.Data();
  }
  // Puts a directory where page's file goes: the next write cannot rename
  // over it.
  void Block(ql::PageFile& page) {
    std::string reason;
    ASSERT_TRUE(page.Write([](ql::ByteSink& sink) { sink.Write("x"); }, reason)) << reason;
    ASSERT_EQ(::unlink(page.Path().c_str()), 0);
    ASSERT_EQ(::mkdir(page.Path().c_str(), 0700), 0);
  }

  ScopedEnv runtime;
};

// Who shows the record: the window (a step of its own, or one step for
// what typing passes through, or none for Back and Forward), the help
// window (a document of its own) and QuickPeek (the window's document
// through a page of its own, no history).
enum class Caller { kWindow, kWindowTyping, kWindowRetracing, kHelp, kPeek };

struct ShowCase {
  const char* name;
  Caller caller;
  ql::HistoryStep step;
  bool ownPage;
  std::vector<int> history;  // after records 1, 2 and 3 are shown
};

TEST_F(ShowRecordTest, EachCallerGetsItsPageAndItsHistoryStep) {
  const ShowCase cases[] = {
      {"window", Caller::kWindow, ql::HistoryStep::kVisit, false, {0, 1, 2, 3}},
      {"window, typing", Caller::kWindowTyping, ql::HistoryStep::kReplace, false, {3}},
      {"window, Back", Caller::kWindowRetracing, ql::HistoryStep::kNone, false, {0}},
      {"help", Caller::kHelp, ql::HistoryStep::kVisit, false, {0, 1, 2, 3}},
      {"QuickPeek", Caller::kPeek, ql::HistoryStep::kNone, true, {0}},
  };
  for (const ShowCase& c : cases) {
    SCOPED_TRACE(c.name);
    doc.History().Clear();
    doc.History().Visit({doc.Path(), "apple"});
    desktop.log.clear();
    ql::PageFile peekPage("qlpeek.htm");
    doc.SetOptions({"Courier New", 4});
    for (int index = 1; index <= 3; ++index) {
      const ql::ShowRequest request{index, 0, 2, index == 3, c.step};
      const bool shown = c.ownPage ? ql::ShowRecord(doc, peekPage, desktop, desktop, request)
                                   : ql::ShowRecord(doc, desktop, desktop, request);
      EXPECT_TRUE(shown);
    }
    const ql::PageFile& page = c.ownPage ? peekPage : doc.Page();
    EXPECT_THAT(desktop.log,
                ElementsAre("ShowPage " + std::string(c.ownPage ? "qlpeek.htm" : "qltempfi.htm"),
                            "ShowPage " + std::string(c.ownPage ? "qlpeek.htm" : "qltempfi.htm"),
                            "ShowPage " + std::string(c.ownPage ? "qlpeek.htm" : "qltempfi.htm") +
                                " scroll"));
    // The page on show is the last record's, in the document's face and size.
    EXPECT_EQ(qltest::ReadFileBytes(page.Path()), Page(doc, 3, 0, 2));
    EXPECT_THAT(qltest::ReadFileBytes(page.Path()), HasSubstr("4 face=Courier New"));
    EXPECT_EQ(desktop.pagesShown.back(), page.Path());
    // Each step names the book and the record's subject.
    std::vector<ql::HistoryEntry> steps;
    for (const int index : c.history) steps.push_back({path, doc.Reader().GetSubject(index)});
    EXPECT_THAT(doc.History().Entries(), ElementsAreArray(steps));
    desktop.pagesShown.clear();
  }
}

TEST_F(ShowRecordTest, NothingShownWithoutABookOrOutsideIt) {
  for (const int index : {-1, 4, 100}) {
    EXPECT_FALSE(ql::ShowRecord(doc, desktop, desktop, {index}));
  }
  doc.MarkClosed();
  EXPECT_FALSE(ql::ShowRecord(doc, desktop, desktop, {0}));
  EXPECT_TRUE(desktop.log.empty());
  EXPECT_TRUE(doc.History().Entries().empty());
}

TEST_F(ShowRecordTest, PageNotWrittenIsToldOnceThenInTheStatusLine) {
  struct FailCase {
    const char* name;
    bool ownPage;
  };
  // Each case with a document of its own, whose page has told nothing yet.
  doc.Reader().Close();
  doc.MarkClosed();
  for (const FailCase c :
       {FailCase{"document's page", false}, FailCase{"a page of its own", true}}) {
    SCOPED_TRACE(c.name);
    ql::Document fresh;
    ASSERT_EQ(fresh.Open(path, ql::kOpenReadOnly, path), ql::OpenResult::kOk);
    ql::PageFile own("blocked.htm");
    ql::PageFile& page = c.ownPage ? own : fresh.Page();
    Block(page);
    desktop.log.clear();
    for (int index = 0; index < 3; ++index) {
      const bool shown = c.ownPage ? ql::ShowRecord(fresh, own, desktop, desktop, {index})
                                   : ql::ShowRecord(fresh, desktop, desktop, {index});
      EXPECT_FALSE(shown);
    }
    ASSERT_EQ(desktop.log.size(), 3u);
    EXPECT_THAT(desktop.log[0], HasSubstr("ShowMessageIcon Quillary: Cannot write the page"));
    EXPECT_THAT(desktop.log[0], HasSubstr(page.Path()));
    EXPECT_THAT(desktop.log[0], HasSubstr(" icon 3"));
    for (size_t i = 1; i < 3; ++i) {
      EXPECT_THAT(desktop.log[i], HasSubstr("ShowStatus Cannot write the page " + page.Path()));
    }
    // The view keeps the page it had: nothing shown, no step made.
    EXPECT_TRUE(fresh.History().Entries().empty());
    // A failure of the other page has not been told: it would be told anew.
    EXPECT_EQ(fresh.Page().FailureTold(), !c.ownPage);
    ASSERT_EQ(::rmdir(page.Path().c_str()), 0);
    EXPECT_TRUE(ql::ShowRecord(fresh, page, desktop, desktop, {1}));
    EXPECT_EQ(qltest::ReadFileBytes(page.Path()), Page(fresh, 1));
  }
}

struct LinkCase {
  const char* address;
  bool bookOpen;
  std::vector<std::string> log;
};

TEST_F(ShowRecordTest, FollowLinkShowsTheSubjectsRecordInTheView) {
  const LinkCase cases[] = {
      {"quill::Zebra", true, {"ShowRecord 3 -1 -1"}},
      {"quill::cherry", true, {"ShowRecord 2 -1 -1"}},
      {"quill::no%20such", true, {"ShowRecord 0 -1 -1"}},  // an unknown subject: the first
      {"http://example.org/", true, {}},                   // not ours: the view's business
      {"QUILL::zebra", true, {}},
      {"quill::zebra", false, {}},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.address);
    desktop.log.clear();
    if (c.bookOpen)
      doc.MarkOpen(path);
    else
      doc.MarkClosed();
    EXPECT_EQ(ql::FollowLink(doc, desktop, c.address), !c.log.empty());
    EXPECT_THAT(desktop.log, ElementsAreArray(c.log));
  }
}

}  // namespace
