// Holds the size any file of this process may grow to, so that writes fail
// for real: root ignores permissions, not this limit.
#pragma once

#include <sys/resource.h>

#include <csignal>

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

}  // namespace qltest
