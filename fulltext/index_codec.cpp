// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "index_codec.h"

#include <xxhash.h>

#include <cerrno>
#include <cstring>

#include "atomic_file.h"
#include "local_files.h"

namespace ql::fts {

uint64_t IndexCheck(std::string_view head, uint64_t bodyCheck) {
  return XXH3_64bits(head.data(), head.size()) ^ bodyCheck;
}

bool ReadWholeFile(const std::string& path, std::string& out, int64_t limit, std::string& reason) {
  SmallFile file = ReadSmallFile(path, static_cast<size_t>(limit));
  switch (file.state) {
    case SmallFileState::kRead:
      if (file.cut) {
        reason = "the file is too large";
        return false;
      }
      out = std::move(file.bytes);
      return true;
    case SmallFileState::kMissing:
      reason = "there is no such file";
      return false;
    case SmallFileState::kDirectory:
    case SmallFileState::kNotRegular:
      reason = "it is no regular file";
      return false;
    case SmallFileState::kFailed:
      break;
  }
  reason = std::strerror(file.error);
  return false;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& reason) {
  errno = 0;
  if (WriteFileWhole(path, bytes)) return true;
  reason = std::strerror(errno ? errno : EIO);
  return false;
}

}  // namespace ql::fts
