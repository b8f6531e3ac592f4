// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// What opening a book does, from every place that opens one (File Open, the
// recent files, the command line, dropped files, the end of an import): books
// the user may not write, the open itself, the reset after a failure, and the
// offer to upgrade a legacy book in place.
#pragma once

#include <string>

#include "desktop.h"
#include "document.h"
#include "show_record.h"
#include "user_texts.h"

namespace ql {

// Open modes of the flow: read-write, a copy opened read-write, read-only.
inline constexpr int kModeReadWrite = 0;
inline constexpr int kModeCopy = 1;
inline constexpr int kModeReadOnly = 2;

// The placeholder path that closes a legacy book during its upgrade.
inline constexpr const char* kUpgradeClosePath = "c:\\failed_to_open_ql_file";
inline constexpr const char* kBookFilter = QL_TEXT("messages", "Quillary files (*.ql)|*.ql||");
inline constexpr const char* kCopyQuestionCaption =
    QL_TEXT("messages", "Copy file from CD to Hard-drive?");
inline constexpr const char* kCopyQuestion = QL_TEXT(
    "messages",
    "The file you are opening is stored on a CDROM. Although Quillary can view files stored on "
    "CDROMs its operation will be noticeably slower on large files and you will not be able to "
    "save recorded Bookmarks.\n\nWould you like to copy this file to your hard-drive and open it "
    "from there?");
inline constexpr const char* kCopyFailed =
    QL_TEXT("messages", "Could not save file.\nOpening from CD.");
inline constexpr const char* kUpgradeCaption = QL_TEXT("messages", "Upgrade file?");
inline constexpr const char* kUpgradeQuestion = QL_TEXT(
    "messages",
    "The file you have opened is in the old Quillary version 1 file format.\nUpgrading the file "
    "will save space on your hard drive.\nUpgrading may take a little time but only has to be "
    "done once for each file.\nIt is recommended that you upgrade.");

// The file operations of the open flow and the upgrade, behind one seam:
// the system's by default; tests replace them where permissions cannot make
// them fail (root may write everything).
class BookFiles {
 public:
  virtual ~BookFiles() = default;
  // False only when path exists and the user may not write it.
  virtual bool MayWrite(const std::string& path);
  // chmod u+w: 0, or the errno of the failure.
  virtual int MakeWritable(const std::string& path);
  // Copies from over to, replacing to atomically; the copy takes from's
  // permission bits plus u+w. 0, or the errno of the failure.
  virtual int Copy(const std::string& from, const std::string& to);
  // rename(2): 0, or the errno of the failure.
  virtual int Rename(const std::string& from, const std::string& to);
};

// The system's file operations.
BookFiles& SystemBookFiles();

// The status line after a failed open: names the file and the reason.
std::string OpenFailureText(const std::string& path, const std::string& reason);

// The status line after a book refused for writing (reason says why) was
// opened read-only instead.
std::string OpenedReadOnlyText(const std::string& path, const std::string& reason);

// The open flow: returns true when a book is open afterwards. While the
// document is not yet initialised a failure returns at once, before any
// view is touched; the reason is in doc.LastFailure() either way.
// On success the document's path is the book open: the copy, when one was
// made. A book another Quillary has open for writing opens read-only, with
// doc.OpenNotice() saying so.
bool RunOpenFlow(Document& doc, Desktop& desktop, const std::string& path,
                 BookFiles& files = SystemBookFiles());

// The framework's open-document: the open flow, then on success the views
// start over with the new book (Desktop::DocumentOpened) and the status line
// shows doc.OpenNotice(), when there is one.
bool OpenDocument(Document& doc, Desktop& desktop, const std::string& path,
                  BookFiles& files = SystemBookFiles());

// The upgrade offer for the legacy book just opened at path: a question, and
// on Yes the upgrade in place. The new book is written beside the legacy one,
// read back, and renamed over it only then; on any failure the legacy book
// stays whole and open and a message says why.
void RunUpgradeOffer(Document& doc, Desktop& desktop, const std::string& path,
                     BookFiles& files = SystemBookFiles());

}  // namespace ql
