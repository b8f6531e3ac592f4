// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The page file the record view loads: "qltempfi.htm" in a directory of this
// process's own inside a private directory of the user's. A page is written
// beside it and renamed over it, so the view never reads half a page and
// nobody can point the name somewhere else; a second window (another
// process) has pages of its own, so neither ever shows the other's.
#pragma once

#include <functional>
#include <string>

#include "byte_sink.h"

namespace ql {

inline constexpr const char* kPageFileName = "qltempfi.htm";

// The private directory: $XDG_RUNTIME_DIR/quillary, else quillary-UID under
// the temporary directory. Created mode 0700 when missing; refused (empty
// result, reason set) when it is a link, not a directory, not ours, or open
// to others.
std::string PrivateDirectory(std::string& reason);

// This process's own directory for its pages: a fresh directory inside the
// private one, or, when that is refused (someone else has taken its name), a
// fresh private directory beside where it should be. Made on first use and
// removed with everything in it at exit; ones that processes killed before
// they could remove them are removed when the next one is made. Empty, with
// the reason, only when no private directory can be had at all.
std::string ProcessDirectory(std::string& reason);
// Removes this process's directory now (as at exit).
void RemoveProcessDirectory();

class PageFile {
 public:
  explicit PageFile(std::string name = kPageFileName) : iName(std::move(name)) {}
  // Writes the page that render produces; false with the reason (naming the
  // path) when it could not be written, and the old page is then untouched.
  bool Write(const std::function<void(ByteSink&)>& render, std::string& reason);
  // The page's full path (empty until the directory is known).
  const std::string& Path() const { return iPath; }
  // Whether the user has been told that a page could not be written: the
  // reason is the same for every record, so it is told once.
  bool FailureTold() const { return iFailureTold; }
  void SetFailureTold() { iFailureTold = true; }

 private:
  std::string iName;
  std::string iPath;
  bool iFailureTold = false;
};

}  // namespace ql
