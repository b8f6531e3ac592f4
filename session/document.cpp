#include "document.h"

#include <cerrno>
#include <cstring>

namespace ql {

int Document::Open(const std::string& file, int mode, const std::string& shownPath) {
  const int result = iReader.Open(file, mode);
  if (result == kOpenOk) MarkOpen(shownPath);
  return result;
}

void Document::MarkOpen(const std::string& path) {
  iBookOpen = true;
  iLastFailure.clear();
  iPath = path;
  const size_t slash = path.find_last_of('/');
  iTitle = slash == std::string::npos ? path : path.substr(slash + 1);
  iHistory.Clear();
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
  errno = 0;
  if (iReader.SaveBookmarks()) return true;
  // A write of no bytes leaves errno unset; it is still an I/O failure.
  const int error = errno != 0 ? errno : EIO;
  reason = iPath + ": " + std::strerror(error);
  return false;
}

}  // namespace ql
