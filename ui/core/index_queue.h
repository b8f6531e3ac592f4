// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The word indexes of the library's books, made in the background: which
// book is taken up next and what the window says of each (IndexQueue), and
// the one worker thread that checks and builds them one book at a time at
// the lowest priority (BackgroundIndexer).
//
// Every book of the library is checked (is its index there?); the books that
// are on and have none are built, the open book first, then in library
// order. A book that leaves the library has its index removed, unless
// another book of the library has the same content (and so the same index).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "index_build.h"

namespace ql {

enum class IndexState {
  kUnknown,   // not checked yet
  kMissing,   // checked: no index (built when the book is on)
  kIndexing,  // being built now
  kIndexed,
  kFailed,  // the book could not be indexed (reason)
};

struct BookIndexState {
  IndexState state = IndexState::kUnknown;
  int percent = 0;  // while indexing
  std::string reason;
};

// The Library window's words for a book's index: "Indexed", "Indexing 42%",
// "Not indexed", or "" while it is not known.
std::string IndexStateText(const BookIndexState& state);

struct IndexBook {
  std::string path;
  bool on = true;
};

class IndexQueue {
 public:
  struct Job {
    enum class Kind { kCheck, kBuild, kRemove };
    Kind kind = Kind::kCheck;
    std::string path;
  };

  // The library's books, in library order. Books that joined are checked;
  // those that left have their index removed. True when the book being
  // built is no longer to be built (it left, or was switched off): the
  // caller stops that build.
  bool SetBooks(const std::vector<IndexBook>& books);
  // The book on show: its index is built before the others'.
  void SetFirst(std::string path);
  // Looks at the book's index again (a search found none where one was).
  void Recheck(const std::string& path);

  // The next job, which becomes the current one: removals first, then the
  // checks in library order, then the builds of the books that are on.
  std::optional<Job> Next();
  // How the current job ended. indexPath is where the book's index is or
  // would be ("" when its content could not be read, with the reason).
  void Checked(const std::string& indexPath, bool present, const std::string& reason);
  void Progress(int percent);
  void Built(const std::string& indexPath, fts::BuildResult result, const std::string& reason);
  void Removed();
  // Whether the book that left shares its index with a book still there.
  bool SharesIndex(const std::string& path) const;

  BookIndexState StateOf(const std::string& path) const;
  const std::map<std::string, BookIndexState>& States() const { return iStates; }
  // The status bar's line: "Indexing TITLE: 42%" while a book is built.
  std::string StatusText() const;
  // Nothing to do and nothing under way.
  bool Idle() const;
  // Counts every change of what the window shows.
  uint64_t Changes() const { return iChanges; }

 private:
  bool Wanted(const std::string& path) const;

  std::vector<IndexBook> iBooks;
  std::map<std::string, BookIndexState> iStates;
  std::map<std::string, std::string> iIndexPaths;  // as checked or built
  std::vector<std::string> iToRemove;
  std::string iFirst;
  std::optional<Job> iCurrent;
  uint64_t iChanges = 0;
};

// Runs the queue on a worker thread of its own, niced to the lowest
// priority. The window takes a look whenever it likes.
class BackgroundIndexer {
 public:
  // What the worker does with a book; the real ones by default, the tests'
  // own in the tests.
  struct Work {
    // The path of the book's index, "" with the reason when the book's
    // content cannot be read.
    std::function<std::string(const std::string& book, std::string& reason)> indexPath;
    std::function<bool(const std::string& indexPath)> exists;
    std::function<std::string(const std::string& book, const fts::BuildOptions& options,
                              std::string& reason, fts::BuildResult* result)>
        ensure;
    std::function<bool(const std::string& book)> remove;
  };
  static Work RealWork();

  explicit BackgroundIndexer(Work work = RealWork());
  // Stops a build under way (its runs are kept: the next start goes on).
  ~BackgroundIndexer();
  BackgroundIndexer(const BackgroundIndexer&) = delete;
  BackgroundIndexer& operator=(const BackgroundIndexer&) = delete;

  void SetBooks(const std::vector<IndexBook>& books);
  void SetFirst(std::string path);
  void Recheck(const std::string& path);
  // Stops the build under way and the worker, and returns when it is done.
  void Stop();

  struct Look {
    std::string status;
    std::map<std::string, BookIndexState> states;
    uint64_t changes = 0;
    bool idle = true;
  };
  Look Take() const;
  BookIndexState StateOf(const std::string& path) const;
  uint64_t Changes() const;
  bool Idle() const;

 private:
  class Progress;
  void Run();

  Work iWork;
  mutable std::mutex iMutex;
  std::condition_variable iWake;
  IndexQueue iQueue;
  std::atomic<bool> iCancel{false};
  bool iQuit = false;
  std::thread iThread;
};

}  // namespace ql
