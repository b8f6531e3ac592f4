// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "install_aide.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "open_flow.h"
#include "user_dirs.h"

namespace ql {

namespace {

namespace fs = std::filesystem;

constexpr const char* kJPilotRc = "jpilot.rc";
constexpr const char* kJPilotInstall = "jpilot.install";
constexpr const char* kJPilotUserKey = "user";
constexpr const char* kFallbackLogin = "user";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The file a path names, as the queue must hold it: the full path with every
// link and "." or ".." resolved by the system, so that the installer, which
// may run anywhere, takes exactly the file the path opens now ("link/.." is
// the directory above the link's target, not the link's own directory). It
// must be a file. 0, or the errno of the failure.
int ResolveQueuedFile(const std::string& path, std::string& resolved) {
  errno = 0;
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return errno != 0 ? errno : EIO;
  resolved = real;
  std::free(real);
  struct stat st {};
  if (::stat(resolved.c_str(), &st) != 0) return errno != 0 ? errno : EIO;
  return S_ISREG(st.st_mode) ? 0 : EISDIR;
}

}  // namespace

JPilotInstallAide::JPilotInstallAide(std::string directory) : iDirectory(std::move(directory)) {}

int JPilotInstallAide::UserCount() {
  iUsers.clear();
  std::ifstream rc(iDirectory + "/" + kJPilotRc, std::ios::binary);
  std::string line;
  while (std::getline(rc, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t space = line.find(' ');
    if (space == std::string::npos || line.compare(0, space, kJPilotUserKey) != 0) continue;
    std::string user = line.substr(space + 1);
    if (!user.empty()) iUsers.push_back(std::move(user));
    break;
  }
  return static_cast<int>(iUsers.size());
}

std::string JPilotInstallAide::UserName(int index) {
  if (iUsers.empty()) UserCount();
  if (index < 0 || static_cast<size_t>(index) >= iUsers.size()) return {};
  return iUsers[static_cast<size_t>(index)];
}

int JPilotInstallAide::QueueFile(const std::string& user, const std::string& path) {
  UserCount();
  if (std::find(iUsers.begin(), iUsers.end(), user) == iUsers.end()) return ENOENT;
  std::string absolute;
  if (const int error = ResolveQueuedFile(path, absolute); error != 0) return error;
  // One path a line: a line end inside the path would queue something else.
  if (absolute.find_first_of("\r\n") != std::string::npos) return EINVAL;

  const std::string queue = iDirectory + "/" + kJPilotInstall;
  bool endsWithLineEnd = true;
  {
    std::ifstream in(queue, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      endsWithLineEnd = !in.eof();
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line == absolute) return 0;  // queued already
    }
  }
  std::string entry = (endsWithLineEnd ? "" : "\n") + absolute + "\n";
  const int fd = ::open(queue.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return errno != 0 ? errno : EIO;
  // One write, so that the line is never left half written beside another.
  const ssize_t written = ::write(fd, entry.data(), entry.size());
  const int writeError = written < 0 ? errno : EIO;
  const bool complete = written == static_cast<ssize_t>(entry.size());
  if (::close(fd) != 0 && complete) return errno != 0 ? errno : EIO;
  return complete ? 0 : writeError;
}

SpoolInstallAide::SpoolInstallAide(std::string directory, std::string login)
    : iDirectory(std::move(directory)), iLogin(std::move(login)) {}

void SpoolInstallAide::ListUsers() {
  iUsers.clear();
  std::error_code ec;
  for (fs::directory_iterator it(iDirectory, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_directory(typeError)) iUsers.push_back(it->path().filename().string());
  }
  std::sort(iUsers.begin(), iUsers.end());
}

int SpoolInstallAide::UserCount() {
  ListUsers();
  if (iUsers.empty() && !iLogin.empty()) {
    // The first use makes the one user the desktop surely has.
    std::error_code ec;
    fs::create_directories(fs::path(iDirectory) / iLogin, ec);
    ListUsers();
  }
  return static_cast<int>(iUsers.size());
}

std::string SpoolInstallAide::UserName(int index) {
  if (iUsers.empty()) ListUsers();
  if (index < 0 || static_cast<size_t>(index) >= iUsers.size()) return {};
  return iUsers[static_cast<size_t>(index)];
}

int SpoolInstallAide::QueueFile(const std::string& user, const std::string& path) {
  // A user is one directory of the spool, never a path out of it.
  if (user.empty() || user == "." || user == ".." || user.find('/') != std::string::npos)
    return EINVAL;
  const fs::path userDirectory = fs::path(iDirectory) / user;
  std::error_code ec;
  if (!fs::is_directory(userDirectory, ec)) return ENOENT;
  std::string file;
  if (const int error = ResolveQueuedFile(path, file); error != 0) return error;
  // The copy takes the name of the file it copies, as the J-Pilot queue
  // lists that file.
  const fs::path name = fs::path(file).filename();
  if (name.empty()) return EINVAL;
  return SystemBookFiles().Copy(file, (userDirectory / name).string());
}

std::string JPilotDirectory() {
  std::string base = Environment("JPILOT_HOME");
  if (base.empty()) base = HomeDirectory();
  return base + "/.jpilot";
}

std::string SpoolDirectory() {
  return UserDataDirectory() + "/quillary/hotsync";
}

std::string LoginName() {
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
    return pw->pw_name;
  for (const char* name : {"USER", "LOGNAME"}) {
    std::string value = Environment(name);
    if (!value.empty() && value.find('/') == std::string::npos) return value;
  }
  return kFallbackLogin;
}

std::unique_ptr<InstallAide> MakeInstallAide() {
  const std::string jpilot = JPilotDirectory();
  std::error_code ec;
  if (fs::is_directory(jpilot, ec)) return std::make_unique<JPilotInstallAide>(jpilot);
  return std::make_unique<SpoolInstallAide>(SpoolDirectory(), LoginName());
}

}  // namespace ql
