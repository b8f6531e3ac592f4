// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Spelling suggestions for the lookup line. When no subject starts with the
// typed text, the window offers the subjects nearest to it by spelling: at
// most ten, best first, ties in book order, compared with the folding the
// subject order uses (ASCII A-Z as a-z, every other byte as itself).
//
// A SpellingSuggester gives a first list at once, from the subjects around
// the place where the text would sort, and then scans the whole book on a
// worker thread with a reader of its own, publishing better lists as it
// finds them until the list is final.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "book_reader.h"

namespace ql {

// The most suggestions a list holds.
inline constexpr size_t kMaxSuggestions = 10;
// Longer texts get no suggestions: nobody misspells a subject that long, and
// the work per subject grows with the text.
inline constexpr size_t kMaxSpellingText = 64;
// Subjects further away than this are never suggested, so that no subject,
// however long, costs more than a bounded amount of work.
inline constexpr int kMaxSpellingDistance = 64;
// Subjects the first list looks at, at most.
inline constexpr int kQuickBudget = 4096;

// The edit distance between a text and a subject: the fewest single-byte
// insertions, deletions and substitutions, and swaps of two adjacent bytes,
// that turn one into the other. A swap counts one ("teh" is one step from
// "the"), since it is the commonest slip at a keyboard. No stretch is edited
// twice: once swapped, a pair is not touched again, so "ca" to "abc" takes
// three steps. Bytes are compared after folding ASCII A-Z to a-z.
//
// For a book whose text is UTF-8 the steps are on characters instead, each
// compared by its simple case folding ("Дом" is no step from "дом", one from
// "дым"); a byte that starts no character is a unit of its own.
//
// A matcher holds its text folded and its work rows, so one is made per text
// and reused for every subject; it is not shared between threads.
class SpellingMatcher {
 public:
  explicit SpellingMatcher(std::string_view text, bool unicode = false);

  // The distance to subject when it is at most bound, else bound + 1. It
  // gives up as soon as the bound is sure to be exceeded: a subject whose
  // length differs by more than bound costs nothing, and the others stop at
  // the first row of the table that lies wholly beyond it.
  int Distance(std::string_view subject, int bound);

  const std::string& FoldedText() const { return iText; }
  bool Unicode() const { return iUnicode; }

 private:
  std::string iText;
  bool iUnicode = false;
  std::vector<uint32_t> iUnits;         // UTF-8: the text's folded units
  std::vector<uint32_t> iSubjectUnits;  // UTF-8: the subject's, reused
  std::vector<int> iRows;               // three rows of a cell per unit of the text and one
};

// SpellingMatcher(a, unicode).Distance(b, bound), for a single comparison.
int SpellingDistance(std::string_view a, std::string_view b, int bound, bool unicode = false);

// The folded units of UTF-8 text the matcher compares: each character's
// simple case folding, and 0x110000 plus the byte for a byte that starts no
// character.
std::vector<uint32_t> FoldedUnits(std::string_view text);

struct Suggestion {
  int record = -1;
  std::string subject;  // as stored
  int distance = 0;
  bool operator==(const Suggestion&) const = default;
};

// What the window shows: the best list known so far for one text.
struct SpellingSnapshot {
  std::string text;                     // the text these suggestions are for
  std::vector<Suggestion> suggestions;  // best first, ties in book order
  // Every subject has been looked at: this is the final list.
  bool complete = false;
  // The worker is still scanning; false once it finished, was cancelled or
  // could not start (then complete stays false and the list stays as it is).
  bool running = false;
  // Changes whenever text, suggestions or complete change (never goes back).
  // Progress and running are live values that change without it.
  uint64_t generation = 0;
  // Progress of the whole-book scan: subjects looked at, of total.
  int scanned = 0;
  int total = 0;
};

// Suggestions for the lookup line of one open book.
//
// How the window drives it (all calls on the window's thread):
// - Make one suggester per open book, with a factory that opens a separate
//   reader of that book. When the book changes, destroy it and make a new one.
// - When the lookup text changes and FindSubject(MatchPrefix, text) finds
//   nothing, call Start(text, reader) with the window's own reader. It returns
//   the first list at once (bounded work: a few thousand subjects at most) and
//   starts the whole-book scan on a worker thread.
// - Either poll Current() from a timer and redraw when its generation moved
//   (show scanned/total as progress while running), or pass an update
//   callback, which runs on the worker thread after each new list: it must
//   only hand a notice over to the window's thread (a queued call) and never
//   wait for that thread, which may be joining the worker at that moment.
// - When the text changes again, call Start again: the old scan stops, and
//   nothing of it is published after the new text's first list. When a
//   subject does start with the text, or the drop-down closes, call Cancel().
// Destroying the suggester cancels and joins a running scan.
//
// The scans keep the subjects they read in memory (up to 64 MB of subjects,
// some 15 MB for a million words of ten letters), so that the scans for the
// next letters typed read memory instead of decoding the book again (a scan
// cancelled early leaves what it read for the next); this is also why a
// changed book needs a new suggester.
class SpellingSuggester {
 public:
  // Opens a reader of the same book for the worker's own use (a BookReader
  // is not thread-safe, and the window's one stays on its thread). Called on
  // the thread that calls Start, the first time a scan is needed, and again
  // only after it failed (returned nothing or a reader that is not open). The
  // suggester keeps the reader and uses it on its worker thread only.
  using OpenReader = std::function<std::unique_ptr<BookReader>()>;
  // Called on the worker thread after each list the worker publishes (the
  // final one included); not called for the list Start returns, nor for
  // progress alone, which only Current() shows.
  using Updated = std::function<void()>;

  struct Options {
    int quickBudget = kQuickBudget;  // subjects the first list may look at
  };

  explicit SpellingSuggester(OpenReader openReader, Updated updated = {});
  SpellingSuggester(OpenReader openReader, Updated updated, Options options);
  ~SpellingSuggester();
  SpellingSuggester(const SpellingSuggester&) = delete;
  SpellingSuggester& operator=(const SpellingSuggester&) = delete;

  // Stops any scan, makes the first list for text from uiReader (the window's
  // reader, used on this thread only, not kept), publishes it and returns it,
  // then starts the whole-book scan unless the first list already covered
  // every subject. An empty text, a text longer than kMaxSpellingText or a
  // closed book give an empty, complete list.
  SpellingSnapshot Start(std::string text, BookReader& uiReader);

  // Stops the scan and waits for the worker to end, which it does at once:
  // it looks for the stop before every subject. Nothing more is published
  // afterwards; the last list stays readable. Called from the update
  // callback (the worker thread), it only asks the scan to stop, and the
  // worker ends as soon as the callback returns.
  void Cancel();

  // The latest list; safe to call at any time, from any thread.
  SpellingSnapshot Current() const;

 private:
  void Scan(uint64_t serial, SpellingMatcher matcher, std::vector<Suggestion> seed);
  // Records the scan's progress and, when given, a better list or the end
  // of the scan, unless another Start came since. True when a list or the
  // end was published.
  bool Publish(uint64_t serial, const std::vector<Suggestion>* list, bool complete, int scanned);
  void Join();
  // Keeps subject index in memory when it is the next one and room is left.
  void CacheSubject(int index, std::string_view subject);

  OpenReader iOpenReader;
  Updated iUpdated;
  Options iOptions;
  std::unique_ptr<BookReader> iScanReader;  // used by the worker only while it runs
  // The subjects from 0 on that a scan has read, back to back, and where
  // each ends: the next scan reads them here instead of decoding the book
  // again. Worker only, like the reader.
  std::string iCached;
  std::vector<uint32_t> iCachedEnds;
  bool iCaching = true;
  std::thread iWorker;
  std::atomic<bool> iStop{false};

  mutable std::mutex iMutex;  // guards iSnapshot and iSerial
  SpellingSnapshot iSnapshot;
  uint64_t iSerial = 0;  // which Start the snapshot belongs to
};

}  // namespace ql
