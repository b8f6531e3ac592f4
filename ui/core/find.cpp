// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "find.h"

#include <memory>

#include "messages.h"

namespace ql {

namespace {

int ModeFor(const FindState& state) {
  return state.iSubjectOnly ? SearchSubjects : SearchSubjectsAndText;
}

void ShowMatch(Desktop& desktop, const FindState& state) {
  desktop.ShowRecord(state.iSearchRecord, state.iSearchPos,
                     static_cast<int>(state.iQuery.term1.size()), true);
  desktop.SelectRow(state.iSearchRecord);
}

// One search from the candidate's position; the wait cursor shows while the
// book is walked. Only a search that ends commits the candidate.
void SearchOnce(Document& doc, Desktop& desktop, FindState& state, SearchRunner& runner,
                const FindState& candidate, std::function<void(bool found)> then) {
  // The runner may drop the ending without calling it (it goes before the
  // search ends); the cursor goes with it then.
  auto wait = std::make_shared<WaitCursorOn>(desktop);
  runner.Start(doc, candidate.iQuery, candidate.iSearchRecord, candidate.iSearchPos,
               [wait, &state, candidate, then = std::move(then)](int result, int record, int pos) {
                 wait->End();
                 if (result == kSearchCancelled) return;
                 // Where the walk stopped, hit or not: Find Next goes on from there.
                 state = candidate;
                 state.iSearchRecord = record;
                 state.iSearchPos = pos;
                 then(result >= 0);
               });
}

// Searches, and when nothing is found up to the end of the book offers to
// start again from the first record.
void SearchAndShow(Document& doc, Desktop& desktop, FindState& state, SearchRunner& runner,
                   const FindState& candidate) {
  SearchOnce(doc, desktop, state, runner, candidate, [&doc, &desktop, &state, &runner](bool found) {
    if (found) {
      ShowMatch(desktop, state);
      return;
    }
    if (desktop.Ask(kRestartQuestion, kNotFoundCaption, Buttons::kYesNo, Icon::kQuestion, true) !=
        Answer::kYes)
      return;
    FindState restart = state;
    restart.iSearchRecord = 0;
    restart.iSearchPos = -1;
    SearchOnce(doc, desktop, state, runner, restart, [&desktop, &state](bool again) {
      if (again)
        ShowMatch(desktop, state);
      else
        desktop.ShowMessageIcon(kNoMatch, kDefaultCaption, Icon::kInformation);
    });
  });
}

// The kept terms in the form of the book now open: the dialog shows them and
// the search looks for them in that form. Terms already searched for are
// folded again as that book's search takes them.
void TakeTermsTo(FindState& state, const BookReader& reader, bool searched) {
  const TextForm form = FormOf(reader);
  if (state.iForm == form) return;
  for (std::string* term : {&state.iQuery.term1, &state.iQuery.term2, &state.iQuery.term3}) {
    *term = ConvertText(*term, state.iForm, form);
    if (searched) *term = reader.FoldTerm(*term);
  }
  state.iForm = form;
}

}  // namespace

void PlainSearchRunner::Start(Document& doc, const SearchQuery& query, int record, int pos,
                              Done done) {
  const int result = doc.Reader().FindMatch(query, record, pos);
  done(result >= 0 ? kSearchHit : kSearchNone, record, pos);
}

void RunFind(Document& doc, Desktop& desktop, FindState& found, SearchRunner& runner) {
  if (!doc.IsOpen()) return;
  FindState state = found;
  TakeTermsTo(state, doc.Reader(), false);
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
  if (q.term1.empty()) {
    found = state;  // the dialog's terms are kept; no search ran
    return;
  }

  // A UTF-8 book is searched with terms folded by Unicode case folding, a
  // Windows-1252 one with terms lower-cased by the code page.
  q.term1 = doc.Reader().FoldTerm(q.term1);
  q.term2 = doc.Reader().FoldTerm(q.term2);
  q.term3 = doc.Reader().FoldTerm(q.term3);
  q.mode = ModeFor(state);
  q.wholeWord = state.iWholeWords;
  // The search includes the selected subject itself.
  const int mark = desktop.SelectionMark();
  state.iSearchRecord = mark < 0 ? 0 : mark;
  state.iSearchPos = -1;
  SearchAndShow(doc, desktop, found, runner, state);
}

void RunFindNext(Document& doc, Desktop& desktop, FindState& found, SearchRunner& runner) {
  if (!doc.IsOpen() || found.iQuery.term1.empty()) return;
  FindState state = found;
  TakeTermsTo(state, doc.Reader(), true);
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
  SearchAndShow(doc, desktop, found, runner, state);
}

void RunFind(Document& doc, Desktop& desktop, FindState& state) {
  PlainSearchRunner runner;
  RunFind(doc, desktop, state, runner);
}

void RunFindNext(Document& doc, Desktop& desktop, FindState& state) {
  PlainSearchRunner runner;
  RunFindNext(doc, desktop, state, runner);
}

}  // namespace ql
