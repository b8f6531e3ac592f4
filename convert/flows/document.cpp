#include "document.h"

#include <cerrno>
#include <cstring>

namespace ql {

void Document::SetNoBook() {
  iPath = kFailedPath;
  iTitle = kUntitled;
}

void Document::SetBook(const std::string& path) {
  iPath = path;
  const size_t slash = path.find_last_of('/');
  iTitle = slash == std::string::npos ? path : path.substr(slash + 1);
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
