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

// What the view does with an address it was asked to follow.
enum class LinkAction { kShowRecord, kOpenExternally, kIgnore };
// http, https and mailto go to the desktop's browser; ours show a record;
// anything else (file, ftp, javascript, ...) is ignored.
LinkAction ClassifyLink(std::string_view address);

}  // namespace ql
