// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Where a book's word index lives: in the user's cache, named by the book's
// content, so a moved or copied book keeps its index and a changed one gets
// a new one. The bookmark table is left out of the content: setting a
// bookmark changes the file, not the book.
//
// $XDG_CACHE_HOME/quillary/index/ (else ~/.cache/quillary/index/) holds
//   KEY.qlx          the index of the book whose content key is KEY
//   KEY.qlx.work/    the runs of a build not yet finished (resumed from)
//   stamps           which file (device, inode, size, change time) had which
//                    key, so a book's key is found without reading it whole
#pragma once

#include <string>

namespace ql::fts {

// The folder of the indexes.
std::string IndexFolder();

// The content key of the book at path: 16 hex digits of a hash of its bytes
// without its bookmark table, and the index format's version. The stamp of
// the file is looked up first; a file not seen before (or changed) is read
// whole and its stamp noted. "" with the reason when the book cannot be read.
std::string BookContentKey(const std::string& bookPath, std::string& reason);
// The key as the stamps know it, without reading the book: "" when its
// stamp is not noted (the book was never indexed, or has changed since).
std::string StampedContentKey(const std::string& bookPath);
// The key computed from the file every time, noting nothing.
std::string ComputeContentKey(const std::string& bookPath, std::string& reason);

// folder/KEY.qlx.
std::string IndexPathForKey(const std::string& folder, const std::string& key);
// The index of the book at path, in IndexFolder(); "" when its key cannot
// be had.
std::string IndexPathFor(const std::string& bookPath);

// Removes the book's index and any unfinished build of it; false when there
// was none.
bool RemoveIndexFor(const std::string& bookPath);

}  // namespace ql::fts
