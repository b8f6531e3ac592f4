// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Helpers shared by the reader tests: a book written to a scratch directory
// and a text of a given length that shows where every byte came from.
#pragma once

#include <string>
#include <vector>

#include "book_fixture.h"
#include "book_reader.h"

namespace qltest {

// Record text of n bytes whose bytes are never zero and rarely repeat.
inline std::string PatternText(size_t n, char seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>('!' + (static_cast<size_t>(seed) * 7 + i) % 90);
  return s;
}

// What a reader gives for every index must match the entries it was built from.
inline void ExpectReadsBack(ql::BookReader& reader, const std::vector<Entry>& entries) {
  ASSERT_EQ(reader.GetSubjectCount(), static_cast<int>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const int index = static_cast<int>(i);
    EXPECT_EQ(reader.GetSubject(index), entries[i].subject) << "subject " << i;
    EXPECT_EQ(reader.GetRecordHead(index), entries[i].text.substr(0, 150)) << "head " << i;
    ASSERT_EQ(reader.LoadRecord(index), 1);
    EXPECT_EQ(reader.CurrentRecordText(), entries[i].text) << "record " << i;
    EXPECT_EQ(reader.CurrentRecord(), index);
  }
}

}  // namespace qltest
