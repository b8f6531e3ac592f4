// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Small files of the user's own (the library list, a folder's import record,
// the history) and the folders of books, read so that whatever stands at a
// path never holds the reader up: a FIFO, a device or a folder is not waited
// on, a file is read up to a bound, and a folder search is bounded in depth,
// in names and through links that lead back.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ql {

enum class SmallFileState {
  kRead,        // bytes holds the file, up to the limit
  kMissing,     // nothing stands there
  kDirectory,   // a folder stands there
  kNotRegular,  // a FIFO, a device, a socket (or it cannot be told)
  kFailed,      // it could not be opened or read: error says why
};

struct SmallFile {
  SmallFileState state = SmallFileState::kMissing;
  std::string bytes;
  bool cut = false;  // the file is longer than the limit: bytes is its start
  int error = 0;     // the errno of kFailed
};

SmallFile ReadSmallFile(const std::string& path, size_t limit);

// Appends to out the regular files under dir that keep accepts (all without
// keep), to depth levels of subfolders, sorted by name within each folder;
// names starting with '.' are passed over, a folder in seen (reached again
// through a link) is not searched again, and no more than limit names are
// read from a folder or put in out.
using FolderSeen = std::set<std::pair<dev_t, ino_t>>;
void ListFilesUnder(const std::string& dir, int depth, size_t limit,
                    const std::function<bool(std::string_view path)>& keep, FolderSeen& seen,
                    std::vector<std::string>& out);

// The last step of a path ("" for one that ends in '/').
std::string_view FileNameOf(std::string_view path);

}  // namespace ql
