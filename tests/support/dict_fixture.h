// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Dictionaries the tests write themselves: dictd indexes and texts (plain,
// dictzip with chunks of a chosen length, plain gzip) and StarDict .ifo,
// .idx and .dict files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qltest {

// A dictd number in base-64 digits, most significant first ("A" is 0).
std::string DictdNumber(uint64_t value);

// Text cut into chunks of chunkLength, each deflated and flushed fully, in
// a gzip file whose "RA" field lists the chunks' compressed sizes.
std::string Dictzip(std::string_view text, uint32_t chunkLength);
// Text in a plain gzip file.
std::string Gzip(std::string_view text);
// Text in one gzip member of exactly size bytes: the header's name field
// takes up the room the compressed text leaves (size must leave some).
std::string GzipMemberOfSize(std::string_view text, size_t size);

struct DictItem {
  std::string headword;
  std::string text;
};

enum class DictText { kPlain, kDictzip, kGzip };

// Writes base.index and base.dict (or base.dict.dz, base.dict.gz) holding items in the
// order given; utf8 adds the 00-database-utf8 mark; metadata adds a
// 00-database-info entry. Returns the text written.
std::string WriteDictd(const std::string& base, const std::vector<DictItem>& items,
                       DictText kind = DictText::kPlain, bool utf8 = true,
                       uint32_t chunkLength = 64, bool metadata = true);

// The index line of one entry.
std::string DictdIndexLine(std::string_view headword, uint64_t offset, uint64_t length);

// Writes base.ifo, base.idx and base.dict for items whose text is the
// entry's data as given (fields already laid out), with sametypesequence
// when it is not empty. Returns the .idx bytes.
std::string WriteStarDict(const std::string& base, const std::vector<DictItem>& items,
                          std::string_view sameTypeSequence);

// The .ifo text for a dictionary of count words and an .idx of idxSize bytes.
std::string StarDictIfo(size_t count, size_t idxSize, std::string_view sameTypeSequence,
                        std::string_view extra = "");

// One .idx record with a 32-bit offset.
std::string StarDictIdxRecord(std::string_view headword, uint32_t offset, uint32_t size);

}  // namespace qltest
