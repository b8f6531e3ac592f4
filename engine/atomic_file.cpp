// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace ql {

namespace {

// Links followed at most, as the system does, so a loop of links ends.
constexpr int kMaxLinkHops = 40;
constexpr const char* kHiddenPattern = ".ql.XXXXXX";

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// path with every symbolic link at its end followed (a link to a file not
// yet there gives that file's path).
std::string FollowLinks(std::string path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return path;
    std::string next(target.data(), static_cast<size_t>(n));
    path = next.front() == '/' ? next : DirectoryOf(path) + "/" + next;
  }
  return path;
}

mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// A named file from pattern (which receives the name); its descriptor or -1.
int MakeNamed(std::string& pattern) {
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) pattern = name.data();
  return fd;
}

}  // namespace

AtomicFile::~AtomicFile() {
  Discard();
}

bool AtomicFile::Open(const std::string& target) {
  Discard();
  iTarget = target;
  iPath = FollowLinks(target);
  iUnnamed = false;
  iDirect = false;
  struct stat st {};
  const bool exists = stat(iPath.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    // A device or FIFO takes the bytes as they come; nothing is replaced.
    const int fd = ::open(iPath.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    iStream = fdopen(fd, "wb");
    if (!iStream) {
      const int saved = errno;
      close(fd);
      errno = saved;
      return false;
    }
    iDirect = true;
    return true;
  }
  // Keep the permissions an existing target had, else the usual 0666 & ~umask.
  const mode_t mode = exists ? (st.st_mode & 07777) : NewFileMode();
  const std::string dir = DirectoryOf(iPath);
  int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    iUnnamed = true;
  } else {
    iTempPath = dir + "/" + kHiddenPattern;
    fd = MakeNamed(iTempPath);
    if (fd < 0) {
      iTempPath.clear();
      return false;
    }
  }
  fchmod(fd, mode);
  iStream = fdopen(fd, "wb");
  if (!iStream) {
    const int saved = errno;
    close(fd);
    Discard();
    errno = saved;
    return false;
  }
  return true;
}

std::string AtomicFile::ReadBackPath() const {
  if (!iStream) return {};
  if (iUnnamed && iTempPath.empty()) return "/proc/self/fd/" + std::to_string(fileno(iStream));
  return iDirect ? std::string() : iTempPath;
}

bool AtomicFile::Seal() {
  if (!iStream || iDirect) return false;
  bool ok = std::fflush(iStream) == 0 && !std::ferror(iStream);
  if (ok) ok = fsync(fileno(iStream)) == 0;
  int saved = errno;
  if (ok && iUnnamed) {
    // The unnamed file gets a short hidden name for the rename, the only
    // way to put it over an existing file in one step.
    const std::string proc = "/proc/self/fd/" + std::to_string(fileno(iStream));
    for (int attempt = 0; attempt < 100 && iTempPath.empty(); ++attempt) {
      std::string name = DirectoryOf(iPath) + "/" + kHiddenPattern;
      const int probe = MakeNamed(name);
      if (probe < 0) break;
      close(probe);
      unlink(name.c_str());
      if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        iTempPath = name;
      else if (errno != EEXIST)
        break;
    }
    ok = !iTempPath.empty();
    saved = errno;
  }
  ok = (std::fclose(iStream) == 0) && ok;
  iStream = nullptr;
  if (ok) return true;
  saved = saved ? saved : EIO;
  Discard();
  errno = saved;
  return false;
}

bool AtomicFile::Commit() {
  if (!iStream) return false;
  if (iDirect) {
    bool ok = std::fflush(iStream) == 0 && !std::ferror(iStream);
    const int saved = errno;
    ok = (std::fclose(iStream) == 0) && ok;
    iStream = nullptr;
    if (!ok) errno = saved ? saved : EIO;
    return ok;
  }
  if (!Seal()) return false;
  if (std::rename(iTempPath.c_str(), iPath.c_str()) == 0) {
    iTempPath.clear();
    return true;
  }
  const int saved = errno;
  Discard();
  errno = saved;
  return false;
}

void AtomicFile::Discard() {
  if (iStream) {
    std::fclose(iStream);
    iStream = nullptr;
  }
  if (!iTempPath.empty()) {
    unlink(iTempPath.c_str());
    iTempPath.clear();
  }
}

std::FILE* OpenWorkFile() {
  const char* env = std::getenv("TMPDIR");
  const std::string dir = env && *env ? env : "/tmp";
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR || errno == EACCES) return nullptr;
    std::string name = dir + "/" + kHiddenPattern;
    fd = MakeNamed(name);
    if (fd < 0) return nullptr;
    unlink(name.c_str());
  }
  std::FILE* f = fdopen(fd, "w+b");
  if (!f) {
    const int saved = errno;
    close(fd);
    errno = saved;
  }
  return f;
}

bool WriteFileWhole(const std::string& target, std::string_view bytes) {
  int error = 0;
  {
    AtomicFile file;
    if (file.Open(target) &&
        (bytes.empty() ||
         std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) == bytes.size()) &&
        file.Commit())
      return true;
    error = errno;
  }
  // Dropping the temporary file may set errno of its own.
  errno = error;
  return false;
}

}  // namespace ql
