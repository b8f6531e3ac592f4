// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The turning of dictionary entries' texts, plain or simple HTML, into
// record markup. Both read only inside the text they are given, and each of
// their loops consumes text on every turn.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ql {

// The character set of the text being turned into markup: it is kept (the
// caller converts), and what the turning adds is written in it.
enum class MarkupCharset { kUtf8, kCp1252 };

// Record markup from an entry's plain text: line breaks become line-break
// tags, an empty line a paragraph, a TAB a space and "<" the entity "&lt;"
// (a page shows record text as HTML). The blanks that indent a line become
// no-break spaces, so that the page keeps the indent (a TAB there reaches
// the next multiple of eight columns); blanks within a line stay as they
// are. With braceLinks, "{word}" becomes a link to word (white
// space within it closed up to single spaces, a word broken after a hyphen
// at a line end joined again); "{text (url)}", a link out of the book, is
// kept as its text.
void PlainTextToMarkup(std::string_view text, bool braceLinks, std::string& out,
                       MarkupCharset charset = MarkupCharset::kUtf8);

// Where an entry's own text starts in its raw text from the dictionary: past
// a first line that only repeats the headword (white space around either
// left out, ASCII letters compared without case) and that line's end (LF,
// CR LF or CR); 0 when the first line says more. The page heads the entry
// with its headword already. The raw text and the headword are in the same
// encoding.
size_t HeadwordLineEnd(std::string_view raw, std::string_view headword);

// Record markup from simple HTML: the formatting the record markup has
// (bold, italic, underline, rules, breaks, paragraphs, lists, centring,
// strike-through, super- and subscript) is kept, block elements become line
// breaks, links to other entries ("bword://word" or a bare word) become
// links, other tags are dropped (the contents of script and style with
// them), entities are decoded and white space is closed up.
void HtmlToMarkup(std::string_view html, std::string& out);

}  // namespace ql
