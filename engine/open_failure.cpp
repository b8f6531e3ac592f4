#include "open_failure.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "book_format.h"
#include "book_lock.h"
#include "book_reader.h"
#include "byte_order.h"

namespace ql {

namespace {

constexpr const char* kNotABookText = "not a Quillary book";
constexpr const char* kInUseOrDamagedText =
    "cannot open the book (it is in use by another program, or damaged)";
constexpr const char* kWrittenElsewhereText = "another Quillary has the book open for writing";

std::string UnsupportedText(int version) {
  return "the book's version (" + std::to_string(version) +
         ") or one of its chunks is not supported";
}

}  // namespace

std::string OpenFailureReason(const std::string& path, int openResult) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  uint8_t head[kBookHeaderSize] = {};
  size_t got = 0;
  bool writtenElsewhere = false;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    got = std::fread(head, 1, sizeof head, f);
    // A book that opened for another writer is not damaged: this open was
    // refused for writing.
    writtenElsewhere = WriterRoleTaken(::fileno(f));
    std::fclose(f);
  } else {
    return std::strerror(errno);
  }
  const uint32_t uid3 = got >= 12 ? ReadLE32(head + 8) : 0;
  if (uid3 != kBookUid3 && uid3 != kBookUid3Legacy) return kNotABookText;
  if (openResult == kOpenUnsupported) return UnsupportedText(ReadLE32s(head + 16));
  return writtenElsewhere ? kWrittenElsewhereText : kInUseOrDamagedText;
}

std::string OpenFailureReason(const std::string& path, int openResult,
                              const OpenFailureInfo& failure) {
  switch (failure.kind) {
    case OpenFailureKind::kNone:
      break;
    case OpenFailureKind::kSystem:
      return failure.error == EISDIR ? "is a directory" : std::strerror(failure.error);
    case OpenFailureKind::kNotABook:
      return kNotABookText;
    case OpenFailureKind::kUnsupported:
      return UnsupportedText(failure.version);
    case OpenFailureKind::kInUse:
      return kWrittenElsewhereText;
    case OpenFailureKind::kDamaged:
      return kInUseOrDamagedText;
    case OpenFailureKind::kWriteFailed:
      return "cannot add the bookmark block to the book: " + SystemErrorText(failure.error) +
             " (the book was left as it was)";
  }
  // Nothing carried: the file tells what it can.
  return OpenFailureReason(path, openResult);
}

std::string SystemErrorText(int error) {
  if (error == ENOSPC || error == EDQUOT) return "disk full";
  return std::strerror(error);
}

}  // namespace ql
