// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The index of a dictd dictionary: NAME.index holds one line per entry,
// "headword TAB offset TAB length" (a fourth field, when present, is the
// headword as first written), the numbers in base-64 digits A-Z a-z 0-9 + /,
// most significant first. The parser keeps the contract of dict_index.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dict_index.h"

namespace ql {

// A dictd number: false when digits is empty, holds a character that is no
// base-64 digit, or is too large for 64 bits.
bool DecodeDictdNumber(std::string_view digits, uint64_t& value);

// The headwords by which dictd keeps facts about the dictionary itself
// (00databaseinfo, 00-database-short ...): they are not entries.
bool IsDictdMetadata(std::string_view headword);
// The headword whose presence says the text is UTF-8.
bool IsDictdUtf8Mark(std::string_view headword);

// Parses a whole .index. Blank lines are passed over; a CR before a line's
// LF is dropped. False with the line and the fault in reason when a line is
// damaged or names text past dataSize.
bool ParseDictdIndex(std::string_view text, uint64_t dataSize, std::vector<DictEntryRef>& entries,
                     std::string& reason);

}  // namespace ql
