// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The files of a StarDict dictionary: NAME.ifo holds "key=value" lines after
// its first line; NAME.idx holds records of a headword, a zero byte, and a
// big-endian offset (32 or 64 bits) and size (32 bits); an entry's text is
// one or more typed fields. The parsers keep the contract of dict_index.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dict_index.h"

namespace ql {

struct StarDictInfo {
  std::string version;
  std::string bookName;
  int64_t wordCount = -1;
  int64_t idxFileSize = -1;
  int offsetBits = 32;
  std::string sameTypeSequence;
};

// The first line of every .ifo.
inline constexpr std::string_view kStarDictIfoMagic = "StarDict's dict ifo file";
// The most bytes an .ifo may have: it is a few short lines.
inline constexpr size_t kStarDictIfoMax = 64 * 1024;

// Parses an .ifo: false with the fault in reason when the first line is not
// the magic line, wordcount or idxfilesize is missing or not a number, or
// idxoffsetbits is neither 32 nor 64.
bool ParseStarDictIfo(std::string_view text, StarDictInfo& info, std::string& reason);

// Parses a whole .idx: false with the record number and the fault in reason
// when a record is cut off, a headword has no end, or an entry runs past
// dataSize.
bool ParseStarDictIdx(std::string_view bytes, int offsetBits, uint64_t dataSize,
                      std::vector<DictEntryRef>& entries, std::string& reason);

// One field of a StarDict entry: its type letter and its bytes.
struct StarDictField {
  char type = 0;
  std::string_view data;
};

// Splits an entry's data into fields, by the .ifo's sametypesequence when it
// has one (then the last field runs to the end of the data), else by the
// type letter each field starts with (lower case: a string ended by a zero
// byte; upper case: a 32-bit big-endian size and that many bytes). A field
// cut off by the end of data ends the list; false then.
bool SplitStarDictFields(std::string_view data, std::string_view sameTypeSequence,
                         std::vector<StarDictField>& fields);

}  // namespace ql
