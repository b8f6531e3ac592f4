// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// UTF-8 text turned into the Windows-1252 bytes books store, for imports of
// text written on systems that write UTF-8.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace ql {

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// True when head is valid UTF-8 holding at least one multi-byte character; a
// character cut off at the end of head counts as valid (head is the start of
// a longer input).
bool LooksLikeUtf8(std::string_view head);

// Copies in (UTF-8; a byte-order mark at the start is passed over) to out as
// Windows-1252. Characters Windows-1252 lacks, and bytes that are not UTF-8,
// become '?', counted in replaced. False when reading or writing failed.
bool ConvertUtf8ToCp1252(std::FILE* in, std::FILE* out, int64_t& replaced);

// The same for text in memory: appends in (UTF-8) to out as Windows-1252 and
// adds the characters written as '?' to replaced.
void AppendUtf8AsCp1252(std::string_view in, std::string& out, int64_t& replaced);

// Windows-1252 bytes as UTF-8, for version 2002 books made of them.
void AppendCp1252AsUtf8(std::string_view in, std::string& out);
bool ConvertCp1252ToUtf8(std::FILE* in, std::FILE* out);

// Reads in (UTF-8; a byte-order mark at the start is passed over) to its end
// and tells whether every character has a Windows-1252 form (bytes that are
// not UTF-8 count as having none); false
// in ok when reading failed.
bool Utf8FitsCp1252(std::FILE* in, bool& ok);

}  // namespace ql
