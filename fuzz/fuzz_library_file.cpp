// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The library file: any bytes read as one, saved and read again, give the
// same library; a saved file reads with nothing skipped; every group's books
// are books of the library.
#include <cstdint>
#include <set>
#include <string>

#include "library.h"
#include "utf8_check.h"

using qlfuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const ql::Library lib = ql::Library::Parse(bytes);
  const std::string text = lib.Text();
  const ql::Library again = ql::Library::Parse(text);
  Require(again.LoadFailure().empty() && again.SkippedLines() == 0);
  Require(again.Text() == text);
  std::set<std::string> paths;
  for (const ql::LibraryBook& b : lib.Books()) Require(paths.insert(b.path).second);
  for (const std::string& group : lib.GroupNames())
    for (const std::string& p : lib.BooksOf(group)) Require(paths.count(p) == 1);
  return 0;
}
