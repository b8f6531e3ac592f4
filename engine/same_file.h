// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Whether two paths name one file, and a second, read-only open of the file a
// descriptor refers to, for a reader on another thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ql {

// Reads count bytes at offset of fd, carrying on after short reads and
// interruptions; returns the bytes read (fewer where the file ends or a
// read fails). A negative fd or offset reads nothing.
size_t ReadFileAt(int fd, int64_t offset, uint8_t* bytes, size_t count);

// True when both paths name one existing file (the same path, a link to it,
// or another path of it).
bool IsSameFile(const std::string& a, const std::string& b);

// Opens the file fd refers to again, read-only and close-on-exec: the same
// file whatever has been renamed onto its path since (even when it has been
// removed). Unlike a duplicate it is an open file of its own, so it shares no
// lock with fd: the lock fd holds ends when fd closes, and the file can then
// be locked afresh while this one is still open. Returns the new descriptor,
// or -1 with errno set.
int OpenSameFileReadOnly(int fd);

}  // namespace ql
