// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "document.h"

#include <cstring>

#include "fts_search.h"
#include "local_files.h"

namespace ql {

OpenResult Document::Open(const std::string& file, int mode, const std::string& shownPath) {
  const OpenResult result = iReader.Open(file, mode);
  if (result == OpenResult::kOk) {
    MarkOpen(shownPath);
    fts::AttachSubjectOrder(iReader, file);
  }
  return result;
}

void Document::MarkOpen(const std::string& path) {
  iBookOpen = true;
  iLastFailure.clear();
  iPath = path;
  iTitle = std::string(FileNameOf(path));
}

void Document::MarkClosed() {
  iBookOpen = false;
  iPath = kFailedPath;
  iTitle = kUntitled;
}

void Document::MarkFailed(std::string reason) {
  MarkClosed();
  iLastFailure = std::move(reason);
}

std::string Document::WindowTitle() const {
  return iTitle + " - " + kAppTitle;
}

bool Document::SaveBookmarks(std::string& reason) {
  if (!iBookOpen) return true;
  if (iReader.SaveBookmarks()) return true;
  reason = iPath + ": " + std::strerror(iReader.LastWriteError());
  return false;
}

}  // namespace ql
