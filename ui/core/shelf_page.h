// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// What the window keeps of a lookup over the group: the sections in library
// order as they arrive, the "Found in" rows, when to paint the page again,
// and spelling offers gathered from every book.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "book_text.h"
#include "shelf.h"
#include "spelling.h"

namespace ql {

// A spelling offer of the group: a subject of one of its books.
struct ShelfSuggestion {
  int book = -1;
  Suggestion suggestion;  // its subject as the book stores it
  std::string text;       // the subject in UTF-8, as the group shows and looks it up
  bool operator==(const ShelfSuggestion&) const = default;
};

// The sections of the lookup on show, in library order.
class ShelfAnswers {
 public:
  // A new lookup: the sections of older ones are dropped from now on.
  void Start(uint64_t generation);
  // Keeps a section of the lookup on show; false for one of another lookup.
  bool Add(uint64_t generation, LookupSection section);
  bool Finish(uint64_t generation);
  uint64_t Generation() const { return iGeneration; }
  bool Done() const { return iDone; }
  const std::vector<LookupSection>& Sections() const { return iSections; }
  // The books with a record, in library order (a failed book has none).
  int FoundCount() const;
  // The "Found in" list's rows: a book's title, or its title and why it
  // failed; row i is Sections()[i].
  std::vector<std::string> FoundInRows() const;

 private:
  uint64_t iGeneration = 0;
  bool iDone = false;
  std::vector<LookupSection> iSections;
};

// What the status line says of the answers: how many books have the text
// and, when some could not be asked, how many; empty while none answered.
std::string FoundNote(const ShelfAnswers& answers);
// The paragraph a page of sections opens with once every book answered and
// none has text (the books that failed follow it); empty otherwise. text and
// the paragraph are in form, the page's.
std::string NoneFoundLead(const ShelfAnswers& answers, std::string_view text,
                          TextForm form = TextForm::kCp1252);

// When the page is painted again as sections arrive: the first change of a
// lookup at once, later ones together, at most once an interval. A page
// slow to paint (many sections) waits longer: painting takes no more than a
// quarter of the time while answers come in, so that the books' answers are
// not held up by paints of pages that are soon out of date.
class RepaintPacer {
 public:
  static constexpr int64_t kSlowPaintFactor = 3;
  explicit RepaintPacer(int64_t intervalMs = 15) : iInterval(intervalMs), iGap(intervalMs) {}
  // A new lookup: its first change paints at once.
  void Reset() { iPainted = false, iPending = false; }
  // A change came at nowMs. Returns 0 to paint now, a delay in ms to paint
  // after, or -1 when a paint is already due.
  int64_t Changed(int64_t nowMs);
  // The page was painted at nowMs; the paint took tookMs.
  void Painted(int64_t nowMs, int64_t tookMs = 0);

 private:
  int64_t iInterval;
  int64_t iGap;  // from the last paint to the next
  bool iPainted = false;
  bool iPending = false;
  int64_t iLastPaint = 0;
};

// Merges per-book offers (perBook[i] is book i's, best first) into the
// group's: best distance first, ties in library order, then in book order;
// the same subject from two books once, from the first (ASCII letters
// folded, whatever form the books hold text in); at most kMaxSuggestions.
// forms[i] is book i's text form (Windows-1252 where forms is shorter).
std::vector<ShelfSuggestion> MergeSuggestions(const std::vector<std::vector<Suggestion>>& perBook,
                                              const std::vector<TextForm>& forms = {});

// A book's nearest subjects to text (in the book's form), best first, ties
// in book order (at most kMaxSuggestions); stops (with what it found) when
// stop is set.
std::vector<Suggestion> NearestSubjects(BookReader& reader, std::string_view text,
                                        const std::atomic<bool>& stop);

// Spelling offers over the shelf: every book is scanned on its own worker
// and the lists merged once all answered. A new Start or Cancel drops the
// running one.
class ShelfSpelling {
 public:
  using Done = std::function<void(uint64_t serial, std::vector<ShelfSuggestion>)>;
  explicit ShelfSpelling(Shelf& shelf) : iShelf(shelf) {}
  ~ShelfSpelling();
  // text is UTF-8, as typed: each book is scanned with it in its own form,
  // and a book that cannot hold it offers nothing. done runs on a worker
  // thread: it must only hand the list over.
  uint64_t Start(std::string text, Done done);
  void Cancel();

 private:
  struct Run;
  Shelf& iShelf;
  std::shared_ptr<Run> iRun;
};

}  // namespace ql
