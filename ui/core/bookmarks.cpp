// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "bookmarks.h"

#include "book_text.h"
#include "messages.h"
#include "show_record.h"

namespace ql {

void NewBookmark(Document& doc, Desktop& desktop) {
  if (!doc.IsOpen()) return;
  BookReader& reader = doc.Reader();
  int slot = -1;
  for (int s = kBookmarkFirstSlot; s <= kBookmarkLastSlot; ++s) {
    if (reader.GetBookmark(s).textLength == 0) {
      slot = s;
      break;
    }
  }
  if (slot < 0) {
    desktop.ShowMessage(kBookmarksFull, kDefaultCaption);
    return;
  }
  // The bookmark follows the list's selection, not the record on show.
  int index = desktop.SelectionMark();
  if (index == -1) index = 0;
  const std::string text = reader.GetSubject(index);
  // The table keeps the subject's first bytes; a UTF-8 subject is cut
  // before a character that would not fit whole.
  const size_t kept = CharacterCut(text, kBookmarkTextSize, FormOf(reader));
  reader.SetBookmark(slot, static_cast<int>(text.size()), index, 0,
                     std::string_view(text).substr(0, kept));
  RebuildBookmarkMenu(doc, desktop);
}

void RemoveBookmark(Document& doc, Desktop& desktop) {
  if (!doc.IsOpen()) return;
  const std::optional<int> chosen = desktop.ChooseBookmarkToRemove(BookmarksInUse(doc));
  if (!chosen) return;
  if (*chosen != -1) doc.Reader().SetBookmark(*chosen, 0, 0, 0, {});
  RebuildBookmarkMenu(doc, desktop);
}

void GoToBookmark(Document& doc, Desktop& desktop, int slot) {
  if (!doc.IsOpen() || slot < kBookmarkFirstSlot || slot > kBookmarkLastSlot) return;
  const BookmarkEntry entry = doc.Reader().GetBookmark(slot);
  // A free slot, or a record the book does not have (a damaged table).
  if (entry.textLength == 0 || entry.recordIndex < 0 ||
      entry.recordIndex >= doc.Reader().GetSubjectCount())
    return;
  desktop.ShowRecord(entry.recordIndex, -1, -1, false);
  desktop.SelectRow(entry.recordIndex);
}

std::vector<BookmarkItem> BookmarksInUse(const Document& doc) {
  std::vector<BookmarkItem> items;
  for (int s = kBookmarkFirstSlot; s <= kBookmarkLastSlot; ++s) {
    BookmarkEntry e = doc.Reader().GetBookmark(s);
    if (e.textLength != 0) items.push_back({s, std::move(e.text)});
  }
  return items;
}

}  // namespace ql
