// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// One import, whatever its source: the source read into a builder, the book
// written from it through a temporary file beside the target, the progress
// and the results. qlbook and the window run the same RunBookImport and
// differ only in how they present it (an ImportHost each).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "book_builder.h"
#include "import_formats.h"
#include "import_source.h"
#include "progress.h"

namespace ql {

// One import's steps, in the order RunBookImport takes them. Each returns
// false with the reason, path first, in Failure().
class BookImport {
 public:
  explicit BookImport(const ImportFormat& format, const ImportOptions& options = {});
  explicit BookImport(std::unique_ptr<ImportSource> source);
  BookImport(const BookImport&) = delete;
  BookImport& operator=(const BookImport&) = delete;

  // Opens the source, makes the builder's temporary files and settles how
  // the source is read.
  bool Open(const std::string& path);
  // Of the files the import reads, the one that path names too; empty when
  // none.
  std::string SourceFileAt(const std::string& path) const;
  // The long work before the entries.
  bool Prepare();
  // The end of the bar that Read (and WriteBook) move: one beyond what
  // reading covers, so that a bar read to its end is not yet full.
  int64_t ProgressEnd() const { return iSource->ProgressEnd() + 1; }
  // A flag that, once set (from any thread), stops Read between two entries
  // and WriteBook before it writes: RunBookImport then ends kStopped.
  void SetStop(const std::atomic<bool>* stop) { iStop = stop; }
  bool Stopped() const { return iStop && iStop->load(std::memory_order_relaxed); }
  // Adds every entry; the bar follows the source.
  bool Read(ProgressSink* bar);
  // True when the source held no entry and a file stands at path: the most
  // likely cause is the wrong format, and an empty book must not replace it.
  bool KeepsTarget(const std::string& path) const;
  // Writes the book; the bar, if any, then follows the writing.
  bool WriteBook(const std::string& path, ProgressSink* bar = nullptr);

  ImportSource& Source() { return *iSource; }
  const ImportSource& Source() const { return *iSource; }
  const BookBuilder& Builder() const { return *iBuilder; }
  // Characters written as '?' because Windows-1252 lacks them.
  int64_t Replaced() const { return iSource->Counts().replaced; }
  // The source's notes for the results (ImportNotesText).
  std::string NotesText() const { return ImportNotesText(iSource->Counts()); }
  const std::string& Failure() const { return iFailure; }
  bool Fail(std::string reason);

 private:
  std::unique_ptr<ImportSource> iSource;
  std::optional<BookBuilder> iBuilder;  // made once the source opens
  std::string iFailure;
  const std::atomic<bool>* iStop = nullptr;
};

// What the one who runs an import is asked on the way.
class ImportHost {
 public:
  virtual ~ImportHost() = default;
  // The source is open and examined, and the book is no file it reads: the
  // last moment before the long work. False stops the import, nothing
  // written (the host has said why).
  virtual bool BeforeReading(const BookImport& import) = 0;
  // A bar running from 0 to end, or none.
  virtual std::unique_ptr<ProgressSink> StartProgress(int64_t end) = 0;
  // True when the bar goes on to follow the writing of the book; else it is
  // gone before the writing starts.
  virtual bool ShowsWriting() const = 0;
};

enum class ImportEnd {
  kFailed,      // the reason is in the import's Failure(); nothing was written
  kStopped,     // the host (or the import's stop flag) stopped it; nothing was written
  kKeptTarget,  // no entry was found, and the file at the target was kept
  kWritten,
};

// The whole import of source into book: opened, refused when book is a file
// the import reads, read, and written unless it found no entry where a file
// stands. The bar is gone when this returns.
ImportEnd RunBookImport(BookImport& import, const std::string& source, const std::string& book,
                        ImportHost& host);

}  // namespace ql
