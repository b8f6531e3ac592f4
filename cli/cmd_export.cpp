// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook export-pdb: a book as a handheld database, through the handheld
// export the window runs too.
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "cli_util.h"
#include "export_book_reader.h"
#include "handheld_export.h"
#include "std_streams.h"

namespace qlcli {

namespace {

struct ExportOptions {
  std::string book;
  std::string out;
  std::string name;
};

// The option that gives a name, after the library's text for a run that had
// none.
std::string ExportFailureHint(ql::HandheldResult code) {
  return code == ql::HandheldResult::kMissingArgument ? " (give one with --name)" : "";
}

// SOURCE_DATE_EPOCH, when set, fixes the two dates so that builds repeat
// byte for byte.
bool ExportTime(int64_t& time) {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (!epoch || !*epoch) {
    time = static_cast<int64_t>(std::time(nullptr));
    return true;
  }
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(epoch, &end, 10);
  if (errno != 0 || *end != '\0' || value < 0) return false;
  time = value;
  return true;
}

void RunExport(const ExportOptions& o) {
  int64_t time = 0;
  if (!ExportTime(time)) {
    Fail("SOURCE_DATE_EPOCH must be a non-negative number of seconds");
    return;
  }
  std::string name = o.name;
  // Standard output has no file name to take one from.
  if (name.empty() && !IsStdout(o.out)) name = std::filesystem::path(o.out).stem().string();
  if (name.empty()) {
    Fail(o.out + ": cannot take a database name from this file name (give one with --name)");
    return;
  }

  if (RefuseSameFile(o.book, o.out)) return;
  ql::HandheldExport exporter;
  if (!exporter.Open(o.book)) {
    Fail(exporter.Failure());
    return;
  }
  StderrMessages messages;
  exporter.SetMessageSink(&messages);
  exporter.SetExportTime(time);
  bool written;
  {
    TerminalProgress progress("Exporting");
    progress.SetRange(0, exporter.ProgressEnd());
    progress.SetPos(0);
    written = exporter.Write(o.out, name, &progress);
  }
  if (exporter.EntriesOverlap()) {
    Fail(o.book + ": the book's entries overlap (one starts inside another), so it is damaged; " +
         "nothing was written");
    return;
  }
  if (!written) {
    Fail(exporter.Failure() + ExportFailureHint(exporter.Result()));
    return;
  }
  // A handheld database is 8-bit: what Windows-1252 lacks is said, not lost
  // unnoticed.
  if (exporter.ReplacedCharacters() > 0) {
    std::string names;
    for (const std::string& subject : exporter.ReplacedSubjects())
      names += (names.empty() ? "" : ", ") + subject;
    if (exporter.ReplacedSubjects().size() >= ql::TabTextReport::kReportNames) names += ", ...";
    std::fprintf(stderr,
                 "qlbook: %s: %lld characters without a Windows-1252 form were written as ? (in "
                 "%s)\n",
                 Shown(o.book).c_str(), static_cast<long long>(exporter.ReplacedCharacters()),
                 names.c_str());
  }
  // The database is kept, with "~" where a record could not be read.
  if (exporter.UnreadableRecordCount() > 0) {
    Fail(o.book + ": " +
         CountAndNames(exporter.UnreadableRecordCount(), exporter.UnreadableSubjects(), "record",
                       "records") +
         " could not be read and are marked \"~\" in the database");
    return;
  }
  ExitStatus() = kExitOk;
}

}  // namespace

void AddExportCommands(CLI::App& app) {
  auto options = std::make_shared<ExportOptions>();
  CLI::App* cmd = app.add_subcommand("export-pdb", "Write a book as a handheld database (.pdb)");
  cmd->add_option("BOOK", options->book, "the book (.ql)")->required()->transform(StdinFile());
  cmd->add_option("OUT", options->out, "the database file to write")
      ->required()
      ->transform(StdoutFile());
  cmd->add_option("--name", options->name,
                  "database name (default: OUT's file name without its extension)");
  cmd->callback([options] { RunExport(*options); });
}

}  // namespace qlcli
