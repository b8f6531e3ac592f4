// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// What the index of a dictionary names: a headword and where its text lies
// in the dictionary's text file. The dictd and StarDict parsers give these.
//
// Bounds contract of every index parser: it reads only inside the bytes it
// is given, each loop consumes input on every turn, and what it allocates is
// bounded by the input's length. Offsets and lengths are checked against the
// size of the text they point into.
#pragma once

#include <cstdint>
#include <string>

namespace ql {

// One entry as an index names it.
struct DictEntryRef {
  std::string headword;
  uint64_t offset = 0;
  uint64_t length = 0;
};

}  // namespace ql
