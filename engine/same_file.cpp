#include "same_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace ql {

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

int OpenSameFileReadOnly(int fd) {
  struct stat held {};
  if (::fstat(fd, &held) != 0) return -1;
  // The process's own link to the open file; the path may name another.
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const int copy = ::open(link.c_str(), O_RDONLY | O_CLOEXEC);
  if (copy < 0) return -1;
  struct stat opened {};
  if (::fstat(copy, &opened) != 0 || opened.st_dev != held.st_dev || opened.st_ino != held.st_ino) {
    ::close(copy);
    errno = ESTALE;
    return -1;
  }
  return copy;
}

}  // namespace ql
