#include "document.h"

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
  if (iReader.SaveBookmarks()) return true;
  reason = iPath + ": " + std::strerror(iReader.LastWriteError());
  return false;
}

}  // namespace ql
