// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "index_queue.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

#include "fts_search.h"
#include "index_store.h"
#include "local_files.h"
#include "progress.h"
#include "user_texts.h"

namespace ql {

std::string IndexStateText(const BookIndexState& state) {
  switch (state.state) {
    case IndexState::kUnknown:
      return {};
    case IndexState::kIndexing:
      return Fill(translate("core", "Indexing %1%"), {std::to_string(state.percent)});
    case IndexState::kIndexed:
      return translate("core", "Indexed");
    case IndexState::kMissing:
    case IndexState::kFailed:
      break;
  }
  return translate("core", "Not indexed");
}

bool IndexQueue::SetBooks(const std::vector<IndexBook>& books) {
  std::set<std::string> now;
  for (const IndexBook& book : books) now.insert(book.path);
  for (const IndexBook& book : iBooks)
    if (!now.count(book.path)) {
      iStates.erase(book.path);
      if (std::find(iToRemove.begin(), iToRemove.end(), book.path) == iToRemove.end())
        iToRemove.push_back(book.path);
    }
  // A book that comes back keeps its index.
  for (const IndexBook& book : books)
    iToRemove.erase(std::remove(iToRemove.begin(), iToRemove.end(), book.path), iToRemove.end());
  iBooks = books;
  for (const IndexBook& book : iBooks) iStates.try_emplace(book.path);
  ++iChanges;
  return iCurrent && iCurrent->kind == Job::Kind::kBuild && !Wanted(iCurrent->path);
}

void IndexQueue::SetFirst(std::string path) {
  iFirst = std::move(path);
}

void IndexQueue::Recheck(const std::string& path) {
  const auto it = iStates.find(path);
  if (it == iStates.end() || it->second.state == IndexState::kIndexing) return;
  // The job under way for it (a check) ends as it will; the book is looked
  // at again after it.
  it->second = BookIndexState{};
  ++iChanges;
}

bool IndexQueue::Wanted(const std::string& path) const {
  return std::any_of(iBooks.begin(), iBooks.end(),
                     [&](const IndexBook& book) { return book.on && book.path == path; });
}

std::optional<IndexQueue::Job> IndexQueue::Next() {
  iCurrent.reset();
  if (!iToRemove.empty()) {
    iCurrent = Job{Job::Kind::kRemove, iToRemove.front()};
    iToRemove.erase(iToRemove.begin());
    return iCurrent;
  }
  for (const IndexBook& book : iBooks)
    if (iStates[book.path].state == IndexState::kUnknown) {
      iCurrent = Job{Job::Kind::kCheck, book.path};
      return iCurrent;
    }
  const auto missing = [this](const std::string& path) {
    const auto it = iStates.find(path);
    return it != iStates.end() && it->second.state == IndexState::kMissing && Wanted(path);
  };
  std::string build;
  if (missing(iFirst)) {
    build = iFirst;
  } else {
    for (const IndexBook& book : iBooks)
      if (missing(book.path)) {
        build = book.path;
        break;
      }
  }
  if (build.empty()) return std::nullopt;
  iStates[build] = {IndexState::kIndexing, 0, {}};
  ++iChanges;
  iCurrent = Job{Job::Kind::kBuild, build};
  return iCurrent;
}

void IndexQueue::Checked(const std::string& indexPath, bool present, const std::string& reason) {
  if (!iCurrent) return;
  const std::string path = iCurrent->path;
  iCurrent.reset();
  const auto it = iStates.find(path);
  if (it == iStates.end() || it->second.state != IndexState::kUnknown) return;
  if (!indexPath.empty()) iIndexPaths[path] = indexPath;
  if (indexPath.empty())
    it->second = {IndexState::kFailed, 0, reason};
  else
    it->second = {present ? IndexState::kIndexed : IndexState::kMissing, 0, {}};
  ++iChanges;
}

void IndexQueue::Progress(int percent) {
  if (!iCurrent || iCurrent->kind != Job::Kind::kBuild) return;
  const auto it = iStates.find(iCurrent->path);
  percent = std::clamp(percent, 0, 100);
  if (it == iStates.end() || it->second.percent == percent) return;
  it->second.percent = percent;
  ++iChanges;
}

void IndexQueue::Built(const std::string& indexPath, fts::BuildResult result,
                       const std::string& reason) {
  if (!iCurrent) return;
  const std::string path = iCurrent->path;
  iCurrent.reset();
  const auto it = iStates.find(path);
  ++iChanges;
  if (it == iStates.end()) return;
  if (!indexPath.empty()) iIndexPaths[path] = indexPath;
  if (result == fts::BuildResult::kBuilt)
    it->second = {IndexState::kIndexed, 100, {}};
  else if (result == fts::BuildResult::kCancelled)
    it->second = {IndexState::kMissing, 0, {}};
  else
    it->second = {IndexState::kFailed, 0, reason};
}

void IndexQueue::Removed() {
  if (iCurrent) iIndexPaths.erase(iCurrent->path);
  iCurrent.reset();
}

bool IndexQueue::SharesIndex(const std::string& path) const {
  const auto it = iIndexPaths.find(path);
  if (it == iIndexPaths.end()) return false;
  return std::any_of(iBooks.begin(), iBooks.end(), [&](const IndexBook& book) {
    const auto other = iIndexPaths.find(book.path);
    return book.path != path && other != iIndexPaths.end() && other->second == it->second;
  });
}

BookIndexState IndexQueue::StateOf(const std::string& path) const {
  const auto it = iStates.find(path);
  return it == iStates.end() ? BookIndexState{} : it->second;
}

std::string IndexQueue::StatusText() const {
  if (!iCurrent || iCurrent->kind != Job::Kind::kBuild) return {};
  return Fill(translate("core", "Indexing %1: %2%"),
              {FileNameOf(iCurrent->path), std::to_string(StateOf(iCurrent->path).percent)});
}

bool IndexQueue::Idle() const {
  if (iCurrent || !iToRemove.empty()) return false;
  return std::none_of(iBooks.begin(), iBooks.end(), [this](const IndexBook& book) {
    const IndexState state = StateOf(book.path).state;
    return state == IndexState::kUnknown || (state == IndexState::kMissing && book.on);
  });
}

// The build's steps through the book, as the queue's percent.
class BackgroundIndexer::Progress final : public ProgressSink {
 public:
  explicit Progress(BackgroundIndexer& owner) : iOwner(owner) {}
  void SetRange(int64_t lower, int64_t upper) override {
    iLower = lower;
    iUpper = upper;
    Tell();
  }
  void SetPos(int64_t pos) override {
    iPos = pos;
    Tell();
  }
  void Step() override {
    ++iPos;
    Tell();
  }

 private:
  void Tell() {
    const int64_t span = iUpper - iLower;
    const int percent =
        span <= 0 ? 0 : static_cast<int>(std::clamp<int64_t>((iPos - iLower) * 100 / span, 0, 100));
    if (percent == iLast) return;
    iLast = percent;
    std::lock_guard<std::mutex> lock(iOwner.iMutex);
    iOwner.iQueue.Progress(percent);
  }

  BackgroundIndexer& iOwner;
  int64_t iLower = 0, iUpper = 0, iPos = 0;
  int iLast = -1;
};

BackgroundIndexer::Work BackgroundIndexer::RealWork() {
  Work work;
  work.indexPath = [](const std::string& book, std::string& reason) {
    const std::string key = fts::BookContentKey(book, reason);
    return key.empty() ? std::string() : fts::IndexPathForKey(fts::IndexFolder(), key);
  };
  work.exists = [](const std::string& indexPath) {
    std::error_code error;
    return std::filesystem::is_regular_file(indexPath, error);
  };
  work.ensure = [](const std::string& book, const fts::BuildOptions& options, std::string& reason,
                   fts::BuildResult* result) {
    return fts::EnsureIndex(book, options, reason, result);
  };
  work.remove = [](const std::string& book) { return fts::RemoveIndexFor(book); };
  return work;
}

BackgroundIndexer::BackgroundIndexer(Work work) : iWork(std::move(work)) {
  iThread = std::thread([this] { Run(); });
}

BackgroundIndexer::~BackgroundIndexer() {
  Stop();
}

void BackgroundIndexer::Stop() {
  {
    std::lock_guard<std::mutex> lock(iMutex);
    iQuit = true;
    iCancel = true;
  }
  iWake.notify_all();
  if (iThread.joinable()) iThread.join();
}

void BackgroundIndexer::SetBooks(const std::vector<IndexBook>& books) {
  {
    std::lock_guard<std::mutex> lock(iMutex);
    if (iQueue.SetBooks(books)) iCancel = true;
  }
  iWake.notify_all();
}

void BackgroundIndexer::SetFirst(std::string path) {
  {
    std::lock_guard<std::mutex> lock(iMutex);
    iQueue.SetFirst(std::move(path));
  }
  iWake.notify_all();
}

void BackgroundIndexer::Recheck(const std::string& path) {
  {
    std::lock_guard<std::mutex> lock(iMutex);
    iQueue.Recheck(path);
  }
  iWake.notify_all();
}

BackgroundIndexer::Look BackgroundIndexer::Take() const {
  std::lock_guard<std::mutex> lock(iMutex);
  return {iQueue.StatusText(), iQueue.States(), iQueue.Changes(), iQueue.Idle()};
}

BookIndexState BackgroundIndexer::StateOf(const std::string& path) const {
  std::lock_guard<std::mutex> lock(iMutex);
  return iQueue.StateOf(path);
}

uint64_t BackgroundIndexer::Changes() const {
  std::lock_guard<std::mutex> lock(iMutex);
  return iQueue.Changes();
}

bool BackgroundIndexer::Idle() const {
  std::lock_guard<std::mutex> lock(iMutex);
  return iQueue.Idle();
}

void BackgroundIndexer::Run() {
  // The lowest priority, for this thread alone: indexing waits for
  // everything else the machine does.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
  std::unique_lock<std::mutex> lock(iMutex);
  for (;;) {
    std::optional<IndexQueue::Job> job;
    iWake.wait(lock, [&] { return iQuit || (job = iQueue.Next()).has_value(); });
    if (iQuit) return;
    iCancel = false;
    lock.unlock();
    std::string reason;
    switch (job->kind) {
      case IndexQueue::Job::Kind::kRemove: {
        lock.lock();
        const bool shared = iQueue.SharesIndex(job->path);
        lock.unlock();
        if (!shared) iWork.remove(job->path);
        lock.lock();
        iQueue.Removed();
        break;
      }
      case IndexQueue::Job::Kind::kCheck: {
        const std::string at = iWork.indexPath(job->path, reason);
        const bool present = !at.empty() && iWork.exists(at);
        lock.lock();
        iQueue.Checked(at, present, reason);
        break;
      }
      case IndexQueue::Job::Kind::kBuild: {
        Progress progress(*this);
        fts::BuildOptions options;
        options.cancel = &iCancel;
        options.progress = &progress;
        fts::BuildResult result = fts::BuildResult::kFailed;
        const std::string at = iWork.ensure(job->path, options, reason, &result);
        lock.lock();
        iQueue.Built(at, result, reason);
        break;
      }
    }
  }
}

}  // namespace ql
