// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook: the command-line face of the Quillary libraries. Text goes in and
// out as raw bytes; exit status 0 on success, 1 on failure, 2 on bad usage.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli_util.h"
#include "ql_version.h"
#include "std_streams.h"
#include "suggest.h"

namespace {

constexpr const char* kExitStatuses =
    "Exit status:\n"
    "  0  success (lookup, search, define: found)\n"
    "  1  failure (lookup, search, define: nothing found)\n"
    "  2  bad usage: an unknown command or option, a missing or invalid argument";

constexpr const char* kFooter =
    "Files: \"-\" as a file to read (BOOK, SOURCE, LEGACY) is standard input; as a file to\n"
    "write (OUT, and import's BOOK) it is standard output.\n"
    "\n"
    "Examples:\n"
    "  qlbook info words.ql                      describe a book\n"
    "  qlbook lookup words.ql fern --prefix      the first subject that begins with fern\n"
    "  qlbook search words.ql fern --whole-word  every record with the word fern\n"
    "  qlbook import words.tab words.ql          make a book of tab-separated text\n"
    "  gzip -dc words.txt.gz | qlbook import - words.ql\n"
    "  qlbook export-text words.ql - | less      the book as text, on standard output\n"
    "  SOURCE_DATE_EPOCH=0 qlbook export-pdb words.ql words.pdb\n"
    "  qlbook index words.ql                     build the book's full-text index\n"
    "  qlbook fts 'red wine' words.ql            the records with both words, best first\n"
    "\n";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "qlbook: read, build and convert Quillary books (.ql) from the command line.\n"
      "Texts are written as the raw bytes stored in the book (Windows-1252)."};
  app.set_version_flag("--version", "qlbook " QL_VERSION);
  app.require_subcommand(1);
  app.fallthrough(false);
  qlcli::AddReadCommands(app);
  qlcli::AddMakeCommands(app);
  qlcli::AddRenderSearchCommands(app);
  qlcli::AddExportCommands(app);
  qlcli::AddDefineCommand(app);
  qlcli::AddLibraryCommands(app);
  qlcli::AddFulltextCommands(app);
  qlcli::AddServeCommand(app);
  app.footer(std::string(kFooter) + kExitStatuses);
  for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
    command->footer(kExitStatuses);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    if (!qlcli::ReportUnknownName(app, argc, argv)) app.exit(e);
    return qlcli::kExitUsage;
  }
  qlcli::CopyOutToStdout();
  if (!qlcli::FlushOut() && qlcli::ExitStatus() == qlcli::kExitOk) return qlcli::FailOutput();
  return qlcli::ExitStatus();
}
