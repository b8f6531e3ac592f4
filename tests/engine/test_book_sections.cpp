// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The section reading both book readers share: what a section header and
// block table must satisfy, and how far a read-on into the next block goes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "book_sections.h"
#include "byte_order.h"

namespace {

std::string Section(int32_t length, int32_t count, int32_t size, size_t tableEntries) {
  std::string s;
  for (int32_t w : {length, count, size}) ql::AppendLE32(s, static_cast<uint32_t>(w));
  for (size_t k = 0; k < tableEntries; ++k) {
    ql::AppendLE32(s, static_cast<uint32_t>(10 * k));
    ql::AppendLE32(s, 10);
  }
  return s;
}

ql::SectionResult Read(const std::string& file, int64_t offset, bool sizelessEmpty,
                       ql::BookSection& section, int64_t fileSize = -1) {
  const ql::ReadAtFunction read = [&](int64_t at, uint8_t* bytes, size_t count) -> size_t {
    if (at < 0 || static_cast<size_t>(at) >= file.size()) return 0;
    const size_t n = std::min(count, file.size() - static_cast<size_t>(at));
    std::memcpy(bytes, file.data() + at, n);
    return n;
  };
  return ql::ReadBookSection(read, fileSize < 0 ? int64_t(file.size()) : fileSize, offset,
                             sizelessEmpty, section);
}

TEST(BookSections, HeaderAndTableAreCheckedAgainstTheFile) {
  ql::BookSection s;
  std::string file = "pad" + Section(100, 2, 25000, 2) + std::string(20, 'd');
  ASSERT_EQ(Read(file, 3, false, s), ql::SectionResult::kOk);
  EXPECT_EQ(s.blockCount, 2);
  EXPECT_EQ(s.blockSize, 25000);
  EXPECT_EQ(s.sectionLength, 100);
  EXPECT_EQ(s.dataOffset, 3 + 12 + 16);
  ASSERT_EQ(s.table.size(), 2u);
  EXPECT_EQ(s.table[1].offset, 10);
  // A table running past the end of the file, a header cut short or outside.
  EXPECT_EQ(Read(Section(0, 3, 25000, 2), 0, false, s), ql::SectionResult::kDamaged);
  EXPECT_EQ(Read(Section(0, 0, 25000, 0).substr(0, 11), 0, false, s), ql::SectionResult::kDamaged);
  EXPECT_EQ(Read(file, -1, false, s), ql::SectionResult::kDamaged);
  EXPECT_EQ(Read(Section(0, -1, 25000, 0), 0, false, s), ql::SectionResult::kDamaged);
  // Block sizes: the written size always passes, larger ones only as far as
  // eight times the file, and never past the cap.
  const std::string small = Section(0, 0, 25000, 0);
  EXPECT_EQ(Read(small, 0, false, s), ql::SectionResult::kOk);
  EXPECT_EQ(Read(Section(0, 0, 25001, 0), 0, false, s), ql::SectionResult::kDamaged);
  EXPECT_EQ(Read(Section(0, 0, 80000, 0), 0, false, s, 10000), ql::SectionResult::kOk);
  EXPECT_EQ(Read(Section(0, 0, 80001, 0), 0, false, s, 10000), ql::SectionResult::kDamaged);
  EXPECT_EQ(Read(Section(0, 0, (1 << 24) + 1, 0), 0, false, s, 1 << 24),
            ql::SectionResult::kDamaged);
  // A size of 0 only for a section without blocks, and only where allowed.
  EXPECT_EQ(Read(Section(0, 0, 0, 0), 0, false, s), ql::SectionResult::kDamaged);
  EXPECT_EQ(Read(Section(0, 0, 0, 0), 0, true, s), ql::SectionResult::kOk);
  EXPECT_EQ(Read(Section(0, 1, 0, 1), 0, true, s), ql::SectionResult::kDamaged);
  EXPECT_EQ(Read(Section(0, 0, -5, 0), 0, true, s), ql::SectionResult::kDamaged);
}

TEST(BookSections, ReadOnStopsAtTheNextBlocksEnd) {
  const std::vector<ql::BlockTableEntry> table = {{0, 100}, {100, 30}, {130, 9000}, {9130, -4}};
  EXPECT_EQ(ql::SpillDecodeLength(table, 0, 5000), 30u);
  EXPECT_EQ(ql::SpillDecodeLength(table, 1, 5000), size_t(ql::kSpillDecodeBytes));
  EXPECT_EQ(ql::SpillDecodeLength(table, 1, 20), 20u);
  EXPECT_EQ(ql::SpillDecodeLength(table, 2, 5000), 0u);  // a damaged length reads nothing on
  EXPECT_EQ(ql::SpillDecodeLength(table, 3, 5000), 0u);  // the last block has no next
  EXPECT_EQ(ql::SpillDecodeLength(table, -1, 5000), 0u);
}

}  // namespace
