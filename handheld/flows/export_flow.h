// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// "Export to Palm...": the open book written as a handheld database and, when
// asked, queued for the next HotSync. The export reads the book file with a
// reader of its own, so the document's book is closed meanwhile and opened
// again at the end, bookmarks and all.
#pragma once

#include <string>

#include "desktop.h"
#include "document.h"
#include "install_aide.h"
#include "open_flow.h"
#include "user_texts.h"

namespace ql {

inline constexpr const char* kPdbFilter =
    QL_TEXT("messages", "Palm database files (*.pdb)|*.pdb||");
inline constexpr const char* kPdbExtension = "pdb";
inline constexpr const char* kInstallQueued = QL_TEXT(
    "messages",
    "Next time you perform a HotSync operation,\nthis file will be installed on your handheld.");
inline constexpr const char* kInstallProblem =
    QL_TEXT("messages", "There is a problem with file installation.\nPlease refer to user manual.");

// The file name offered for the database: the document's title without a
// final ".ql" in any case.
std::string DefaultPdbFileName(const std::string& title);
// The database name offered for a chosen file: its name without extension.
std::string DefaultDatabaseName(const std::string& pdbPath);

// The command. A failed export says what failed and is never queued; the
// book is open again afterwards whatever happened.
void RunExportToHandheld(Document& doc, Desktop& desktop, InstallAide& aide,
                         BookFiles& files = SystemBookFiles());

}  // namespace ql
