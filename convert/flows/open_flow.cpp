// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "open_flow.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "atomic_file.h"
#include "book_builder.h"
#include "open_failure.h"
#include "upgrade.h"
#include "user_texts.h"

namespace ql {

namespace {

constexpr const char* kCopyFailedCaption = QL_TEXT("messages", "Error");
constexpr const char* kBookExtension = "ql";
constexpr size_t kCopyBufferSize = 1 << 16;

int LastError() {
  return errno != 0 ? errno : EIO;
}

std::string ErrorText(int error) {
  return std::strerror(error);
}

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : iFd(fd) {}
  ~FileDescriptor() {
    if (iFd >= 0) ::close(iFd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return iFd; }

 private:
  int iFd;
};

class SystemFiles final : public BookFiles {};

// Ends the wait cursor and removes the progress window however the upgrade
// ends, before any message is shown.
class UpgradeWork {
 public:
  UpgradeWork(Desktop& desktop, int64_t maximum) {
    iBar = desktop.StartProgress(maximum, false);
    iWait.emplace(desktop);
  }
  ~UpgradeWork() { End(); }
  UpgradeWork(const UpgradeWork&) = delete;
  UpgradeWork& operator=(const UpgradeWork&) = delete;
  ProgressSink* Bar() { return iBar.get(); }
  void End() {
    if (iEnded) return;
    iEnded = true;
    iWait.reset();
    iBar.reset();
  }

 private:
  std::unique_ptr<ProgressSink> iBar;
  std::optional<WaitCursorOn> iWait;
  bool iEnded = false;
};

// A stored text as every reader sees it: the builder drops zero bytes, and a
// legacy text may still hold some.
std::string WithoutZeros(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\0') out.push_back(c);
  return out;
}

// Compares the upgraded book with the legacy one, every entry and every
// bookmark slot; the first difference in words, or empty when they agree.
std::string CompareBooks(BookReader& legacy, BookReader& upgraded, ProgressSink* bar) {
  const int count = legacy.GetSubjectCount();
  if (upgraded.GetSubjectCount() != count) {
    return Fill(translate("messages", "the new book has %1 subjects instead of %2"),
                {std::to_string(upgraded.GetSubjectCount()), std::to_string(count)});
  }
  for (int i = 0; i < count; ++i) {
    if (bar) bar->Step();
    if (WithoutZeros(legacy.GetSubject(i)) != upgraded.GetSubject(i))
      return Fill(translate("messages", "subject %1 differs in the new book"), {std::to_string(i)});
    if (legacy.LoadRecord(i) != 1 || upgraded.LoadRecord(i) != 1)
      return Fill(translate("messages", "record %1 could not be read back"), {std::to_string(i)});
    if (WithoutZeros(legacy.CurrentRecordText()) != upgraded.CurrentRecordText())
      return Fill(translate("messages", "record %1 differs in the new book"), {std::to_string(i)});
  }
  for (int slot = 1; slot < kBookmarkSlots; ++slot) {
    const BookmarkEntry a = legacy.GetBookmark(slot);
    const BookmarkEntry b = upgraded.GetBookmark(slot);
    if (a.textLength != b.textLength || a.recordIndex != b.recordIndex ||
        a.reserved != b.reserved || a.text != b.text)
      return Fill(translate("messages", "bookmark %1 differs in the new book"),
                  {std::to_string(slot)});
  }
  return {};
}

// Writes the legacy book open in reader as a version 2 book into file, with
// its bookmarks, and reads it back; the reason of a failure, or empty. The
// new book is read and written through the file's own path while it still
// has no name.
std::string WriteUpgradedBook(BookReader& reader, AtomicFile& file, ProgressSink* bar) {
  if (const std::optional<UpgradeFailure> failure = UpgradeBook(reader, file.Stream(), bar)) {
    std::string reason = UpgradeResultText(*failure);
    if (failure->code == UpgradeResult::kBuildFailed &&
        failure->build.code == BuildResult::kIoFailed)
      reason += " (" + ErrorText(failure->build.error != 0 ? failure->build.error : EIO) + ")";
    return reason;
  }
  const std::string target = file.ReadBackPath();
  {
    // The bookmarks are the user's own: the new book takes them as they are.
    BookReader upgraded;
    if (upgraded.Open(target, kOpenReadWrite) != OpenResult::kOk)
      return translate("messages", "the new book does not open: ") +
             OpenFailureReason(upgraded.LastOpenFailure());
    for (int slot = 1; slot < kBookmarkSlots; ++slot) {
      const BookmarkEntry e = reader.GetBookmark(slot);
      upgraded.SetBookmark(slot, e.textLength, e.recordIndex, e.reserved, e.text);
    }
    if (!upgraded.SaveBookmarks())
      return translate("messages", "the bookmarks could not be written: ") +
             ErrorText(upgraded.LastWriteError());
  }
  BookReader check;
  if (check.Open(target, kOpenReadOnly) != OpenResult::kOk)
    return translate("messages", "the new book does not open: ") +
           OpenFailureReason(check.LastOpenFailure());
  return CompareBooks(reader, check, bar);
}

// The file the book at path really is, every link on the way followed; empty
// with the reason when it cannot be found.
std::string RealPathOf(const std::string& path, std::string& reason) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) {
    reason = translate("messages", "cannot find the book's file: ") + ErrorText(LastError());
    return {};
  }
  std::string real = resolved;
  std::free(resolved);
  return real;
}

// Opens the book at path again after the upgrade closed it; on failure the
// document shows no book and a message says why.
void ReopenBook(Document& doc, Desktop& desktop, const std::string& path) {
  if (doc.Open(path, kOpenReadWrite, path) == OpenResult::kOk) return;
  doc.MarkFailed(OpenFailureReason(doc.Reader().LastOpenFailure()));
  desktop.ShowMessage(OpenFailureText(path, doc.LastFailure()), kDefaultCaption);
}

void ReportUpgradeFailure(Desktop& desktop, const std::string& path, const std::string& reason) {
  desktop.ShowMessage(
      Fill(translate("messages", "Could not upgrade %1:\n%2\nThe book is unchanged."),
           {path, reason}),
      kDefaultCaption);
}

}  // namespace

bool BookFiles::MayWrite(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return true;  // the open will say what is wrong
  return ::access(path.c_str(), W_OK) == 0;
}

int BookFiles::MakeWritable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return LastError();
  if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) return LastError();
  return 0;
}

int BookFiles::Copy(const std::string& from, const std::string& to) {
  errno = 0;
  FileDescriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (source.Get() < 0 || ::fstat(source.Get(), &st) != 0) return LastError();
  AtomicFile target;
  if (!target.Open(to)) return LastError();
  // The copy is for writing bookmarks into: it must not stay read-only.
  if (::fchmod(::fileno(target.Stream()), (st.st_mode & 07777) | S_IWUSR) != 0) return LastError();
  std::vector<char> buffer(kCopyBufferSize);
  for (;;) {
    const ssize_t n = ::read(source.Get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    if (n == 0) break;
    const size_t count = static_cast<size_t>(n);
    if (std::fwrite(buffer.data(), 1, count, target.Stream()) != count) return LastError();
  }
  errno = 0;
  if (!target.Commit()) return LastError();
  return 0;
}

int BookFiles::Rename(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return LastError();
  return 0;
}

BookFiles& SystemBookFiles() {
  static SystemFiles files;
  return files;
}

std::string OpenFailureText(const std::string& path, const std::string& reason) {
  return Fill(translate("messages", "Could not open %1: %2"), {path, reason});
}

std::string OpenedReadOnlyText(const std::string& path, const std::string& reason) {
  return Fill(translate("messages",
                        "%1: %2; it is open read-only here, and bookmarks made here are not saved"),
              {path, reason});
}

bool RunOpenFlow(Document& doc, Desktop& desktop, const std::string& path, BookFiles& files) {
  // A book the user may not write is made writable; when even that is
  // refused (a read-only file system, someone else's file) it is the CD case.
  int mode = kModeReadWrite;
  if (!files.MayWrite(path) && files.MakeWritable(path) != 0) {
    const Answer answer = desktop.Ask(translate("messages", kCopyQuestion),
                                      translate("messages", kCopyQuestionCaption), Buttons::kYesNo,
                                      Icon::kNone, false);
    mode = answer == Answer::kYes ? kModeCopy : kModeReadOnly;
  }
  std::string openPath = path;
  if (mode == kModeCopy) {
    FileDialogSpec dialog;
    dialog.save = true;
    dialog.filter = translate("messages", kBookFilter);
    dialog.defaultExtension = kBookExtension;
    dialog.initialName = path;
    dialog.owned = false;
    const std::optional<ChosenFile> chosen = desktop.ChooseFile(dialog);
    if (!chosen) {
      mode = kModeReadOnly;
    } else if (files.Copy(path, chosen->path) != 0) {
      desktop.ShowMessage(translate("messages", kCopyFailed),
                          translate("messages", kCopyFailedCaption));
      mode = kModeReadOnly;
    } else {
      openPath = chosen->path;
    }
  }

  OpenResult result = doc.Reader().Open(openPath, mode);
  // A book another Quillary writes is there to be read: it opens read-only,
  // and the status line says why once it is on show.
  doc.SetOpenNotice({});
  if (result != OpenResult::kOk && mode != kModeReadOnly &&
      doc.Reader().LastOpenFailure().kind == OpenFailureKind::kInUse) {
    const std::string reason = OpenFailureReason(doc.Reader().LastOpenFailure());
    mode = kModeReadOnly;
    result = doc.Reader().Open(openPath, kOpenReadOnly);
    if (result == OpenResult::kOk) doc.SetOpenNotice(OpenedReadOnlyText(openPath, reason));
  }
  if (result != OpenResult::kOk || !doc.Reader().IsOpen()) {
    doc.MarkFailed(OpenFailureReason(doc.Reader().LastOpenFailure()));
    // At start-up the window is not there yet: the caller tells the user.
    if (!doc.Initialised()) return false;
    desktop.EmptyList();
    desktop.ShowStartPage();
    desktop.ShowStatus(OpenFailureText(openPath, doc.LastFailure()));
  } else {
    doc.MarkOpen(openPath);
    // A copy or a read-only book is not rewritten behind the user's back.
    if (!doc.Reader().IsVersion2() && mode == kModeReadWrite)
      RunUpgradeOffer(doc, desktop, openPath, files);
  }
  RebuildBookmarkMenu(doc, desktop);
  return doc.IsOpen();
}

bool OpenDocument(Document& doc, Desktop& desktop, const std::string& path, BookFiles& files) {
  if (!RunOpenFlow(doc, desktop, path, files)) return false;
  desktop.DocumentOpened();
  if (!doc.OpenNotice().empty()) desktop.ShowStatus(doc.OpenNotice());
  return true;
}

void RunUpgradeOffer(Document& doc, Desktop& desktop, const std::string& path, BookFiles& files) {
  if (!doc.Reader().IsOpen() || doc.Reader().IsVersion2() || doc.Reader().IsReadOnly()) return;
  if (desktop.Ask(translate("messages", kUpgradeQuestion), translate("messages", kUpgradeCaption),
                  Buttons::kYesNo, Icon::kNone, false) != Answer::kYes)
    return;
  BookReader& reader = doc.Reader();
  // The bar steps once per entry written and once per entry read back.
  UpgradeWork work(desktop, 2 * int64_t{reader.GetSubjectCount()});

  // The new book is made beside the file the legacy book really is (a link
  // to it stays a link), so the rename that puts it in place stays on one
  // file system and cannot half happen. It has no name until it is whole and
  // checked, so a run that dies leaves nothing behind.
  std::string reason;
  const std::string real = RealPathOf(path, reason);
  AtomicFile file;
  if (!real.empty() && !file.Open(real))
    reason = translate("messages", "cannot create a file beside it: ") + ErrorText(LastError());
  if (!reason.empty()) {
    work.End();
    ReportUpgradeFailure(desktop, path, reason);
    return;
  }
  reason = WriteUpgradedBook(reader, file, work.Bar());
  errno = 0;
  if (reason.empty() && !file.Seal())
    reason = translate("messages", "the new book could not be written: ") + ErrorText(LastError());
  if (!reason.empty()) {
    file.Discard();
    work.End();
    ReportUpgradeFailure(desktop, path, reason);
    return;
  }

  // Close the legacy book (its bookmarks are written back into it) so the
  // new one can take its name.
  reader.Open(kUpgradeClosePath, kOpenReadWrite);
  reader.Close();
  doc.MarkClosed();
  if (doc.Initialised()) desktop.EmptyList();
  const int renamed = files.Rename(file.TempPath(), real);
  if (renamed != 0) {
    file.Discard();
    work.End();
    ReopenBook(doc, desktop, path);
    ReportUpgradeFailure(
        desktop, path, translate("messages", "cannot replace the old file: ") + ErrorText(renamed));
    return;
  }
  file.Renamed();
  work.End();
  ReopenBook(doc, desktop, path);
}

}  // namespace ql
