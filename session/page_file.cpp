// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "page_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "user_texts.h"

namespace ql {

namespace {

constexpr const char* kRuntimeSubdirectory = "/quillary";
constexpr const char* kTempSubdirectoryPrefix = "/quillary-";
constexpr const char* kDefaultTempDirectory = "/tmp";
constexpr mode_t kPrivateMode = 0700;
constexpr mode_t kOthersBits = 077;
// A process's directory inside the private one: this prefix and six letters.
constexpr const char* kProcessPrefix = "page-";
constexpr size_t kUniqueLetters = 6;  // what mkdtemp puts in for the XXXXXX
// Names looked at when clearing what dead processes left, and files removed
// from one directory: a directory of ours holds a few pages.
constexpr int kMaxEntriesScanned = 100000;
constexpr int kMaxFilesRemoved = 10000;
constexpr int kMakeAttempts = 8;

std::string ErrorText(int error) {
  return std::strerror(error != 0 ? error : EIO);
}

bool IsAbsoluteDirectory(const char* path) {
  struct stat st {};
  return path && path[0] == '/' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Where the private directory goes: the user's runtime directory when the
// session has one, else the temporary directory under a name with the uid.
std::string PrivateDirectoryPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (IsAbsoluteDirectory(runtime)) return std::string(runtime) + kRuntimeSubdirectory;
  const char* temp = std::getenv("TMPDIR");
  const std::string base = IsAbsoluteDirectory(temp) ? temp : kDefaultTempDirectory;
  return base + kTempSubdirectoryPrefix + std::to_string(::getuid());
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Removes every file in the directory fd refers to (a directory of ours:
// nothing in it is followed, subdirectories are left alone).
void RemoveFilesIn(int fd) {
  const int copy = ::dup(fd);
  if (copy < 0) return;
  DIR* dir = ::fdopendir(copy);
  if (!dir) {
    ::close(copy);
    return;
  }
  std::vector<std::string> names;
  for (int i = 0; i < kMaxFilesRemoved; ++i) {
    const dirent* e = ::readdir(dir);
    if (!e) break;
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : names) ::unlinkat(fd, name.c_str(), 0);
}

// True when fd is a directory of this user's alone, and the one at path.
bool IsOurDirectory(int fd, const std::string& path) {
  struct stat held {
  }, named{};
  return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && S_ISDIR(named.st_mode) &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino && held.st_uid == ::getuid() &&
         (held.st_mode & kOthersBits) == 0;
}

// A live process holds its directory locked; one nobody holds was left by a
// process that died without removing it, and goes now. A directory that
// cannot be locked (no locks on this file system) is left alone.
void RemoveDeadDirectories(const std::string& parent, const std::string& prefix) {
  const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parentFd < 0) return;
  const int copy = ::dup(parentFd);
  DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
  if (!dir) {
    if (copy >= 0) ::close(copy);
    ::close(parentFd);
    return;
  }
  std::vector<std::string> candidates;
  for (int i = 0; i < kMaxEntriesScanned; ++i) {
    const dirent* e = ::readdir(dir);
    if (!e) break;
    const std::string name = e->d_name;
    if (name.size() == prefix.size() + kUniqueLetters &&
        name.compare(0, prefix.size(), prefix) == 0)
      candidates.push_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : candidates) {
    struct stat st {};
    if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::getuid() || (st.st_mode & kOthersBits) != 0)
      continue;
    const int fd =
        ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    if (IsOurDirectory(fd, parent + "/" + name) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      RemoveFilesIn(fd);
      ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
    }
    ::close(fd);
  }
  ::close(parentFd);
}

// A fresh directory from prefix + "XXXXXX", open in fd and locked; its path,
// or empty with errno set.
std::string MakeLockedDirectory(const std::string& prefix, int& fd) {
  for (int attempt = 0; attempt < kMakeAttempts; ++attempt) {
    std::string pattern = prefix + std::string(kUniqueLetters, 'X');
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) return {};
    const std::string path = name.data();
    fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    // Another process clearing dead ones may have taken it between mkdtemp
    // and the lock: then it is gone, or going, and another is made.
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno == ENOLCK;
    if (locked && IsOurDirectory(fd, path)) return path;
    ::close(fd);
    fd = -1;
  }
  errno = EEXIST;
  return {};
}

// The process's directory, made once; a child of a fork makes its own.
struct ProcessDirectoryState {
  std::mutex lock;
  pid_t owner = -1;
  std::string wanted;  // the private directory's path it was made for
  std::string path;
  int fd = -1;
  bool removeAtExit = false;
};

ProcessDirectoryState& State() {
  // Never destroyed: the clean-up at exit still needs it.
  static ProcessDirectoryState* state = new ProcessDirectoryState;
  return *state;
}

void RemoveLocked(ProcessDirectoryState& state) {
  if (state.fd >= 0 && state.owner == ::getpid()) {
    if (IsOurDirectory(state.fd, state.path)) {
      RemoveFilesIn(state.fd);
      ::rmdir(state.path.c_str());
    }
    ::close(state.fd);
  } else if (state.fd >= 0) {
    ::close(state.fd);  // a fork's copy: the directory is its parent's
  }
  state.fd = -1;
  state.path.clear();
  state.wanted.clear();
}

void RemoveAtExit() {
  RemoveProcessDirectory();
}

}  // namespace

std::string PrivateDirectory(std::string& reason) {
  const std::string dir = PrivateDirectoryPath();
  if (::mkdir(dir.c_str(), kPrivateMode) != 0 && errno != EEXIST) {
    const int error = errno;
    reason = Fill(translate("messages", "cannot create %1: %2"), {dir, ErrorText(error)});
    return {};
  }
  // Someone else may have made the name first: only a real directory of our
  // own that nobody else can enter will do.
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) {
    reason = dir + ": " + ErrorText(errno);
    return {};
  }
  if (S_ISLNK(st.st_mode)) {
    reason = Fill(translate("messages", "%1 is a symbolic link"), {dir});
  } else if (!S_ISDIR(st.st_mode)) {
    reason = Fill(translate("messages", "%1 is not a directory"), {dir});
  } else if (st.st_uid != ::getuid()) {
    reason = Fill(translate("messages", "%1 belongs to another user"), {dir});
  } else if ((st.st_mode & kOthersBits) != 0) {
    reason = Fill(translate("messages", "%1 is open to other users"), {dir});
  } else {
    return dir;
  }
  return {};
}

std::string ProcessDirectory(std::string& reason) {
  ProcessDirectoryState& state = State();
  std::lock_guard<std::mutex> hold(state.lock);
  const std::string wanted = PrivateDirectoryPath();
  if (state.fd >= 0 && state.owner == ::getpid() && state.wanted == wanted &&
      IsOurDirectory(state.fd, state.path))
    return state.path;
  RemoveLocked(state);

  std::string refused;
  const std::string base = PrivateDirectory(refused);
  std::string made;
  int fd = -1;
  int error = 0;
  if (!base.empty()) {
    RemoveDeadDirectories(base, kProcessPrefix);
    made = MakeLockedDirectory(base + "/" + kProcessPrefix, fd);
    error = errno;
  }
  if (made.empty()) {
    // The name is someone else's: a fresh private directory beside it does
    // as well, and nobody can have taken a name mkdtemp makes.
    const std::string parent = ParentOf(wanted);
    const std::string prefix = wanted.substr(parent.size() == 1 ? 1 : parent.size() + 1) + "-";
    RemoveDeadDirectories(parent, prefix);
    made = MakeLockedDirectory(parent + "/" + prefix, fd);
    error = errno;
    if (made.empty()) {
      reason = refused.empty()
                   ? Fill(translate("messages", "cannot create a directory in %1: %2"),
                          {parent, ErrorText(error)})
                   : Fill(translate("messages", "%1, and cannot create a directory in %2: %3"),
                          {refused, parent, ErrorText(error)});
      return {};
    }
  }
  state.owner = ::getpid();
  state.wanted = wanted;
  state.path = made;
  state.fd = fd;
  if (!state.removeAtExit) {
    state.removeAtExit = true;
    std::atexit(RemoveAtExit);
  }
  return made;
}

void RemoveProcessDirectory() {
  ProcessDirectoryState& state = State();
  std::lock_guard<std::mutex> hold(state.lock);
  RemoveLocked(state);
}

bool PageFile::Write(const std::function<void(ByteSink&)>& render, std::string& reason) {
  const std::string dir = ProcessDirectory(reason);
  if (dir.empty()) {
    reason = Fill(translate("messages", "Cannot write the page: %1"), {reason});
    return false;
  }
  iPath = dir + "/" + iName;
  auto fail = [&](int error) {
    reason = Fill(translate("messages", "Cannot write the page %1: %2"), {iPath, ErrorText(error)});
    return false;
  };

  // A new file of our own beside the page (mkstemp never opens an existing
  // name, so never follows a link), renamed over it once complete.
  std::string pattern = dir + "/." + iName + ".XXXXXX";
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(errno);
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    const int error = errno;
    ::close(fd);
    ::unlink(temp.data());
    return fail(error);
  }
  FileSink sink(file);
  render(sink);
  int error = sink.Failed() ? sink.Error() : 0;
  if (error == 0 && std::fflush(file) != 0) error = errno;
  if (std::fclose(file) != 0 && error == 0) error = errno;
  if (sink.Failed() && error == 0) error = EIO;
  if (error == 0 && std::rename(temp.data(), iPath.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.data());
    return fail(error);
  }
  return true;
}

}  // namespace ql
