// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The shelf: a reader for every book of the group the window looks words up
// in, opened on first need (read-only: the header and block tables) and kept
// open while the book stays on the shelf.
//
// Work runs on a small pool of worker threads, never on the caller's thread
// and never one thread per book. Each book has its own reader and its own
// queue of work, run by one worker at a time, so a reader is never used by two
// threads at once and a slow book holds up no more than one worker: the other
// books' work goes on meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "book_reader.h"
#include "book_text.h"

namespace ql {

struct ShelfBook {
  std::string path;
  std::string title;
};

// One book's answer to a lookup: the record found, or why the book failed.
struct LookupSection {
  int book = -1;  // its place on the shelf (library order)
  std::string path, title;
  int index = -1;
  std::string subject;
  bool failed = false;
  std::string reason;  // why the book did not open, as the window tells it
  // The book's text is UTF-8 (a version 2002 book): subject, record and
  // page are; else they are Windows-1252.
  bool unicode = false;
  std::string record;  // the record's stored markup
  std::string html;    // the record's page as BookReader::RenderRecord writes it
};

// Where a link leads: a record of a book of the shelf.
struct LinkPlace {
  int book = -1;
  int index = -1;
};

class Shelf {
 public:
  struct Options {
    int threads = 0;  // workers; 0: as many as the machine has cores, at most four
    RenderOptions render;
    // Keep readers open between lookups (the window); a single lookup (a
    // command) closes each book once it answered, so that the next one
    // reuses its memory.
    bool keepReaders = true;
    // Render each section's page; without it a section has its record only.
    bool renderPages = true;
    // Called on the worker before each book answers a lookup (tests slow a
    // book down with it).
    std::function<void(const std::string& path)> beforeLookup;
    // Called on the worker before a book's reader is opened.
    std::function<void(const std::string& path)> beforeOpen;
  };

  Shelf();
  explicit Shelf(Options options);
  ~Shelf();  // cancels and joins the workers
  Shelf(const Shelf&) = delete;
  Shelf& operator=(const Shelf&) = delete;

  // Library order; readers of books that stay on the shelf stay open, those
  // of books that leave are closed once their work is done.
  void SetBooks(std::vector<ShelfBook> books);
  const std::vector<ShelfBook>& Books() const;
  // The face and size sections are rendered in, from the next lookup on.
  void SetRenderOptions(RenderOptions options);

  // Looks key up (FindSubject folding; mode MatchWhole or MatchPrefix) in
  // every book; onSection for each book that has it or failed, as each
  // answers; onDone once all answered. Both run on a worker thread, one call
  // at a time, and never after a later LookUp or Cancel has returned: a new
  // lookup supersedes the running one at once. They must not call the shelf.
  // Book first (the one on show) is asked before the others, so that its
  // answer, the likeliest, comes soonest.
  uint64_t LookUp(std::string key, int mode, std::function<void(uint64_t, LookupSection)> onSection,
                  std::function<void(uint64_t)> onDone, int first = -1);
  // The same lookup of text the user typed (UTF-8): each book is asked with
  // it in its own form, and a Windows-1252 book that cannot hold it (a
  // character the code page lacks) answers that it has none.
  uint64_t LookUpText(std::string text, int mode,
                      std::function<void(uint64_t, LookupSection)> onSection,
                      std::function<void(uint64_t)> onDone, int first = -1);
  void Cancel();
  // Cancels the lookup of that generation if it is still the latest: one
  // who shares the shelf lets its own lookup go and leaves a later one be.
  void Cancel(uint64_t generation);

  // Where a link of book fromBook leads: the subject matched whole in that
  // book first, then in the other books in library order, else record 0 of
  // fromBook (as a link in one book does). Waits for the workers.
  LinkPlace ResolveLink(std::string_view key, int fromBook);
  // The same for a key in UTF-8 (a link on a page of sections in that form),
  // each book asked with it in its own form.
  LinkPlace ResolveLinkText(std::string_view text, int fromBook);
  // The record's page of one book, rendered on that book's worker; empty when
  // the book or the record is not there. Waits for the workers.
  LookupSection Section(int book, int index);

  // Runs work with book's reader on that book's worker, after the work
  // posted to it before; reader is null when the book did not open. Returns
  // at once. The work must not call the shelf.
  void Post(int book, std::function<void(BookReader* reader)> work);

  // Books whose reader is open now.
  int OpenReaders() const;

 private:
  uint64_t Start(std::string key, bool keyIsUtf8, int mode,
                 std::function<void(uint64_t, LookupSection)> onSection,
                 std::function<void(uint64_t)> onDone, int first);
  LinkPlace Resolve(std::string_view key, bool keyIsUtf8, int fromBook);

  struct Impl;
  std::unique_ptr<Impl> iImpl;
};

// The anchor name of a book's section on the page of sections.
std::string SectionAnchor(int book);

// A section's heading: a quiet band across the page holding its book's
// title, at the text's own size (a dark theme recolours the band).
inline constexpr std::string_view kSectionBandColor = "#e8e2d4";
inline constexpr std::string_view kSectionBandOpen =
    "<p style=\"background-color:#e8e2d4; margin-top:14px; margin-bottom:4px\"><b>";
inline constexpr std::string_view kSectionBandClose = "</b></p>";

// The one page of sections: sections in library order (those that failed
// tell their reason), each headed by its book's title in a band, with the
// anchor SectionAnchor gives, then the record as its page shows it, its links made
// section links of its book (links.h). A lead, when given, is a paragraph
// (text of the page's form) before the first section.
//
// The page is in form: Windows-1252 (sections of UTF-8 books then have
// their characters the code page lacks as character references), or UTF-8,
// declared so in its head, with each section's text turned into UTF-8 from
// its own book's form; its links then name their subjects in UTF-8, to be
// looked for with Shelf::ResolveLinkText.
std::string WriteSectionsPage(const std::vector<LookupSection>& sections,
                              const RenderOptions& options, std::string_view lead = {},
                              TextForm form = TextForm::kCp1252);

}  // namespace ql
