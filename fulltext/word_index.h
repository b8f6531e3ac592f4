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
//   "QLWIDX01"
//   u32 records, u32 texts, u32 terms, u32 subject order entries (0 or records)
//   u64 content key, u64 postings at, u64 tables at, u64 order at,
//   u64 dictionary at, u64 file size, u64 order check         (80 bytes)
//   postings:    for every term, its text list then its subject list
//   tables:      per record: varint text, varint words (subject words and
//                text words), varint subject words
//   order:       u32 per entry: the records in the book's subject order
//                (only for a book that is not sorted)
//   dictionary:  per term, in byte order: varint bytes shared with the term
//                before, varint rest, the rest, varint texts, varint
//                (text list bytes << 1 | bitmap), varint subject records,
//                varint subject list bytes
//   u64 check:   the XXH3 (64 bits) of the header, exclusive-or that of
//                every byte between it and the check; the order check is the
//                XXH3 of the order section alone, for a reader of only it
// A list of numbers is varint distances, the first from -1; a text list may
// instead be a bitmap of every text (bit t of byte t/8), where that is
// smaller.
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

inline constexpr char kIndexMagic[8] = {'Q', 'L', 'W', 'I', 'D', 'X', '0', '1'};
inline constexpr size_t kIndexHeaderSize = 80;
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

// An index file, read and checked whole when opened: every count, offset
// and distance is checked against the file before use, and a file that does
// not add up is refused. Safe to share between threads once opened.
class WordIndex {
 public:
  // Null with the reason when the file is missing, damaged or of another
  // book (expectedKey, when not 0, must be the key the file was built for).
  static std::unique_ptr<WordIndex> Open(const std::string& path, uint64_t expectedKey,
                                         std::string& reason);
  // The same over bytes in memory (kept by the index).
  // checked false passes over the file's check (for the fuzzer, which
  // must reach what lies behind it).
  static std::unique_ptr<WordIndex> FromBytes(std::string bytes, uint64_t expectedKey,
                                              std::string& reason, bool checked = true);

  uint32_t Records() const { return static_cast<uint32_t>(iTextOf.size()); }
  uint32_t Texts() const { return iTextCount; }
  size_t Terms() const { return iTerms.size(); }
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

  uint32_t TextOf(uint32_t record) const { return iTextOf[record]; }
  // The records sharing text t, ascending.
  const uint32_t* RecordsOfBegin(uint32_t t) const { return iRecordsOf.data() + iFirstRecord[t]; }
  const uint32_t* RecordsOfEnd(uint32_t t) const { return iRecordsOf.data() + iFirstRecord[t + 1]; }
  uint32_t WordsOf(uint32_t record) const { return iLengths[record]; }
  uint32_t SubjectWordsOf(uint32_t record) const { return iSubjectLengths[record]; }
  double AverageWords() const { return iAverage; }

  // The records in the book's subject order; empty for a sorted book.
  const std::vector<uint32_t>& SubjectOrder() const { return iOrder; }

  // Reads only the subject order of the index file at path (its header and
  // that section, checked); false with the reason.
  static bool ReadSubjectOrder(const std::string& path, uint64_t expectedKey,
                               std::vector<uint32_t>& order, std::string& reason);

 private:
  struct Term {
    uint64_t at, length, subjectAt, subjectLength;
    uint32_t texts, subjects;
    bool bitmap;
  };
  WordIndex() = default;
  bool Load(uint64_t expectedKey, bool checked, std::string& reason);
  void TextsOf(const Term& t, std::vector<uint32_t>& out) const;
  void SubjectsOf(const Term& t, std::vector<uint32_t>& out) const;

  std::string iBytes;
  uint64_t iKey = 0;
  uint32_t iTextCount = 0;
  std::vector<uint32_t> iTextOf, iFirstRecord, iRecordsOf, iLengths, iSubjectLengths, iOrder;
  double iAverage = 1;
  std::vector<std::string> iTermNames;
  std::vector<Term> iTerms;
};

}  // namespace ql::fts

