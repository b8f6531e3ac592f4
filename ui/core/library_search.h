// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Search All Books without the widgets: the books a scope takes in, the
// search of each of them on worker threads with its answer handed on as it
// comes, and where a hit's word stands in its record, so that the record is
// shown with the word marked as a Find hit is.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "book_reader.h"
#include "fts_search.h"
#include "library.h"

namespace ql {

enum class SearchScope { kThisBook, kGroup, kLibrary };

// The books searched, in library order: the open book (none when no book is
// open), the group's books that are on, or every book that is on.
std::vector<std::string> ScopeBooks(const Library& library, SearchScope scope,
                                    std::string_view group, const std::string& openBook);

// Searches books side by side on a few worker threads, each book on one of
// them with a reader of its own.
class LibraryFtsSearch {
 public:
  using SearchBook =
      std::function<fts::BookAnswer(const std::string& path, const fts::FtsQuery& query,
                                    size_t limit, const std::atomic<bool>* cancel)>;
  // book: its place in the list given to Start.
  using OnAnswer = std::function<void(uint64_t generation, size_t book, fts::BookAnswer answer)>;
  using OnDone = std::function<void(uint64_t generation)>;

  // threads 0: as many as the machine has cores, at most four.
  explicit LibraryFtsSearch(int threads = 0, SearchBook search = fts::SearchBookFile);
  // Cancels the search under way and joins the workers.
  ~LibraryFtsSearch();
  LibraryFtsSearch(const LibraryFtsSearch&) = delete;
  LibraryFtsSearch& operator=(const LibraryFtsSearch&) = delete;

  // Searches each book for query, at most limit hits each; onAnswer as each
  // book answers, onDone once all have. Both run on a worker thread, one
  // call at a time, and never after a later Start or Cancel has returned:
  // a new search supersedes the one under way, which is told to stop.
  // They must not call this search.
  uint64_t Start(std::vector<std::string> books, fts::FtsQuery query, size_t limit,
                 OnAnswer onAnswer, OnDone onDone);
  void Cancel();

 private:
  void Work();

  SearchBook iSearch;
  std::mutex iMutex;    // the work
  std::mutex iDeliver;  // held while an answer is handed on
  std::condition_variable iWake;
  uint64_t iGeneration = 0;
  std::vector<std::string> iBooks;
  fts::FtsQuery iQuery;
  size_t iLimit = 0;
  size_t iNext = 0, iAnswered = 0;
  std::shared_ptr<std::atomic<bool>> iCancel;
  OnAnswer iOnAnswer;
  OnDone iOnDone;
  bool iQuit = false;
  std::vector<std::thread> iThreads;
};

struct WordPlace {
  int pos = -1;  // in the record's text; -1: not in it (the subject alone holds it)
  int length = -1;
};

// Where word (folded UTF-8, as a hit gives it) first stands in record's
// text as a whole word, searched from the text's start as Find searches.
// The book may be of either text form.
WordPlace PlaceOfWord(BookReader& reader, int record, std::string_view word);

}  // namespace ql
