// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The document: everything of the one book a window shows. It owns the
// BookReader for the whole run (opening another book reuses it), knows
// whether a book is open, its path and title, and whether start-up has
// finished, and holds the history of the records shown, the page file they
// are written to and the options they are rendered with.
// Only the document marks a book open or closed; the flows tell it when the
// reader has opened one or failed to.
#pragma once

#include <string>

#include "book_reader.h"
#include "history.h"
#include "page_file.h"

namespace ql {

// Path and title of the document while no book is open.
inline constexpr const char* kFailedPath = "c:\\Failed";
inline constexpr const char* kUntitled = "Untitled";
// Window title pieces: "NAME - Quillary".
inline constexpr const char* kAppTitle = "Quillary";

class Document {
 public:
  // pageName: the name of the page file this document's records are shown
  // through (each window of the process has its own).
  explicit Document(std::string pageName = kPageFileName) : iPage(std::move(pageName)) {}
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  BookReader& Reader() { return iReader; }
  const BookReader& Reader() const { return iReader; }

  // Opens the book at file with the reader and, when that works, marks it
  // open under shownPath (the path the user knows it by; the file may be a
  // copy). Returns the reader's result; on failure nothing is marked.
  OpenResult Open(const std::string& file, int mode, const std::string& shownPath);
  // The reader has the book at path open: the document shows it, the title
  // is the file's name and the last failure is forgotten. The history goes
  // on: its steps name their books.
  void MarkOpen(const std::string& path);
  // No book: the path "c:\Failed" and the title "Untitled".
  void MarkClosed();
  // An open failed for reason: no book, and the reason kept for the status
  // bar and the start-up message.
  void MarkFailed(std::string reason);

  bool IsOpen() const { return iBookOpen; }
  const std::string& Path() const { return iPath; }
  const std::string& Title() const { return iTitle; }
  // Why the last open failed; empty after one that worked.
  const std::string& LastFailure() const { return iLastFailure; }
  // What the status bar tells once the last book opened is on show (that it
  // opened read-only because another Quillary writes it); empty: nothing.
  const std::string& OpenNotice() const { return iOpenNotice; }
  void SetOpenNotice(std::string notice) { iOpenNotice = std::move(notice); }
  // Start-up has shown the main window.
  bool Initialised() const { return iInitialised; }
  void SetInitialised(bool on = true) { iInitialised = on; }

  // "NAME - Quillary", or "Untitled - Quillary" with no book.
  std::string WindowTitle() const;
  // Rows the subject list shows: the subject count while a book is open.
  int RowCount() const { return iBookOpen ? iReader.GetSubjectCount() : 0; }
  // Writes the bookmarks back; false (with the reason) when that failed.
  bool SaveBookmarks(std::string& reason);

  // Back and Forward over the records shown, in this book and the others.
  ql::History& History() { return iHistory; }
  const ql::History& History() const { return iHistory; }
  PageFile& Page() { return iPage; }
  const PageFile& Page() const { return iPage; }
  // The typeface and size records are rendered in.
  const RenderOptions& Options() const { return iOptions; }
  void SetOptions(RenderOptions options) { iOptions = std::move(options); }

 private:
  BookReader iReader;
  bool iBookOpen = false;
  bool iInitialised = false;
  std::string iPath = kFailedPath;
  std::string iTitle = kUntitled;
  std::string iLastFailure;
  std::string iOpenNotice;
  ql::History iHistory;
  PageFile iPage;
  RenderOptions iOptions;
};

}  // namespace ql
