// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The dictionaries already on the computer: dictd dictionaries (NAME.index
// beside NAME.dict or NAME.dict.dz) and StarDict ones (NAME.ifo beside
// NAME.idx and NAME.dict or NAME.dict.dz), each mapped to the book it is
// imported into in the books folder, and their import, one after another,
// through the one import pipeline. No globals: a worker thread may run it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "progress.h"

namespace ql {

// Where dictionaries are looked for. The folders are searched with their
// subfolders (to a few levels, links to folders seen before skipped).
struct DictionaryRoots {
  std::vector<std::string> dictd;
  std::vector<std::string> stardict;
  // dictd and stardict/dic in each of the system's data folders
  // ($XDG_DATA_DIRS, else /usr/local/share and /usr/share), then
  // ~/.stardict/dic and $XDG_DATA_HOME/stardict/dic.
  static DictionaryRoots FromEnvironment();
};

enum class DictionaryKind { kDictd, kStarDict };

struct FoundDictionary {
  DictionaryKind kind = DictionaryKind::kDictd;
  std::string name;                // the dictionary's own name, else its file's base name
  std::string source;              // the file the import opens: NAME.index or NAME.ifo
  std::vector<std::string> files;  // every file the import reads
  std::string book;                // the book it is imported into
};

// Which book in a books folder was imported from which dictionary, kept in
// the folder as kImportRecordName (hidden, so no folder search takes it for
// a book). UTF-8, one record a line, fields split by TAB:
//   quillary-imported 1            the first line
//   imported<TAB>SOURCE<TAB>BOOK<TAB>SIZE<TAB>MTIME<TAB>STAMP
// BOOK is a file name in the folder; SIZE and MTIME (nanoseconds) are the
// book's as it was written: a book changed since, or one without a record,
// is the user's, and a dictionary never replaces it. STAMP (16 hex digits)
// stands for the sizes and times of the source's files then. Reading is
// bounded and skips what it does not understand.
inline constexpr const char* kImportRecordName = ".imported";
inline constexpr const char* kImportRecordFormatLine = "quillary-imported 1";

// The dictionaries under roots, dictd first, each root in turn, names in
// byte order within a folder. Each has a book of its own in booksFolder:
// the one imported from its source before, while that is unchanged; else a
// name from its own (letters, digits and a few safe marks; the rest '_').
// A name given to another dictionary, or one a book in the folder has that
// was not imported from this source, gets a suffix from the source's path
// (and a count, should that be taken too), so no dictionary's book takes
// another's or the user's.
std::vector<FoundDictionary> FindDictionaries(const DictionaryRoots& roots,
                                              const std::string& booksFolder);

// True when the dictionary's book does not exist yet, or is the one imported
// from its source and that source's files changed since (in size or time)
// or are newer than the book. A book there that was not imported from the
// source is never replaced: false.
bool NeedsImport(const FoundDictionary& dictionary);

enum class DictionaryResult { kImported, kCurrent, kFailed, kStopped };

struct DictionaryOutcome {
  DictionaryResult result = DictionaryResult::kFailed;
  std::string reason;  // for kFailed: the import's reason, path first
};

// "imported", "current", "failed: REASON", "stopped".
std::string DictionaryOutcomeText(const DictionaryOutcome& outcome);

struct DictionaryImportRun {
  // Over the whole run: 0 to 1000 times the number of dictionaries.
  ProgressSink* progress = nullptr;
  // Set (from any thread) to stop: the dictionary being read is dropped
  // (nothing of its book written) and the rest are not started; their
  // outcome is kStopped.
  const std::atomic<bool>* stop = nullptr;
  // Called on the importing thread as each dictionary is done.
  std::function<void(size_t index, const DictionaryOutcome& outcome)> onDone;
};

// Imports those of dictionaries that need it, in order, making the books
// folder as needed, and records each book written in its folder's record.
// A book is written whole or not at all; one there that was not imported
// from the dictionary's source fails the dictionary and is left as it was.
// One outcome per dictionary.
std::vector<DictionaryOutcome> ImportDictionaries(const std::vector<FoundDictionary>& dictionaries,
                                                  const DictionaryImportRun& run = {});

}  // namespace ql
