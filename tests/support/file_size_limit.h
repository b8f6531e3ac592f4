// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Ways to make writes fail for real: a limit on the size any file of this
// process may grow to (root ignores permissions, not this limit), and a tiny
// file system that fills up (mounting one needs root; Mounted says whether
// it could be).
#pragma once

#include <sys/mount.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <system_error>

namespace qltest {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &iOld);
    iOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = iOld;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &iOld);
    std::signal(SIGXFSZ, iOldHandler);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit iOld{};
  void (*iOldHandler)(int) = nullptr;
};

// A tmpfs of the given size mounted on directory (made when missing) for the
// object's lifetime.
class SmallFileSystem {
 public:
  SmallFileSystem(std::string directory, size_t bytes) : iPath(std::move(directory)) {
    std::error_code ec;
    std::filesystem::create_directories(iPath, ec);
    const std::string options = "size=" + std::to_string(bytes);
    iMounted = ::mount("tmpfs", iPath.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (iMounted) ::umount2(iPath.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  bool Mounted() const { return iMounted; }
  const std::string& Path() const { return iPath; }

 private:
  std::string iPath;
  bool iMounted = false;
};

}  // namespace qltest
