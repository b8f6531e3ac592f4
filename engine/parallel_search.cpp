// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "parallel_search.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <system_error>

namespace ql {

namespace {

// Ranges a thread has on average: enough that threads whose ranges took
// longer are helped out by the others, few enough that the blocks two
// neighbouring ranges share (the record stream's) are decoded rarely twice.
constexpr int kRangesPerThread = 8;
// How far the threads of ForEachHit may run ahead of the hits passed on,
// in ranges a thread.
constexpr int kRangesAheadPerThread = 2;

// The thread count asked for, within what makes sense: each thread holds a
// view (a descriptor and its block buffers).
int ThreadCount(int threads) {
  return std::clamp(threads, 1, kMaxSearchThreads);
}

using Views = std::vector<std::unique_ptr<BookReader>>;

constexpr size_t kCacheLine = 64;

// One view of owner for each of count threads; false when one cannot be made.
bool MakeViews(const BookReader& owner, int count, Views& views) {
  views.clear();
  for (int i = 0; i < count; ++i) {
    auto view = std::make_unique<BookReader>();
    if (view->OpenView(owner) != OpenResult::kOk) {
      views.clear();
      return false;
    }
    views.push_back(std::move(view));
  }
  return true;
}

// Starts one thread a view running work; stops at the first thread that
// cannot be started. Returns how many run.
size_t StartThreads(Views& views, std::vector<std::thread>& threads,
                    const std::function<void(BookReader&)>& work) {
  for (const std::unique_ptr<BookReader>& view : views) {
    try {
      threads.emplace_back([&work, reader = view.get()] { work(*reader); });
    } catch (const std::system_error&) {
      break;
    }
  }
  return threads.size();
}

}  // namespace

int DefaultSearchThreads() {
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

struct ParallelSearch::State {
  SearchQuery query;
  int startRecord = -1;
  int startPos = -1;
  int endRecord = 0;
  std::vector<int> starts;                // where each range starts
  std::vector<SearchOutcome> hits;        // each range's hit, written by its thread
  std::vector<std::vector<int>> damaged;  // each range's damaged records, the same
  Views views;
  std::function<void(BookReader&)> work;
  std::atomic<int> nextRange{0};
  std::atomic<int> firstHitRange{INT_MAX};
  std::atomic<bool> cancel{false};
  const std::atomic<bool>* callerCancel = nullptr;  // the caller's own flag, if any
  // Written while the threads run, so kept off the line of the flags they
  // read for every record.
  alignas(kCacheLine) std::atomic<int64_t> searched{0};
  std::atomic<int> running{0};

  bool Cancelled() const {
    return cancel.load() || (callerCancel != nullptr && callerCancel->load());
  }
  int RangeEnd(size_t k) const { return k + 1 < starts.size() ? starts[k + 1] : endRecord; }
  void Search(BookReader& view);
};

namespace {

// Stops the range's walk once the search is cancelled or an earlier range
// has its hit, and counts each record taken up once. The count is passed on
// to the shared counter in batches: threads adding to one counter for every
// record would keep taking its cache line from each other.
class RangeWatch final : public SearchWatch {
 public:
  RangeWatch(const std::atomic<bool>& cancel, const std::atomic<bool>* callerCancel,
             const std::atomic<int>& firstHitRange, int range, std::atomic<int64_t>& searched)
      : iCancel(cancel),
        iCallerCancel(callerCancel),
        iFirstHitRange(firstHitRange),
        iRange(range),
        iSearched(searched) {}
  ~RangeWatch() { Flush(); }
  RangeWatch(const RangeWatch&) = delete;
  RangeWatch& operator=(const RangeWatch&) = delete;
  bool Continue(int record) override {
    if (iCancel.load(std::memory_order_relaxed) ||
        (iCallerCancel != nullptr && iCallerCancel->load(std::memory_order_relaxed)) ||
        iFirstHitRange.load(std::memory_order_relaxed) < iRange)
      return false;
    if (record != iLast) {
      iLast = record;
      if (++iUncounted == kCountBatch) Flush();
    }
    return true;
  }

 private:
  const std::atomic<bool>& iCancel;
  const std::atomic<bool>* iCallerCancel;
  const std::atomic<int>& iFirstHitRange;
  const int iRange;
  void Flush() {
    iSearched.fetch_add(iUncounted, std::memory_order_relaxed);
    iUncounted = 0;
  }
  static constexpr int64_t kCountBatch = 64;
  std::atomic<int64_t>& iSearched;
  int iLast = -1;
  int64_t iUncounted = 0;
};

}  // namespace

void ParallelSearch::State::Search(BookReader& view) {
  const int ranges = static_cast<int>(starts.size());
  for (;;) {
    // Ranges are taken in order, so a range after the first hit so far is
    // never needed, and neither is any taken later.
    const int k = nextRange.fetch_add(1);
    if (k >= ranges || k > firstHitRange.load() || Cancelled()) break;
    const size_t slot = static_cast<size_t>(k);
    int record = k == 0 ? startRecord : starts[slot];
    int pos = k == 0 ? startPos : -1;
    RangeWatch watch(cancel, callerCancel, firstHitRange, k, searched);
    const int result = view.FindMatchUpTo(query, record, pos, RangeEnd(slot), &watch);
    damaged[slot] = view.TakeDamagedRecords();
    if (result == kSearchHit) {
      hits[slot] = {kSearchHit, record, pos};
      int best = firstHitRange.load();
      while (k < best && !firstHitRange.compare_exchange_weak(best, k)) {
      }
    }
  }
  running.fetch_sub(1, std::memory_order_release);
}

ParallelSearch::ParallelSearch() = default;

ParallelSearch::~ParallelSearch() {
  Cancel();
  Wait();
}

OpenResult ParallelSearch::Start(const BookReader& owner, const SearchQuery& query, int record,
                                 int pos, int threads, const std::atomic<bool>* cancel) {
  if (iState) {
    Cancel();
    Wait();
  }
  iState = std::make_unique<State>();
  State& s = *iState;
  s.query = query;
  s.startRecord = record;
  s.startPos = pos;
  s.callerCancel = cancel;
  s.endRecord = owner.GetSubjectCount();
  const int count = ThreadCount(threads);
  s.starts = owner.SplitForSearch(record, count * kRangesPerThread);
  if (s.starts.empty()) return OpenResult::kOk;  // nothing to search: Done, no hit
  s.hits.resize(s.starts.size());
  s.damaged.resize(s.starts.size());
  if (!MakeViews(owner, std::min(count, static_cast<int>(s.starts.size())), s.views)) {
    s.starts.clear();
    return OpenResult::kFailed;
  }
  s.running = static_cast<int>(s.views.size());
  s.work = [&s](BookReader& view) { s.Search(view); };
  const size_t started = StartThreads(s.views, iThreads, s.work);
  // Threads that did not start leave their ranges to those that did.
  s.running.fetch_sub(static_cast<int>(s.views.size() - started));
  if (started == 0) {
    s.starts.clear();
    return OpenResult::kFailed;
  }
  return OpenResult::kOk;
}

bool ParallelSearch::Done() const {
  return !iState || iState->running.load(std::memory_order_acquire) == 0;
}

int64_t ParallelSearch::RecordsSearched() const {
  return iState ? iState->searched.load(std::memory_order_relaxed) : 0;
}

int64_t ParallelSearch::RecordsToSearch() const {
  if (!iState || iState->starts.empty()) return 0;
  return iState->endRecord - iState->startRecord;
}

double ParallelSearch::Progress() const {
  const int64_t total = RecordsToSearch();
  if (Done() || total <= 0) return 1.0;
  return std::min(1.0, static_cast<double>(RecordsSearched()) / static_cast<double>(total));
}

void ParallelSearch::Cancel() {
  if (iState) iState->cancel.store(true);
}

int ParallelSearch::RangeCount() const {
  return iState ? static_cast<int>(iState->starts.size()) : 0;
}

std::vector<int> ParallelSearch::DamagedRecords() const {
  std::vector<int> records;
  if (!iState || iState->Cancelled()) return records;
  const State& s = *iState;
  // The ranges up to the one with the first hit were searched to its answer;
  // those after it were dropped.
  const size_t first = static_cast<size_t>(
      std::min<int>(s.firstHitRange.load(), static_cast<int>(s.damaged.size()) - 1));
  for (size_t k = 0; k <= first && k < s.damaged.size(); ++k)
    records.insert(records.end(), s.damaged[k].begin(), s.damaged[k].end());
  return records;
}

SearchOutcome ParallelSearch::Wait() {
  for (std::thread& thread : iThreads) thread.join();
  iThreads.clear();
  if (!iState) return {};
  State& s = *iState;
  s.views.clear();  // closes the views' descriptors
  const SearchOutcome unchanged{kSearchNone, s.startRecord, s.startPos};
  if (s.Cancelled()) return {kSearchCancelled, s.startRecord, s.startPos};
  if (s.starts.empty()) return unchanged;
  const int first = s.firstHitRange.load();
  if (first != INT_MAX) return s.hits[static_cast<size_t>(first)];
  return {kSearchNone, s.endRecord, -1};
}

int64_t ForEachHit(const BookReader& owner, const SearchQuery& query, int threads,
                   const std::function<bool(const SearchHit&)>& onHit, std::vector<int>* damaged) {
  if (damaged) damaged->clear();
  const int count = ThreadCount(threads);
  const std::vector<int> starts = owner.SplitForSearch(0, count * kRangesPerThread);
  if (starts.empty()) return 0;
  const int ranges = static_cast<int>(starts.size());
  const int endRecord = owner.GetSubjectCount();
  Views views;
  if (!MakeViews(owner, std::min(count, ranges), views)) return -1;

  struct Slot {
    std::vector<SearchHit> hits;
    std::vector<int> damaged;
    bool done = false;
  };
  std::vector<Slot> slots(starts.size());
  std::mutex mutex;
  std::condition_variable changed;
  int nextRange = 0;
  int passedOn = 0;  // ranges whose hits onHit has had
  const int ahead = kRangesAheadPerThread * static_cast<int>(views.size());
  std::atomic<bool> stop{false};
  const std::atomic<int> noHitRange{INT_MAX};
  std::atomic<int64_t> searched{0};

  const std::function<void(BookReader&)> work = [&](BookReader& view) {
    for (;;) {
      int k;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock,
                     [&] { return stop || nextRange >= ranges || nextRange < passedOn + ahead; });
        if (stop || nextRange >= ranges) return;
        k = nextRange++;
      }
      const size_t slot = static_cast<size_t>(k);
      const int end = k + 1 < ranges ? starts[slot + 1] : endRecord;
      std::vector<SearchHit> hits;
      RangeWatch watch(stop, nullptr, noHitRange, k, searched);
      int record = starts[slot], pos = -1;
      while (record < end && view.FindMatchUpTo(query, record, pos, end, &watch) == kSearchHit) {
        hits.push_back({record, pos, view.GetSubject(record)});
        if (query.mode == SearchSubjects) {
          ++record;
          pos = -1;
        } else {
          ++pos;
        }
      }
      std::vector<int> seen = view.TakeDamagedRecords();
      {
        std::lock_guard lock(mutex);
        slots[slot].hits = std::move(hits);
        slots[slot].damaged = std::move(seen);
        slots[slot].done = true;
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> running;
  // However this function is left (onHit may throw), the threads are
  // stopped and waited for before what they use goes.
  const std::function<void()> stopAndJoin = [&] {
    {
      std::lock_guard lock(mutex);
      stop = true;
    }
    changed.notify_all();
    for (std::thread& thread : running) thread.join();
    running.clear();
  };
  struct OnExit {
    const std::function<void()>& run;
    ~OnExit() { run(); }
  } joinOnExit{stopAndJoin};
  if (StartThreads(views, running, work) == 0) return -1;

  int64_t passed = 0;
  for (int k = 0; k < ranges && !stop; ++k) {
    std::vector<SearchHit> hits;
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return slots[static_cast<size_t>(k)].done; });
      hits = std::move(slots[static_cast<size_t>(k)].hits);
      if (damaged) {
        const std::vector<int>& seen = slots[static_cast<size_t>(k)].damaged;
        damaged->insert(damaged->end(), seen.begin(), seen.end());
      }
    }
    for (const SearchHit& hit : hits) {
      if (!onHit(hit)) {
        stop = true;
        break;
      }
      ++passed;
    }
    {
      std::lock_guard lock(mutex);
      passedOn = k + 1;
    }
    changed.notify_all();
  }
  return passed;
}

}  // namespace ql
