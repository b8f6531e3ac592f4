// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The texts an import's results and failures share, and a book written out
// as a text file: the steps and the failure texts that qlbook and the window
// share. The export writes through a temporary file beside the target, so a
// failure never costs the file that stood there. (Imports: book_import.h.)
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "atomic_file.h"
#include "book_builder.h"
#include "book_reader.h"
#include "failure.h"
#include "progress.h"

namespace ql {

// The results of an import: "Number of subjects:   \t" and the count, then
// "\nFile sorted status:       \t" and "Yes", or "No\nSorted check failed at
// subject: " with the first subject out of order.
std::string ImportResultsText(const BookBuilder& builder);

// The line added to the results of an import that converted UTF-8:
// "Characters without a Windows-1252 form (written as ?):\t" and the count.
std::string ReplacedCharactersText(int64_t replaced);
// The results line of a version 2002 book: its version and encoding, and
// the texts several entries share.
std::string UnicodeBookText(const BookBuilder& builder);

// "OUT: is the same file as IN; nothing was written", when a command would
// write over the file it reads.
std::string SameFileText(const std::string& out, const std::string& in);

// "3 records: a, b, c" for a count and the first few names (", ..." when
// there are more than named); one and many are the noun's two forms.
std::string CountAndNames(int count, const std::vector<std::string>& names, std::string_view one,
                          std::string_view many);

// "BOOK: 3 records: a, b, c (damaged; written as far as they could be
// read)", for records written only in part.
std::string DamagedRecordsText(const std::string& bookPath, int count,
                               const std::vector<std::string>& subjects);

// What a text export failed at. The failure's path is the text's for the
// first two, the book's for the others.
enum class TextExportResult : int {
  kOk = 0,
  kCannotCreate,      // the text's file could not be created: see error
  kWriteFailed,       // writing or finishing the text failed: see error
  kEntriesOverlap,    // the book is damaged: see entry
  kRecordUnreadable,  // a record could not be read: see entry
};
struct TextExportFailure : Failure<TextExportResult> {
  int entry = -1;  // the entry that overlaps, or the record that cannot be read
};

// The words for a failed text export, path first.
std::string TextExportFailureText(const TextExportFailure& failure);

// One text export: open the target, write the book open in a reader to it.
// Each step returns false with the reason in LastFailure() and, in words,
// in Failure(); the target is then as it was.
class TextExport {
 public:
  bool Open(const std::string& out);
  // Writes the book (found at bookPath) as tab-separated text; the bar steps
  // once per subject. A success may still have lost entries: see Report().
  bool Write(BookReader& reader, const std::string& bookPath, ProgressSink* bar);
  const std::string& Failure() const { return iFailure; }
  const TextExportFailure& LastFailure() const { return iLastFailure; }

  // What the written text lacks: damaged records and entries the
  // tab-separated form cannot carry.
  const TabTextReport& Report() const { return iReport; }
  // "OUT: N entries: ... (the tab-separated form cannot carry ...)", or
  // empty when every entry was carried.
  std::string NotCarriedText() const;

 private:
  bool Fail(TextExportResult code, int error, const std::string& path, int entry = -1);

  AtomicFile iFile;
  std::string iOut;
  TabTextReport iReport;
  TextExportFailure iLastFailure;
  std::string iFailure;
};

}  // namespace ql
