// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// UTF-8 folding, order and search on any bytes: the first byte tells how
// many of the next bytes make the term, the rest is the text. The finder
// gives what folding the text first and looking in the copy gives, in
// bounded work; the comparison orders as the folded copies do; folding is
// the same unit by unit as at once, and folding twice changes nothing.
#include <cstdint>
#include <cstring>
#include <string>

#include "unicode_reference.h"
#include "unicode_text.h"
#include "utf8_check.h"

using qlfuzz::Require;

namespace {

int Sign(int v) {
  return (v > 0) - (v < 0);
}

int ByteOrder(std::string_view a, std::string_view b) {
  const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (c != 0) return Sign(c);
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t split = std::min<size_t>(data[0] % 24, bytes.size());
  const std::string_view rawTerm = bytes.substr(0, split), text = bytes.substr(split);

  const std::string folded = ql::FoldUtf8(text);
  Require(folded == qltest::FoldUnitByUnit(text).text);
  Require(ql::FoldUtf8(folded) == folded);

  const std::string term = ql::FoldTermUtf8(rawTerm);
  const size_t from = text.empty() ? 0 : data[0] % (text.size() + 1);
  Require(qltest::FinderHits(text, term, 0) == qltest::NaiveFoldedFind(text, term, 0));
  Require(qltest::FinderHits(text, term, from) == qltest::NaiveFoldedFind(text, term, from));

  const ql::Utf8FoldedFinder finder(term);
  ql::Utf8FoldedFinder::Scan scan(finder, text, 0);
  while (const auto hit = scan.Next()) {
    Require(hit->length > 0 && hit->offset + hit->length <= text.size());
    (void)ql::IsWholeWordUtf8(text, hit->offset, hit->length);
  }
  Require(scan.Work() <= 6 * text.size() + 24 * finder.TermUnits() + 8);

  const int order = Sign(ql::CompareFoldedUtf8(rawTerm, text));
  Require(order == ByteOrder(ql::FoldUtf8(rawTerm), folded));
  Require(Sign(ql::CompareFoldedUtf8(text, rawTerm)) == -order);
  Require(ql::CompareFoldedUtf8(text, folded) == 0);
  return 0;
}
