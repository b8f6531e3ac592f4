// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "library_search.h"

#include <algorithm>
#include <utility>

#include "book_text.h"

namespace ql {

std::vector<std::string> ScopeBooks(const Library& library, SearchScope scope,
                                    std::string_view group, const std::string& openBook) {
  switch (scope) {
    case SearchScope::kThisBook:
      if (openBook.empty()) return {};
      return {openBook};
    case SearchScope::kGroup:
      return library.BooksOf(group);
    case SearchScope::kLibrary:
      break;
  }
  return library.BooksOf(kAllBooks);
}

LibraryFtsSearch::LibraryFtsSearch(int threads, SearchBook search) : iSearch(std::move(search)) {
  if (threads <= 0)
    threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  for (int i = 0; i < threads; ++i) iThreads.emplace_back([this] { Work(); });
}

LibraryFtsSearch::~LibraryFtsSearch() {
  Cancel();
  {
    std::lock_guard<std::mutex> lock(iMutex);
    iQuit = true;
  }
  iWake.notify_all();
  for (std::thread& thread : iThreads) thread.join();
}

uint64_t LibraryFtsSearch::Start(std::vector<std::string> books, fts::FtsQuery query, size_t limit,
                                 OnAnswer onAnswer, OnDone onDone) {
  uint64_t generation = 0;
  {
    // No answer of the search before is handed on once this returns.
    std::lock_guard<std::mutex> deliver(iDeliver);
    std::lock_guard<std::mutex> lock(iMutex);
    if (iCancel) *iCancel = true;
    iCancel = std::make_shared<std::atomic<bool>>(false);
    generation = ++iGeneration;
    iBooks = std::move(books);
    iQuery = std::move(query);
    iLimit = limit;
    iNext = iAnswered = 0;
    iOnAnswer = std::move(onAnswer);
    iOnDone = std::move(onDone);
  }
  iWake.notify_all();
  return generation;
}

void LibraryFtsSearch::Cancel() {
  std::lock_guard<std::mutex> deliver(iDeliver);
  std::lock_guard<std::mutex> lock(iMutex);
  if (iCancel) *iCancel = true;
  ++iGeneration;
  iBooks.clear();
  iNext = iAnswered = 0;
  iOnAnswer = nullptr;
  iOnDone = nullptr;
}

void LibraryFtsSearch::Work() {
  std::unique_lock<std::mutex> lock(iMutex);
  for (;;) {
    iWake.wait(lock, [this] { return iQuit || iNext < iBooks.size(); });
    if (iQuit) return;
    const size_t book = iNext++;
    const uint64_t generation = iGeneration;
    const std::string path = iBooks[book];
    const fts::FtsQuery query = iQuery;
    const size_t limit = iLimit;
    const std::shared_ptr<std::atomic<bool>> cancel = iCancel;
    lock.unlock();
    fts::BookAnswer answer = iSearch(path, query, limit, cancel.get());
    {
      std::lock_guard<std::mutex> deliver(iDeliver);
      lock.lock();
      const bool current = generation == iGeneration;
      const bool last = current && ++iAnswered == iBooks.size();
      const OnAnswer onAnswer = current ? iOnAnswer : nullptr;
      const OnDone onDone = last ? iOnDone : nullptr;
      lock.unlock();
      if (onAnswer) onAnswer(generation, book, std::move(answer));
      if (onDone) onDone(generation);
    }
    lock.lock();
  }
}

WordPlace PlaceOfWord(BookReader& reader, int record, std::string_view word) {
  if (!reader.IsOpen() || record < 0 || record >= reader.GetSubjectCount() || word.empty())
    return {};
  // A Windows-1252 book cannot hold a word with a character it lacks.
  const std::optional<std::string> inForm = TextFromUtf8(word, FormOf(reader));
  if (!inForm) return {};
  const std::string term = reader.FoldTerm(*inForm);
  // The text from its start: the subject heads the page whatever is marked.
  int at = record;
  int pos = 0;
  if (reader.Search(SearchSubjectsAndText, term, at, pos, true, true) != kSearchHit ||
      at != record || pos < 0)
    return {};
  return {pos, static_cast<int>(term.size())};
}

}  // namespace ql
