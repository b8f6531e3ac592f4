#include "document.h"

#include <cstring>

namespace ql {

OpenResult Document::Open(const std::string& file, int mode, const std::string& shownPath) {
  const OpenResult result = iReader.Open(file, mode);
  if (result == OpenResult::kOk) MarkOpen(shownPath);
  return result;
}

void Document::MarkOpen(const std::string& path) {
  iBookOpen = true;
  iLastFailure.clear();
  iPath = path;
  const size_t slash = path.find_last_of('/');
  iTitle = slash == std::string::npos ? path : path.substr(slash + 1);
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
