// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The record display sequence, one for every record shown anywhere (the main
// window, the help window, QuickPeek), and link following.
#pragma once

#include <string_view>

#include "book_view.h"
#include "desktop_services.h"
#include "document.h"
#include "page_file.h"

namespace ql {

// What showing a record does to the document's history.
enum class HistoryStep {
  kVisit,    // a step of its own
  kReplace,  // the same step as the record before (typing in the lookup line)
  kNone,     // none: Back or Forward, or a view with no history of its own
};

struct ShowRequest {
  int index = -1;
  int foundPos = -1;  // the hit to mark; -1 for none
  int foundLength = -1;
  bool scrollToFound = false;
  HistoryStep step = HistoryStep::kVisit;
};

// Shows record request.index of doc's book in view: the page is rendered
// with the document's render options into the page file and the view shows
// it; the history takes its step. A page that cannot be written leaves the
// view with the page it had, and the reason is told once in a message, then
// in the status line. False when nothing was shown: no book, an index
// outside it, or the page not written.
bool ShowRecord(Document& doc, BookView& view, Notices& tell, const ShowRequest& request);
// The same through page, a page file of the view's own (QuickPeek shows the
// main window's book beside it).
bool ShowRecord(Document& doc, PageFile& page, BookView& view, Notices& tell,
                const ShowRequest& request);

// Follows a link in a page view shows: one of ours to a subject of the book
// shows its record in view (BookView::ShowRecord, as a step of its own).
// False when the address is not ours or there is no record to show.
bool FollowLink(Document& doc, BookView& view, std::string_view address);

// The bookmark menu follows the document, once the window is there.
void RebuildBookmarkMenu(const Document& doc, BookView& view);

}  // namespace ql
