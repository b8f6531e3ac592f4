// qlbook import, export-text and upgrade: the commands that make books.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli_util.h"
#include "text_files.h"
#include "upgrade.h"

namespace qlcli {

namespace {

constexpr const char* kFormatTagged = "tagged";
constexpr const char* kFormatTab = "tab";

bool EndsWith(const std::string& text, std::string_view tail) {
  if (text.size() < tail.size()) return false;
  std::string lower = text.substr(text.size() - tail.size());
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = char(c + ('a' - 'A'));
  return lower == tail;
}

// Tab-separated for .tab and .tsv, tagged text for anything else.
std::string FormatFromExtension(const std::string& path) {
  return EndsWith(path, ".tab") || EndsWith(path, ".tsv") ? kFormatTab : kFormatTagged;
}

void RunImport(const std::string& source, const std::string& book, std::string format) {
  if (format.empty()) format = FormatFromExtension(source);
  ql::TextImport import;
  if (!import.OpenSource(source)) {
    Fail(import.Failure());
    return;
  }
  bool read;
  {
    TerminalProgress progress("Importing");
    progress.SetRange(0, import.SourceSize() + 1);
    read = import.Read(format == kFormatTab, &progress);
  }
  if (!read || !import.WriteBook(book)) {
    Fail(import.Failure());
    return;
  }
  if (!WriteOut(ql::ImportResultsText(import.Builder()) + "\n")) Fail("cannot write the output");
}

void RunExportText(const std::string& bookPath, const std::string& out) {
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
  if (!written) Fail(text.Failure());
}

void RunUpgrade(const std::string& legacy, const std::string& out) {
  ql::BookReader reader;
  // Read-only, so the legacy file is not marked as opened or given a
  // bookmark block on the way.
  if (!OpenBook(reader, legacy, ql::kOpenReadOnly)) return;
  if (reader.IsVersion2()) {
    Fail(legacy + ": the book is already a version 2 book; there is nothing to upgrade");
    return;
  }
  int r;
  {
    TerminalProgress progress("Upgrading");
    progress.SetRange(0, reader.GetSubjectCount());
    errno = 0;
    r = ql::UpgradeBook(reader, out, &progress);
  }
  if (r != ql::kUpgradeOk) Fail(ql::UpgradeFailureText(legacy, out, r, errno));
}

}  // namespace

void AddMakeCommands(CLI::App& app) {
  {
    auto* cmd =
        app.add_subcommand("import", "Build a version 2 book from tagged or tab-separated text");
    auto source = std::make_shared<std::string>();
    auto book = std::make_shared<std::string>();
    auto format = std::make_shared<std::string>();
    cmd->add_option("SOURCE", *source, "Text to import")->required();
    cmd->add_option("BOOK", *book, "Book to write")->required();
    cmd->add_option("--format", *format,
                    "tagged or tab (default: tab for .tab and .tsv, else tagged)")
        ->check(CLI::IsMember({kFormatTagged, kFormatTab}));
    cmd->callback([=] { RunImport(*source, *book, *format); });
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
