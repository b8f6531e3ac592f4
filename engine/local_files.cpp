// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "local_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace ql {

SmallFile ReadSmallFile(const std::string& path, size_t limit) {
  SmallFile file;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno != ENOENT) {
      file.state = SmallFileState::kFailed;
      file.error = errno;
    }
    return file;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    file.state = S_ISDIR(st.st_mode) ? SmallFileState::kDirectory : SmallFileState::kNotRegular;
    ::close(fd);
    return file;
  }
  const auto size = static_cast<size_t>(std::max<off_t>(st.st_size, 0));
  file.cut = size > limit;
  file.bytes.resize(std::min(size, limit));
  size_t got = 0;
  while (got < file.bytes.size()) {
    const ssize_t n = ::read(fd, file.bytes.data() + got, file.bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      file.state = SmallFileState::kFailed;
      file.error = errno;
      file.bytes.clear();
      ::close(fd);
      return file;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  file.bytes.resize(got);
  file.state = SmallFileState::kRead;
  return file;
}

void ListFilesUnder(const std::string& dir, int depth, size_t limit,
                    const std::function<bool(std::string_view path)>& keep, FolderSeen& seen,
                    std::vector<std::string>& out) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  if (!seen.insert({st.st_dev, st.st_ino}).second) return;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;  // ".", "..", hidden and temporary files
    if (names.size() >= limit) break;
    names.emplace_back(e->d_name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  const std::string prefix = dir == "/" ? dir : dir + "/";
  for (const std::string& name : names) {
    if (out.size() >= limit) return;
    const std::string path = prefix + name;
    if (::stat(path.c_str(), &st) != 0) continue;
    if (S_ISREG(st.st_mode)) {
      if (!keep || keep(path)) out.push_back(path);
    } else if (S_ISDIR(st.st_mode) && depth > 0) {
      ListFilesUnder(path, depth - 1, limit, keep, seen, out);
    }
  }
}

std::string_view FileNameOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace ql
