// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A book's word index: for every word of the book's records, the records
// holding it, so a search over all of a book answers without reading it.
//
// Words are the record's text without markup (RecordPlainText; a Windows-1252
// book's text taken to UTF-8 first) and its subject, folded by FoldUtf8 and
// cut into runs of word characters (IsWordCodePoint) of at most kLongestWord
// bytes. Records the book gives one stored text (its sharing) are one text
// here: the lists name texts, and a table gives each record's text.
//
// The file (little-endian), written aside and renamed into place:
//   "QLWIDX02"
//   u32 records, u32 texts, u32 terms, u32 subject order entries (0 or records)
//   u64 content key, u64 tables at (the header's end), u64 postings at,
//   u64 order at, u64 dictionary at, u64 dictionary index at, u64 file size,
//   u64 order check, u64 words in all records                   (96 bytes)
//   tables:      u32 per record its text; u16 per record its words (subject
//                and text, at most 65535); u8 per record its subject's words
//                (at most 255); u32 per text + 1 where its records start in
//                the next table; u32 per record: the records by text
//   postings:    for every term, its text list then its subject list
//   order:       u32 per entry: the records in the book's subject order
//                (only for a book that is not sorted)
//   dictionary:  the terms in byte order, in blocks of kTermsPerBlock; per
//                term: varint bytes shared with the term before (0 for a
//                block's first), varint rest, the rest, varint texts, varint
//                (text list bytes << 1 | bitmap), varint subject records,
//                varint subject list bytes. A block's first term also gives
//                varint where its lists start, from the postings' start.
//   dictionary index: u32 per block, where it starts in the dictionary
//   u64 check:   the XXH3 (64 bits) of the header, exclusive-or that of
//                every byte between it and the check; the order check is the
//                XXH3 of the order section alone, for a reader of only it
// A list of numbers is varint distances, the first from -1; a text list may
// instead be a bitmap of every text (bit t of byte t/8), where that is
// smaller. Fixed-width tables and a dictionary in blocks let a search read
// only what it needs: opening the file maps it and reads its header.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "unicode_text.h"

namespace ql::fts {

using ql::DecodeUtf8;
using ql::IsWordCodePoint;

inline constexpr char kIndexMagic[8] = {'Q', 'L', 'W', 'I', 'D', 'X', '0', '2'};
inline constexpr size_t kIndexHeaderSize = 96;
inline constexpr size_t kTermsPerBlock = 32;
// Longer runs are no words anyone looks for; they are not kept.
inline constexpr size_t kLongestWord = 64;

// Calls f(word) for every word of folded UTF-8 text, in order.
template <class F>
void ForEachWord(std::string_view text, F&& f) {
  size_t p = 0;
  while (p < text.size()) {
    char32_t cp = 0;
    size_t n = DecodeUtf8(text, p, cp);
    if (!IsWordCodePoint(cp)) {
      p += n;
      continue;
    }
    const size_t start = p;
    while (p < text.size() && IsWordCodePoint(cp)) {
      p += n;
      n = DecodeUtf8(text, p, cp);
    }
    if (p - start <= kLongestWord) f(text.substr(start, p - start));
  }
}

// Every word of folded UTF-8 text, in order.
std::vector<std::string_view> SplitWords(std::string_view text);

// An index file, mapped: opening checks the header (and, checked, the whole
// file against its check); every later read is checked against the file
// and its sections, so a damaged file gives wrong answers at worst, never
// a read outside it. Safe to share between threads once opened.
class WordIndex {
 public:
  ~WordIndex();
  WordIndex(const WordIndex&) = delete;
  WordIndex& operator=(const WordIndex&) = delete;

  // Null with the reason when the file is missing, damaged or of another
  // book (expectedKey, when not 0, must be the key the file was built for).
  // checked reads the whole file for its check: a build's last step, and
  // the indexer's look at an index built before; a search passes it.
  static std::unique_ptr<WordIndex> Open(const std::string& path, uint64_t expectedKey,
                                         std::string& reason, bool checked = true);
  // The same over bytes in memory (kept by the index).
  static std::unique_ptr<WordIndex> FromBytes(std::string bytes, uint64_t expectedKey,
                                              std::string& reason, bool checked = true);

  uint32_t Records() const { return iRecords; }
  uint32_t Texts() const { return iTexts; }
  uint32_t Terms() const { return iTerms; }
  uint64_t Key() const { return iKey; }

  // One word's lists: the texts holding it and the records holding it in
  // their subject, ascending. Empty when the word is not in the book.
  struct Postings {
    std::vector<uint32_t> texts, subjects;
  };
  Postings Find(std::string_view foldedWord) const;
  // The union of the lists of every word starting with prefix (at most
  // maxTerms of them; more is cut off and truncated set).
  Postings FindPrefix(std::string_view foldedPrefix, size_t maxTerms, bool& truncated) const;

  // The text of record (Texts() when the file says nothing sound).
  uint32_t TextOf(uint32_t record) const;
  // Appends the records sharing text t, ascending.
  void RecordsOf(uint32_t t, std::vector<uint32_t>& out) const;
  uint32_t WordsOf(uint32_t record) const;
  uint32_t SubjectWordsOf(uint32_t record) const;
  double AverageWords() const { return iAverage; }

  // The records in the book's subject order; empty for a sorted book.
  std::vector<uint32_t> SubjectOrder() const;
  uint32_t OrderEntries() const { return iOrderCount; }
  // The record at place i of the order (Records() past its end).
  uint32_t OrderAt(size_t i) const {
    return i < iOrderCount ? Fixed32(iOrderAt + 4 * uint64_t{i}) : iRecords;
  }

  // Reads only the subject order of the index file at path (its header and
  // that section, checked); false with the reason.
  static bool ReadSubjectOrder(const std::string& path, uint64_t expectedKey,
                               std::vector<uint32_t>& order, std::string& reason);

 private:
  struct Term {
    uint64_t at = 0, length = 0, subjectAt = 0, subjectLength = 0;
    uint32_t texts = 0, subjects = 0;
    bool bitmap = false;
  };
  // Walks the dictionary from a block's start.
  class TermCursor;
  WordIndex() = default;
  bool Load(uint64_t expectedKey, bool checked, std::string& reason);
  void TextsOf(const Term& t, std::vector<uint32_t>& out) const;
  void SubjectsOf(const Term& t, std::vector<uint32_t>& out) const;
  // The block whose first term is the last not above word (0 when none).
  uint32_t BlockFor(std::string_view word) const;
  uint32_t Fixed32(uint64_t at) const;

  std::string iOwned;    // FromBytes: the bytes
  void* iMap = nullptr;  // Open: the mapping
  size_t iMapSize = 0;
  std::string_view iBytes;
  uint64_t iKey = 0;
  uint32_t iRecords = 0, iTexts = 0, iTerms = 0, iOrderCount = 0, iBlocks = 0;
  uint64_t iTablesAt = 0, iPostingsAt = 0, iOrderAt = 0, iDictionaryAt = 0, iDictIndexAt = 0;
  double iAverage = 1;
};

}  // namespace ql::fts
