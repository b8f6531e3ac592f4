// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The background indexing's queue and worker, the search of many books and
// where a hit's word stands in its record.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "book_fixture.h"
#include "book_reader.h"
#include "index_queue.h"
#include "library_search.h"

namespace {

using ql::IndexQueue;
using ql::fts::BuildResult;

std::string Describe(const std::optional<IndexQueue::Job>& job) {
  if (!job) return "none";
  static const char* const kKinds[] = {"check ", "build ", "remove "};
  return kKinds[static_cast<int>(job->kind)] + job->path;
}

TEST(IndexQueue, ChecksAllThenBuildsTheOpenBookFirstAndRemovesWhatLeaves) {
  IndexQueue q;
  q.SetFirst("/b/b.ql");
  EXPECT_FALSE(q.SetBooks({{"/b/a.ql", true}, {"/b/b.ql", true}, {"/b/c.ql", false}}));
  // Each step: the job expected next, then how it ends.
  EXPECT_EQ(Describe(q.Next()), "check /b/a.ql");
  q.Checked("/i/A", false, {});
  EXPECT_EQ(Describe(q.Next()), "check /b/b.ql");
  q.Checked("/i/B", false, {});
  EXPECT_EQ(Describe(q.Next()), "check /b/c.ql");
  q.Checked("/i/C", false, {});
  EXPECT_EQ(Describe(q.Next()), "build /b/b.ql");
  q.Progress(42);
  EXPECT_EQ(q.StatusText(), "Indexing b.ql: 42%");
  EXPECT_EQ(ql::IndexStateText(q.StateOf("/b/b.ql")), "Indexing 42%");
  q.Built("/i/B", BuildResult::kBuilt, {});
  EXPECT_EQ(q.StatusText(), "");
  EXPECT_EQ(Describe(q.Next()), "build /b/a.ql");
  // a leaves while it is built: the build is to stop, its index to go; d
  // has b's content.
  EXPECT_TRUE(q.SetBooks({{"/b/b.ql", true}, {"/b/c.ql", false}, {"/b/d.ql", true}}));
  q.Built({}, BuildResult::kCancelled, {});
  EXPECT_EQ(Describe(q.Next()), "remove /b/a.ql");
  EXPECT_FALSE(q.SharesIndex("/b/a.ql"));
  q.Removed();
  EXPECT_EQ(Describe(q.Next()), "check /b/d.ql");
  q.Checked("/i/B", true, {});
  EXPECT_FALSE(q.SetBooks({{"/b/b.ql", true}, {"/b/c.ql", false}}));
  EXPECT_EQ(Describe(q.Next()), "remove /b/d.ql");
  EXPECT_TRUE(q.SharesIndex("/b/d.ql"));
  q.Removed();
  // c has none, but is off.
  EXPECT_EQ(Describe(q.Next()), "none");
  EXPECT_TRUE(q.Idle());
  EXPECT_EQ(ql::IndexStateText(q.StateOf("/b/c.ql")), "Not indexed");
}

TEST(IndexQueue, EachStateIsToldAndAFailureKeepsItsReason) {
  IndexQueue q;
  q.SetBooks({{"/b/bad.ql", true}, {"/b/gone.ql", true}});
  EXPECT_EQ(ql::IndexStateText(q.StateOf("/b/bad.ql")), "");
  q.Next();
  q.Checked("/i/X", false, {});
  q.Next();
  q.Checked({}, false, "No such file");
  EXPECT_EQ(ql::IndexStateText(q.StateOf("/b/gone.ql")), "Not indexed");
  EXPECT_EQ(q.StateOf("/b/gone.ql").reason, "No such file");
  EXPECT_EQ(Describe(q.Next()), "build /b/bad.ql");
  q.Built({}, BuildResult::kFailed, "The book is damaged.");
  EXPECT_EQ(q.StateOf("/b/bad.ql").state, ql::IndexState::kFailed);
  EXPECT_EQ(Describe(q.Next()), "none");
  // Looked at again on asking: checked, then built.
  q.Recheck("/b/bad.ql");
  EXPECT_FALSE(q.Idle());
  EXPECT_EQ(Describe(q.Next()), "check /b/bad.ql");
  q.Checked("/i/X", true, {});
  EXPECT_EQ(ql::IndexStateText(q.StateOf("/b/bad.ql")), "Indexed");
}

TEST(BackgroundIndexer, BuildsOneBookAtATimeNicedAndStopsABuildAtOnce) {
  std::mutex mutex;
  std::vector<std::string> built;
  std::vector<int> priorities;
  std::promise<void> slowStarted;
  ql::BackgroundIndexer::Work work;
  work.indexPath = [](const std::string& book, std::string&) { return book + ".qlx"; };
  work.exists = [](const std::string&) { return false; };
  work.remove = [](const std::string&) { return true; };
  work.ensure = [&](const std::string& book, const ql::fts::BuildOptions& options, std::string&,
                    BuildResult* result) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      built.push_back(book);
      priorities.push_back(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))));
    }
    options.progress->SetRange(0, 4);
    options.progress->SetPos(2);
    if (book == "/b/slow.ql") {
      slowStarted.set_value();
      while (!options.cancel->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      *result = BuildResult::kCancelled;
      return std::string();
    }
    *result = BuildResult::kBuilt;
    return book + ".qlx";
  };
  auto indexer = std::make_unique<ql::BackgroundIndexer>(work);
  indexer->SetFirst("/b/c.ql");
  indexer->SetBooks({{"/b/a.ql", true}, {"/b/b.ql", false}, {"/b/c.ql", true}});
  for (int i = 0; i < 5000 && !indexer->Idle(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(indexer->Idle());
  EXPECT_EQ(built, (std::vector<std::string>{"/b/c.ql", "/b/a.ql"}));
  EXPECT_EQ(priorities, (std::vector<int>{19, 19}));
  EXPECT_EQ(indexer->Take().states.at("/b/a.ql").state, ql::IndexState::kIndexed);

  indexer->SetBooks({{"/b/a.ql", true}, {"/b/c.ql", true}, {"/b/slow.ql", true}});
  slowStarted.get_future().wait();
  for (int i = 0; i < 5000 && indexer->Take().status != "Indexing slow.ql: 50%"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(indexer->Take().status, "Indexing slow.ql: 50%");
  const auto before = std::chrono::steady_clock::now();
  indexer.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
}

TEST(LibraryFtsSearch, EveryBookAnswersOnceAndANewSearchSilencesTheOld) {
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  std::atomic<bool> oldCancelled{false};
  std::atomic<int> oldStarted{0};
  ql::LibraryFtsSearch search(2, [&](const std::string& path, const ql::fts::FtsQuery& query,
                                     size_t, const std::atomic<bool>* cancel) {
    ql::fts::BookAnswer answer;
    if (query.words.front() == "old") {
      ++oldStarted;
      gate.wait();
      oldCancelled = cancel->load();
    }
    answer.hits.push_back({});
    answer.hits.back().subject = path + ":" + query.words.front();
    return answer;
  });
  std::mutex mutex;
  std::vector<std::string> got;
  std::promise<void> done;
  uint64_t ended = 0;
  const auto answer = [&](uint64_t, size_t book, ql::fts::BookAnswer a) {
    std::lock_guard<std::mutex> lock(mutex);
    got.push_back(std::to_string(book) + "=" + a.hits.front().subject);
  };
  ql::fts::FtsQuery old, fresh;
  old.words = {"old"};
  fresh.words = {"new"};
  search.Start({"a", "b"}, old, 10, answer, [](uint64_t) { ADD_FAILURE() << "the old one ended"; });
  // Both workers are held in the old search.
  while (oldStarted < 2) std::this_thread::yield();
  const uint64_t generation = search.Start({"a", "b", "c"}, fresh, 10, answer, [&](uint64_t g) {
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(got.size(), 3u);
    ended = g;
    done.set_value();
  });
  release.set_value();
  done.get_future().wait();
  EXPECT_EQ(ended, generation);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"0=a:new", "1=b:new", "2=c:new"}));
  search.Cancel();
  EXPECT_TRUE(oldCancelled);
}

TEST(PlaceOfWord, TheFirstWholeWordOfTheTextAsFindHasIt) {
  qltest::TempDir dir;
  const std::string path = dir.File("fruit.ql");
  qltest::WriteFileBytes(path, qltest::BuildBookBytes({{"apple", "A red apple. An apple pie."},
                                                       {"caf\xe9", "Un caf\xe9 noir."},
                                                       {"pear", "Pears are not apples; a pear is."},
                                                       {"plum", "A stone fruit."}}));
  ql::BookReader reader;
  ASSERT_EQ(reader.Open(path, ql::kOpenReadOnly), ql::OpenResult::kOk);
  const struct {
    int record;
    const char* word;
    int pos, length;
  } cases[] = {
      {0, "red", 2, 3},         {0, "apple", 6, 5},  // the text's, not the subject's
      {1, "caf\xc3\xa9", 3, 4},                      // in the book's form
      {1, "noir", 8, 4},        {2, "pear", 24, 4},  // "Pears" is no whole word
      {2, "apple", -1, -1},                          // nor "apples"
      {3, "plum", -1, -1},                           // the subject alone: nothing marked
      {2, "\xc5\xa7", -1, -1},                       // a character Windows-1252 lacks
      {4, "red", -1, -1},                            // no such record
  };
  for (const auto& c : cases) {
    const ql::WordPlace place = ql::PlaceOfWord(reader, c.record, c.word);
    EXPECT_EQ(place.pos, c.pos) << c.record << " " << c.word;
    EXPECT_EQ(place.length, c.length) << c.record << " " << c.word;
  }
}

}  // namespace
