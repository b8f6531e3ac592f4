// Sequential search over a book: every record from the start point on is
// taken in turn (subject first, then text), lowered with the Windows-1252
// mapping into one reusable buffer and scanned for the term as plain bytes.
// Records follow each other in the record stream, so a forward search
// decompresses each record block once through the reader's block cache.
#include <cstring>
#include <string>

#include "book_reader.h"
#include "text_case.h"

namespace ql {

namespace {

constexpr size_t kNotFound = static_cast<size_t>(-1);

// First occurrence of term in hay at or after from; kNotFound when none.
size_t FindBytes(std::string_view hay, std::string_view term, size_t from) {
  if (from > hay.size() || term.size() > hay.size() - from) return kNotFound;
  if (term.empty()) return from;
  const void* found = memmem(hay.data() + from, hay.size() - from, term.data(), term.size());
  if (found == nullptr) return kNotFound;
  return static_cast<size_t>(static_cast<const char*>(found) - hay.data());
}

// Lowers bytes [from, end) of text into buffer, so that buffer position i
// stands for text position from + i.
std::string_view LowerTail(std::string_view text, size_t from, std::string& buffer) {
  size_t n = text.size() - from;
  if (buffer.size() < n) buffer.resize(n);
  LowerCaseInto(reinterpret_cast<const uint8_t*>(text.data() + from),
                reinterpret_cast<uint8_t*>(buffer.data()), n);
  return std::string_view(buffer.data(), n);
}

// The subject test of both modes: an occurrence that passes the whole-word
// test when it is asked for.
bool SubjectHit(std::string_view subject, std::string_view term, bool wholeWord,
                std::string& buffer) {
  std::string_view lower = LowerTail(subject, 0, buffer);
  size_t offset = 0;
  while (offset < subject.size()) {
    size_t hit = FindBytes(lower, term, offset);
    if (hit == kNotFound) return false;
    if (!wholeWord || IsWholeWord(subject, hit, term.size())) return true;
    offset = hit + 1;
  }
  return false;
}

// The text test of mode 3 from offset from: the first occurrence that is a
// whole word (when asked for) and does not lie inside a link.
size_t TextHit(std::string_view text, std::string_view term, size_t from, bool wholeWord,
               std::string& buffer) {
  if (from >= text.size()) return kNotFound;
  std::string_view lower = LowerTail(text, from, buffer);
  size_t offset = 0;
  while (from + offset < text.size()) {
    size_t found = FindBytes(lower, term, offset);
    if (found == kNotFound) return kNotFound;
    size_t hit = from + found;
    if ((!wholeWord || IsWholeWord(text, hit, term.size())) && !IsInsideLink(text, hit)) return hit;
    offset = found + 1;
  }
  return kNotFound;
}

}  // namespace

int BookReader::Search(int mode, std::string_view term, int& record, int& pos, bool wholeWord,
                       bool sameRecordOnly) {
  const int start = record;
  const int current = iCurrentRecord;
  std::string buffer;  // one lowering buffer for the whole walk
  if (iOpen && start >= 0) {
    while (record < iSubjectCount) {
      if (record > start && sameRecordOnly) return kSearchLeftRecord;
      if (mode == SearchSubjects) {
        pos = 0;
        if (SubjectHit(GetSubject(record), term, wholeWord, buffer)) {
          pos = -1;
          return kSearchHit;
        }
      } else if (mode == SearchSubjectsAndText) {
        if (pos == -1 && SubjectHit(GetSubject(record), term, wholeWord, buffer)) return kSearchHit;
        if (pos < 0) pos = 0;
        // A record that cannot be loaded is passed over like one without hits.
        if (LoadRecord(record) == 1) {
          size_t hit =
              TextHit(CurrentRecordText(), term, static_cast<size_t>(pos), wholeWord, buffer);
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
