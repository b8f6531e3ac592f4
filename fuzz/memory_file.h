// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Fuzz input as a file of its own, in memory; its /proc/self/fd path opens
// like any file, so the readers under test see an ordinary book file.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace qlfuzz {

// Returns the descriptor of a memfd holding data, or -1.
inline int MemoryFile(const uint8_t* data, size_t size) {
  int fd = memfd_create("book", MFD_CLOEXEC);
  if (fd < 0) return -1;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) {
      close(fd);
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return fd;
}

}  // namespace qlfuzz
