// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A record as readable plain text, for a terminal or a mail: the words of
// the record with its paragraphs, line breaks and list items laid out as
// lines, a link as its text, and no markup bytes. Read from the same record
// markup the renderer reads (record_markup.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ql {

// The record text (Windows-1252 bytes, ending at its first zero byte) as
// plain text in the same code page: a paragraph starts after an empty line,
// a line break starts a line, a list item a line of its own starting "- "
// ("1. ", "2. ", ... in an ordered list), a rule is a line of dashes; the
// entities &amp; &lt; &gt; &quot; are their characters; spaces and line ends
// never pile up, and the text ends with one line end (empty text: nothing).
std::string RecordPlainText(std::string_view record);

// The character reference at text[at] (an "&") in record text, as a page
// reads it: &amp; &lt; &gt; &quot; &apos; &nbsp; and numbered ones (&#233;
// &#xE9;). Sets byte to the character's Windows-1252 byte ('?' when the
// code page has none) and returns the length of the reference; 0 when none
// starts there.
size_t DecodeRecordEntity(std::string_view text, size_t at, char& byte);

// Reads the UTF-8 character at text[i] into c and moves i past it; false
// (i unchanged) when no well-formed character starts there.
bool NextUtf8(std::string_view text, size_t& i, char32_t& c);
// Appends c as UTF-8 (c below 0x110000).
void AppendUtf8(std::string& out, char32_t c);
// Bytes that are UTF-8 where they are well-formed, the others taken as
// Windows-1252: always valid UTF-8 (for a path or a file name).
std::string LenientUtf8(std::string_view bytes);

// Windows-1252 bytes as UTF-8.
std::string Cp1252ToUtf8(std::string_view bytes);
// UTF-8 text as Windows-1252 bytes; nullopt when it is not UTF-8 or holds a
// character the code page lacks.
std::optional<std::string> Utf8ToCp1252(std::string_view text);

}  // namespace ql
