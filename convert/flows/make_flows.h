// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The commands that make and convert books from the window: Import, Upgrade
// and the text export, and the closing and reopening of the open book that
// the import and the handheld export go through.
#pragma once

#include <optional>
#include <string>

#include "desktop.h"
#include "document.h"
#include "import_formats.h"
#include "open_flow.h"
#include "user_texts.h"

namespace ql {

inline constexpr const char* kTextExportFilter = QL_TEXT("messages", "Text files (*.txt)|*.txt||");
inline constexpr const char* kTextExportExtension = "txt";
inline constexpr const char* kImportResultsCaption = QL_TEXT("messages", "Import results");
inline constexpr const char* kUpgradeNeedsLegacy =
    QL_TEXT("messages", "First open a Quillary Version 1 file then select 'Upgrade'");

// Import: a file of any format of the import table (the filter chosen in the
// source dialog, ImportDialogFilter, says which) made into a book, the results shown, the new
// book opened. A failure says what failed, opens no new book, leaves
// the target as it was and reopens the book that was open.
void RunImport(Document& doc, Desktop& desktop, BookFiles& files = SystemBookFiles());

// Upgrade: the open legacy book written as a new version 2 book, which is
// then opened. On failure the legacy book stays open and a message says why.
void RunUpgradeCommand(Document& doc, Desktop& desktop, BookFiles& files = SystemBookFiles());

// Text export: the open book written as tab-separated tagged text.
void RunTextExport(Document& doc, Desktop& desktop);

// The open book, closed while a flow works on its file.
struct ClosedBook {
  std::string path;
  bool readOnly = false;
};

// Writes the open book's bookmarks back and closes it: the list empties and
// the document shows no book, so the book's file may be read or replaced.
// When the bookmarks cannot be written the book stays open, a message says
// why, and the result is nullopt.
std::optional<ClosedBook> CloseBook(Document& doc, Desktop& desktop);

// Opens a closed book again. A read-only book opens read-only at once (its
// user has answered the copy question already); any other goes through the
// open flow.
bool ReopenBook(Document& doc, Desktop& desktop, const ClosedBook& book,
                BookFiles& files = SystemBookFiles());

// "PATH: is the book that is open; choose another file".
std::string OpenBookTargetText(const std::string& path);

}  // namespace ql
