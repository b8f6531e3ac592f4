#include "make_flows.h"

#include <cerrno>
#include <string>

#include "atomic_file.h"
#include "book_builder.h"
#include "dict_import.h"
#include "open_failure.h"
#include "same_file.h"
#include "text_files.h"
#include "upgrade.h"

namespace ql {

namespace {

constexpr const char* kBookSaveExtension = "ql";

void Report(Desktop& desktop, std::string_view what, const std::string& reason) {
  desktop.ShowMessage(std::string(what) + ":\n" + reason, kDefaultCaption);
}

FileDialogSpec BookSaveDialog() {
  FileDialogSpec dialog;
  dialog.save = true;
  dialog.filter = kBookFilter;
  dialog.defaultExtension = kBookSaveExtension;
  return dialog;
}

}  // namespace

std::string OpenBookTargetText(const std::string& path) {
  return path + ": is the book that is open; choose another file";
}

std::optional<ClosedBook> CloseBook(Document& doc, Desktop& desktop) {
  // Closing writes the bookmarks too, but says nothing when that fails; the
  // user must hear of it while the book, with its bookmarks, is still open.
  std::string reason;
  if (!doc.SaveBookmarks(reason)) {
    Report(desktop, "Could not save the bookmarks", reason + "\nThe book stays open.");
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
  const int result = doc.Open(book.path, kOpenReadOnly, book.path);
  if (result == kOpenOk) {
    RebuildBookmarkMenu(doc, desktop);
    desktop.DocumentOpened();
    return true;
  }
  doc.MarkFailed(OpenFailureReason(book.path, result, doc.Reader().LastOpenFailure()));
  desktop.ShowStartPage();
  desktop.ShowStatus(OpenFailureText(book.path, doc.LastFailure()));
  return false;
}

void RunImport(Document& doc, Desktop& desktop, BookFiles& files) {
  FileDialogSpec sourceDialog;
  sourceDialog.filter = kImportSourceFilter;
  const std::optional<ChosenFile> source = desktop.ChooseFile(sourceDialog);
  if (!source) return;
  const bool tabSeparated = source->filterIndex == kTabSeparatedFilterIndex;
  std::optional<DictFormat> dictFormat;
  if (source->filterIndex == kDictdFilterIndex) dictFormat = DictFormat::kDictd;
  if (source->filterIndex == kStarDictFilterIndex) dictFormat = DictFormat::kStarDict;
  const std::optional<ChosenFile> target = desktop.ChooseFile(BookSaveDialog());
  if (!target) return;
  const std::string& book = target->path;

  constexpr std::string_view kFailed = "Import failed";
  TextImport text;
  DictImport dictionary;
  BookImport& import = dictFormat ? static_cast<BookImport&>(dictionary) : text;
  // Books store Windows-1252, and text from other systems is often UTF-8;
  // the window has no way to ask, so the text's start decides. A
  // dictionary's index is read now, so a missing or damaged file is told
  // while the open book is still open.
  const bool opened =
      dictFormat ? dictionary.OpenSource(source->path, *dictFormat)
                 : text.OpenSource(source->path) && text.ChooseEncoding(TextEncoding::kDetect);
  if (!opened) {
    Report(desktop, kFailed, import.Failure());
    return;
  }
  // The save dialog asked only whether to replace the file: the text, or
  // any file of the dictionary, would be lost under the book made of it.
  const std::string readAtTarget = dictFormat                       ? dictionary.SourceFileAt(book)
                                   : IsSameFile(source->path, book) ? source->path
                                                                    : std::string();
  if (!readAtTarget.empty()) {
    Report(desktop, kFailed, SameFileText(book, readAtTarget));
    return;
  }
  {
    // A directory that takes no file is found now, while the open book is
    // still open, not after the whole source has been read.
    AtomicFile probe;
    if (!probe.Open(book)) {
      const int error = errno;
      Report(desktop, kFailed, BookWriteFailureText(book, kBuildIoFailed, error));
      return;
    }
  }
  // The open book is closed first, so that the new book may replace it.
  std::optional<ClosedBook> closed;
  if (doc.IsOpen()) {
    closed = CloseBook(doc, desktop);
    if (!closed) return;
  }

  bool done = false;
  bool keptTarget = false;
  {
    WaitCursorOn wait(desktop);
    std::unique_ptr<ProgressSink> bar;
    bool read = false;
    if (dictFormat) {
      bar = desktop.StartProgress(dictionary.EntryCount() + 1, true);
      read = dictionary.Read(bar.get());
    } else if (text.Convert()) {
      bar = desktop.StartProgress(text.SourceSize() + 1, true);
      read = text.Read(tabSeparated, bar.get());
    }
    if (read) {
      // A source without entries must not cost a book that stood there.
      keptTarget = import.KeepsTarget(book);
      done = !keptTarget && import.WriteBook(book, bar.get());
    }
  }
  if (!done) {
    if (closed) ReopenBook(doc, desktop, *closed, files);
    if (keptTarget)
      desktop.ShowMessage(
          "No entry was found in " + source->path + ".\n" + book + " was left as it was.",
          kDefaultCaption);
    else
      Report(desktop, kFailed, import.Failure());
    return;
  }
  std::string results = ImportResultsText(import.Builder());
  if (dictFormat && !dictionary.NotesText().empty()) results += "\n" + dictionary.NotesText();
  desktop.ShowMessage(results, kImportResultsCaption);
  if (import.Replaced() > 0)
    desktop.ShowMessage(source->path + " was read as UTF-8 and stored as Windows-1252.\n" +
                            ReplacedCharactersText(import.Replaced()),
                        kImportResultsCaption);
  OpenDocument(doc, desktop, book, files);
}

void RunUpgradeCommand(Document& doc, Desktop& desktop, BookFiles& files) {
  if (!doc.IsOpen() || doc.Reader().IsVersion2()) {
    desktop.ShowMessage(kUpgradeNeedsLegacy, kDefaultCaption);
    return;
  }
  const std::optional<ChosenFile> target = desktop.ChooseFile(BookSaveDialog());
  if (!target) return;
  const std::string& book = target->path;
  constexpr std::string_view kFailed = "Upgrade failed";
  // The open legacy book cannot be replaced under its reader; the in-place
  // upgrade of the open flow is the way to do that.
  if (IsSameFile(book, doc.Path())) {
    Report(desktop, kFailed, OpenBookTargetText(book));
    return;
  }
  int result;
  int error;
  {
    WaitCursorOn wait(desktop);
    errno = 0;
    result = UpgradeBook(doc.Reader(), book, nullptr);
    error = errno;
  }
  if (result != kUpgradeOk) {
    Report(desktop, kFailed, UpgradeFailureText(doc.Path(), book, result, error));
    return;
  }
  OpenDocument(doc, desktop, book, files);
}

void RunTextExport(Document& doc, Desktop& desktop) {
  if (!doc.IsOpen()) return;
  FileDialogSpec dialog;
  dialog.save = true;
  dialog.filter = kTextExportFilter;
  dialog.defaultExtension = kTextExportExtension;
  const std::optional<ChosenFile> target = desktop.ChooseFile(dialog);
  if (!target) return;
  constexpr std::string_view kFailed = "Text export failed";
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
    Report(desktop, "The text was written, but not all of the book is in it", lost);
  }
}

}  // namespace ql
