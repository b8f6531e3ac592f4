// Sequential search over a book: every record from the start point on is
// taken in turn (subject first, then text) and scanned for the term as if
// lowered with the Windows-1252 mapping.
// Records follow each other in the record stream, so a forward search
// decompresses each record block once through the reader's block cache.
#include <string>

#include "book_reader.h"
#include "text_case.h"

namespace ql {

namespace {

constexpr size_t kNotFound = FoldedFinder::kNotFound;

// The subject test of both modes: an occurrence that passes the whole-word
// test when it is asked for.
bool SubjectHit(std::string_view subject, const FoldedFinder& finder, size_t termLength,
                bool wholeWord) {
  size_t offset = 0;
  while (offset < subject.size()) {
    size_t hit = finder.Find(subject, offset);
    if (hit == kNotFound) return false;
    if (!wholeWord || IsWholeWord(subject, hit, termLength)) return true;
    offset = hit + 1;
  }
  return false;
}

// The text test of mode 3 from offset from: the first occurrence that is a
// whole word (when asked for) and does not lie inside a link.
size_t TextHit(std::string_view text, const FoldedFinder& finder, size_t termLength, size_t from,
               bool wholeWord) {
  size_t offset = from;
  while (offset < text.size()) {
    size_t hit = finder.Find(text, offset);
    if (hit == kNotFound) return kNotFound;
    if ((!wholeWord || IsWholeWord(text, hit, termLength)) && !IsInsideLink(text, hit)) return hit;
    offset = hit + 1;
  }
  return kNotFound;
}

}  // namespace

int BookReader::Search(int mode, std::string_view term, int& record, int& pos, bool wholeWord,
                       bool sameRecordOnly) {
  const int start = record;
  const int current = iCurrentRecord;
  const FoldedFinder finder(term);
  std::string scratch;  // a legacy book's subject
  if (iOpen && start >= 0) {
    while (record < iSubjectCount) {
      if (record > start && sameRecordOnly) return kSearchLeftRecord;
      if (mode == SearchSubjects) {
        pos = 0;
        if (SubjectHit(PeekSubject(record, scratch), finder, term.size(), wholeWord)) {
          pos = -1;
          return kSearchHit;
        }
      } else if (mode == SearchSubjectsAndText) {
        if (pos == -1 && SubjectHit(PeekSubject(record, scratch), finder, term.size(), wholeWord))
          return kSearchHit;
        if (pos < 0) pos = 0;
        // A record that cannot be loaded is passed over like one without hits.
        if (LoadRecord(record) == 1) {
          size_t hit = TextHit(CurrentRecordText(), finder, term.size(), static_cast<size_t>(pos),
                               wholeWord);
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
  if (mode == SearchSubjectsAndText && current != -1 && iCurrentRecord != current)
    LoadRecord(current);
  return kSearchNone;
}

int BookReader::FindMatch(const SearchQuery& query, int& record, int& pos) {
  // A further term holds when it occurs anywhere in the record (subject too,
  // in mode 3) and is not excluded, or does not occur and is excluded.
  auto holds = [&](const std::string& term, bool exclude) {
    if (term.empty()) return true;
    int where = record;
    int at = -1;
    bool occurs =
        Search(query.mode, term, where, at, query.wholeWord, true) == kSearchHit && where == record;
    return occurs != exclude;
  };
  for (;;) {
    int r = Search(query.mode, query.term1, record, pos, query.wholeWord, false);
    if (r < 0) return r;
    if (holds(query.term2, query.exclude2) && holds(query.term3, query.exclude3)) return kSearchHit;
    // The whole record is rejected, even if term1 occurs in it again later.
    ++record;
    pos = -1;
  }
}

}  // namespace ql
