// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Sequential search over a book: every record from the start point on is
// taken in turn (subject first, then text) and scanned for the term as if
// lowered with the Windows-1252 mapping (folded by Unicode simple case
// folding in a UTF-8 book).
// Records follow each other in the record stream, so a forward search
// decompresses each record block once through the reader's block cache.
#include <algorithm>
#include <optional>
#include <string>

#include "book_reader.h"
#include "text_case.h"
#include "unicode_book_file.h"
#include "unicode_text.h"

namespace ql {

namespace {

constexpr size_t kNotFound = FoldedFinder::kNotFound;

// The term looked for in a book's own text form: Windows-1252 text lowered
// with its code page's mapping, or UTF-8 text folded by Unicode simple case
// folding (where an occurrence may span more or fewer bytes than the term).
class TermFinder {
 public:
  TermFinder(std::string_view term, bool unicode) : iTermLength(term.size()) {
    if (unicode)
      iUnicode.emplace(term);
    else
      iWestern.emplace(term);
    if (unicode) {
      iValidUtf8 = true;
      for (size_t at = 0; at < term.size() && iValidUtf8;) {
        char32_t c = 0;
        const size_t n = DecodeUtf8(term, at, c);
        iValidUtf8 = !(c == 0xFFFD && n == 1 && static_cast<uint8_t>(term[at]) >= 0x80);
        at += std::max<size_t>(n, 1);
      }
    }
  }
  // The UTF-8 finder, when the term is valid UTF-8 (then a block of the
  // book in which it does not occur holds no record that has it).
  const Utf8FoldedFinder* BlockFinder() const {
    return iUnicode && iValidUtf8 && iUnicode->TermUnits() > 0 ? &*iUnicode : nullptr;
  }

  // Occurrences from a start on, with the whole-word test of the text form.
  class Scan {
   public:
    Scan(const TermFinder& finder, std::string_view text, size_t from)
        : iFinder(finder), iText(text) {
      if (finder.iUnicode)
        iUnicode.emplace(*finder.iUnicode, text, from);
      else
        iWestern.emplace(*finder.iWestern, text, from);
    }
    // The next occurrence's start (kNotFound once there is none); length
    // receives the bytes it spans.
    size_t Next(size_t& length) {
      if (iUnicode) {
        const auto hit = iUnicode->Next();
        if (!hit) return kNotFound;
        length = hit->length;
        return hit->offset;
      }
      length = iFinder.iTermLength;
      return iWestern->Next();
    }
    bool Whole(size_t hit, size_t length) const {
      return iUnicode ? IsWholeWordUtf8(iText, hit, length) : IsWholeWord(iText, hit, length);
    }
    size_t Work() const { return iUnicode ? iUnicode->Work() : iWestern->Work(); }

   private:
    const TermFinder& iFinder;
    std::string_view iText;
    std::optional<FoldedFinder::Scan> iWestern;
    std::optional<Utf8FoldedFinder::Scan> iUnicode;
  };

 private:
  size_t iTermLength;
  bool iValidUtf8 = false;
  std::optional<FoldedFinder> iWestern;
  std::optional<Utf8FoldedFinder> iUnicode;
};

// The subject test of both modes: an occurrence that passes the whole-word
// test when it is asked for.
bool SubjectHit(std::string_view subject, const TermFinder& finder, bool wholeWord) {
  TermFinder::Scan scan(finder, subject, 0);
  size_t length = 0;
  for (size_t hit = scan.Next(length); hit != kNotFound; hit = scan.Next(length))
    if (!wholeWord || scan.Whole(hit, length)) return true;
  return false;
}

// The text test of mode 3 from offset from: the first occurrence that is a
// whole word (when asked for) and does not lie inside a link. One scan and
// one walk for the link test serve all the occurrences passed over.
size_t TextHit(std::string_view text, const TermFinder& finder, size_t from, bool wholeWord,
               LinkScanState& linkScan, int64_t& passed) {
  TermFinder::Scan scan(finder, text, from);
  // Find Next goes on from the last hit: the walk so far still holds.
  if (linkScan.scanned > std::max<size_t>(from, 1)) linkScan = LinkScanState{};
  const size_t walked = linkScan.scanned;
  LinkTracker links(text, linkScan);
  size_t found = kNotFound;
  size_t length = 0;
  for (size_t hit = scan.Next(length); hit != kNotFound; hit = scan.Next(length)) {
    if ((!wholeWord || scan.Whole(hit, length)) && !links.IsInsideLink(hit)) {
      found = hit;
      break;
    }
  }
  passed += static_cast<int64_t>(scan.Work() + (linkScan.scanned - walked));
  return found;
}

}  // namespace

int BookReader::Search(int mode, std::string_view term, int& record, int& pos, bool wholeWord,
                       bool sameRecordOnly) {
  const int result =
      SearchUpTo(mode, term, record, pos, wholeWord, sameRecordOnly, iSubjectCount, nullptr);
  if (iUnicode) UnicodeStats();
  return result;
}

int BookReader::FindMatch(const SearchQuery& query, int& record, int& pos) {
  return FindMatchUpTo(query, record, pos, iSubjectCount, nullptr);
}

int BookReader::SearchUpTo(int mode, std::string_view term, int& record, int& pos, bool wholeWord,
                           bool sameRecordOnly, int endRecord, SearchWatch* watch) {
  const int start = record;
  const int current = iCurrentRecord;
  const int end = std::min(endRecord, iSubjectCount);
  const TermFinder finder(term, iUnicode != nullptr);
  // Each walk's finder is told apart from the last one's by its number.
  const Utf8FoldedFinder* blockFinder = finder.BlockFinder();
  const uint64_t finderId = ++iSearchWalks;
  std::string scratch;  // a legacy book's subject
  if (iOpen && start >= 0) {
    while (record < end) {
      if (record > start && sameRecordOnly) return kSearchLeftRecord;
      if (watch && !watch->Continue(record)) return kSearchCancelled;
      // A record whose blocks lack the term is passed over unread.
      if (blockFinder &&
          iUnicode->CannotHold(record, *blockFinder, finderId, mode == SearchSubjects)) {
        pos = -1;
        ++record;
        continue;
      }
      bool damaged = false;
      if (mode == SearchSubjects) {
        pos = 0;
        const std::string_view subject = PeekSubject(record, scratch, damaged);
        if (damaged) NoteDamaged(record);
        if (SubjectHit(subject, finder, wholeWord)) {
          pos = -1;
          return kSearchHit;
        }
      } else if (mode == SearchSubjectsAndText) {
        if (pos == -1) {
          const std::string_view subject = PeekSubject(record, scratch, damaged);
          if (damaged) NoteDamaged(record);
          if (SubjectHit(subject, finder, wholeWord)) return kSearchHit;
        }
        if (pos < 0) pos = 0;
        // A record that cannot be loaded is passed over like one without hits.
        // Find Next asks again for the record it found the last hit in,
        // which is still the current one.
        if (iCurrentRecord == record || LoadRecord(record) == 1) {
          if (iRecordDamaged) NoteDamaged(record);
          if (iLinkScanRecord != record) iLinkScan = LinkScanState{};
          iLinkScanRecord = record;
          size_t hit = TextHit(CurrentRecordText(), finder, static_cast<size_t>(pos), wholeWord,
                               iLinkScan, iStats.searchTextPassed);
          if (hit != kNotFound) {
            pos = static_cast<int>(hit);
            return kSearchHit;
          }
        }
      }
      pos = -1;
      ++record;
    }
  }
  // Nothing to the end of the book: the record shown before stays current.
  // A walk that stops short of the end leaves the last record it read, for
  // the next part of the book is searched on (by the same reader or not).
  if (end == iSubjectCount && mode == SearchSubjectsAndText && current != -1 &&
      iCurrentRecord != current)
    LoadRecord(current);
  return kSearchNone;
}

int BookReader::FindMatchUpTo(const SearchQuery& query, int& record, int& pos, int endRecord,
                              SearchWatch* watch) {
  // A further term holds when it occurs anywhere in the record (subject too,
  // in mode 3) and is not excluded, or does not occur and is excluded.
  // Find Next asks again for every hit of term1 in a record; whether a
  // further term occurs in it is kept rather than searched for each time.
  auto holds = [&](const std::string& term, bool exclude, TermInRecord& known) {
    if (term.empty()) return true;
    if (known.record != record || known.term != term || known.mode != query.mode ||
        known.wholeWord != query.wholeWord) {
      int where = record;
      int at = -1;
      known.occurs = Search(query.mode, term, where, at, query.wholeWord, true) == kSearchHit &&
                     where == record;
      known.record = record;
      known.term = term;
      known.mode = query.mode;
      known.wholeWord = query.wholeWord;
    }
    return known.occurs != exclude;
  };
  for (;;) {
    int r =
        SearchUpTo(query.mode, query.term1, record, pos, query.wholeWord, false, endRecord, watch);
    if (r < 0) return r;
    if (holds(query.term2, query.exclude2, iTermInRecord[0]) &&
        holds(query.term3, query.exclude3, iTermInRecord[1]))
      return kSearchHit;
    // The whole record is rejected, even if term1 occurs in it again later.
    ++record;
    pos = -1;
  }
}

}  // namespace ql
