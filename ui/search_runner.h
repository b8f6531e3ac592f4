// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Find and Find Next on worker threads: the window keeps painting and
// answering while the book is searched, the status bar shows how far the
// search has come, and Esc stops it.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "find.h"
#include "parallel_search.h"

namespace qlui {

class ThreadedSearchRunner final : public QObject, public ql::SearchRunner {
  Q_OBJECT
 public:
  // status shows a line in the status bar (empty: clear it).
  explicit ThreadedSearchRunner(std::function<void(const QString&)> status,
                                QObject* parent = nullptr);
  ~ThreadedSearchRunner() override;

  // A search still running is cancelled first. Where no view of the book can
  // be made, the book is walked at once instead.
  void Start(ql::Document& doc, const ql::SearchQuery& query, int record, int pos,
             Done done) override;
  bool Running() const { return static_cast<bool>(iDone); }
  // Esc: the search stops and its flow ends as cancelled, before this
  // returns. Needed as well before the book is closed.
  void Cancel();
  // The threads each search uses (all cores unless set).
  void SetThreads(int threads) { iThreads = threads; }

 private:
  void Poll();
  void Finish(const ql::SearchOutcome& outcome);

  std::function<void(const QString&)> iStatus;
  ql::ParallelSearch iSearch;
  QTimer iPoll;
  Done iDone;
  int iThreads;
  int iLastPercent = -1;
};

}  // namespace qlui
