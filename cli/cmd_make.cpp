// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook import, export-text and upgrade: the commands that make books.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "book_import.h"
#include "cli_util.h"
#include "import_formats.h"
#include "std_streams.h"
#include "text_files.h"
#include "upgrade.h"

namespace qlcli {

namespace {

constexpr const char* kEncodingUtf8 = "utf-8";
constexpr const char* kEncodingCp1252 = "cp1252";

// qlbook's side of an import: the UTF-8 notice before the (long) reading,
// and a bar on the terminal for the reading alone.
class TerminalImport final : public ql::ImportHost {
 public:
  explicit TerminalImport(const std::string& source) : iSource(Shown(source)) {}

  bool BeforeReading(const ql::BookImport& import) override {
    // Said only when qlbook chose.
    const ql::Utf8Sign sign = import.Source().Utf8SignFound();
    const char* why = sign == ql::Utf8Sign::kByteOrderMark ? "it begins with a byte-order mark"
                                                           : "its start is UTF-8";
    if (sign != ql::Utf8Sign::kNone && import.Source().StoresUnicode())
      std::fprintf(stderr,
                   "qlbook: %s: read as UTF-8 (%s) and stored as UTF-8 in a version 2002 book, "
                   "as Windows-1252 lacks some of its characters; give --book-version 2001 to "
                   "store it as Windows-1252\n",
                   iSource.c_str(), why);
    else if (sign != ql::Utf8Sign::kNone)
      std::fprintf(stderr,
                   "qlbook: %s: read as UTF-8 (%s) and stored as Windows-1252; give --encoding "
                   "cp1252 to keep its bytes as they are\n",
                   iSource.c_str(), why);
    return true;
  }
  std::unique_ptr<ql::ProgressSink> StartProgress(int64_t end) override {
    auto progress = std::make_unique<TerminalProgress>("Importing");
    progress->SetRange(0, end);
    return progress;
  }
  bool ShowsWriting() const override { return false; }

 private:
  const std::string iSource;
};

// The results go to stdout, unless the book itself does: then to stderr.
bool WriteResults(const std::string& results, const std::string& book) {
  if (!IsStdout(book)) return WriteOut(results);
  std::fputs(results.c_str(), stderr);
  return true;
}

// The source made into a book, its format named or taken from its
// extension; the results on stdout once the book is written, and after them
// a dictionary's own notes.
void RunImport(const std::string& source, const std::string& book, const std::string& formatName,
               const std::string& encoding, int bookVersion) {
  const ql::ImportFormat& format =
      formatName.empty() ? ql::ImportFormatForPath(source) : *ql::FindImportFormat(formatName);
  if (RefuseSameFile(source, book)) return;
  ql::ImportOptions options;
  options.encoding = encoding == kEncodingUtf8     ? ql::TextEncoding::kUtf8
                     : encoding == kEncodingCp1252 ? ql::TextEncoding::kCp1252
                                                   : ql::TextEncoding::kDetect;
  options.bookVersion = bookVersion;
  ql::BookImport import(format, options);
  TerminalImport host(source);
  const ql::ImportEnd end = ql::RunBookImport(import, source, book, host);
  if (end == ql::ImportEnd::kFailed) {
    Fail(import.Failure());
    return;
  }
  if (end != ql::ImportEnd::kWritten && end != ql::ImportEnd::kKeptTarget) return;
  std::string results = ql::ImportResultsText(import.Builder()) + "\n";
  if (import.Source().IsUtf8()) results += ql::ReplacedCharactersText(import.Replaced()) + "\n";
  if (import.Builder().Unicode()) results += ql::UnicodeBookText(import.Builder()) + "\n";
  if (const std::string notes = import.NotesText(); !notes.empty()) results += notes + "\n";
  if (end == ql::ImportEnd::kKeptTarget) {
    WriteResults(results, book);
    Fail(source + ": " + std::string(format.noEntry) + "; " + book + " was left as it was" +
         std::string(format.noEntryHint));
    return;
  }
  if (!WriteResults(results, book)) FailOutput();
}

void RunExportText(const std::string& bookPath, const std::string& out) {
  if (RefuseSameFile(bookPath, out)) return;
  ql::BookReader reader;
  if (!OpenBook(reader, bookPath, ql::kOpenReadOnly)) return;
  ql::TextExport text;
  if (!text.Open(out)) {
    Fail(text.Failure());
    return;
  }
  bool written;
  {
    TerminalProgress progress("Exporting");
    progress.SetRange(0, reader.GetSubjectCount());
    written = text.Write(reader, bookPath, &progress);
  }
  if (!written) {
    Fail(text.Failure());
    return;
  }
  // The text is kept, but what it lacks is said.
  const ql::TabTextReport& report = text.Report();
  if (report.damaged > 0)
    Fail(ql::DamagedRecordsText(bookPath, report.damaged, report.damagedSubjects));
  if (report.notCarried > 0) Fail(text.NotCarriedText());
}

void RunUpgrade(const std::string& legacy, const std::string& out, int bookVersion) {
  if (RefuseSameFile(legacy, out)) return;
  ql::BookReader reader;
  // Read-only, so the legacy file is not marked as opened or given a
  // bookmark block on the way.
  if (!OpenBook(reader, legacy, ql::kOpenReadOnly)) return;
  if (bookVersion != 0) {
    // Any book, written anew in the version asked for.
    std::optional<ql::UpgradeFailure> failure;
    ql::UpgradeReport report;
    {
      TerminalProgress progress("Converting");
      progress.SetRange(0, reader.GetSubjectCount());
      failure = ql::ConvertBook(reader, out, bookVersion, &progress, &report);
    }
    if (failure) {
      Fail(ql::UpgradeFailureText(legacy, out, *failure));
      return;
    }
    if (reader.IsUnicode() && bookVersion != ql::kVersionUnicode)
      WriteResults(ql::ReplacedCharactersText(report.replaced) + "\n", out);
    if (report.damaged > 0)
      Fail(ql::DamagedRecordsText(legacy, report.damaged, report.damagedSubjects));
    return;
  }
  if (reader.IsVersion2()) {
    Fail(legacy + ": the book is already a version 2 book; there is nothing to upgrade");
    return;
  }
  std::optional<ql::UpgradeFailure> failure;
  ql::UpgradeReport report;
  {
    TerminalProgress progress("Upgrading");
    progress.SetRange(0, reader.GetSubjectCount());
    failure = ql::UpgradeBook(reader, out, &progress, &report);
  }
  if (!failure && report.damaged > 0)
    Fail(ql::DamagedRecordsText(legacy, report.damaged, report.damagedSubjects));
  if (failure) Fail(ql::UpgradeFailureText(legacy, out, *failure));
}

// --book-version: 2001 (Windows-1252 text) or 2002 (UTF-8, zstd blocks).
void AddBookVersionOption(CLI::App& cmd, int& version) {
  cmd.add_option("--book-version", version,
                 "2001 (Windows-1252 text; what Windows-1252 lacks becomes '?') or 2002 (UTF-8 "
                 "text, smaller blocks coded with zstd, no size limit). Default for import: "
                 "2002 for dictionaries and for UTF-8 text with characters Windows-1252 lacks, "
                 "else 2001; for upgrade: 2001. With it, upgrade writes any book anew in that "
                 "version")
      ->check(CLI::IsMember({2001, 2002}));
}

}  // namespace

void AddMakeCommands(CLI::App& app) {
  {
    auto* cmd =
        app.add_subcommand("import",
                           "Build a version 2 book from tagged or tab-separated text, or from a "
                           "dictd or StarDict dictionary");
    auto source = std::make_shared<std::string>();
    auto book = std::make_shared<std::string>();
    auto format = std::make_shared<std::string>();
    cmd->add_option("SOURCE", *source,
                    "Text to import, or a dictionary's NAME.index (dictd: NAME.dict, "
                    "NAME.dict.dz or NAME.dict.gz beside it) or NAME.ifo (StarDict: NAME.idx or "
                    "NAME.idx.gz, "
                    "and NAME.dict or NAME.dict.dz beside it)")
        ->required()
        ->transform(StdinFile());
    cmd->add_option("BOOK", *book, "Book to write")->required()->transform(StdoutFile());
    std::vector<std::string> formats;
    for (const ql::ImportFormat& f : ql::ImportFormats()) formats.emplace_back(f.name);
    cmd->add_option("--format", *format,
                    ql::ImportFormatNames() + " (default: " + ql::ImportExtensionRule() + ")")
        ->check(CLI::IsMember(formats));
    auto encoding = std::make_shared<std::string>();
    cmd->add_option("--encoding", *encoding,
                    "utf-8 or cp1252 (default: utf-8 for text with a byte-order mark or that "
                    "starts as UTF-8, else cp1252); UTF-8 is stored as Windows-1252. "
                    "Dictionaries say their encoding themselves")
        ->check(CLI::IsMember({kEncodingUtf8, kEncodingCp1252}));
    auto version = std::make_shared<int>(0);
    AddBookVersionOption(*cmd, *version);
    cmd->callback([=] { RunImport(*source, *book, *format, *encoding, *version); });
  }
  {
    auto* cmd = app.add_subcommand("export-text", "Write a book as tab-separated tagged text");
    auto book = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("BOOK", *book, "Book to read")->required()->transform(StdinFile());
    cmd->add_option("OUT", *out, "Text file to write")->required()->transform(StdoutFile());
    cmd->callback([=] { RunExportText(*book, *out); });
  }
  {
    auto* cmd = app.add_subcommand("upgrade", "Write a legacy book as a new version 2 book");
    auto legacy = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("LEGACY", *legacy, "Legacy book to read")->required()->transform(StdinFile());
    cmd->add_option("OUT", *out, "Version 2 book to write")->required()->transform(StdoutFile());
    auto version = std::make_shared<int>(0);
    AddBookVersionOption(*cmd, *version);
    cmd->callback([=] { RunUpgrade(*legacy, *out, *version); });
  }
}

}  // namespace qlcli
