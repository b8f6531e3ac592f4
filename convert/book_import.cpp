// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "book_import.h"

#include <sys/stat.h>

#include <cerrno>

#include "open_failure.h"
#include "text_files.h"
#include "upgrade.h"
#include "user_texts.h"

namespace ql {

BookImport::BookImport(const ImportFormat& format, const ImportOptions& options)
    : iSource(format.makeSource(options)) {
  iSource->SetBookVersion(options.bookVersion);
}

BookImport::BookImport(std::unique_ptr<ImportSource> source) : iSource(std::move(source)) {}

bool BookImport::Fail(std::string reason) {
  iFailure = std::move(reason);
  return false;
}

bool BookImport::Open(const std::string& path) {
  if (!iSource->Open(path)) return Fail(iSource->Failure());
  iBuilder.emplace();
  if (!iBuilder->IsReady())
    return Fail(Fill(translate("messages", "cannot create the temporary files: %1"),
                     {SystemErrorText(iBuilder->LastFailure().error)}));
  if (!iSource->Examine()) return Fail(iSource->Failure());
  iBuilder->SetUnicode(iSource->StoresUnicode());
  return true;
}

std::string BookImport::SourceFileAt(const std::string& path) const {
  return iSource->SourceFileAt(path);
}

bool BookImport::Prepare() {
  return iSource->Prepare() || Fail(iSource->Failure());
}

bool BookImport::Read(ProgressSink* bar) {
  ImportStep step;
  while ((step = iSource->ReadNext(*iBuilder)) == ImportStep::kAdded) {
    if (Stopped()) return Fail("stopped");
    if (bar) bar->SetPos(iSource->ProgressPos());
  }
  return step == ImportStep::kEnd || Fail(iSource->Failure());
}

bool BookImport::KeepsTarget(const std::string& path) const {
  struct stat st {};
  return iBuilder->iSubjectCount == 0 && ::stat(path.c_str(), &st) == 0;
}

bool BookImport::WriteBook(const std::string& path, ProgressSink* bar) {
  iBuilder->SetWriteProgress(bar);
  const BuildResult r = iBuilder->WriteBookFile(path);
  iBuilder->SetWriteProgress(nullptr);
  if (r != BuildResult::kOk) return Fail(BookWriteFailureText(path, iBuilder->LastFailure()));
  return true;
}

ImportEnd RunBookImport(BookImport& import, const std::string& source, const std::string& book,
                        ImportHost& host) {
  if (!import.Open(source)) return ImportEnd::kFailed;
  // The save dialog or the command line said only where the book goes: the
  // source, or any file of it, would be lost under the book made of it.
  if (const std::string read = import.SourceFileAt(book); !read.empty()) {
    import.Fail(SameFileText(book, read));
    return ImportEnd::kFailed;
  }
  if (!host.BeforeReading(import)) return ImportEnd::kStopped;
  if (!import.Prepare()) return ImportEnd::kFailed;
  std::unique_ptr<ProgressSink> bar = host.StartProgress(import.ProgressEnd());
  if (!import.Read(bar.get())) return import.Stopped() ? ImportEnd::kStopped : ImportEnd::kFailed;
  if (!host.ShowsWriting()) bar.reset();
  if (import.Stopped()) return ImportEnd::kStopped;
  // A source without entries must not cost a book that stood there.
  if (import.KeepsTarget(book)) return ImportEnd::kKeptTarget;
  return import.WriteBook(book, bar.get()) ? ImportEnd::kWritten : ImportEnd::kFailed;
}

}  // namespace ql
