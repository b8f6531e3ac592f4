// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Search of one book on several threads. The records from the start point to
// the book's end are split into ranges (more ranges than threads, so that a
// thread that finishes early takes the next one); each thread searches the
// ranges it takes, in record order, on a read-only view of the book of its
// own (BookReader::OpenView), with the walk of FindMatch bounded to the
// range. The answer is exactly the one FindMatch gives on the owner's reader:
// once a range has a hit, the ranges after it are dropped and those before it
// are searched to their end, and the earliest hit wins.
//
// Legacy books are searched the same way (their views copy the header the
// owner holds). When no view can be made (no descriptor left), Start and
// ForEachHit say so and the caller walks the book itself with FindMatch.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "book_reader.h"

namespace ql {

// The threads a search uses when the caller leaves it open: one a core.
int DefaultSearchThreads();
// A search uses at most this many threads, whatever it is asked for.
inline constexpr int kMaxSearchThreads = 256;

struct SearchOutcome {
  // kSearchHit, kSearchNone, or kSearchCancelled when Cancel was called.
  int result = kSearchNone;
  // The hit; with kSearchNone where FindMatch leaves the position (the
  // book's record count and -1, or the start unchanged when it was not a
  // record of the book); with kSearchCancelled the start, unchanged.
  int record = -1;
  int pos = -1;
};

// FindMatch in the background, for the window. The thread that owns the
// book's reader starts it and goes on with its work; the search runs on
// threads of its own and never touches the owner's reader again, so the
// owner stays usable meanwhile. A search is best cancelled before owner
// closes its book: its views would read on in the file that was closed, and
// its answer would belong to that book. Unlike FindMatch, it leaves
// the owner's current record as it was; the window loads the hit's record
// when it shows it.
//
//   ParallelSearch search;
//   if (search.Start(reader, query, record, pos, DefaultSearchThreads()) != OpenResult::kOk)
//     ...  // walk with reader.FindMatch instead
//   // poll from a timer: search.Progress() for a bar, search.Done() to finish
//   search.Cancel();                      // from any thread, e.g. on Escape
//   SearchOutcome hit = search.Wait();    // once Done(), returns at once
//   if (hit.result == kSearchHit) { record = hit.record; pos = hit.pos; ... }
//
// Start, Wait and the destructor belong to one thread (the owner's); Done,
// Progress, the counts and Cancel may be called from any thread at any time
// but while Start runs. Destroying a running search cancels it and waits for
// its threads.
class ParallelSearch {
 public:
  ParallelSearch();
  ~ParallelSearch();
  ParallelSearch(const ParallelSearch&) = delete;
  ParallelSearch& operator=(const ParallelSearch&) = delete;

  // Starts FindMatch(query, record, pos) over owner's book on up to threads
  // threads (at least one, at most kMaxSearchThreads, no more than there are
  // ranges). A search still running is cancelled and waited for first.
  // cancel, when given, is a flag of the caller's that cancels the search as
  // Cancel does once it is set (already set: nothing is searched); it must
  // outlive the search. Returns OpenResult::kOk once the search runs, else
  // OpenResult::kFailed: no view of the book could be made or no thread started
  // (owner.LastOpenFailure is not changed; nothing runs and Wait gives
  // kSearchNone at the start).
  OpenResult Start(const BookReader& owner, const SearchQuery& query, int record, int pos,
                   int threads, const std::atomic<bool>* cancel = nullptr);

  // True when the search has ended (Wait will not block), and before any.
  bool Done() const;
  // Records taken up so far, and the records from the start to the book's
  // end. A search that finds a hit early ends with fewer searched.
  int64_t RecordsSearched() const;
  int64_t RecordsToSearch() const;
  // RecordsSearched over RecordsToSearch, 1 once Done.
  double Progress() const;
  // Asks the threads to stop; they do before their next record.
  void Cancel();
  // Waits for the threads and gives the answer. A search that was cancelled
  // answers kSearchCancelled, even when its threads had ended meanwhile.
  SearchOutcome Wait();

  // How many ranges the running or last search was split into.
  int RangeCount() const;

  // After Wait: the records FindMatch on the owner's reader would have found
  // damaged on its way to the answer (see BookReader::TakeDamagedRecords),
  // in index order; empty for a search that was cancelled.
  std::vector<int> DamagedRecords() const;

 private:
  struct State;
  std::unique_ptr<State> iState;
  std::vector<std::thread> iThreads;
};

// One hit of ForEachHit, with the record's subject.
struct SearchHit {
  int record = -1;
  int pos = -1;
  std::string subject;
};

// Every hit of query from the book's first record on, walking on after each
// hit as Find Next does (subjects only: with the next record; else in the
// same record from the hit's position + 1), on up to threads threads (as for
// ParallelSearch::Start). Each range collects its hits in order; the hits
// reach onHit in the order the plain walk finds them, on the calling thread,
// range by range as soon as a range and all before it are done. Threads run
// only a few ranges ahead of the hits passed on, which bounds the memory
// held. onHit returning false stops the search. Returns the number of hits
// passed to onHit, or -1 when no view of the book could be made or no thread
// started (nothing was passed on; the caller walks the book itself).
// damaged, when given, receives the records the plain walk would have found
// damaged (see BookReader::TakeDamagedRecords), in index order.
int64_t ForEachHit(const BookReader& owner, const SearchQuery& query, int threads,
                   const std::function<bool(const SearchHit&)>& onHit,
                   std::vector<int>* damaged = nullptr);

}  // namespace ql
