// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The user's library: the books Quillary reads together. Every book in the
// books folder and in the folders the user added, the books the user added by
// name and the books opened from the command line or the file manager, in the
// user's order, each on or off, and named groups of them. The list lives in
// one plain text file that the window and qlbook both read and write.
//
// The file, UTF-8 (paths are bytes), one record a line, fields split by TAB:
//   quillary-library 1                    the first line: the format
//   folder<TAB>PATH                       a folder the user added
//   book<TAB>PATH<TAB>on|off<TAB>added|found|opened
//   group<TAB>NAME                        a group (possibly empty)
//   group<TAB>NAME<TAB>PATH               a book in the group
//   removed<TAB>PATH                      a book in a folder the user took out
// Reading takes what it can: a line it does not understand (a relative path,
// a NUL byte, a line too long, a second record of one book) is skipped and
// counted, and a file it cannot read gives an empty library with the reason.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace ql {

// The group that is always there and holds every book.
inline constexpr const char* kAllBooks = "All books";
// The first line of a library file.
inline constexpr const char* kLibraryFormatLine = "quillary-library 1";
// What a library file is read up to: beyond it the rest is left unread.
inline constexpr int64_t kLibraryReadLimit = int64_t{16} << 20;
// The longest line taken; a longer one is skipped.
inline constexpr size_t kLibraryLineLimit = 16384;
// The most groups a library holds; further ones are not made.
inline constexpr size_t kLibraryGroupLimit = 1000;
// The most folders a library holds.
inline constexpr size_t kLibraryFolderLimit = 1000;
// How deep a folder's subfolders are searched for books.
inline constexpr int kFolderDepthLimit = 8;

// $XDG_CONFIG_HOME/quillary/library (else ~/.config/quillary/library).
std::string LibraryFilePath();
// $XDG_DATA_HOME/quillary/books (else ~/.local/share/quillary/books).
std::string BooksFolder();

// path made absolute (against the current directory) and normalised: no
// "." or ".." steps, no doubled or trailing slash. Links are not followed.
std::string NormalisePath(std::string_view path);

enum class BookState { kUnknown, kOpen, kOff, kFailed };

// What probing a book found: opened read-only (header and tables only) and
// closed again.
struct BookStatus {
  std::string title;  // the file's name, as Document names it
  int subjects = 0;
  int64_t size = 0;
  BookState state = BookState::kUnknown;
  std::string reason;  // why it failed, in the words the window tells an open failure
};

// Never throws; a failed state carries its reason.
BookStatus ProbeBook(const std::string& path);

// "open", "off" or "failed: REASON": how qlbook library names a state.
std::string BookStateText(const BookStatus& status);

struct LibraryBook {
  std::string path;
  bool enabled = true;
  bool fromFolder = false;  // found in the books folder or a folder the user added
  bool opened = false;      // opened from the command line or the file manager
};

class Library {
 public:
  // A missing file gives an empty library (no reason); bad lines are skipped.
  static Library Load(const std::string& file);
  // Writes the library to file atomically, making its folder as needed;
  // false with the reason.
  bool Save(const std::string& file, std::string& reason) const;
  // The library from a file's bytes, as Load reads them; and the bytes Save
  // writes.
  static Library Parse(std::string_view bytes);
  std::string Text() const;

  // Why Load could not read the file ("" when it read it, or it was missing).
  const std::string& LoadFailure() const { return iLoadFailure; }
  // Lines Load skipped.
  int SkippedLines() const { return iSkipped; }

  // Searches the books folder and the user's folders: new .ql files join at
  // the end in name order, books found in folders that are gone (or no longer
  // hold them) leave, and opened books whose file is gone leave. Books the
  // user added by name stay, missing or not.
  void Rescan();
  void Rescan(const std::string& booksFolder);

  const std::vector<LibraryBook>& Books() const { return iBooks; }  // library order
  const std::vector<std::string>& Folders() const { return iFolders; }
  // The book at path (normalised); null when it is not in the library.
  const LibraryBook* Find(const std::string& path) const;

  // Each returns false when nothing changed (already there, not there, a
  // path with a TAB or a line end, kLibraryFolderLimit folders already).
  // Paths are normalised first. A folder's books join, and a removed
  // folder's books leave, at the next Rescan.
  bool AddFolder(const std::string& dir);
  bool RemoveFolder(const std::string& dir);
  // A book added by name stays when its folder goes; one in the library
  // already becomes added by name.
  bool AddBook(const std::string& path);
  // The book leaves every group too; one that a folder holds stays out when
  // the folder is searched again, until it is added by name or opened.
  bool RemoveBook(const std::string& path);
  // A book opened from the command line or the file manager joins, once.
  void AddOpened(const std::string& path);
  bool SetEnabled(const std::string& path, bool on);
  // Moves the book steps places (negative: up), stopping at either end;
  // false when it did not move.
  bool Move(const std::string& path, int steps);

  // kAllBooks first, then the user's groups in the order they were made.
  std::vector<std::string> GroupNames() const;
  // Names are unique, not empty, without TAB, CR or LF; kAllBooks is taken;
  // at most kLibraryGroupLimit groups.
  bool AddGroup(const std::string& name);
  bool RemoveGroup(const std::string& name);  // never kAllBooks
  bool SetInGroup(const std::string& group, const std::string& path, bool in);
  // Whether the book is in the group (every book is in kAllBooks).
  bool InGroup(std::string_view group, const std::string& path) const;
  // The group's books that are on, in library order; none for an unknown group.
  std::vector<std::string> BooksOf(std::string_view group) const;

 private:
  struct Group {
    std::string name;
    std::set<std::string> paths;
  };
  Group* FindGroup(std::string_view name);
  const Group* FindGroup(std::string_view name) const;
  int IndexOf(const std::string& path) const;
  void Drop(size_t index);
  void ParseLine(std::string_view line);

  std::vector<LibraryBook> iBooks;
  std::vector<std::string> iFolders;
  std::vector<Group> iGroups;
  std::set<std::string> iRemoved;          // books of folders the user took out
  std::unordered_set<std::string> iPaths;  // every book's path, for a quick look
  std::string iLoadFailure;
  int iSkipped = 0;
};

}  // namespace ql
