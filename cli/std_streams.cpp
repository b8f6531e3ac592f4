// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "std_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "cli_util.h"

namespace qlcli {

namespace {

constexpr size_t kCopyChunk = 1 << 16;
constexpr const char* kStdinPath = "/dev/stdin";

// The private directory, made on first use and removed with what is in it
// when the program ends.
class PrivateDir {
 public:
  ~PrivateDir() {
    if (iPath.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(iPath, ignored);
  }
  // "" with errno set when it cannot be made.
  const std::string& Path() {
    if (!iPath.empty()) return iPath;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/qlbook-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) iPath = pattern;
    return iPath;
  }

 private:
  std::string iPath;
};

PrivateDir& Dir() {
  static PrivateDir dir;
  return dir;
}

std::string& StdinPath() {
  static std::string path;
  return path;
}

std::string& StdoutPath() {
  static std::string path;
  return path;
}

// Copies standard input whole to a new private file; false with errno set.
bool Spool(const std::string& path) {
  const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) return false;
  std::string buffer(kCopyChunk, '\0');
  bool ok = true;
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(out, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        ok = false;
        break;
      }
      done += put;
    }
    if (!ok) break;
  }
  const int error = errno;
  if (close(out) != 0 && ok) return false;
  errno = error;
  return ok;
}

// Standard input as a file a reader can open: itself when it is a regular
// file, else a private copy. A failure to read it ends the run, as nothing
// can be done without it.
std::string StdinAsFile() {
  if (!StdinPath().empty()) return StdinPath();
  struct stat st {};
  if (fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)) return StdinPath() = kStdinPath;
  const std::string& dir = Dir().Path();
  const std::string path = dir + "/stdin";
  if (dir.empty() || !Spool(path)) {
    Fail(std::string("cannot read standard input: ") + std::strerror(errno));
    std::exit(kExitFailure);
  }
  return StdinPath() = path;
}

std::string StdoutAsFile() {
  if (!StdoutPath().empty()) return StdoutPath();
  const std::string& dir = Dir().Path();
  if (dir.empty()) {
    Fail(std::string("cannot make a private file for standard output: ") + std::strerror(errno));
    std::exit(kExitFailure);
  }
  return StdoutPath() = dir + "/stdout";
}

void ReplaceAll(std::string& text, const std::string& from, std::string_view to) {
  if (from.empty()) return;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

CLI::Validator StdinFile() {
  return CLI::Validator(
      [](std::string& value) {
        if (value == kStdStream) value = StdinAsFile();
        return std::string();
      },
      "", "stdin");
}

CLI::Validator StdoutFile() {
  return CLI::Validator(
      [](std::string& value) {
        if (value == kStdStream) value = StdoutAsFile();
        return std::string();
      },
      "", "stdout");
}

bool IsStdin(const std::string& path) {
  return !path.empty() && path == StdinPath();
}
bool IsStdout(const std::string& path) {
  return !path.empty() && path == StdoutPath();
}

std::string Shown(std::string text) {
  ReplaceAll(text, StdoutPath(), kStdStream);
  ReplaceAll(text, StdinPath(), kStdStream);
  return text;
}

bool CopyOutToStdout() {
  if (StdoutPath().empty()) return true;
  std::FILE* in = std::fopen(StdoutPath().c_str(), "rb");
  if (!in) return true;  // the command failed before writing anything
  std::string buffer(kCopyChunk, '\0');
  bool ok = true;
  size_t got;
  while (ok && (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
    ok = WriteOut({buffer.data(), got});
  if (ok && std::ferror(in)) {
    std::fclose(in);
    Fail(std::string("cannot read back the output: ") + std::strerror(errno));
    return false;
  }
  std::fclose(in);
  if (ok) ok = FlushOut();
  if (!ok) FailOutput();
  return ok;
}

}  // namespace qlcli
