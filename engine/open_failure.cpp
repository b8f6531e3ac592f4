#include "open_failure.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "book_format.h"
#include "book_reader.h"
#include "byte_order.h"

namespace ql {

std::string OpenFailureReason(const std::string& path, int openResult) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  uint8_t head[kBookHeaderSize] = {};
  size_t got = 0;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
  } else {
    return std::strerror(errno);
  }
  const uint32_t uid3 = got >= 12 ? ReadLE32(head + 8) : 0;
  if (uid3 != kBookUid3 && uid3 != kBookUid3Legacy) return "not a Quillary book";
  if (openResult == kOpenUnsupported) {
    return "the book's version (" + std::to_string(ReadLE32s(head + 16)) +
           ") or one of its chunks is not supported";
  }
  return "cannot open the book (it is in use by another program, or damaged)";
}

std::string OpenFailureReason(const std::string& path, int openResult,
                              const OpenFailureInfo& failure) {
  if (failure.kind == OpenFailureKind::kWriteFailed)
    return "cannot add the bookmark block to the book: " + SystemErrorText(failure.error) +
           " (the book was left as it was)";
  return OpenFailureReason(path, openResult);
}

std::string SystemErrorText(int error) {
  if (error == ENOSPC || error == EDQUOT) return "disk full";
  return std::strerror(error);
}

}  // namespace ql
