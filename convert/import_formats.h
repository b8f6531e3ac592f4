// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The formats a book is imported from, in one table: the name qlbook's
// --format takes, the file extensions that choose the format, the window's
// Import dialog filter (in the table's order, so a filter's index is its
// entry's), what qlbook says of a source in which no entry was found, and
// how the source is made. A new format is an entry here and a source class.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "import_source.h"

namespace ql {

struct ImportFormat {
  std::string_view name;
  // Extensions, in any case, that choose this format (unused ones empty).
  std::array<std::string_view, 3> extensions;
  // "Description (*.ext)|*.ext": one filter of the Import dialog.
  const char* dialogFilter;
  // qlbook's "SOURCE: <noEntry>; BOOK was left as it was<noEntryHint>".
  std::string_view noEntry;
  std::string_view noEntryHint;
  std::unique_ptr<ImportSource> (*makeSource)(const ImportOptions& options);
};

// Every format, the default first: the one a path of no other format's
// extension and an unknown filter index take.
std::span<const ImportFormat> ImportFormats();

// The format named name; null when there is none.
const ImportFormat* FindImportFormat(std::string_view name);
// The format path's extension chooses.
const ImportFormat& ImportFormatForPath(std::string_view path);
// The format of the Import dialog's filter at index.
const ImportFormat& ImportFormatAtFilterIndex(int index);
// The index of the Import dialog's filter for the format named name; -1 when
// there is none.
int ImportFilterIndex(std::string_view name);

// The Import dialog's filter: every format's, then the end mark, in the
// user's language.
std::string ImportDialogFilter();
// "tagged, tab, dictd or stardict": the names for qlbook's help.
std::string ImportFormatNames();
// "tab for .tab and .tsv, dictd for .index, stardict for .ifo, else tagged":
// the extension rule for qlbook's help.
std::string ImportExtensionRule();

}  // namespace ql
