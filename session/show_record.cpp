// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "show_record.h"

#include <optional>
#include <string>

#include "links.h"

namespace ql {

bool ShowRecord(Document& doc, BookView& view, Notices& tell, const ShowRequest& request) {
  return ShowRecord(doc, doc.Page(), view, tell, request);
}

bool ShowRecord(Document& doc, PageFile& page, BookView& view, Notices& tell,
                const ShowRequest& request) {
  if (request.index < 0 || request.index >= doc.RowCount()) return false;
  std::string reason;
  const bool written = page.Write(
      [&](ByteSink& sink) {
        doc.Reader().RenderRecord(sink, doc.Options(), request.index, request.foundPos,
                                  request.foundLength);
      },
      reason);
  if (!written) {
    if (page.FailureTold()) {
      tell.ShowStatus(reason);
    } else {
      page.SetFailureTold();
      tell.ShowMessageIcon(reason, kAppTitle, Icon::kWarning);
    }
    return false;
  }
  view.ShowPage(page.Path(), request.scrollToFound);
  switch (request.step) {
    case HistoryStep::kVisit:
      doc.History().Visit({doc.Path(), doc.Reader().GetSubject(request.index)});
      break;
    case HistoryStep::kReplace:
      doc.History().ReplaceCurrent({doc.Path(), doc.Reader().GetSubject(request.index)});
      break;
    case HistoryStep::kNone:
      break;
  }
  return true;
}

bool FollowLink(Document& doc, BookView& view, std::string_view address) {
  const std::optional<std::string> key = LinkKey(address);
  const int target = key ? LinkTarget(doc, *key) : -1;
  if (target < 0) return false;
  view.ShowRecord(target, -1, -1, false);
  return true;
}

void RebuildBookmarkMenu(const Document& doc, BookView& view) {
  if (doc.IsOpen() && doc.Initialised()) view.RebuildBookmarkMenu();
}

}  // namespace ql
