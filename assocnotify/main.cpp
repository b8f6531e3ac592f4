// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// assocnotify: tells the desktop that file-type associations changed, by
// rebuilding the user's caches of them. No window, no output, no arguments
// read but --version; the exit status is always 0, since there is nobody to
// tell.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ql_version.h"
#include "user_dirs.h"

extern char** environ;

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Runs a tool found on PATH and waits for it; a missing tool is no error.
void Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Quiet: this program has no output of its own, nor do its helpers.
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
  }
  posix_spawn_file_actions_destroy(&actions);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("assocnotify %s\n", QL_VERSION);
    return 0;
  }
  const std::string data = ql::UserDataDirectory();
  if (IsDirectory(data + "/mime")) Run({"update-mime-database", data + "/mime"});
  if (IsDirectory(data + "/applications"))
    Run({"update-desktop-database", "-q", data + "/applications"});
  Run({"kbuildsycoca6", "--noincremental"});
  return 0;
}
