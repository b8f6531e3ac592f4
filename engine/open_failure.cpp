// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "open_failure.h"

#include <cerrno>
#include <cstring>

#include "book_reader.h"
#include "user_texts.h"

namespace ql {

namespace {

constexpr const char* kNotABookText = QL_TEXT("messages", "not a Quillary book");
constexpr const char* kInUseOrDamagedText =
    QL_TEXT("messages", "cannot open the book (it is in use by another program, or damaged)");
constexpr const char* kWrittenElsewhereText =
    QL_TEXT("messages", "another Quillary has the book open for writing");

std::string UnsupportedText(int version) {
  return Fill(
      translate("messages", "the book's version (%1) or one of its chunks is not supported"),
      {std::to_string(version)});
}

}  // namespace

std::string OpenFailureReason(const OpenFailureInfo& failure) {
  switch (failure.kind) {
    case OpenFailureKind::kNone:
      break;
    case OpenFailureKind::kSystem:
      return failure.error == EISDIR ? translate("messages", "is a directory")
                                     : std::strerror(failure.error);
    case OpenFailureKind::kNotABook:
      return translate("messages", kNotABookText);
    case OpenFailureKind::kUnsupported:
      return UnsupportedText(failure.version);
    case OpenFailureKind::kInUse:
      return translate("messages", kWrittenElsewhereText);
    case OpenFailureKind::kDamaged:
      return translate("messages", kInUseOrDamagedText);
    case OpenFailureKind::kWriteFailed:
      return Fill(translate("messages",
                            "cannot add the bookmark block to the book: %1 (the book was left as "
                            "it was)"),
                  {SystemErrorText(failure.error)});
  }
  // An open that failed always says why; this is the words for a refusal
  // without a reason on record.
  return translate("messages", kInUseOrDamagedText);
}

OpenFailureInfo SystemOpenFailure(const std::string& path, int error) {
  OpenFailureInfo failure;
  failure.kind = OpenFailureKind::kSystem;
  failure.error = error;
  failure.path = path;
  return failure;
}

std::string SystemErrorText(int error) {
  if (error == ENOSPC || error == EDQUOT) return translate("messages", "disk full");
  return std::strerror(error);
}

}  // namespace ql
