// Upgrade: writes an open legacy book as a new version 2 book. The entries
// go to the builder as they are stored (subject and record text), not
// through the tab-separated text form, so entries that form cannot carry
// (an empty subject or text, a TAB, CR or LF in a subject, a "<" that would
// read as a tag) pass unchanged.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "book_reader.h"
#include "progress.h"

namespace ql {

inline constexpr int kUpgradeOk = 0;
inline constexpr int kUpgradeNotLegacy = 30;       // no book open, or already version 2
inline constexpr int kUpgradeRecordFailed = 31;    // a legacy record could not be loaded
inline constexpr int kUpgradeEntriesOverlap = 32;  // an entry starts inside one before it
// Other failures are the builder's codes (kBuildIoFailed, kBuildTooLarge, ...).

// Writes the book open in reader to path (through a temporary file beside
// it, renamed only when complete); the bar, if any, steps once per entry.
// Returns kUpgradeOk or a failure code; the legacy book is left unchanged.
int UpgradeBook(BookReader& reader, const std::string& path, ProgressSink* bar);
// The same; damaged, when given, receives the legacy records that could not
// be read whole (they are written as far as they could be read) and up to
// five of their subjects.
struct UpgradeReport {
  int damaged = 0;
  std::vector<std::string> damagedSubjects;
};
int UpgradeBook(BookReader& reader, const std::string& path, ProgressSink* bar,
                UpgradeReport* report);

// The same into output, a file the caller opened and finishes (flushed
// when the result is kUpgradeOk).
int UpgradeBook(BookReader& reader, std::FILE* output, ProgressSink* bar);

// Text of an upgrade result code, for messages.
const char* UpgradeResultText(int code);

// Why a book could not be written to path: "PATH: cannot write the book: WHY
// (nothing was changed there)", WHY being error's text for an I/O failure
// that left one, else the code's text.
std::string BookWriteFailureText(const std::string& path, int code, int error);

// Why the upgrade of the legacy book into out failed, given UpgradeBook's
// result and the errno it left.
std::string UpgradeFailureText(const std::string& legacy, const std::string& out, int code,
                               int error);

}  // namespace ql
