#include "cli_util.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "book_format.h"
#include "byte_order.h"

namespace qlcli {

int& ExitStatus() {
  static int status = kExitOk;
  return status;
}

int Fail(std::string_view message) {
  std::fprintf(stderr, "qlbook: %.*s\n", static_cast<int>(message.size()), message.data());
  ExitStatus() = kExitFailure;
  return kExitFailure;
}

int UsageError(std::string_view message) {
  std::fprintf(stderr, "qlbook: %.*s\n", static_cast<int>(message.size()), message.data());
  ExitStatus() = kExitUsage;
  return kExitUsage;
}

bool WriteOut(std::string_view bytes) {
  if (bytes.empty()) return true;
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
}

bool OpenBook(ql::BookReader& reader, const std::string& path, int mode) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    Fail(path + ": " + std::strerror(errno));
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    Fail(path + ": is a directory");
    return false;
  }
  int r = reader.Open(path, mode);
  if (r == ql::kOpenOk) return true;
  // The reader only says open or not; look at the file to say why.
  uint8_t head[ql::kBookHeaderSize] = {};
  size_t got = 0;
  int openError = 0;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
  } else {
    openError = errno;
  }
  const uint32_t uid3 = got >= 12 ? ql::ReadLE32(head + 8) : 0;
  if (openError != 0) {
    Fail(path + ": " + std::strerror(openError));
  } else if (uid3 != ql::kBookUid3 && uid3 != ql::kBookUid3Legacy) {
    Fail(path + ": not a Quillary book");
  } else if (r == ql::kOpenUnsupported) {
    Fail(path + ": the book's version (" + std::to_string(ql::ReadLE32s(head + 16)) +
         ") or one of its chunks is not supported");
  } else {
    Fail(path + ": cannot open the book (it is in use by another program, or damaged)");
  }
  return false;
}

bool CheckIndex(const ql::BookReader& reader, long long index) {
  if (index < 0 || index >= reader.GetSubjectCount()) {
    UsageError("index " + std::to_string(index) + " is out of range (the book has " +
               std::to_string(reader.GetSubjectCount()) + " subjects)");
    return false;
  }
  return true;
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
  std::fprintf(stderr, "qlbook: %.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
}

}  // namespace qlcli
