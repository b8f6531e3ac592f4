// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "book_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ql {

namespace {

// Past every byte a book can hold, bookmark blocks included.
constexpr int64_t kWriterRoleOffset = int64_t{1} << 40;

struct flock Range(short type, int64_t offset, int64_t length) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(offset);
  range.l_len = static_cast<off_t>(length);
  range.l_pid = 0;  // required of open file description locks
  return range;
}

// No locks of this kind here: ENOLCK on file systems without them, EINVAL
// where the kernel has no open file description locks.
bool NoLocks(int error) {
  return error == ENOLCK || error == EINVAL || error == EOPNOTSUPP;
}

}  // namespace

LockResult TakeWriterRole(int fd) {
  struct flock range = Range(F_WRLCK, kWriterRoleOffset, 1);
  if (::fcntl(fd, F_OFD_SETLK, &range) == 0) return LockResult::kLocked;
  if (errno == EAGAIN || errno == EACCES) return LockResult::kRefused;
  return NoLocks(errno) ? LockResult::kUnsupported : LockResult::kFailed;
}

bool WriterRoleTaken(int fd) {
  struct flock range = Range(F_WRLCK, kWriterRoleOffset, 1);
  return ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
}

RangeLock::RangeLock(int fd, int64_t offset, int64_t length, bool write)
    : iOffset(offset), iLength(length) {
  if (fd < 0 || offset < 0 || length <= 0) return;
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return;
  struct flock range = Range(write ? F_WRLCK : F_RDLCK, offset, length);
  for (;;) {
    if (::fcntl(own, F_OFD_SETLKW, &range) == 0) {
      iFd = own;
      iHeld = true;
      return;
    }
    if (errno != EINTR) break;
  }
  iUnsupported = NoLocks(errno);
  ::close(own);
}

RangeLock::~RangeLock() {
  if (!iHeld) return;
  struct flock range = Range(F_UNLCK, iOffset, iLength);
  ::fcntl(iFd, F_OFD_SETLK, &range);
  ::close(iFd);
}

}  // namespace ql
