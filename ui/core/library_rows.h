// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// What the Library window shows and allows, without the widgets: one row per
// book of the library (title, subjects, size, state), which commands the
// selected rows allow, and the states of the books probed on a worker thread
// so that a library of hundreds of books never holds the window up.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "library.h"

namespace ql {

// A size as people read it: "0 bytes", "1 byte", "980 bytes", "1.5 KB",
// "12 MB", "3.2 GB" (units of 1024; one decimal below ten).
std::string ReadableSize(int64_t bytes);

// A count with thousands separated by commas: "1,234,567" (below 0: "0").
std::string GroupedCount(int64_t count);

struct LibraryRow {
  std::string path;
  std::string title;      // the probed title, else the file's name
  std::string subjects;   // empty until the book was probed and opened
  std::string size;       // empty until probed
  std::string state;      // "Open", "Off", "Failed: REASON" or "Checking..."
  std::string index;      // its word index: IndexStateText
  std::string indexNote;  // why it could not be indexed
  bool enabled = true;
  bool failed = false;
};

// The rows in library order. A book switched off reads "Off" whatever its
// probe found; a book not probed yet reads "Checking...".
std::vector<LibraryRow> MakeLibraryRows(const std::vector<LibraryBook>& books,
                                        const std::map<std::string, BookStatus>& probed);

// The commands the selected rows (indexes into Books(), any order) allow, and
// with a group chosen (not "All books"), putting them in it or taking them out.
struct LibraryActions {
  bool remove = false;
  bool switchOff = false;  // some selected book is on
  bool switchOn = false;   // some selected book is off
  bool moveUp = false;     // one book selected, not the first
  bool moveDown = false;   // one book selected, not the last
  bool putInGroup = false;
  bool takeOutOfGroup = false;
  bool deleteGroup = false;  // a group other than "All books" is chosen
};
LibraryActions ActionsFor(const Library& library, const std::vector<int>& rows,
                          std::string_view group);

// Space over the selection: every selected book goes off when any is on,
// else they all go on. Returns whether anything changed.
bool ToggleSelected(Library& library, const std::vector<int>& rows);

// Puts the selected books in the group or takes them out; whether anything
// changed.
bool SetSelectedInGroup(Library& library, const std::vector<int>& rows, const std::string& group,
                        bool in);

// Probes books one after another on a worker thread. The window takes what
// has been found so far whenever it likes; a new Start supersedes the last.
class BookProber {
 public:
  using Probe = std::function<BookStatus(const std::string&)>;
  explicit BookProber(Probe probe = ProbeBook);
  ~BookProber();
  BookProber(const BookProber&) = delete;
  BookProber& operator=(const BookProber&) = delete;

  void Start(std::vector<std::string> paths);
  // The books probed since the last Take, in the order they were probed.
  std::vector<std::pair<std::string, BookStatus>> Take();
  // True while books are left to probe or results are left to take.
  bool Busy() const;
  // Stops probing and drops what was not taken; returns once the worker is
  // idle.
  void Stop();

 private:
  void Work();

  Probe iProbe;
  mutable std::mutex iMutex;
  std::condition_variable iWake;
  std::vector<std::string> iQueue;
  size_t iNext = 0;
  uint64_t iGeneration = 0;
  bool iProbing = false;
  bool iQuit = false;
  std::vector<std::pair<std::string, BookStatus>> iFound;
  std::thread iThread;
};

}  // namespace ql
