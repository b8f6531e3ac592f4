// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The subject list's rules, apart from the widget: the preview text, the
// column widths, which record a key shows, the typed find and the splitter's
// halves.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "document.h"

namespace ql {

// Stored markup to plain text: breaks and block tags become a space, link
// targets and other tags vanish, and the entities a page decodes are their
// characters (DecodeRecordEntity); no-break spaces that start a line (an
// indent) are left out.
std::string CleanPreview(std::string_view head);

// Column widths (subject, preview) at the initial update, with the scroll
// bar's width taken off, and after a resize.
std::pair<int, int> InitialColumnWidths(int clientWidth, int scrollBarWidth);
std::pair<int, int> ResizedColumnWidths(int clientWidth);

// The two panes' heights for a client height: integer halves.
std::pair<int, int> SplitHalves(int height);

enum class ListKey { kUp, kDown, kEnter, kHome, kEnd, kPageUp, kPageDown, kOther };
// The record Up, Down or Enter shows before the list moves its selection,
// or -1 (also for the keys that jump).
int RecordForKey(ListKey key, int selectionMark, int rowCount);
// The row Home, End, Page Up and Page Down move the list to, a page being
// pageRows rows (at least one), or -1 for another key or no rows. Without a
// mark the list moves from its first row.
int RowForJump(ListKey key, int selectionMark, int rowCount, int pageRows);

// Typed find: the index of the first subject starting with typed (ignoring
// case), or -1.
int TypedFind(Document& doc, std::string_view typed);

}  // namespace ql
