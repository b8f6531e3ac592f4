// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The locks that let any number of readers and one writer share a book.
// They are open file description locks on byte ranges: every open of the
// book is a user of its own, in one process as across processes, a fork's
// child shares its parent's, and closing the open drops them.
//
//  - The writer role: a write lock on one byte far past the end of any book
//    (book offsets fit in 31 bits), taken without waiting by an open for
//    writing. Only another writer's lock conflicts with it; readers take
//    none, so a writer never keeps a reader out.
//  - The version word: a writer holds a write lock on it while it opens the
//    book (a legacy book is marked for writing then: its version word raised
//    and blocks appended), a reader a read lock while it reads the header and
//    the file's size, so a reader sees the book as it was or as marked.
//  - The bookmark block: read under a read lock on its bytes, written under
//    a write lock on them, so a reader sees the old table or the new one.
// Where the file system has no locks, each step goes on without its lock.
// Not flock: where that is carried out as a lock on the whole file (NFS), a
// writer's would keep every reader's range lock waiting.
#pragma once

#include <cstdint>

namespace ql {

enum class LockResult {
  kLocked,
  kRefused,      // another open holds a lock that conflicts
  kUnsupported,  // the file system offers no such locks
  kFailed,       // any other failure: errno says why
};

// Takes the writer role on fd (opened for writing), without waiting.
LockResult TakeWriterRole(int fd);

// True when an open of the file other than fd's holds the writer role.
bool WriterRoleTaken(int fd);

// A read or write lock on a byte range of fd, waited for, held for the
// object's life. It keeps a duplicate of fd, so that it lets go of the same
// open file even when fd is closed meanwhile. Where it cannot be had (no
// locks on the file system, no descriptor left for the duplicate) the holder
// goes on without it.
class RangeLock {
 public:
  RangeLock(int fd, int64_t offset, int64_t length, bool write);
  ~RangeLock();
  RangeLock(const RangeLock&) = delete;
  RangeLock& operator=(const RangeLock&) = delete;
  bool Held() const { return iHeld; }
  // True when the file system offered no lock.
  bool Unsupported() const { return iUnsupported; }

 private:
  int iFd = -1;  // the duplicate, -1 when the lock is not held
  int64_t iOffset;
  int64_t iLength;
  bool iHeld = false;
  bool iUnsupported = false;
};

}  // namespace ql
