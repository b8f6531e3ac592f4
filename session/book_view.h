// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A view of one book: the window's subject list and record view, the help
// window, QuickPeek. The session and the flows tell a view what changed; how
// it shows that is the view's own business.
#pragma once

#include <string>
#include <string_view>

namespace ql {

class BookView {
 public:
  virtual ~BookView() = default;

  // The list shows no book.
  virtual void EmptyList() = 0;
  virtual void ShowStartPage() = 0;
  // A book was opened: the view starts over (row count, columns, start
  // page), the title and the recent-file list follow the document.
  virtual void DocumentOpened() = 0;
  virtual void RebuildBookmarkMenu() = 0;

  // The subject list's selection mark (-1: none), and moving it: the row is
  // selected, focused and scrolled fully into view.
  virtual int SelectionMark() = 0;
  virtual void SelectRow(int index) = 0;
  // A record to show: the page for index (with the hit at foundPos /
  // foundLength marked, -1 for none), through ShowRecord (show_record.h)
  // with the history step that fits how the view got there.
  virtual void ShowRecord(int index, int foundPos, int foundLength, bool scrollToFound) = 0;
  // ShowRecord wrote the page file at path: the view loads it, and with
  // scrollToFound scrolls to the marked text.
  virtual void ShowPage(const std::string& path, bool scrollToFound) = 0;
  // The list takes a new font: face name and cell height in pixels.
  virtual void SetListFont(std::string_view face, int pixelHeight) = 0;
};

}  // namespace ql
