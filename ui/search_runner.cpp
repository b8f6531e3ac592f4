// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "search_runner.h"

namespace qlui {

ThreadedSearchRunner::ThreadedSearchRunner(std::function<void(const QString&)> status,
                                           QObject* parent)
    : QObject(parent), iStatus(std::move(status)), iThreads(ql::DefaultSearchThreads()) {
  // Often enough that a short search seems immediate, seldom enough to cost
  // nothing.
  iPoll.setInterval(15);
  connect(&iPoll, &QTimer::timeout, this, &ThreadedSearchRunner::Poll);
}

ThreadedSearchRunner::~ThreadedSearchRunner() {
  // The flow's state may already be gone: its ending is not called.
  iDone = nullptr;
  iSearch.Cancel();
  iSearch.Wait();
}

void ThreadedSearchRunner::Start(ql::Document& doc, const ql::SearchQuery& query, int record,
                                 int pos, Done done) {
  Cancel();
  if (iSearch.Start(doc.Reader(), query, record, pos, iThreads) != ql::OpenResult::kOk) {
    const int result = doc.Reader().FindMatch(query, record, pos);
    done(result >= 0 ? ql::kSearchHit : ql::kSearchNone, record, pos);
    return;
  }
  iDone = std::move(done);
  iLastPercent = -1;
  iPoll.start();
}

void ThreadedSearchRunner::Cancel() {
  if (!Running()) return;
  iSearch.Cancel();
  Finish(iSearch.Wait());
  iStatus(tr("Search stopped"));
}

void ThreadedSearchRunner::Poll() {
  if (iSearch.Done()) {
    Finish(iSearch.Wait());
    return;
  }
  const int percent = static_cast<int>(iSearch.Progress() * 100);
  if (percent == iLastPercent) return;
  iLastPercent = percent;
  iStatus(tr("Searching: %1% of the book (Esc stops)").arg(percent));
}

void ThreadedSearchRunner::Finish(const ql::SearchOutcome& outcome) {
  iPoll.stop();
  if (iLastPercent >= 0) iStatus(QString());
  Done done = std::move(iDone);
  iDone = nullptr;
  // The ending may start the next search (a restart from the first record).
  if (done) done(outcome.result, outcome.record, outcome.pos);
}

}  // namespace qlui
