// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Search filters of version 2002 books: a filter made of texts given in
// pieces cut anywhere (inside characters too) is the filter of the whole
// texts and holds every term cut from them; a search for an absent term
// decodes no block; a damaged filter is known and proves nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "block_filter.h"
#include "book_builder.h"
#include "book_fixture.h"
#include "book_format.h"
#include "book_reader.h"
#include "byte_order.h"
#include "unicode_text.h"

namespace {

constexpr size_t kBytes = 256;

std::vector<uint8_t> BitsOf(const std::vector<std::string>& pieces) {
  ql::BlockFilterBuilder b(kBytes);
  for (const std::string& p : pieces) b.Add(p);
  return b.Bits();
}

TEST(BlockFilter, PiecesCutAnywhereGiveTheWholeTextsBitsAndHoldEveryTerm) {
  const std::string texts[] = {
      "Sisyphus ΣΊΣΥΦΟΣ σίσυφος",
      "\xE2\x84\xAA"
      "elvin 12 KM",                                       // KELVIN SIGN folds to 'k'
      "дом ДОМ 家 \xF0\x90\x90\x80\xF0\x90\x90\xA8 שלום",  // Deseret letters in both cases
      "stray \x82\xAC bytes \xE2\x82 cut \xC3",            // starts of no character
      "Straße STRASSE ǅemal"};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const std::vector<uint8_t> whole = BitsOf({text});
    for (size_t i = 0; i <= text.size(); ++i) {
      EXPECT_EQ(BitsOf({text.substr(0, i), text.substr(i)}), whole) << i;
      const size_t j = i + (text.size() - i) / 2;
      EXPECT_EQ(BitsOf({text.substr(0, i), text.substr(i, j - i), text.substr(j)}), whole) << i;
    }
    // Every run of three to eight characters, folded as a search folds it.
    for (size_t at = 0; at < text.size(); ++at) {
      if ((uint8_t(text[at]) & 0xC0) == 0x80) continue;
      size_t end = at;
      for (int n = 1; n <= 8 && end < text.size(); ++n) {
        char32_t cp = 0;
        end += ql::DecodeUtf8(text, end, cp);
        if (n < 3) continue;
        const std::string term = ql::FoldUtf8(text.substr(at, end - at));
        const ql::BlockFilterProbe probe(term, kBytes);
        EXPECT_TRUE(!probe.Useful() || probe.MayHold(whole.data())) << at << " " << term;
      }
    }
  }
  const std::vector<uint8_t> empty(kBytes);
  EXPECT_FALSE(ql::BlockFilterProbe("qqxqzzq", kBytes).MayHold(empty.data()));
  // Terms with no three word bytes in a row cannot be ruled out.
  for (const char* term : {"a b", "ab", "a-b-c", ""})
    EXPECT_FALSE(ql::BlockFilterProbe(term, kBytes).Useful()) << term;
}

// Where the first subject block's filter lies in the book's bytes, their
// size and how many there are; npos when the book has no filters.
size_t Filters(const std::string& book, uint32_t& bytes, uint32_t& count) {
  const auto* p = reinterpret_cast<const uint8_t*>(book.data());
  const int chunks = ql::ReadLE32s(p + ql::kHeaderOffsetChunkCount);
  size_t pos = ql::kUnicodeHeaderSize;
  for (int c = 0; c < chunks; ++c) {
    if (ql::ReadLE32s(p + pos) == ql::kChunkTypeBlockFilters) {
      bytes = ql::ReadLE32(p + pos + ql::kChunkHeaderSize);
      count = ql::ReadLE32(p + pos + ql::kChunkHeaderSize + 4);
      return pos + ql::kChunkHeaderSize + ql::kBlockFilterChunkHeaderSize;
    }
    pos += ql::kChunkHeaderSize + ql::ReadLE32(p + pos + 8);
  }
  return std::string::npos;
}

TEST(BlockFilter, AbsentTermsDecodeNoBlockAndDamagedFiltersProveNothing) {
  qltest::TempDir dir;
  // Entries in many subject blocks, texts in the entry and in the record
  // stream, one given in pieces; a word only the last entry has.
  ql::BookBuilder builder;
  builder.SetUnicode(true);
  const int count = 3000;
  for (int i = 0; i < count - 1; ++i) {
    const std::string subject = "word" + std::to_string(100000 + i);
    std::string text = "Entry " + std::to_string(i) + (i % 3 ? " short" : std::string(300, 'x'));
    ASSERT_EQ(builder.AddEntry(subject, text), ql::BuildResult::kOk);
  }
  ASSERT_EQ(builder.BeginEntry("zzlast"), ql::BuildResult::kOk);
  const std::string pieces[] = {"Only here: Kreuzwor", "träts", "el and more",
                                std::string(200, '.')};
  for (const std::string& piece : pieces)
    ASSERT_EQ(builder.AppendEntryText(piece), ql::BuildResult::kOk);
  ASSERT_EQ(builder.EndEntry(), ql::BuildResult::kOk);
  const std::string path = dir.File("filters.ql");
  ASSERT_EQ(builder.WriteBookFile(path), ql::BuildResult::kOk);
  const std::string book = qltest::ReadFileBytes(path);
  uint32_t bytes = 0, filters = 0;
  const size_t first = Filters(book, bytes, filters);
  ASSERT_NE(first, std::string::npos);
  EXPECT_GT(filters, 4u);

  struct Case {
    std::string term;
    int record;  // where the walk from the first record stops, -1 for none
    bool decodes;
  };
  const Case cases[] = {{"qqxqzzq", -1, false},
                        {ql::FoldUtf8("KREUZWORTRÄTSEL").c_str(), count - 1, true},
                        {"word100007", 7, true}};
  auto search = [&](const std::string& file, const Case& c) {
    ql::BookReader reader;
    ASSERT_EQ(reader.Open(file, ql::kOpenReadOnly), ql::OpenResult::kOk);
    const int64_t before = reader.Stats().subjectBlockLoads + reader.Stats().recordBlockLoads;
    int record = 0, pos = -1;
    const int result = reader.Search(ql::SearchSubjectsAndText, c.term, record, pos, false, false);
    EXPECT_EQ(result, c.record < 0 ? ql::kSearchNone : ql::kSearchHit);
    if (c.record >= 0) {
      EXPECT_EQ(record, c.record);
    }
    const int64_t loads = reader.Stats().subjectBlockLoads + reader.Stats().recordBlockLoads;
    EXPECT_EQ(loads > before, c.decodes);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.term);
    search(path, c);
  }

  // Every filter cleared, its check left: a filter that proves everything
  // absent is not believed, and the hits are still found.
  std::string damaged = book;
  for (uint32_t k = 0; k < filters; ++k) {
    const size_t at = first + k * (bytes + ql::kBlockFilterCheckSize);
    std::fill(damaged.begin() + long(at), damaged.begin() + long(at + bytes), '\0');
  }
  const std::string damagedPath = dir.File("damaged.ql");
  qltest::WriteFileBytes(damagedPath, damaged);
  for (const Case& c : cases) {
    if (c.record < 0) continue;
    SCOPED_TRACE(c.term);
    search(damagedPath, c);
  }
}

}  // namespace
