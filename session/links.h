// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Links inside a rendered page: "quill::" followed by a subject.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "document.h"

namespace ql {

inline constexpr std::string_view kLinkPrefix = "quill::";

// The subject a link names: the address without the prefix, each "%20" made a
// space, nothing else decoded. nullopt when the address does not start with
// the prefix exactly (letter case counts): the address is not ours.
std::optional<std::string> LinkKey(std::string_view address);
// The record a link key leads to: the subject matched whole, ignoring case,
// or record 0 when no subject matches.
int LinkTarget(Document& doc, std::string_view key);

// A link on the page of sections names the section's book as well:
// "quill-in:BOOK:" and the key as a link gives it. Its subject is looked for
// in that book first, then in the rest of the group (Shelf::ResolveLink).
inline constexpr std::string_view kSectionLinkPrefix = "quill-in:";
struct SectionLink {
  int book = -1;
  std::string key;
};
std::string SectionLinkStart(int book);
// nullopt when the address is no such link (or its book is no number).
std::optional<SectionLink> SectionLinkKey(std::string_view address);

// What the view does with an address it was asked to follow.
enum class LinkAction { kShowRecord, kOpenExternally, kIgnore };
// http, https and mailto go to the desktop's browser; ours show a record;
// section links too;
// anything else (file, ftp, javascript, ...) is ignored.
LinkAction ClassifyLink(std::string_view address);

}  // namespace ql
