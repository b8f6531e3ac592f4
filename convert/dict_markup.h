// The turning of dictionary entries' texts, plain or simple HTML, into
// record markup. Both read only inside the text they are given, and each of
// their loops consumes text on every turn.
#pragma once

#include <string>
#include <string_view>

namespace ql {

// Record markup from an entry's plain text (the encoding is kept: the
// caller converts): line breaks become line-break tags, an empty line a
// paragraph, a TAB a space and "<" the entity "&lt;" (a page shows record
// text as HTML). With braceLinks, "{word}" becomes a link to word (white
// space within it closed up to single spaces, a word broken after a hyphen
// at a line end joined again); "{text (url)}", a link out of the book, is
// kept as its text.
void PlainTextToMarkup(std::string_view text, bool braceLinks, std::string& out);

// Record markup from simple HTML: the formatting the record markup has
// (bold, italic, underline, rules, breaks, paragraphs, lists, centring,
// strike-through, super- and subscript) is kept, block elements become line
// breaks, links to other entries ("bword://word" or a bare word) become
// links, other tags are dropped (the contents of script and style with
// them), entities are decoded and white space is closed up.
void HtmlToMarkup(std::string_view html, std::string& out);

}  // namespace ql
