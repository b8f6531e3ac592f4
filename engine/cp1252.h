// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Windows-1252, the code page of every book text, and Unicode: the one table
// the window, the imports and the tools share.
//
// Bytes 0x80-0x9F map to the code page's quotes, dashes and letters. The five
// bytes it leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1
// control characters of the same value, and those characters map back to
// them, as browsers decode a page that declares windows-1252 (ours do). So
// every byte a book holds, and an import taken as Windows-1252 keeps bytes as
// they are, comes back unchanged: a Find term or a link target typed in the
// window reaches the book byte for byte, and a book's text exported, turned
// into UTF-8 and imported again stores the same bytes rather than '?'.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ql {

char16_t Cp1252ToUnicode(unsigned char byte);
// The byte for a code point; nullopt when the code page has none.
std::optional<unsigned char> Cp1252ByteFor(char32_t ch);
// The byte for a character, or '?' when the code page has none.
unsigned char UnicodeToCp1252(char32_t ch);

std::u16string DecodeCp1252(std::string_view bytes);
// A character outside the basic plane (a surrogate pair) or a lone surrogate
// is one character the code page lacks: one '?'.
std::string EncodeCp1252(std::u16string_view text);

}  // namespace ql
