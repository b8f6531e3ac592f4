#include "find.h"

#include "messages.h"
#include "text_case.h"

namespace ql {

namespace {

// One search from the stored position; the wait cursor shows only while the
// book is walked.
bool SearchOnce(Document& doc, Desktop& desktop, FindState& state) {
  desktop.WaitCursor(true);
  const int result = doc.Reader().FindMatch(state.iQuery, state.iSearchRecord, state.iSearchPos);
  desktop.WaitCursor(false);
  return result >= 0;
}

void ShowMatch(Desktop& desktop, const FindState& state) {
  desktop.ShowRecord(state.iSearchRecord, state.iSearchPos,
                     static_cast<int>(state.iQuery.term1.size()), true);
  desktop.SelectRow(state.iSearchRecord);
}

// Searches, and when nothing is found up to the end of the book offers to
// start again from the first record.
void SearchAndShow(Document& doc, Desktop& desktop, FindState& state) {
  if (SearchOnce(doc, desktop, state)) {
    ShowMatch(desktop, state);
    return;
  }
  if (desktop.Ask(kRestartQuestion, kNotFoundCaption, Buttons::kYesNo, Icon::kQuestion, true) !=
      Answer::kYes)
    return;
  state.iSearchRecord = 0;
  state.iSearchPos = -1;
  if (SearchOnce(doc, desktop, state))
    ShowMatch(desktop, state);
  else
    desktop.ShowMessageIcon(kNoMatch, kDefaultCaption, Icon::kInformation);
}

int ModeFor(const FindState& state) {
  return state.iSubjectOnly ? SearchSubjects : SearchSubjectsAndText;
}

}  // namespace

void RunFind(Document& doc, Desktop& desktop, FindState& state) {
  if (!doc.iBookOpen) return;
  SearchQuery& q = state.iQuery;
  FindDialogValues values{q.term1,    q.term2,           q.term3,           q.exclude2,
                          q.exclude3, state.iWholeWords, state.iSubjectOnly};
  if (!desktop.EditFind(values)) return;
  q.term1 = std::move(values.term1);
  q.term2 = std::move(values.term2);
  q.term3 = std::move(values.term3);
  q.exclude2 = values.exclude2;
  q.exclude3 = values.exclude3;
  state.iWholeWords = values.wholeWords;
  state.iSubjectOnly = values.subjectOnly;
  if (q.term1.empty()) return;

  q.term1 = LowerCaseCp1252(q.term1);
  q.term2 = LowerCaseCp1252(q.term2);
  q.term3 = LowerCaseCp1252(q.term3);
  q.mode = ModeFor(state);
  q.wholeWord = state.iWholeWords;
  // The search includes the selected subject itself.
  const int mark = desktop.SelectionMark();
  state.iSearchRecord = mark < 0 ? 0 : mark;
  state.iSearchPos = -1;
  SearchAndShow(doc, desktop, state);
}

void RunFindNext(Document& doc, Desktop& desktop, FindState& state) {
  if (!doc.iBookOpen || state.iQuery.term1.empty()) return;
  const int mark = desktop.SelectionMark();
  if (state.iSubjectOnly) {
    state.iQuery.mode = SearchSubjects;
    state.iSearchRecord += 1;
    state.iSearchPos = -1;
    // The user chose another subject: start at that one itself.
    if (state.iSearchRecord != mark + 1) state.iSearchRecord = mark;
  } else {
    state.iQuery.mode = SearchSubjectsAndText;
    state.iSearchPos += 1;
    if (mark != state.iSearchRecord) {
      state.iSearchRecord = mark;
      state.iSearchPos = -1;
    }
  }
  // No selection at all: the book's start.
  if (state.iSearchRecord < 0) {
    state.iSearchRecord = 0;
    state.iSearchPos = -1;
  }
  state.iQuery.wholeWord = state.iWholeWords;
  SearchAndShow(doc, desktop, state);
}

}  // namespace ql
