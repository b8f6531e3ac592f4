// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "cli_util.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "library.h"
#include "open_failure.h"
#include "same_file.h"
#include "std_streams.h"
#include "text_files.h"

namespace qlcli {

int& ExitStatus() {
  static int status = kExitOk;
  return status;
}

namespace {

int& OutputError() {
  static int error = 0;
  return error;
}

void PrintError(std::string_view message) {
  const std::string shown = Shown(std::string(message));
  std::fprintf(stderr, "qlbook: %s\n", shown.c_str());
}

// The .ql files directly in dir, in name order.
std::vector<std::string> BooksIn(const std::string& dir) {
  std::vector<std::string> found;
  DIR* d = opendir(dir.c_str());
  if (!d) return found;
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() > 3 && name.ends_with(".ql")) found.push_back(dir + "/" + name);
  }
  closedir(d);
  std::sort(found.begin(), found.end());
  return found;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int Fail(std::string_view message) {
  PrintError(message);
  ExitStatus() = kExitFailure;
  return kExitFailure;
}

int UsageError(std::string_view message) {
  PrintError(message);
  ExitStatus() = kExitUsage;
  return kExitUsage;
}

bool WriteOut(std::string_view bytes) {
  if (bytes.empty()) return true;
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) return true;
  OutputError() = errno;
  return false;
}

bool FlushOut() {
  errno = 0;
  if (std::fflush(stdout) == 0) return true;
  OutputError() = errno;
  return false;
}

int FailOutput() {
  const int error = OutputError();
  return Fail(error != 0 ? std::string("cannot write the output: ") + std::strerror(error)
                         : std::string("cannot write the output"));
}

bool OpenBook(ql::BookReader& reader, const std::string& path, int mode) {
  struct stat st {};
  // A directory is never handed to the reader.
  if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    Fail(path + ": " + ql::OpenFailureReason(ql::SystemOpenFailure(path, error)));
    return false;
  }
  const ql::OpenResult r = reader.Open(path, mode);
  if (r == ql::OpenResult::kOk) {
    if (reader.OpenedWithoutLock())
      std::fprintf(stderr,
                   "qlbook: %s: warning: the file system has no locks, so the book is used "
                   "without one\n",
                   path.c_str());
    return true;
  }
  Fail(path + ": " + ql::OpenFailureReason(reader.LastOpenFailure()));
  return false;
}

bool RefuseSameFile(const std::string& input, const std::string& output) {
  if (!ql::IsSameFile(input, output)) return false;
  Fail(ql::SameFileText(output, input));
  return true;
}

bool CheckIndex(const ql::BookReader& reader, long long index) {
  if (index < 0 || index >= reader.GetSubjectCount()) {
    UsageError("index " + std::to_string(index) + " is out of range (the book has " +
               std::to_string(reader.GetSubjectCount()) + " subjects)");
    return false;
  }
  return true;
}

std::vector<std::string> BooksNamed(const std::vector<std::string>& args) {
  if (args.empty()) {
    ql::Library library = ql::Library::Load(ql::LibraryFilePath());
    library.Rescan();
    return library.BooksOf(ql::kAllBooks);
  }
  std::vector<std::string> paths;
  for (const std::string& arg : args) {
    if (IsDirectory(arg)) {
      for (std::string& p : BooksIn(arg)) paths.push_back(std::move(p));
    } else {
      paths.push_back(arg);
    }
  }
  return paths;
}

void AppendJsonString(std::string& out, std::string_view utf8) {
  out += '"';
  for (char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (b < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\u%04x", b);
          out += hex;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

TerminalProgress::TerminalProgress(std::string label)
    : iLabel(std::move(label)), iEnabled(isatty(STDERR_FILENO) != 0) {}

TerminalProgress::~TerminalProgress() {
  if (iEnabled && iShownPercent >= 0) std::fputs("\n", stderr);
}

void TerminalProgress::SetRange(int64_t lower, int64_t upper) {
  iLower = lower;
  iUpper = upper;
  Show();
}

void TerminalProgress::SetPos(int64_t pos) {
  iPos = pos;
  Show();
}

void TerminalProgress::Step() {
  ++iPos;
  Show();
}

void TerminalProgress::Show() {
  if (!iEnabled || iUpper <= iLower) return;
  int64_t span = iUpper - iLower;
  int percent = static_cast<int>(((iPos - iLower) * 100) / span);
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  if (percent == iShownPercent) return;
  iShownPercent = percent;
  std::fprintf(stderr, "\r%s: %3d%%", iLabel.c_str(), percent);
  std::fflush(stderr);
}

void StderrMessages::ShowMessage(std::string_view text, std::string_view caption) {
  const std::string shown = Shown(std::string(text));
  std::fprintf(stderr, "qlbook: %.*s: %s\n", static_cast<int>(caption.size()), caption.data(),
               shown.c_str());
}

}  // namespace qlcli
