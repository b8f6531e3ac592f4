// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "word_index.h"

namespace ql::fts {

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> out;
  ForEachWord(text, [&](std::string_view w) { out.push_back(w); });
  return out;
}

std::unique_ptr<WordIndex> WordIndex::Open(const std::string&, uint64_t, std::string& reason) {
  reason = "not built yet";
  return nullptr;
}
std::unique_ptr<WordIndex> WordIndex::FromBytes(std::string, uint64_t, std::string& reason) {
  reason = "not built yet";
  return nullptr;
}
WordIndex::Postings WordIndex::Find(std::string_view) const { return {}; }
WordIndex::Postings WordIndex::FindPrefix(std::string_view, size_t, bool&) const { return {}; }

}  // namespace ql::fts
