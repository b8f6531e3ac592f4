// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "make_flows.h"

#include <cerrno>
#include <string>

#include "atomic_file.h"
#include "book_builder.h"
#include "book_import.h"
#include "import_formats.h"
#include "open_failure.h"
#include "same_file.h"
#include "text_files.h"
#include "upgrade.h"
#include "user_texts.h"

namespace ql {

namespace {

constexpr const char* kBookSaveExtension = "ql";
constexpr const char* kImportFailed = QL_TEXT("messages", "Import failed");

void Report(Desktop& desktop, const char* what, const std::string& reason) {
  desktop.ShowMessage(Fill(translate("messages", "%1:\n%2"), {translate("messages", what), reason}),
                      kDefaultCaption);
}

FileDialogSpec BookSaveDialog() {
  FileDialogSpec dialog;
  dialog.save = true;
  dialog.filter = translate("messages", kBookFilter);
  dialog.defaultExtension = kBookSaveExtension;
  return dialog;
}

}  // namespace

std::string OpenBookTargetText(const std::string& path) {
  return Fill(translate("messages", "%1: is the book that is open; choose another file"), {path});
}

std::optional<ClosedBook> CloseBook(Document& doc, Desktop& desktop) {
  // Closing writes the bookmarks too, but says nothing when that fails; the
  // user must hear of it while the book, with its bookmarks, is still open.
  std::string reason;
  if (!doc.SaveBookmarks(reason)) {
    Report(desktop, QL_TEXT("messages", "Could not save the bookmarks"),
           reason + translate("messages", "\nThe book stays open."));
    return std::nullopt;
  }
  ClosedBook closed{doc.Path(), doc.Reader().IsReadOnly()};
  doc.Reader().Open(kNoFilePath, kOpenReadWrite);
  doc.MarkClosed();
  desktop.EmptyList();
  return closed;
}

bool ReopenBook(Document& doc, Desktop& desktop, const ClosedBook& book, BookFiles& files) {
  if (!book.readOnly) return OpenDocument(doc, desktop, book.path, files);
  const OpenResult result = doc.Open(book.path, kOpenReadOnly, book.path);
  if (result == OpenResult::kOk) {
    RebuildBookmarkMenu(doc, desktop);
    desktop.DocumentOpened();
    return true;
  }
  doc.MarkFailed(OpenFailureReason(doc.Reader().LastOpenFailure()));
  desktop.ShowStartPage();
  desktop.ShowStatus(OpenFailureText(book.path, doc.LastFailure()));
  return false;
}

namespace {

// The window's side of an import: the target tried and the open book closed
// before the long work, the wait cursor and a bar that follows the writing
// too.
class WindowImport final : public ImportHost {
 public:
  WindowImport(Document& doc, Desktop& desktop, const std::string& book)
      : iDoc(doc), iDesktop(desktop), iBook(book) {}

  bool BeforeReading(const BookImport&) override {
    {
      // A directory that takes no file is found now, while the open book is
      // still open, not after the whole source has been read.
      AtomicFile probe;
      if (!probe.Open(iBook)) {
        Report(iDesktop, kImportFailed,
               BookWriteFailureText(iBook, {BuildResult::kIoFailed, errno, iBook}));
        return false;
      }
    }
    // The open book is closed first, so that the new book may replace it.
    if (iDoc.IsOpen()) {
      closed = CloseBook(iDoc, iDesktop);
      if (!closed) return false;
    }
    wait.emplace(iDesktop);
    return true;
  }
  std::unique_ptr<ProgressSink> StartProgress(int64_t end) override {
    return iDesktop.StartProgress(end, true);
  }
  bool ShowsWriting() const override { return true; }

  std::optional<ClosedBook> closed;
  std::optional<WaitCursorOn> wait;

 private:
  Document& iDoc;
  Desktop& iDesktop;
  const std::string& iBook;
};

}  // namespace

void RunImport(Document& doc, Desktop& desktop, BookFiles& files) {
  FileDialogSpec sourceDialog;
  sourceDialog.filter = ImportDialogFilter();
  const std::optional<ChosenFile> source = desktop.ChooseFile(sourceDialog);
  if (!source) return;
  const ImportFormat& format = ImportFormatAtFilterIndex(source->filterIndex);
  const std::optional<ChosenFile> target = desktop.ChooseFile(BookSaveDialog());
  if (!target) return;
  const std::string& book = target->path;

  // Text from other systems is often UTF-8, and the window has no way to
  // ask: the text's start decides that, and its characters whether the book
  // is a version 2001 one (Windows-1252) or a 2002 one (UTF-8). A
  // dictionary's index is read first, so a missing or damaged file is told
  // while the open book is still open.
  BookImport import(format);
  WindowImport host(doc, desktop, book);
  const ImportEnd end = RunBookImport(import, source->path, book, host);
  host.wait.reset();
  if (end == ImportEnd::kStopped) return;
  if (end != ImportEnd::kWritten) {
    if (host.closed) ReopenBook(doc, desktop, *host.closed, files);
    if (end == ImportEnd::kKeptTarget)
      desktop.ShowMessage(
          Fill(translate("messages", "No entry was found in %1.\n%2 was left as it was."),
               {source->path, book}),
          kDefaultCaption);
    else
      Report(desktop, kImportFailed, import.Failure());
    return;
  }
  std::string results = ImportResultsText(import.Builder());
  // A version 2002 book is said to be one, as older readers cannot open it.
  if (import.Builder().Unicode()) results += "\n" + UnicodeBookText(import.Builder());
  if (const std::string notes = import.NotesText(); !notes.empty()) results += "\n" + notes;
  desktop.ShowMessage(results, translate("messages", kImportResultsCaption));
  if (import.Replaced() > 0)
    desktop.ShowMessage(
        Fill(translate("messages", "%1 was read as UTF-8 and stored as Windows-1252.\n"),
             {source->path}) +
            ReplacedCharactersText(import.Replaced()),
        translate("messages", kImportResultsCaption));
  OpenDocument(doc, desktop, book, files);
}

void RunUpgradeCommand(Document& doc, Desktop& desktop, BookFiles& files) {
  if (!doc.IsOpen() || doc.Reader().IsVersion2()) {
    desktop.ShowMessage(translate("messages", kUpgradeNeedsLegacy), kDefaultCaption);
    return;
  }
  const std::optional<ChosenFile> target = desktop.ChooseFile(BookSaveDialog());
  if (!target) return;
  const std::string& book = target->path;
  constexpr const char* kFailed = QL_TEXT("messages", "Upgrade failed");
  // The open legacy book cannot be replaced under its reader; the in-place
  // upgrade of the open flow is the way to do that.
  if (IsSameFile(book, doc.Path())) {
    Report(desktop, kFailed, OpenBookTargetText(book));
    return;
  }
  std::optional<UpgradeFailure> failure;
  {
    WaitCursorOn wait(desktop);
    failure = UpgradeBook(doc.Reader(), book, nullptr);
  }
  if (failure) {
    Report(desktop, kFailed, UpgradeFailureText(doc.Path(), book, *failure));
    return;
  }
  OpenDocument(doc, desktop, book, files);
}

void RunTextExport(Document& doc, Desktop& desktop) {
  if (!doc.IsOpen()) return;
  FileDialogSpec dialog;
  dialog.save = true;
  dialog.filter = translate("messages", kTextExportFilter);
  dialog.defaultExtension = kTextExportExtension;
  const std::optional<ChosenFile> target = desktop.ChooseFile(dialog);
  if (!target) return;
  constexpr const char* kFailed = QL_TEXT("messages", "Text export failed");
  if (IsSameFile(target->path, doc.Path())) {
    Report(desktop, kFailed, OpenBookTargetText(target->path));
    return;
  }
  TextExport text;
  bool written = text.Open(target->path);
  if (written) {
    WaitCursorOn wait(desktop);
    written = text.Write(doc.Reader(), doc.Path(), nullptr);
  }
  if (!written) {
    Report(desktop, kFailed, text.Failure());
    return;
  }
  // The text is kept, but what it lacks is said.
  const TabTextReport& report = text.Report();
  std::string lost;
  if (report.damaged > 0)
    lost = DamagedRecordsText(doc.Path(), report.damaged, report.damagedSubjects) + "\n";
  if (report.notCarried > 0) lost += text.NotCarriedText() + "\n";
  if (!lost.empty()) {
    lost.pop_back();
    Report(desktop, QL_TEXT("messages", "The text was written, but not all of the book is in it"),
           lost);
  }
}

}  // namespace ql
