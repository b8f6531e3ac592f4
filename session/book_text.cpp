// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "book_text.h"

#include "cp1252.h"
#include "plain_text.h"
#include "unicode_text.h"

namespace ql {

std::string TextToUtf8(std::string_view text, TextForm form) {
  return form == TextForm::kUtf8 ? std::string(text) : Cp1252ToUtf8(text);
}

std::optional<std::string> TextFromUtf8(std::string_view utf8, TextForm form) {
  if (form == TextForm::kUtf8) return std::string(utf8);
  return Utf8ToCp1252(utf8);
}

std::string ConvertText(std::string_view text, TextForm from, TextForm to) {
  if (from == to) return std::string(text);
  if (to == TextForm::kUtf8) return Cp1252ToUtf8(text);
  // UTF-8 to the code page, character by character.
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t ch = 0;
    if (NextUtf8(text, i, ch))
      out += static_cast<char>(UnicodeToCp1252(ch));
    else
      out += text[i++];
  }
  return out;
}

size_t CharacterCut(std::string_view text, size_t max, TextForm form) {
  if (text.size() <= max) return text.size();
  if (form == TextForm::kCp1252) return max;
  // Walk the units: a well-formed character is kept whole or not at all, a
  // stray byte is a unit of its own.
  size_t cut = 0;
  while (cut < text.size()) {
    char32_t ch = 0;
    const size_t length = DecodeUtf8(text, cut, ch);
    if (length == 0 || cut + length > max) break;
    cut += length;
  }
  return cut;
}

std::string_view WithoutCutCharacter(std::string_view text, TextForm form) {
  if (form == TextForm::kCp1252) return text;
  // The last lead byte within the last three: a cut character has fewer
  // continuation bytes after it than its lead byte calls for.
  for (size_t back = 1; back <= 4 && back <= text.size(); ++back) {
    const auto byte = static_cast<uint8_t>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const size_t needs = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    if (byte >= 0xC2 && byte <= 0xF4 && back < needs) text.remove_suffix(back);
    break;
  }
  return text;
}

}  // namespace ql
