// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "links.h"

#include <array>

#include "text_case.h"

namespace ql {

namespace {

constexpr std::string_view kSpaceEscape = "%20";
constexpr std::array<std::string_view, 3> kExternalSchemes = {"http:", "https:", "mailto:"};

}  // namespace

std::optional<std::string> LinkKey(std::string_view address) {
  if (!address.starts_with(kLinkPrefix)) return std::nullopt;
  address.remove_prefix(kLinkPrefix.size());
  std::string key;
  key.reserve(address.size());
  size_t i = 0;
  while (i < address.size()) {
    if (address.substr(i, kSpaceEscape.size()) == kSpaceEscape) {
      key.push_back(' ');
      i += kSpaceEscape.size();
    } else {
      key.push_back(address[i++]);
    }
  }
  return key;
}

std::string SectionLinkStart(int book) {
  return std::string(kSectionLinkPrefix) + std::to_string(book) + ":";
}

std::optional<SectionLink> SectionLinkKey(std::string_view address) {
  if (!address.starts_with(kSectionLinkPrefix)) return std::nullopt;
  address.remove_prefix(kSectionLinkPrefix.size());
  const size_t colon = address.find(':');
  // A book's place on the shelf: a few digits, no sign.
  if (colon == 0 || colon == std::string_view::npos || colon > 6) return std::nullopt;
  int book = 0;
  for (char c : address.substr(0, colon)) {
    if (c < '0' || c > '9') return std::nullopt;
    book = book * 10 + (c - '0');
  }
  std::string link(kLinkPrefix);
  link += address.substr(colon + 1);
  return SectionLink{book, *LinkKey(link)};
}

int LinkTarget(Document& doc, std::string_view key) {
  // No book, or a book without subjects: there is no record to show.
  if (!doc.IsOpen() || doc.RowCount() == 0) return -1;
  const int index = doc.Reader().FindSubject(MatchWhole, key);
  return index < 0 ? 0 : index;
}

LinkAction ClassifyLink(std::string_view address) {
  if (address.starts_with(kLinkPrefix) || address.starts_with(kSectionLinkPrefix))
    return LinkAction::kShowRecord;
  for (std::string_view scheme : kExternalSchemes)
    // Schemes are compared without regard to case, as browsers do.
    if (StartsWithFolded(address, scheme)) return LinkAction::kOpenExternally;
  return LinkAction::kIgnore;
}

}  // namespace ql
