// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "fts_search.h"

#include "word_index.h"

namespace ql::fts {
bool ParseFtsQuery(std::string_view, FtsQuery&, std::string& reason) {
  reason = "not built yet";
  return false;
}
std::string BracketMarks(const FtsHit& hit) { return hit.snippet; }
BookAnswer SearchBook(BookReader&, const WordIndex*, const FtsQuery&, size_t,
                      const std::atomic<bool>*) {
  return {};
}
BookAnswer SearchBookFile(const std::string&, const FtsQuery&, size_t, const std::atomic<bool>*) {
  return {};
}
std::unique_ptr<WordIndex> OpenIndexFor(const std::string&) { return nullptr; }
}  // namespace ql::fts
