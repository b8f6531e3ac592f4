// The document: the one object the window talks to. It owns the BookReader
// for the whole run (opening another book reuses it) and knows whether a book
// is open, its path and title, and whether start-up has finished.
#pragma once

#include <string>

#include "book_reader.h"

namespace ql {

// Path and title of the document while no book is open.
inline constexpr const char* kFailedPath = "c:\\Failed";
inline constexpr const char* kUntitled = "Untitled";
// Window title pieces: "NAME - Quillary".
inline constexpr const char* kAppTitle = "Quillary";

class Document {
 public:
  Document() = default;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  BookReader& Reader() { return iReader; }
  const BookReader& Reader() const { return iReader; }

  // No book: the path "c:\Failed" and the title "Untitled".
  void SetNoBook();
  // A book is open at path: the title is the file's name.
  void SetBook(const std::string& path);
  // "NAME - Quillary", or "Untitled - Quillary" with no book.
  std::string WindowTitle() const;
  // Rows the subject list shows: the subject count while a book is open.
  int RowCount() const { return iBookOpen ? iReader.GetSubjectCount() : 0; }
  // Writes the bookmarks back; false (with the reason) when that failed.
  bool SaveBookmarks(std::string& reason);

  bool iBookOpen = false;
  bool iInitialised = false;  // start-up has shown the main window
  std::string iPath = kFailedPath;
  std::string iTitle = kUntitled;
  // Why the last open failed, for the status bar and start-up message.
  std::string iLastFailure;
  // What the status bar tells once the last book opened is on show (that it
  // opened read-only because another Quillary writes it); empty: nothing.
  std::string iOpenNotice;

 private:
  BookReader iReader;
};

}  // namespace ql
