// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "open_failure.h"

#include <cerrno>
#include <cstring>

#include "book_reader.h"

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

std::string OpenFailureReason(const OpenFailureInfo& failure) {
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
  // An open that failed always says why; this is the words for a refusal
  // without a reason on record.
  return kInUseOrDamagedText;
}

OpenFailureInfo SystemOpenFailure(const std::string& path, int error) {
  OpenFailureInfo failure;
  failure.kind = OpenFailureKind::kSystem;
  failure.error = error;
  failure.path = path;
  return failure;
}

std::string SystemErrorText(int error) {
  if (error == ENOSPC || error == EDQUOT) return "disk full";
  return std::strerror(error);
}

}  // namespace ql
