// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A book written as a handheld database: the book opened with a reader of
// its own, the run with its progress, the book closed again, and the failure
// texts. qlbook export-pdb and the window's Export to Palm both run it, as
// both run TextExport for the text export.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "messages.h"
#include "progress.h"
#include "qlp_writer.h"

namespace ql {

class ExportBookReader;

class HandheldExport {
 public:
  HandheldExport();
  ~HandheldExport();
  HandheldExport(const HandheldExport&) = delete;
  HandheldExport& operator=(const HandheldExport&) = delete;

  // Where the run's messages (memory that could not be had) go; none drops
  // them.
  void SetMessageSink(MessageSink* messages);
  // The Unix time of the database's two dates; without it, the time of the
  // run.
  void SetExportTime(int64_t unixTime);

  // Opens the book; false with "BOOK: why" in Failure(). An unreadable book
  // would give a database without subjects.
  bool Open(const std::string& book);
  // The end of the bar Write steps: two steps for each of the book's
  // subjects and three more.
  int64_t ProgressEnd() const;
  // Writes the database at pdbPath under the name given, then closes the
  // book whatever happened. False with "PDB: why" in Failure() and the
  // writer's failure (code, errno, path) in LastFailure().
  bool Write(const std::string& pdbPath, const std::string& name, ProgressSink* bar);

  HandheldResult Result() const { return iResult; }
  const HandheldFailure& LastFailure() const;
  // True when the book's entries were found to overlap (it is damaged).
  bool EntriesOverlap() const;
  // Records that could not be read, marked "~" in the database, and up to
  // five of their subjects.
  int UnreadableRecordCount() const;
  const std::vector<std::string>& UnreadableSubjects() const;
  // Characters of a UTF-8 book Windows-1252 lacks, written as '?', and up
  // to five of their records' subjects.
  int64_t ReplacedCharacters() const;
  const std::vector<std::string>& ReplacedSubjects() const;
  const std::string& Failure() const { return iFailure; }

 private:
  std::unique_ptr<ExportBookReader> iReader;
  int64_t iSubjects = 0;
  HandheldResult iResult = HandheldResult::kOk;
  std::string iFailure;
};

}  // namespace ql
