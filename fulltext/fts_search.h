// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The full-text search of one book: a query of words (all must be in the
// record's subject or text), "a phrase", prefix* and -word (left out),
// folded as the book folds; answered from the book's word index, ranked by
// BM25 with a subject hit above a text hit and a subject equal to the query
// first, each hit with a snippet of its text. A book with no index is
// searched by the walk (its Find, passing over the blocks that cannot hold
// the query) and its hits ranked by the same measure without the words'
// rarity, which only an index knows.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ql {
class BookReader;
}

namespace ql::fts {

class WordIndex;

struct FtsQuery {
  std::vector<std::string> words;                 // folded, each must be there
  std::vector<std::string> prefixes;              // folded, a word starting so
  std::vector<std::vector<std::string>> phrases;  // folded words, in a row
  std::vector<std::string> excluded;              // folded, none may be there
  std::vector<std::vector<std::string>> excludedPhrases;
  bool Empty() const { return words.empty() && prefixes.empty() && phrases.empty(); }
};

// Parses the query's text (UTF-8): words split by spaces; "a phrase";
// prefix*; -word, -"a phrase" left out. A word that folds to several (such
// as e-mail) is a phrase of them; an unclosed quote closes at the end.
// False with the reason for a query that can find nothing: no word to look
// for, or only words to leave out.
bool ParseFtsQuery(std::string_view text, FtsQuery& out, std::string& reason);

// A marked part of a snippet, in bytes.
struct Mark {
  size_t offset = 0, length = 0;
};

struct FtsHit {
  int record = -1;
  double score = 0;
  std::string subject;
  std::string snippet;      // UTF-8, on one line
  std::vector<Mark> marks;  // the query's words in the snippet, in order
  std::string firstWord;    // the query word the snippet centres on (folded)
};

// The snippet with every mark put in brackets: "a [red] wine".
std::string BracketMarks(const FtsHit& hit);

struct BookAnswer {
  std::vector<FtsHit> hits;  // best first
  size_t total = 0;          // hits in all, of which the best are given
  bool indexed = false;      // false: searched by the walk
  std::string reason;        // set when the book could not be searched
};

// Searches the open book. index may be null (the walk). At most limit
// hits are given, with snippets; cancel, when set, stops the walk.
BookAnswer SearchBook(BookReader& book, const WordIndex* index, const FtsQuery& query, size_t limit,
                      const std::atomic<bool>* cancel = nullptr);

// Opens the book at path read-only, and its index in IndexFolder() when it
// is built, and searches it.
BookAnswer SearchBookFile(const std::string& path, const FtsQuery& query, size_t limit,
                          const std::atomic<bool>* cancel = nullptr);

// The index of the book at path when built and sound, else null (a damaged
// one is removed, so it is built again). A book whose file the index folder
// does not know is read whole for its key when readBook is set (a search,
// for which reading it is cheaper than walking it), else taken as not indexed.
std::unique_ptr<WordIndex> OpenIndexFor(const std::string& path, bool readBook = false);

// False when the book at path has an index that shows no subject of it
// holds every word of key (UTF-8), so no subject equals it: a lookup need
// not open the book. True otherwise, and always for a book not indexed.
bool SubjectMayBeIn(const std::string& bookPath, std::string_view key);
// The same with the book's index at hand.
bool SubjectMayBeIn(const WordIndex& index, std::string_view key);

// Gives the open book at path the subject order its index keeps, when the
// book is not sorted and its index is built, so its lookups need not walk
// it; false when there is none to give.
bool AttachSubjectOrder(BookReader& book, const std::string& path);

}  // namespace ql::fts
