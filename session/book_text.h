// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The two forms a book's text takes: Windows-1252 bytes (version 2001 and
// legacy books) or UTF-8 (version 2002 books). Whatever crosses between a
// book and the user, or between two books, is turned from one form into the
// other here: text typed or shown, Find terms kept from one book for another, link keys, bookmark
// texts and the one page a lookup over many books makes of their sections.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "book_reader.h"

namespace ql {

enum class TextForm { kCp1252, kUtf8 };

inline TextForm FormOf(const BookReader& reader) {
  return reader.IsUnicode() ? TextForm::kUtf8 : TextForm::kCp1252;
}

// A book's text as UTF-8. Windows-1252 bytes are converted; UTF-8 text is
// passed as it is, stray bytes included (a reader decoding it leniently
// shows them as U+FFFD).
std::string TextToUtf8(std::string_view text, TextForm form);

// UTF-8 text (a key typed, a link's target on a page of sections) in the
// form of a book: nullopt when the book cannot hold it (a character that
// Windows-1252 lacks, or bytes that are no UTF-8), so that no subject of
// that book can match it.
std::optional<std::string> TextFromUtf8(std::string_view utf8, TextForm form);

// Text of one form in another, for terms kept from one book and used in the
// next: a character Windows-1252 lacks becomes '?', bytes that are no UTF-8
// are taken as Windows-1252.
std::string ConvertText(std::string_view text, TextForm from, TextForm to);

// The longest start of text of at most max bytes that does not end inside a
// character: for UTF-8, a cut inside a character's bytes moves back to the
// character's start. Windows-1252 text is cut at max.
size_t CharacterCut(std::string_view text, size_t max, TextForm form);

// text without the start of a character at its end that the bytes cut off
// (a record's head, a bookmark's text of a UTF-8 book); Windows-1252 text
// and whole UTF-8 text as they are.
std::string_view WithoutCutCharacter(std::string_view text, TextForm form);

}  // namespace ql
