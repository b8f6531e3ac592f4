// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// View > History: the steps of the lasting history, newest first, as
// "SUBJECT — BOOK TITLE". Enter or a double-click goes to the step chosen.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "history.h"

class QListWidget;

namespace qlui {

class HistoryDialog final : public QDialog {
  Q_OBJECT
 public:
  using Go = std::function<void(const ql::HistoryEntry&)>;
  HistoryDialog(Go go, QWidget* parent = nullptr);
  // Shows history's steps, the current one selected.
  void Fill(const ql::History& history);
  QListWidget* List() const { return iList; }
  // A row's text: the subject (book text) and the book's file name, or the
  // group for a lookup over every book.
  static QString RowText(const ql::HistoryEntry& step);

 private:
  void Activate(int row);

  Go iGo;
  QListWidget* iList;
  std::vector<ql::HistoryEntry> iRows;  // as listed: newest first
};

}  // namespace qlui
