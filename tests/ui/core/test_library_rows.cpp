// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The Library window's rows, the commands a selection allows, and the
// probing of books on a worker thread.
#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <mutex>

#include "book_fixture.h"
#include "library_rows.h"

namespace {

TEST(LibraryRows, SizesAndCountsReadAsPeopleWriteThem) {
  const struct {
    int64_t bytes;
    const char* text;
  } sizes[] = {{-5, "0 bytes"},
               {0, "0 bytes"},
               {1, "1 byte"},
               {1023, "1023 bytes"},
               {1024, "1.0 KB"},
               {1536, "1.5 KB"},
               {10188, "9.9 KB"},
               {10189, "10 KB"},
               {1048575, "1.0 MB"},
               {1048576, "1.0 MB"},
               {734003200, "700 MB"},
               {int64_t{5} << 30, "5.0 GB"},
               {int64_t{3} << 50, "3072 TB"}};
  for (const auto& c : sizes) EXPECT_EQ(ql::ReadableSize(c.bytes), c.text) << c.bytes;
  const struct {
    int64_t count;
    const char* text;
  } counts[] = {{-3, "0"},       {0, "0"},          {999, "999"},
                {1000, "1,000"}, {65536, "65,536"}, {1234567, "1,234,567"}};
  for (const auto& c : counts) EXPECT_EQ(ql::GroupedCount(c.count), c.text) << c.count;
}

TEST(LibraryRows, EachBookShowsWhatItsProbeFound) {
  using ql::BookState;
  const std::vector<ql::LibraryBook> books = {{"/b/open.ql", true}, {"/b/broken.ql", true},
                                              {"/b/off.ql", false}, {"/b/waiting.ql", true},
                                              {"/b/bare.ql", true}, {"/b/unknown.ql", true}};
  const std::map<std::string, ql::BookStatus> probed = {
      {"/b/open.ql", {"open.ql", 12000, 2048, BookState::kOpen, ""}},
      {"/b/broken.ql", {"broken.ql", 0, 10, BookState::kFailed, "The book is damaged."}},
      {"/b/off.ql", {"off.ql", 5, 100, BookState::kOpen, ""}},
      {"/b/bare.ql", {"", 0, 0, BookState::kFailed, ""}},
      {"/b/unknown.ql", {"unknown.ql", 0, 0, BookState::kUnknown, ""}}};
  // title|subjects|size|state, then "failed" and "off" as they apply.
  const std::vector<std::string> want = {
      "open.ql|12,000|2.0 KB|Open", "broken.ql||10 bytes|Failed: The book is damaged.|failed",
      "off.ql|5|100 bytes|Off|off", "waiting.ql|||Checking...",
      "bare.ql|||Failed|failed",    "unknown.ql|||Checking..."};
  std::vector<std::string> got;
  for (const ql::LibraryRow& row : ql::MakeLibraryRows(books, probed)) {
    EXPECT_EQ(row.path, "/b/" + row.title);  // every title here is the file's name
    got.push_back(row.title + "|" + row.subjects + "|" + row.size + "|" + row.state +
                  (row.failed ? "|failed" : "") + (row.enabled ? "" : "|off"));
  }
  EXPECT_EQ(got, want);
}

// A library of four books, the third off; "Travel" holds the first two.
class LibraryActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.ql", "b.ql", "c.ql", "d.ql"}) {
      iPaths.push_back(iDir.File(name));
      ASSERT_TRUE(iLibrary.AddBook(iPaths.back()));
    }
    ASSERT_TRUE(iLibrary.SetEnabled(iPaths[2], false));
    ASSERT_TRUE(iLibrary.AddGroup("Travel"));
    ASSERT_TRUE(iLibrary.SetInGroup("Travel", iPaths[0], true));
    ASSERT_TRUE(iLibrary.SetInGroup("Travel", iPaths[1], true));
  }
  std::vector<bool> Enabled() const {
    std::vector<bool> on;
    for (const ql::LibraryBook& book : iLibrary.Books()) on.push_back(book.enabled);
    return on;
  }

  qltest::TempDir iDir;
  std::vector<std::string> iPaths;
  ql::Library iLibrary;
};

TEST_F(LibraryActionsTest, TheSelectionDecidesWhatCanBeDone) {
  // remove, off, on, up, down, put in, take out, delete group
  const struct {
    std::vector<int> rows;
    const char* group;
    std::array<bool, 8> can;
  } cases[] = {
      {{}, ql::kAllBooks, {false, false, false, false, false, false, false, false}},
      {{}, "Travel", {false, false, false, false, false, false, false, true}},
      {{0}, ql::kAllBooks, {true, true, false, false, true, false, false, false}},
      {{3}, ql::kAllBooks, {true, true, false, true, false, false, false, false}},
      {{2}, "Travel", {true, false, true, true, true, true, false, true}},
      {{1, 0}, "Travel", {true, true, false, false, false, false, true, true}},
      {{1, 2}, "Travel", {true, true, true, false, false, true, true, true}},
      {{9, -1}, ql::kAllBooks, {false, false, false, false, false, false, false, false}},
      {{0}, "No such group", {true, true, false, false, true, false, false, false}},
  };
  for (const auto& c : cases) {
    const ql::LibraryActions a = ql::ActionsFor(iLibrary, c.rows, c.group);
    const std::array<bool, 8> got = {a.remove,   a.switchOff,  a.switchOn,       a.moveUp,
                                     a.moveDown, a.putInGroup, a.takeOutOfGroup, a.deleteGroup};
    EXPECT_EQ(got, c.can) << c.group << " rows " << c.rows.size();
  }
}

TEST_F(LibraryActionsTest, SpaceAndGroupCommandsChangeTheSelectedBooks) {
  // A mixed selection goes off; then all of it on again.
  EXPECT_TRUE(ql::ToggleSelected(iLibrary, {1, 2}));
  EXPECT_EQ(Enabled(), (std::vector<bool>{true, false, false, true}));
  EXPECT_TRUE(ql::ToggleSelected(iLibrary, {2, 1, 2}));
  EXPECT_EQ(Enabled(), (std::vector<bool>{true, true, true, true}));
  EXPECT_FALSE(ql::ToggleSelected(iLibrary, {}));
  EXPECT_FALSE(ql::ToggleSelected(iLibrary, {7}));

  EXPECT_TRUE(ql::SetSelectedInGroup(iLibrary, {1, 3}, "Travel", true));
  EXPECT_EQ(iLibrary.BooksOf("Travel"),
            (std::vector<std::string>{iPaths[0], iPaths[1], iPaths[3]}));
  EXPECT_FALSE(ql::SetSelectedInGroup(iLibrary, {1, 3}, "Travel", true));
  EXPECT_TRUE(ql::SetSelectedInGroup(iLibrary, {0, 2}, "Travel", false));
  EXPECT_EQ(iLibrary.BooksOf("Travel"), (std::vector<std::string>{iPaths[1], iPaths[3]}));
}

TEST(BookProber, ProbesEveryBookAndDropsASupersededRound) {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  std::vector<std::string> asked;
  ql::BookProber prober([&](const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex);
    asked.push_back(path);
    changed.notify_all();
    // The first book holds the worker until the test lets it go.
    changed.wait(lock, [&] { return open || path != "/1.ql"; });
    ql::BookStatus status;
    status.title = path.substr(1);
    status.state = ql::BookState::kOpen;
    return status;
  });
  prober.Start({"/1.ql", "/2.ql"});
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return !asked.empty(); });
  }
  EXPECT_TRUE(prober.Busy());
  // A new round while the first book is being probed: its answer is dropped.
  prober.Start({"/3.ql", "/4.ql"});
  {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
  }
  changed.notify_all();
  std::vector<std::string> found;
  while (prober.Busy())
    for (const auto& [path, status] : prober.Take()) {
      EXPECT_EQ(status.title, path.substr(1));
      found.push_back(path);
    }
  EXPECT_EQ(found, (std::vector<std::string>{"/3.ql", "/4.ql"}));
  EXPECT_EQ(asked, (std::vector<std::string>{"/1.ql", "/3.ql", "/4.ql"}));
  // Stopped, it has nothing left, whether the book was probed or not.
  prober.Start({"/5.ql", "/6.ql"});
  prober.Stop();
  EXPECT_FALSE(prober.Busy());
  EXPECT_TRUE(prober.Take().empty());
}

}  // namespace
