// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The bookmark commands. The table belongs to the document's reader; these
// change it in memory and rebuild the menu. All are silent with no book open.
#pragma once

#include <vector>

#include "desktop.h"
#include "document.h"

namespace ql {

inline constexpr int kBookmarkFirstSlot = 1;
inline constexpr int kBookmarkLastSlot = 50;
inline constexpr int kBookmarkCommandBase = 40000;  // slot s is command 40000 + s
inline constexpr const char* kBookmarksFull = "Maximum number of bookmarks reached";

// New bookmark: the lowest free slot takes the list's selected subject
// (subject 0 when nothing is selected).
void NewBookmark(Document& doc, Desktop& desktop);
// Remove bookmark...: the dialog lists the slots in use; OK frees the chosen one.
void RemoveBookmark(Document& doc, Desktop& desktop);
// Go to bookmark slot: shows its record and selects its row.
void GoToBookmark(Document& doc, Desktop& desktop, int slot);
// The slots in use, in slot order: the menu's items and the dialog's list.
std::vector<BookmarkItem> BookmarksInUse(const Document& doc);

}  // namespace ql
