// Find and Find Next: the query and the search position, kept across books,
// where a search starts, the offer to restart from the first record, and
// showing the hit.
#pragma once

#include "book_reader.h"
#include "desktop.h"
#include "document.h"

namespace ql {

inline constexpr const char* kRestartQuestion = "Restart search from first record?";
inline constexpr const char* kNotFoundCaption = "Not found";
inline constexpr const char* kNoMatch = "No match found in whole file";

struct FindState {
  SearchQuery iQuery;  // terms as typed until a search runs, then lower case
  bool iWholeWords = true;
  bool iSubjectOnly = false;
  int iSearchRecord = 0;  // record of the last match; where the next search starts
  int iSearchPos = -1;    // -1: the start of the record (its subject)
};

// Find (Ctrl+F): the dialog, then a search from the selected subject on.
void RunFind(Document& doc, Desktop& desktop, FindState& state);
// Find Next (F3): on from the last match, unless the selection moved away.
void RunFindNext(Document& doc, Desktop& desktop, FindState& state);

}  // namespace ql
