// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Building a book's word index in bounded memory: the records are read in
// order and their words gathered until the lists reach a run's worth of
// bytes; each run is written, sorted, into the build's work folder with the
// last record it holds; at the end the runs are merged into the index file,
// written aside and renamed, and the work folder goes. A build that was
// stopped (a kill, a cancel) goes on from the runs it left.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace ql {
class ProgressSink;
}

namespace ql::fts {

struct BuildOptions {
  // The lists gathered in memory before a run is written.
  size_t runBytes = size_t{32} << 20;
  // Set from another thread to stop the build (its runs are kept).
  const std::atomic<bool>* cancel = nullptr;
  // Steps through the book's records (range 0 to the record count).
  ProgressSink* progress = nullptr;
  // Stop after this many runs are written, as a kill would (tests); 0: never.
  int stopAfterRuns = 0;
};

enum class BuildResult { kBuilt, kCancelled, kFailed };

// Builds the index of the book at bookPath into indexPath for the content
// key given (BookContentKey's, as a number). The book is opened read-only
// and shared: a reader may have it open meanwhile.
BuildResult BuildIndex(const std::string& bookPath, const std::string& indexPath, uint64_t key,
                       const BuildOptions& options, std::string& reason);

// The book's index in IndexFolder(): there already (its header checked), or
// built now (and then checked whole).
// Returns the index path, "" with the reason on failure or a cancel.
std::string EnsureIndex(const std::string& bookPath, const BuildOptions& options,
                        std::string& reason, BuildResult* result = nullptr);

// "0123456789abcdef" to its number; false when it is no key.
bool ParseKey(const std::string& key, uint64_t& out);

}  // namespace ql::fts
