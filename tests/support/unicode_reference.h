// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The plain way of finding a folded term in UTF-8 text, for checking the
// finder against: fold the text unit by unit, remembering where each unit
// starts in the stored and in the folded text, find the term in the folded
// copy and keep the hits that start and end on unit boundaries, mapped back.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "unicode_text.h"

namespace qltest {

struct FoldedHit {
  size_t offset, length;
  bool operator==(const FoldedHit&) const = default;
};

struct FoldedCopy {
  std::string text;
  // For each unit boundary of the folded text (its start included, its end
  // too), the stored offset it comes from; npos inside a folded unit.
  std::vector<size_t> storedAt;
};

inline FoldedCopy FoldUnitByUnit(std::string_view text) {
  FoldedCopy copy;
  copy.storedAt.push_back(0);
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const size_t n = ql::DecodeUtf8(text, i, cp);
    copy.text += ql::FoldUtf8(text.substr(i, n));
    i += n;
    copy.storedAt.resize(copy.text.size(), std::string::npos);
    copy.storedAt.push_back(i);
  }
  return copy;
}

inline std::vector<FoldedHit> NaiveFoldedFind(std::string_view text, std::string_view term,
                                              size_t from) {
  std::vector<FoldedHit> hits;
  if (term.empty()) return hits;
  const FoldedCopy copy = FoldUnitByUnit(text);
  for (size_t at = copy.text.find(term); at != std::string::npos;
       at = copy.text.find(term, at + 1)) {
    const size_t start = copy.storedAt[at], end = copy.storedAt[at + term.size()];
    if (start != std::string::npos && end != std::string::npos && start >= from)
      hits.push_back({start, end - start});
  }
  return hits;
}

inline std::vector<FoldedHit> FinderHits(std::string_view text, std::string_view term,
                                         size_t from) {
  const ql::Utf8FoldedFinder finder(term);
  std::vector<FoldedHit> hits;
  ql::Utf8FoldedFinder::Scan scan(finder, text, from);
  while (const auto hit = scan.Next()) hits.push_back({hit->offset, hit->length});
  return hits;
}

}  // namespace qltest
