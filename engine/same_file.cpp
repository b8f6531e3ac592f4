// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
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

size_t ReadFileAt(int fd, int64_t offset, uint8_t* bytes, size_t count) {
  if (fd < 0 || offset < 0) return 0;
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, bytes + done, count - done,
                              static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace ql
