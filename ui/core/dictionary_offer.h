// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Find Dictionaries, from the Library menu and once at the first start: the
// dictionaries already on the computer are found, one question offers those
// not in the library yet (or changed since), and the imports run on a worker
// thread while the window keeps answering; when they end, the books they made
// join the library.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "desktop_services.h"
#include "dictionary_finder.h"
#include "library.h"

namespace ql {

inline constexpr const char* kFindDictionariesCaption = "Find Dictionaries";

// The question for count dictionaries to import, of which changed are in the
// library already and changed since.
std::string DictionaryOfferText(size_t count, size_t changed);

// Finds the dictionaries under roots and asks whether to import those that
// need it; returns the ones to import (none when the answer was No or none
// need it). quiet (the first start) tells nothing when none were found.
std::vector<FoundDictionary> OfferDictionaries(DesktopServices& desktop,
                                               const DictionaryRoots& roots,
                                               const std::string& booksFolder, bool quiet);

// True when this is the first start: no library file yet. The library is
// then written (found books and all), so the offer comes only once whatever
// the answer.
bool FirstStart(Library& library, const std::string& libraryFile, const std::string& booksFolder);

// The imports, one after another, on a thread of their own.
class DictionaryImportJob {
 public:
  explicit DictionaryImportJob(std::vector<FoundDictionary> dictionaries);
  ~DictionaryImportJob();  // stops and waits
  DictionaryImportJob(const DictionaryImportJob&) = delete;
  DictionaryImportJob& operator=(const DictionaryImportJob&) = delete;

  struct Progress {
    size_t done = 0;      // dictionaries finished
    size_t total = 0;     // dictionaries to import
    int percent = 0;      // of the whole run
    std::string current;  // the name of the one being imported
  };
  Progress Now() const;
  // Asks the worker to stop: the book being written is dropped.
  void Stop();
  bool Stopping() const { return iStop.load(); }
  bool Finished() const { return iFinished.load(); }
  // Waits for the worker; then Outcomes holds one outcome per dictionary.
  void Wait();
  const std::vector<DictionaryOutcome>& Outcomes() const { return iOutcomes; }
  const std::vector<FoundDictionary>& Dictionaries() const { return iDictionaries; }

  // The status bar's line while it runs.
  std::string StatusText() const;

 private:
  class Meter;
  std::vector<FoundDictionary> iDictionaries;
  std::vector<DictionaryOutcome> iOutcomes;
  std::unique_ptr<Meter> iMeter;
  std::atomic<bool> iStop{false};
  std::atomic<bool> iFinished{false};
  std::atomic<size_t> iDone{0};
  std::thread iThread;
};

// After the job ended: the books folder is searched again so the new books
// join the library, which is saved; the line to show in the status bar comes
// back ("3 dictionaries added to the library", with the failures and a stop).
// False with reason when the library could not be saved.
bool FinishDictionaryImport(const DictionaryImportJob& job, Library& library,
                            const std::string& libraryFile, const std::string& booksFolder,
                            std::string& status, std::string& reason);

}  // namespace ql
