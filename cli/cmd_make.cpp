// qlbook import, export-text and upgrade: the commands that make books.
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "cli_util.h"
#include "dict_import.h"
#include "text_case.h"
#include "text_files.h"
#include "upgrade.h"

namespace qlcli {

namespace {

constexpr const char* kFormatTagged = "tagged";
constexpr const char* kFormatTab = "tab";
constexpr const char* kFormatDictd = "dictd";
constexpr const char* kFormatStarDict = "stardict";
constexpr const char* kEncodingUtf8 = "utf-8";
constexpr const char* kEncodingCp1252 = "cp1252";

// Tab-separated for .tab and .tsv, the dictionaries for .index and .ifo,
// tagged text for anything else.
std::string FormatFromExtension(const std::string& path) {
  if (const auto dict = ql::DictFormatFromExtension(path))
    return *dict == ql::DictFormat::kDictd ? kFormatDictd : kFormatStarDict;
  return ql::EndsWithFolded(path, ".tab") || ql::EndsWithFolded(path, ".tsv") ? kFormatTab
                                                                              : kFormatTagged;
}

// A dictionary made into a book: the index read, the entries sorted and
// added, the book written; the results as the text import gives them, with
// the dictionary's own notes after.
void RunDictImport(const std::string& source, const std::string& book, ql::DictFormat format) {
  ql::DictImport import;
  if (!import.OpenSource(source, format)) {
    Fail(import.Failure());
    return;
  }
  // The index was checked before it was opened; the other files are known
  // only now.
  if (const std::string read = import.SourceFileAt(book); !read.empty()) {
    Fail(ql::SameFileText(book, read));
    return;
  }
  bool read;
  {
    TerminalProgress progress("Importing");
    progress.SetRange(0, import.EntryCount() + 1);
    read = import.Read(&progress);
  }
  if (!read) {
    Fail(import.Failure());
    return;
  }
  std::string results = ql::ImportResultsText(import.Builder()) + "\n";
  if (import.IsUtf8()) results += ql::ReplacedCharactersText(import.Replaced()) + "\n";
  if (const std::string notes = import.NotesText(); !notes.empty()) results += notes + "\n";
  if (import.KeepsTarget(book)) {
    WriteOut(results);
    Fail(source + ": the dictionary holds no entry; " + book + " was left as it was");
    return;
  }
  if (!import.WriteBook(book)) {
    Fail(import.Failure());
    return;
  }
  if (!WriteOut(results)) Fail("cannot write the output");
}

void RunImport(const std::string& source, const std::string& book, std::string format,
               const std::string& encoding) {
  if (format.empty()) format = FormatFromExtension(source);
  if (RefuseSameFile(source, book)) return;
  if (format == kFormatDictd || format == kFormatStarDict) {
    RunDictImport(source, book,
                  format == kFormatDictd ? ql::DictFormat::kDictd : ql::DictFormat::kStarDict);
    return;
  }
  ql::TextImport import;
  const ql::TextEncoding choice = encoding == kEncodingUtf8     ? ql::TextEncoding::kUtf8
                                  : encoding == kEncodingCp1252 ? ql::TextEncoding::kCp1252
                                                                : ql::TextEncoding::kDetect;
  if (!import.OpenSource(source) || !import.ChooseEncoding(choice)) {
    Fail(import.Failure());
    return;
  }
  // Said before the (long) conversion, and only when qlbook chose.
  if (import.Utf8SignFound() != ql::Utf8Sign::kNone)
    std::fprintf(stderr,
                 "qlbook: %s: read as UTF-8 (%s) and stored as Windows-1252; give --encoding "
                 "cp1252 to keep its bytes as they are\n",
                 source.c_str(),
                 import.Utf8SignFound() == ql::Utf8Sign::kByteOrderMark
                     ? "it begins with a byte-order mark"
                     : "its start is UTF-8");
  if (!import.Convert()) {
    Fail(import.Failure());
    return;
  }
  const bool tab = format == kFormatTab;
  bool read;
  {
    TerminalProgress progress("Importing");
    progress.SetRange(0, import.SourceSize() + 1);
    read = import.Read(tab, &progress);
  }
  if (!read) {
    Fail(import.Failure());
    return;
  }
  std::string results = ql::ImportResultsText(import.Builder()) + "\n";
  if (import.IsUtf8()) results += ql::ReplacedCharactersText(import.Replaced()) + "\n";
  if (import.KeepsTarget(book)) {
    WriteOut(results);
    Fail(source + ": no entry was found in it, read as " +
         (tab ? "tab-separated text (no line with a TAB and a text)"
              : "tagged text (no \"<new>\" tag)") +
         "; " + book + " was left as it was (if the file is " +
         (tab ? "tagged text, give --format tagged" : "tab-separated text, give --format tab") +
         ")");
    return;
  }
  if (!import.WriteBook(book)) {
    Fail(import.Failure());
    return;
  }
  if (!WriteOut(results)) Fail("cannot write the output");
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

void RunUpgrade(const std::string& legacy, const std::string& out) {
  if (RefuseSameFile(legacy, out)) return;
  ql::BookReader reader;
  // Read-only, so the legacy file is not marked as opened or given a
  // bookmark block on the way.
  if (!OpenBook(reader, legacy, ql::kOpenReadOnly)) return;
  if (reader.IsVersion2()) {
    Fail(legacy + ": the book is already a version 2 book; there is nothing to upgrade");
    return;
  }
  int r;
  int error;
  ql::UpgradeReport report;
  {
    TerminalProgress progress("Upgrading");
    progress.SetRange(0, reader.GetSubjectCount());
    errno = 0;
    r = ql::UpgradeBook(reader, out, &progress, &report);
    error = errno;
  }
  if (r == ql::kUpgradeOk && report.damaged > 0)
    Fail(ql::DamagedRecordsText(legacy, report.damaged, report.damagedSubjects));
  if (r != ql::kUpgradeOk) Fail(ql::UpgradeFailureText(legacy, out, r, error));
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
        ->required();
    cmd->add_option("BOOK", *book, "Book to write")->required();
    cmd->add_option("--format", *format,
                    "tagged, tab, dictd or stardict (default: tab for .tab and .tsv, dictd for "
                    ".index, stardict for .ifo, else tagged)")
        ->check(CLI::IsMember({kFormatTagged, kFormatTab, kFormatDictd, kFormatStarDict}));
    auto encoding = std::make_shared<std::string>();
    cmd->add_option("--encoding", *encoding,
                    "utf-8 or cp1252 (default: utf-8 for text with a byte-order mark or that "
                    "starts as UTF-8, else cp1252); UTF-8 is stored as Windows-1252. "
                    "Dictionaries say their encoding themselves")
        ->check(CLI::IsMember({kEncodingUtf8, kEncodingCp1252}));
    cmd->callback([=] { RunImport(*source, *book, *format, *encoding); });
  }
  {
    auto* cmd = app.add_subcommand("export-text", "Write a book as tab-separated tagged text");
    auto book = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("BOOK", *book, "Book to read")->required();
    cmd->add_option("OUT", *out, "Text file to write")->required();
    cmd->callback([=] { RunExportText(*book, *out); });
  }
  {
    auto* cmd = app.add_subcommand("upgrade", "Write a legacy book as a new version 2 book");
    auto legacy = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("LEGACY", *legacy, "Legacy book to read")->required();
    cmd->add_option("OUT", *out, "Version 2 book to write")->required();
    cmd->callback([=] { RunUpgrade(*legacy, *out); });
  }
}

}  // namespace qlcli
