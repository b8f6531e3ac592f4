// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Find and Find Next: the query and the search position, kept across books,
// where a search starts, the offer to restart from the first record, and
// showing the hit.
#pragma once

#include <functional>

#include "book_reader.h"
#include "book_text.h"
#include "desktop.h"
#include "document.h"

namespace ql {

inline constexpr const char* kRestartQuestion = "Restart search from first record?";
inline constexpr const char* kNotFoundCaption = "Not found";
inline constexpr const char* kNoMatch = "No match found in whole file";

struct FindState {
  SearchQuery iQuery;  // terms as typed until a search runs, then lower case (folded)
  // The form the terms are in: the book's they were last typed or searched
  // for in. Another book takes them in its own form.
  TextForm iForm = TextForm::kCp1252;
  bool iWholeWords = true;
  bool iSubjectOnly = false;
  int iSearchRecord = 0;  // record of the last match; where the next search starts
  int iSearchPos = -1;    // -1: the start of the record (its subject)
};

// How a search is carried out. The window searches on worker threads and
// keeps painting; the plain runner walks the book at once on the caller's
// thread. done gets kSearchHit (with the hit's record and position),
// kSearchNone or kSearchCancelled, and is called exactly once unless the
// runner is destroyed first.
class SearchRunner {
 public:
  using Done = std::function<void(int result, int record, int pos)>;
  virtual ~SearchRunner() = default;
  virtual void Start(Document& doc, const SearchQuery& query, int record, int pos, Done done) = 0;
};

class PlainSearchRunner final : public SearchRunner {
 public:
  void Start(Document& doc, const SearchQuery& query, int record, int pos, Done done) override;
};

// Find (Ctrl+F): the dialog, then a search from the selected subject on.
// Find Next (F3): on from the last match, unless the selection moved away.
// The state changes only when a search ends: one that is cancelled leaves it
// as it was, terms and position alike. With runner, the flow may end after
// these return; state must then outlive it.
void RunFind(Document& doc, Desktop& desktop, FindState& state, SearchRunner& runner);
void RunFindNext(Document& doc, Desktop& desktop, FindState& state, SearchRunner& runner);
// Both at once, on the caller's thread.
void RunFind(Document& doc, Desktop& desktop, FindState& state);
void RunFindNext(Document& doc, Desktop& desktop, FindState& state);

}  // namespace ql
