// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The main window's history kept across runs: the newest steps in a plain
// file of the user's data directory, written whole and atomically when it
// changes and read back at start whatever the file holds.
//
// The file: a first line "quillary history 1", a line "current N" (the
// step Back and Forward start from, 0 the oldest), then a step a line,
// oldest first: the book's path, a tab, the subject. In both, a backslash,
// tab, line feed and carriage return are written \\, \t, \n and \r.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "history.h"

namespace ql {

class Document;

// The steps kept across runs.
inline constexpr size_t kLastingHistoryLimit = 500;

// $XDG_DATA_HOME/quillary/history (else ~/.local/share/quillary/history).
std::string HistoryFilePath();

// The file's bytes for history.
std::string FormatHistory(const History& history);
// A history of kLastingHistoryLimit steps from bytes: lines that are not
// steps (too long, no tab, an empty subject, a bad escape) are skipped, and
// of more steps than the limit the newest stay.
History ParseHistory(std::string_view bytes);

// A history that lives in file: Load reads it (a missing, unreadable or
// hostile file gives what could be read, at worst nothing); Save writes it
// when it changed since it was read or last written, making the folder.
class LastingHistory {
 public:
  explicit LastingHistory(std::string file = HistoryFilePath()) : iFile(std::move(file)) {}
  void Load(History& history);
  // True when the file holds history now; else reason says why not.
  bool Save(const History& history, std::string& reason);
  bool Unsaved(const History& history) const { return history.Changes() != iSavedAt; }
  const std::string& File() const { return iFile; }

 private:
  std::string iFile;
  uint64_t iSavedAt = 0;
};

// Where a step of a book leads: the book on show when it is the step's,
// else the step's book opened through open (which tells why, when it
// cannot); then the record FindSubject finds for the step's subject whole.
enum class StepFound { kFound, kGone, kNotOpened };
struct StepTarget {
  StepFound found = StepFound::kNotOpened;
  int index = -1;  // when found
};
StepTarget FindStep(Document& doc, const HistoryEntry& step,
                    const std::function<bool(const std::string&)>& open);

}  // namespace ql
