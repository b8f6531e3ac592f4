// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "dictionary_offer.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "user_texts.h"

namespace ql {

namespace {

std::string CountOfDictionaries(size_t count) {
  return count == 1 ? translate("core", "1 dictionary")
                    : Fill(translate("core", "%1 dictionaries"), {std::to_string(count)});
}

}  // namespace

std::string DictionaryOfferText(size_t count, size_t changed) {
  const size_t fresh = count - std::min(count, changed);
  std::string text;
  if (fresh > 0) {
    text = fresh == 1 ? translate("core",
                                  "1 dictionary was found on this computer that the library does "
                                  "not have yet")
                      : Fill(translate("core",
                                       "%1 dictionaries were found on this computer that the "
                                       "library does not have yet"),
                             {std::to_string(fresh)});
    if (changed > 0)
      text += changed == 1 ? translate("core", ", and 1 has changed since it was added")
                           : Fill(translate("core", ", and %1 have changed since it was added"),
                                  {std::to_string(changed)});
    text += translate("core", ".\n\nAdd them to the library? They are imported in the background.");
  } else {
    text = changed == 1
               ? translate("core",
                           "1 dictionary on this computer has changed since it was added to the "
                           "library.\n\nImport it again? This runs in the background.")
               : Fill(translate("core",
                                "%1 dictionaries on this computer have changed since it was added "
                                "to the library.\n\nImport them again? This runs in the "
                                "background."),
                      {std::to_string(changed)});
  }
  return text;
}

std::vector<FoundDictionary> OfferDictionaries(DesktopServices& desktop,
                                               const DictionaryRoots& roots,
                                               const std::string& booksFolder, bool quiet) {
  std::vector<FoundDictionary> wanted;
  size_t changed = 0;
  {
    WaitCursorOn wait(desktop);
    for (FoundDictionary& found : FindDictionaries(roots, booksFolder)) {
      if (!NeedsImport(found)) continue;
      std::error_code error;
      if (std::filesystem::exists(found.book, error)) ++changed;
      wanted.push_back(std::move(found));
    }
  }
  if (wanted.empty()) {
    if (!quiet)
      desktop.ShowMessageIcon(translate("core",
                                        "No dictionaries were found on this computer that the "
                                        "library does not have already."),
                              translate("core", "Find Dictionaries"), Icon::kInformation);
    return {};
  }
  if (desktop.Ask(DictionaryOfferText(wanted.size(), changed),
                  translate("core", "Find Dictionaries"), Buttons::kYesNo, Icon::kQuestion,
                  true) != Answer::kYes)
    return {};
  return wanted;
}

bool FirstStart(Library& library, const std::string& libraryFile, const std::string& booksFolder) {
  std::error_code error;
  if (std::filesystem::exists(libraryFile, error) || error) return false;
  library.Rescan(booksFolder);
  std::string reason;
  library.Save(libraryFile, reason);  // unsaved, the offer comes again next time
  return true;
}

// Counts the importer's steps where the window can read them.
class DictionaryImportJob::Meter final : public ProgressSink {
 public:
  void SetRange(int64_t, int64_t upper) override { iUpper.store(upper); }
  void SetPos(int64_t pos) override { iPos.store(pos); }
  void Step() override { iPos.fetch_add(1); }

  int Percent() const {
    const int64_t upper = iUpper.load();
    if (upper <= 0) return 0;
    const int64_t pos = std::clamp<int64_t>(iPos.load(), 0, upper);
    return static_cast<int>(pos * 100 / upper);
  }
  void SetCurrent(std::string name) {
    std::lock_guard<std::mutex> lock(iMutex);
    iCurrent = std::move(name);
  }
  std::string Current() const {
    std::lock_guard<std::mutex> lock(iMutex);
    return iCurrent;
  }

 private:
  std::atomic<int64_t> iUpper{0};
  std::atomic<int64_t> iPos{0};
  mutable std::mutex iMutex;
  std::string iCurrent;
};

DictionaryImportJob::DictionaryImportJob(std::vector<FoundDictionary> dictionaries)
    : iDictionaries(std::move(dictionaries)), iMeter(std::make_unique<Meter>()) {
  if (!iDictionaries.empty()) iMeter->SetCurrent(iDictionaries.front().name);
  iThread = std::thread([this] {
    DictionaryImportRun run;
    run.progress = iMeter.get();
    run.stop = &iStop;
    run.onDone = [this](size_t index, const DictionaryOutcome&) {
      iDone.store(index + 1);
      if (index + 1 < iDictionaries.size()) iMeter->SetCurrent(iDictionaries[index + 1].name);
    };
    std::vector<DictionaryOutcome> outcomes = ImportDictionaries(iDictionaries, run);
    // Whatever the importer gave, one outcome per dictionary.
    outcomes.resize(iDictionaries.size(), DictionaryOutcome{DictionaryResult::kStopped, {}});
    iOutcomes = std::move(outcomes);
    iFinished.store(true);
  });
}

DictionaryImportJob::~DictionaryImportJob() {
  Stop();
  Wait();
}

DictionaryImportJob::Progress DictionaryImportJob::Now() const {
  Progress now;
  now.total = iDictionaries.size();
  now.done = std::min(iDone.load(), now.total);
  now.percent = iFinished.load() ? 100 : iMeter->Percent();
  now.current = iMeter->Current();
  return now;
}

void DictionaryImportJob::Stop() {
  iStop.store(true);
}

void DictionaryImportJob::Wait() {
  if (iThread.joinable()) iThread.join();
}

std::string DictionaryImportJob::StatusText() const {
  const Progress now = Now();
  if (iStop.load()) return translate("core", "Stopping the import of dictionaries...");
  return Fill(
      translate("core", "Importing %1: %2% (%3 of %4, %5). Esc stops."),
      {CountOfDictionaries(now.total), std::to_string(now.percent),
       std::to_string(std::min(now.done + 1, now.total)), std::to_string(now.total), now.current});
}

bool FinishDictionaryImport(const DictionaryImportJob& job, Library& library,
                            const std::string& libraryFile, const std::string& booksFolder,
                            std::string& status, std::string& reason) {
  size_t imported = 0, failed = 0, stopped = 0;
  std::string firstFailure;
  for (const DictionaryOutcome& outcome : job.Outcomes()) {
    switch (outcome.result) {
      case DictionaryResult::kImported:
      case DictionaryResult::kCurrent:
        ++imported;
        break;
      case DictionaryResult::kFailed:
        if (failed++ == 0) firstFailure = outcome.reason;
        break;
      case DictionaryResult::kStopped:
        ++stopped;
        break;
    }
  }
  library.Rescan(booksFolder);
  // A book the search did not bring back (one the user had taken out) joins
  // by name: the user asked for it just now.
  for (size_t i = 0; i < job.Outcomes().size() && i < job.Dictionaries().size(); ++i) {
    const DictionaryResult result = job.Outcomes()[i].result;
    if (result != DictionaryResult::kImported && result != DictionaryResult::kCurrent) continue;
    const std::string& book = job.Dictionaries()[i].book;
    if (!library.Find(book)) library.AddBook(book);
  }
  status = Fill(imported == 1 ? translate("core", "%1 was added to the library")
                              : translate("core", "%1 were added to the library"),
                {CountOfDictionaries(imported)});
  if (failed > 0)
    status += Fill(translate("core", "; %1 could not be imported (%2)"),
                   {std::to_string(failed), firstFailure});
  if (stopped > 0)
    status += Fill(translate("core", "; the import was stopped before %1"),
                   {CountOfDictionaries(stopped)});
  status += translate("core", ".");
  return library.Save(libraryFile, reason);
}

}  // namespace ql
