// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// qlbook library: the library the window reads, listed, added to and taken
// from, and the dictionaries on the computer imported into it.
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <string>

#include "cli_util.h"
#include "dictionary_finder.h"
#include "library.h"
#include "open_failure.h"

namespace qlcli {

namespace {

struct LibraryOptions {
  std::string add;
  std::string remove;
  bool findDictionaries = false;
};

// The library from its file; false (said on stderr) when the file cannot be
// read, which then is not written over either.
bool LoadLibrary(ql::Library& lib, const std::string& file) {
  lib = ql::Library::Load(file);
  if (!lib.LoadFailure().empty()) {
    Fail(file + ": " + lib.LoadFailure() + "; the library is taken as empty and not saved");
    return false;
  }
  if (lib.SkippedLines() > 0)
    std::fprintf(stderr, "qlbook: %s: %d line(s) not understood, left out\n", file.c_str(),
                 lib.SkippedLines());
  return true;
}

void SaveLibrary(const ql::Library& lib, const std::string& file) {
  std::string reason;
  if (!lib.Save(file, reason)) Fail("cannot save the library: " + reason);
}

void ListLibrary(const ql::Library& lib) {
  for (const ql::LibraryBook& book : lib.Books()) {
    ql::BookStatus status = ql::ProbeBook(book.path);
    if (!book.enabled) status.state = ql::BookState::kOff;
    const std::string line = book.path + "\t" + status.title + "\t" +
                             std::to_string(status.subjects) + "\t" + ql::BookStateText(status) +
                             "\n";
    if (!WriteOut(line)) {
      FailOutput();
      return;
    }
  }
}

bool AddToLibrary(ql::Library& lib, const std::string& arg) {
  const std::string path = ql::NormalisePath(arg);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    Fail(arg + ": " + ql::SystemErrorText(errno));
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    if (lib.AddFolder(path)) return true;
    Fail(arg + ": the folder is in the library already");
    return false;
  }
  const ql::BookStatus status = ql::ProbeBook(path);
  if (status.state != ql::BookState::kOpen) {
    Fail(arg + ": not added: " + status.reason);
    return false;
  }
  if (lib.AddBook(path)) return true;
  Fail(arg + ": the book is in the library already");
  return false;
}

bool RemoveFromLibrary(ql::Library& lib, const std::string& arg) {
  if (lib.RemoveFolder(arg) || lib.RemoveBook(arg)) return true;
  Fail(arg + ": not in the library");
  return false;
}

void FindDictionaries(ql::Library& lib) {
  const std::vector<ql::FoundDictionary> found =
      ql::FindDictionaries(ql::DictionaryRoots::FromEnvironment(), ql::BooksFolder());
  bool failed = false;
  {
    TerminalProgress progress("Importing dictionaries");
    ql::DictionaryImportRun run;
    run.progress = &progress;
    run.onDone = [&](size_t i, const ql::DictionaryOutcome& outcome) {
      failed |= outcome.result == ql::DictionaryResult::kFailed;
      WriteOut(found[i].source + "\t" + found[i].book + "\t" + ql::DictionaryOutcomeText(outcome) +
               "\n");
      std::fflush(stdout);
    };
    ql::ImportDictionaries(found, run);
  }
  if (found.empty()) std::fputs("qlbook: no dictionaries were found\n", stderr);
  lib.Rescan();
  if (failed) ExitStatus() = kExitFailure;
}

void RunLibrary(const LibraryOptions& o) {
  ExitStatus() = kExitOk;
  const std::string file = ql::LibraryFilePath();
  ql::Library lib;
  const bool loaded = LoadLibrary(lib, file);
  if (!o.add.empty()) {
    if (!loaded || !AddToLibrary(lib, o.add)) return;
    lib.Rescan();
  } else if (!o.remove.empty()) {
    if (!loaded || !RemoveFromLibrary(lib, o.remove)) return;
    lib.Rescan();
  } else if (o.findDictionaries) {
    if (!loaded) return;
    FindDictionaries(lib);
  } else {
    lib.Rescan();
    ListLibrary(lib);
  }
  if (loaded) SaveLibrary(lib, file);
}

}  // namespace

void AddLibraryCommands(CLI::App& app) {
  auto options = std::make_shared<LibraryOptions>();
  CLI::App* cmd = app.add_subcommand(
      "library",
      "List the library the window reads (every .ql in $XDG_DATA_HOME/quillary/books and in the "
      "folders added, and the books added or opened), one book a line in library order: "
      "PATH<TAB>TITLE<TAB>SUBJECTS<TAB>STATE, where STATE is \"open\", \"off\" (switched off "
      "in the library) or \"failed: REASON\". The list is kept in "
      "$XDG_CONFIG_HOME/quillary/library");
  auto* add = cmd->add_option("--add", options->add,
                              "Add a folder (its books, and those of its subfolders, join) or a "
                              "book; a missing path or a file that is no book is refused");
  auto* remove = cmd->add_option("--remove", options->remove,
                                 "Take a folder or a book out of the library (exit 1 when it is "
                                 "not in it)");
  auto* find = cmd->add_flag(
      "--find-dictionaries", options->findDictionaries,
      "Find the dictd and StarDict dictionaries on the computer, import those whose book is "
      "missing or older than them into the books folder, and print SOURCE<TAB>BOOK<TAB>RESULT "
      "for each, RESULT being \"imported\", \"current\" or \"failed: REASON\"; exit 1 when one "
      "failed");
  add->excludes(remove)->excludes(find);
  remove->excludes(find);
  cmd->callback([options] { RunLibrary(*options); });
}

}  // namespace qlcli
