// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Runs a piece of a test in a child process whose address space is bounded,
// to show that what it reads cannot make it allocate without limit. The
// sanitizers reserve far more address space than they use, so under them
// the bound cannot be set.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>
#include <utility>

namespace qltest {

// Runs body in a child process whose address space is bounded to what this
// one has plus extra bytes; returns what the child wrote to its pipe, and
// whether it ended of itself with status 0 (not killed by an abort).
inline std::pair<std::string, bool> RunUnderMemoryBound(size_t extra,
                                                        const std::function<std::string()>& body) {
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  int fds[2];
  if (::pipe(fds) != 0) return {"no pipe", false};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    rlimit bound{};
    bound.rlim_cur = bound.rlim_max = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + extra;
    ::setrlimit(RLIMIT_AS, &bound);
    std::string out;
    try {
      out = body();
    } catch (...) {
      ::_exit(2);  // not back into the test program: the child ends here
    }
    const bool written = ::write(fds[1], out.data(), out.size()) == ssize_t(out.size());
    ::_exit(written ? 0 : 1);
  }
  ::close(fds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;)
    out.append(buffer, size_t(got));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return {out, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

}  // namespace qltest
