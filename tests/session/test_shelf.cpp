// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The shelf over generated books: the sections a lookup gives and their
// order, books that fail or are slow among good ones, supersession, readers
// opened lazily and never used by two threads at once, links across books
// and the page of sections.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "book_fixture.h"
#include "index_build.h"
#include "links.h"
#include "record_markup.h"
#include "shelf.h"

namespace {

using qltest::Entry;

// Sections and ends of lookups as the workers hand them over.
struct Collector {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<ql::LookupSection> sections;
  std::vector<uint64_t> sectionGenerations;
  std::vector<uint64_t> done;

  auto OnSection() {
    return [this](uint64_t g, ql::LookupSection s) {
      std::lock_guard lock(mutex);
      sections.push_back(std::move(s));
      sectionGenerations.push_back(g);
      changed.notify_all();
    };
  }
  auto OnDone() {
    return [this](uint64_t g) {
      std::lock_guard lock(mutex);
      done.push_back(g);
      changed.notify_all();
    };
  }
  // Waits (a guard against a hang, not a measure) until pred holds.
  template <typename Pred>
  bool WaitFor(Pred pred) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(30), pred);
  }
};

// Holds the lookup of one book until released.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  bool reached = false;
  void Pass() {
    std::unique_lock lock(mutex);
    reached = true;
    changed.notify_all();
    changed.wait(lock, [this] { return open; });
  }
  void Open() {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }
  void WaitReached() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return reached; });
  }
};

class ShelfTest : public ::testing::Test {
 protected:
  std::string Book(const std::string& name, const std::vector<Entry>& entries,
                   const qltest::BookOptions& options = {}) {
    const std::string path = dir_.File(name);
    qltest::WriteFileBytes(path, qltest::BuildBookBytes(entries, options));
    return path;
  }
  std::vector<ql::ShelfBook> Books(const std::vector<std::string>& paths) {
    std::vector<ql::ShelfBook> books;
    for (const auto& p : paths) books.push_back({p, p.substr(p.find_last_of('/') + 1)});
    return books;
  }
  qltest::TempDir dir_;
};

TEST_F(ShelfTest, SectionsOfGoodFailingMissingAndSlowBooks) {
  Gate gate;
  ql::Shelf::Options options;
  options.threads = 2;
  const std::string slow = Book("slow.ql", {{"cat", "slow cat"}});
  options.beforeLookup = [&](const std::string& path) {
    if (path == slow) gate.Pass();
  };
  ql::Shelf shelf(options);
  const std::string junk = dir_.File("junk.ql");
  qltest::WriteFileBytes(junk, std::string(600, 'x'));
  shelf.SetBooks(Books({
      slow,
      Book("a.ql", {{"ant", "x"},
                    {"cat",
                     "a \t\x01"
                     "cat\t\x02"}}),
      dir_.File("missing.ql"),
      junk,
      Book("b.ql", {{"bee", "b"}}),
      Book("c.ql", {{"Bat", "b"}, {"CAT", "big cat"}, {"catfish", "f"}}),
  }));
  Collector got;
  const uint64_t g = shelf.LookUp("Cat", ql::MatchWhole, got.OnSection(), got.OnDone());
  // Every book but the slow one answers while it is held.
  gate.WaitReached();
  ASSERT_TRUE(got.WaitFor([&] { return got.sections.size() == 4; }));
  EXPECT_TRUE(got.done.empty());
  gate.Open();
  ASSERT_TRUE(got.WaitFor([&] { return !got.done.empty(); }));
  EXPECT_EQ(got.done, std::vector<uint64_t>{g});
  ASSERT_EQ(got.sections.size(), 5u);
  EXPECT_EQ(got.sections.back().book, 0);  // the slow one answered last
  std::sort(got.sections.begin(), got.sections.end(),
            [](const auto& a, const auto& b) { return a.book < b.book; });
  struct Want {
    int book;
    bool failed;
    int index;
    std::string subject, reasonPart;
  };
  const std::vector<Want> want = {
      {0, false, 0, "cat", ""},          {1, false, 1, "cat", ""},
      {2, true, -1, "", "No such file"}, {3, true, -1, "", "not a Quillary book"},
      {5, false, 1, "CAT", ""},
  };
  for (size_t i = 0; i < want.size(); ++i) {
    const auto& s = got.sections[i];
    SCOPED_TRACE(want[i].book);
    EXPECT_EQ(s.book, want[i].book);
    EXPECT_EQ(s.failed, want[i].failed);
    EXPECT_EQ(s.index, want[i].index);
    EXPECT_EQ(s.subject, want[i].subject);
    EXPECT_NE(s.reason.find(want[i].reasonPart), std::string::npos) << s.reason;
  }
  EXPECT_EQ(got.sections[1].record,
            "a \t\x01"
            "cat\t\x02");
  EXPECT_NE(got.sections[1].html.find("<h2>cat</h2>a <b>cat</b>"), std::string::npos);
}

// The book on show is asked first; the others follow in library order.
TEST_F(ShelfTest, TheFirstBookNamedAnswersFirst) {
  std::vector<std::string> paths;
  for (const char* name : {"a.ql", "b.ql", "c.ql", "d.ql"})
    paths.push_back(Book(name, {{"cat", name}}));
  const std::vector<std::pair<int, std::vector<int>>> cases = {{2, {2, 0, 1, 3}},
                                                               {0, {0, 1, 2, 3}},
                                                               {3, {3, 0, 1, 2}},
                                                               {-1, {0, 1, 2, 3}},
                                                               {9, {0, 1, 2, 3}}};
  for (const auto& [first, order] : cases) {
    // A shelf of its own each time: a book still finishing the last lookup
    // on its worker would rightly answer this one late.
    ql::Shelf::Options options;
    options.threads = 1;
    ql::Shelf shelf(options);
    shelf.SetBooks(Books(paths));
    Collector got;
    shelf.LookUp("cat", ql::MatchWhole, got.OnSection(), got.OnDone(), first);
    ASSERT_TRUE(got.WaitFor([&] { return !got.done.empty(); }));
    std::vector<int> books;
    for (const auto& s : got.sections) books.push_back(s.book);
    EXPECT_EQ(books, order) << "first " << first;
  }
}

TEST_F(ShelfTest, NewLookupSupersedesTheRunningOne) {
  Gate gate, gate2;
  std::atomic<Gate*> hold{&gate};
  ql::Shelf::Options options;
  options.threads = 2;
  options.beforeLookup = [&](const std::string& path) {
    if (!path.ends_with("held.ql")) return;
    if (Gate* g = hold.exchange(nullptr)) g->Pass();
  };
  ql::Shelf shelf(options);
  shelf.SetBooks(Books({Book("held.ql", {{"cat", "1"}, {"dog", "2"}}),
                        Book("other.ql", {{"cat", "3"}, {"dog", "4"}})}));
  Collector got;
  const uint64_t first = shelf.LookUp("cat", ql::MatchWhole, got.OnSection(), got.OnDone());
  gate.WaitReached();
  const uint64_t second = shelf.LookUp("dog", ql::MatchWhole, got.OnSection(), got.OnDone());
  EXPECT_NE(first, second);
  gate.Open();
  ASSERT_TRUE(got.WaitFor([&] { return !got.done.empty(); }));
  EXPECT_EQ(got.done, std::vector<uint64_t>{second});
  // The first lookup's answers all came before the second began (the held
  // book's never came); the second's are whole.
  std::vector<std::string> later;
  for (size_t i = 0; i < got.sections.size(); ++i) {
    if (got.sectionGenerations[i] == first) {
      EXPECT_TRUE(later.empty());
      EXPECT_NE(got.sections[i].book, 0);
    } else {
      EXPECT_EQ(got.sectionGenerations[i], second);
      later.push_back(got.sections[i].subject);
    }
  }
  EXPECT_EQ(later, (std::vector<std::string>{"dog", "dog"}));
  // Cancel drops the answers of a lookup at once as well.
  Collector none;
  hold = &gate2;
  shelf.LookUp("cat", ql::MatchWhole, none.OnSection(), none.OnDone());
  gate2.WaitReached();
  shelf.Cancel();
  gate2.Open();
  Collector after;
  shelf.LookUp("dog", ql::MatchWhole, after.OnSection(), after.OnDone());
  ASSERT_TRUE(after.WaitFor([&] { return !after.done.empty(); }));
  std::lock_guard lock(none.mutex);
  EXPECT_TRUE(none.done.empty());
  for (const auto& sec : none.sections) EXPECT_NE(sec.book, 0);
}

TEST_F(ShelfTest, ReadersOpenLazilyReadOnlyTheTablesAndAreNeverShared) {
  std::vector<Entry> entries;
  for (int i = 0; i < 1000; ++i)
    entries.push_back({"word" + std::to_string(1000 + i), std::string(200, 't')});
  qltest::BookOptions small;
  small.subjectBlockSize = 300;
  small.recordBlockSize = 300;
  ql::Shelf::Options three;
  three.threads = 3;
  ql::Shelf shelf(three);
  shelf.SetBooks(Books({Book("one.ql", entries, small), Book("two.ql", entries, small),
                        Book("three.ql", entries, small)}));
  EXPECT_EQ(shelf.OpenReaders(), 0);

  // Each book's work runs on one thread at a time, whichever worker runs it.
  std::atomic<bool> inUse[3] = {false, false, false};
  std::atomic<int> shared{0}, runs{0};
  std::vector<ql::ReaderStats> firstStats(3);
  std::mutex statsMutex;
  for (int round = 0; round < 30; ++round)
    for (int b = 0; b < 3; ++b)
      shelf.Post(b, [&, b, round](ql::BookReader* reader) {
        if (inUse[b].exchange(true)) ++shared;
        ASSERT_NE(reader, nullptr);
        if (round == 0) {
          std::lock_guard lock(statsMutex);
          firstStats[static_cast<size_t>(b)] = reader->Stats();
        }
        reader->FindSubject(ql::MatchWhole, "word" + std::to_string(1000 + round * 13));
        inUse[b] = false;
        ++runs;
      });
  // A link found nowhere waits for every book, behind the work before it.
  EXPECT_EQ(shelf.ResolveLink("nothing", 0).index, 0);
  EXPECT_EQ(runs.load(), 90);
  EXPECT_EQ(shared.load(), 0);
  EXPECT_EQ(shelf.OpenReaders(), 3);
  // Opening decoded no block: the header and tables only.
  for (const auto& s : firstStats) {
    EXPECT_EQ(s.subjectBlockLoads, 0);
    EXPECT_EQ(s.recordBlockLoads, 0);
  }

  // A lookup decodes whole one record block and the subject blocks where
  // its search ends, not the book.
  const std::string bytes = qltest::BuildBookBytes(entries, small);
  ASSERT_GE(qltest::FindBlockSpans(bytes).subjects.size(), 40u);
  ql::Shelf fresh;
  fresh.SetBooks({shelf.Books()[0]});
  Collector got;
  fresh.LookUp("word1200", ql::MatchWhole, got.OnSection(), got.OnDone());
  ASSERT_TRUE(got.WaitFor([&] { return !got.done.empty(); }));
  ASSERT_EQ(got.sections.size(), 1u);
  EXPECT_EQ(got.sections[0].index, 200);
  ql::ReaderStats after;
  fresh.Post(0, [&](ql::BookReader* r) { after = r->Stats(); });
  fresh.ResolveLink("nothing", 0);
  EXPECT_EQ(after.recordBlockLoads, 1);
  EXPECT_LE(after.subjectBlockLoads, 2);

  // Books that leave the shelf have their readers closed on their workers;
  // kept ones stay open.
  shelf.SetBooks({shelf.Books()[2]});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (shelf.OpenReaders() != 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_EQ(shelf.OpenReaders(), 1);
}

TEST_F(ShelfTest, LinksResolveInTheirOwnBookFirstThenInLibraryOrder) {
  ql::Shelf shelf;
  shelf.SetBooks(
      Books({Book("a.ql", {{"cat", "1"}, {"dog", "2"}}), Book("b.ql", {{"dog", "3"}, {"emu", "4"}}),
             Book("c.ql", {{"emu", "5"}, {"fox", "6"}}), dir_.File("gone.ql")}));
  struct Case {
    std::string key;
    int from;
    int book, index;
  };
  const std::vector<Case> cases = {
      {"dog", 1, 1, 0}, {"cat", 2, 0, 0}, {"emu", 0, 1, 1},   {"fox", 0, 2, 1},   {"DOG", 0, 0, 1},
      {"yak", 2, 2, 0}, {"fox", 3, 2, 1}, {"yak", 3, -1, -1}, {"dog", 4, -1, -1}, {"do", 0, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key + " from " + std::to_string(c.from));
    const ql::LinkPlace place = shelf.ResolveLink(c.key, c.from);
    EXPECT_EQ(place.book, c.book);
    EXPECT_EQ(place.index, c.index);
  }
  const ql::LookupSection s = shelf.Section(2, 1);
  EXPECT_EQ(s.subject, "fox");
  EXPECT_EQ(s.record, "6");
  EXPECT_TRUE(shelf.Section(3, 0).failed);
}

TEST(ShelfPage, SectionsInOrderUnderTheirTitlesWithOnePageAround) {
  ql::RenderOptions options{"Verdana", 4};
  auto page = [&](std::string subject, std::string body) {
    ql::StringSink sink;
    ql::WriteRecordPage(sink, options.face, options.size, subject, body, -1, -1);
    return sink.Data();
  };
  std::vector<ql::LookupSection> sections(3);
  sections[0].book = 0;
  sections[0].title = "R&D <big>.ql";
  sections[0].html = page("cat",
                          "one \t\x11"
                          "dog>a dog\t\x12");
  sections[1].book = 2;
  sections[1].title = "caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\x80.ql";
  sections[1].failed = true;
  sections[1].reason = "not a Quillary book";
  sections[2].book = 3;
  sections[2].title = "z.ql";
  sections[2].html = page("Cat", "two");
  const std::string html = ql::WriteSectionsPage(sections, options);
  ql::StringSink head, tail;
  ql::WritePageHead(head, "Verdana", 4);
  ql::WritePageTail(tail);
  EXPECT_TRUE(html.starts_with(head.Data()));
  EXPECT_TRUE(html.ends_with(tail.Data()));
  EXPECT_EQ(html.find(head.Data(), 1), std::string::npos);
  const auto band = [](const std::string& title) {
    return std::string(ql::kSectionBandOpen) + title + std::string(ql::kSectionBandClose);
  };
  const std::vector<std::string> inOrder = {
      "<a name=\"book0\"></a>" + band("R&amp;D &lt;big&gt;.ql"),
      "<h2>cat</h2>one <a href=\"quill-in:0:dog\">a dog</a>",
      "<a name=\"book2\"></a>" + band("caf\xE9 \x80 &#19968;.ql"),
      "not a Quillary book",
      "<a name=\"book3\"></a>" + band("z.ql"),
      "<h2>Cat</h2>two",
  };
  size_t at = 0;
  for (const auto& piece : inOrder) {
    const size_t found = html.find(piece, at);
    ASSERT_NE(found, std::string::npos) << piece;
    at = found + piece.size();
  }
}

TEST(ShelfPage, SectionLinksNameTheirBook) {
  struct Case {
    std::string address;
    int book;
    std::string key;
  };
  const std::vector<Case> cases = {
      {"quill-in:0:dog", 0, "dog"}, {"quill-in:12:hot%20dog", 12, "hot dog"},
      {"quill-in:3:", 3, ""},       {"quill-in::dog", -1, ""},
      {"quill-in:-1:dog", -1, ""},  {"quill-in:1234567:dog", -1, ""},
      {"quill-in:7", -1, ""},       {"quill::dog", -1, ""},
      {"Quill-in:1:dog", -1, ""},
  };
  for (const auto& c : cases) {
    const auto link = ql::SectionLinkKey(c.address);
    EXPECT_EQ(link ? link->book : -1, c.book) << c.address;
    if (link) {
      EXPECT_EQ(link->key, c.key) << c.address;
    }
  }
  EXPECT_EQ(ql::ClassifyLink("quill-in:2:cat"), ql::LinkAction::kShowRecord);
}

}  // namespace

namespace {

// Books with word indexes: a lookup passes over those whose subjects lack
// the key's words, and an index of what a book held before it changed
// hides nothing.
TEST_F(ShelfTest, IndexedBooksWithoutTheWordAreNotOpened) {
  setenv("XDG_CACHE_HOME", dir_.File("cache").c_str(), 1);
  const std::string has = Book("has.ql", {{"cat", "a cat"}, {"dog", "a dog"}});
  const std::string lacks = Book("lacks.ql", {{"bee", "no cat here"}});
  for (const std::string& path : {has, lacks}) {
    std::string reason;
    ASSERT_FALSE(ql::fts::EnsureIndex(path, {}, reason).empty()) << reason;
  }
  std::vector<std::string> opened;
  std::mutex mutex;
  ql::Shelf::Options options;
  options.beforeOpen = [&](const std::string& path) {
    std::lock_guard lock(mutex);
    opened.push_back(path);
  };
  ql::Shelf shelf(options);
  shelf.SetBooks(Books({has, lacks}));
  auto look = [&](const char* key) {
    Collector got;
    shelf.LookUp(key, ql::MatchWhole, got.OnSection(), got.OnDone());
    EXPECT_TRUE(got.WaitFor([&] { return !got.done.empty(); }));
    std::vector<int> books;
    for (const auto& s : got.sections) books.push_back(s.book);
    std::sort(books.begin(), books.end());
    return books;
  };
  EXPECT_EQ(look("CAT"), std::vector<int>{0});
  EXPECT_EQ(opened, std::vector<std::string>{has});
  // The book changes under the shelf: its old index must not hide "wasp".
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  Book("lacks.ql", {{"bee", "b"}, {"wasp", "w"}});
  EXPECT_EQ(look("wasp"), std::vector<int>{1});
  unsetenv("XDG_CACHE_HOME");
}

}  // namespace
