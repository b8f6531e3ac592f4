#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace ql {

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Open(const std::string& target) {
  Discard();
  iTarget = target;
  std::string pattern = target + ".tmpXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return false;
  // Keep the permissions an existing target had, else the usual 0666 & ~umask.
  struct stat st {};
  if (stat(target.c_str(), &st) == 0) {
    fchmod(fd, st.st_mode & 07777);
  } else {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  iStream = fdopen(fd, "wb");
  if (!iStream) {
    int saved = errno;
    close(fd);
    unlink(name.data());
    errno = saved;
    return false;
  }
  iTempPath = name.data();
  return true;
}

bool AtomicFile::Commit() {
  if (!iStream) return false;
  bool ok = std::fflush(iStream) == 0 && !std::ferror(iStream) && fsync(fileno(iStream)) == 0;
  int saved = errno;
  ok = (std::fclose(iStream) == 0) && ok;
  iStream = nullptr;
  if (ok && std::rename(iTempPath.c_str(), iTarget.c_str()) == 0) {
    iTempPath.clear();
    return true;
  }
  if (!ok) errno = saved ? saved : EIO;
  saved = errno;
  unlink(iTempPath.c_str());
  iTempPath.clear();
  errno = saved;
  return false;
}

void AtomicFile::Discard() {
  if (iStream) {
    std::fclose(iStream);
    iStream = nullptr;
  }
  if (!iTempPath.empty()) {
    unlink(iTempPath.c_str());
    iTempPath.clear();
  }
}

}  // namespace ql
