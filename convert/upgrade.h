// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Upgrade: writes an open legacy book as a new version 2 book. The entries
// go to the builder as they are stored (subject and record text), not
// through the tab-separated text form, so entries that form cannot carry
// (an empty subject or text, a TAB, CR or LF in a subject, a "<" that would
// read as a tag) pass unchanged.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "book_builder.h"
#include "book_reader.h"
#include "progress.h"

namespace ql {

// What an upgrade ended with. The builder's failures are one code,
// kBuildFailed, with the builder's own failure beside it.
enum class UpgradeResult : int {
  kOk = 0,
  kNotLegacy = 30,       // no book open, or already version 2
  kRecordFailed = 31,    // a legacy record could not be loaded
  kEntriesOverlap = 32,  // an entry starts inside one before it
  kBuildFailed = 33,     // the new book could not be made: see build
};

// Why an upgrade failed: its code and, for kBuildFailed, the builder's
// failure (code, errno, path).
struct UpgradeFailure {
  UpgradeResult code = UpgradeResult::kOk;
  BuildFailure build;
};

// Writes the book open in reader to path (through a temporary file beside
// it, renamed only when complete); the bar, if any, steps once per entry.
// Returns nothing when the book was written, else why not; the legacy book
// is left unchanged.
std::optional<UpgradeFailure> UpgradeBook(BookReader& reader, const std::string& path,
                                          ProgressSink* bar);
// The same; damaged, when given, receives the legacy records that could not
// be read whole (they are written as far as they could be read) and up to
// five of their subjects.
struct UpgradeReport {
  int damaged = 0;
  std::vector<std::string> damagedSubjects;
  // Characters written as '?' because Windows-1252 lacks them (a version
  // 2002 book written as 2001).
  int64_t replaced = 0;
};
std::optional<UpgradeFailure> UpgradeBook(BookReader& reader, const std::string& path,
                                          ProgressSink* bar, UpgradeReport* report);
// The same, writing a book of bookVersion (2001 or 2002) from any book,
// legacy or not: the text turned into the version's encoding, what
// Windows-1252 lacks counted in report.
std::optional<UpgradeFailure> ConvertBook(BookReader& reader, const std::string& path,
                                          int bookVersion, ProgressSink* bar,
                                          UpgradeReport* report);

// The same into output, a file the caller opened and finishes (flushed
// when nothing failed).
std::optional<UpgradeFailure> UpgradeBook(BookReader& reader, std::FILE* output, ProgressSink* bar);

// Text of an upgrade failure, for messages (the builder's text for
// kBuildFailed). This and the texts below are in the user's language.
std::string UpgradeResultText(const UpgradeFailure& failure);

// Why a book could not be written to path: "PATH: cannot write the book: WHY
// (nothing was changed there)", WHY being the text of the failure's errno
// for an I/O failure that left one, else the code's text.
std::string BookWriteFailureText(const std::string& path, const BuildFailure& failure);

// Why the upgrade of the legacy book into out failed.
std::string UpgradeFailureText(const std::string& legacy, const std::string& out,
                               const UpgradeFailure& failure);

}  // namespace ql
