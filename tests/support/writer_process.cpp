// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "writer_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "book_reader.h"

namespace qltest {

namespace {

bool ReadWhole(int fd, void* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, static_cast<char*>(bytes) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteWhole(int fd, const void* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, static_cast<const char*>(bytes) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

WriterProcess::WriterProcess(const std::string& path) {
  int ready[2], release[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return;
  if (::pipe2(release, O_CLOEXEC) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    ::close(release[1]);
    ql::BookReader reader;
    const int result = static_cast<int>(reader.Open(path, ql::kOpenReadWrite));
    WriteWhole(ready[1], &result, sizeof result);
    ::close(ready[1]);
    char byte = 0;
    // The holder closing its end ends the wait.
    while (::read(release[0], &byte, 1) < 0 && errno == EINTR) {
    }
    ::_exit(reader.Close() ? 0 : 1);
  }
  ::close(ready[1]);
  ::close(release[0]);
  if (child < 0) {
    ::close(ready[0]);
    ::close(release[1]);
    return;
  }
  iChild = child;
  iRelease = release[1];
  int result = 0;
  if (ReadWhole(ready[0], &result, sizeof result))
    iOpenResult = static_cast<ql::OpenResult>(result);
  ::close(ready[0]);
}

WriterProcess::~WriterProcess() {
  Release();
}

bool WriterProcess::Release() {
  if (iChild < 0) return false;
  ::close(iRelease);
  iRelease = -1;
  int status = 0;
  pid_t waited;
  do {
    waited = ::waitpid(iChild, &status, 0);
  } while (waited < 0 && errno == EINTR);
  iChild = -1;
  iOpenResult = kNoChild;
  return waited > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace qltest
