// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// What the desktop does for the command flows whatever book is on show:
// messages and questions, the status line, file dialogs, progress windows,
// the wait cursor and the dialogs the flows fill in. The window implements it
// with Qt; tests implement it with a script of answers and a log of what was
// asked. No flow reaches a widget any other way.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messages.h"
#include "progress.h"

namespace ql {

enum class Buttons { kOk, kYesNo };
enum class Answer { kOk, kYes, kNo, kCancel };
enum class Icon { kNone, kQuestion, kInformation, kWarning };

// A file dialog. Filters are written as the system writes them:
// "Name (*.ext)|*.ext|Other (*.x)|*.x||".
struct FileDialogSpec {
  bool save = false;
  std::string title;  // empty: "Open" or "Save As"
  std::string filter;
  std::string defaultExtension;  // without the dot; empty: none
  std::string initialName;
  bool owned = true;  // false: no owner window (task-modal)
};

struct ChosenFile {
  std::string path;
  int filterIndex = 0;  // 0-based index of the filter chosen
};

// The Find dialog's values, exchanged when it opens and on its OK button.
struct FindDialogValues {
  std::string term1, term2, term3;  // in the open book's text form
  bool exclude2 = false;
  bool exclude3 = false;
  bool wholeWords = true;
  bool subjectOnly = false;
};

// One entry of the remove-bookmark list: the slot and its text.
struct BookmarkItem {
  int slot = 0;
  std::string text;
};

// The Palm Import dialog's values: the "HotSync to Palm" box and the
// database name, exchanged when it opens and on its OK button.
struct PalmImportValues {
  bool hotSync = true;
  std::string name;
};

// What a view says without asking anything: a message with an icon, and a
// line in its status bar. The record display sequence needs no more.
class Notices {
 public:
  virtual ~Notices() = default;
  virtual void ShowMessageIcon(std::string_view text, std::string_view caption, Icon icon) = 0;
  // A line in the status bar, until the next one.
  virtual void ShowStatus(std::string_view text) = 0;
};

class DesktopServices : public MessageSink, public Notices {
 public:
  // Messages: ShowMessage (from MessageSink) has an OK button and no icon.
  virtual Answer Ask(std::string_view text, std::string_view caption, Buttons buttons, Icon icon,
                     bool owned) = 0;
  virtual std::optional<ChosenFile> ChooseFile(const FileDialogSpec& request) = 0;
  // A progress window with a bar from 0 to maximum; it goes away with the
  // returned object.
  virtual std::unique_ptr<ProgressSink> StartProgress(int64_t maximum, bool owned) = 0;
  // Turns the wait cursor on or off; calls nest. Flows use WaitCursorOn.
  virtual void WaitCursor(bool on) = 0;

  // The remove-bookmark dialog: nullopt on Cancel, else the chosen slot, or
  // -1 when OK was pressed with nothing chosen.
  virtual std::optional<int> ChooseBookmarkToRemove(const std::vector<BookmarkItem>& items) = 0;
  // The Find dialog, filled with values; false on Cancel, else values hold
  // what was confirmed.
  virtual bool EditFind(FindDialogValues& values) = 0;
  // The Palm Import dialog, filled with values; false on Cancel, else values
  // hold what was confirmed.
  virtual bool EditPalmImport(PalmImportValues& /*values*/) { return false; }
  // The HotSync User dialog over users (given in the order to list them),
  // the first one selected. nullopt on Cancel or when OK was pressed with none
  // chosen, else the index in users of the one chosen.
  virtual std::optional<int> ChooseHotSyncUser(const std::vector<std::string>& /*users*/) {
    return std::nullopt;
  }
};

// The wait cursor for as long as the guard lives; End turns it off sooner
// (before a message that must not show it, say).
class WaitCursorOn {
 public:
  explicit WaitCursorOn(DesktopServices& desktop) : iDesktop(desktop) { desktop.WaitCursor(true); }
  ~WaitCursorOn() { End(); }
  WaitCursorOn(const WaitCursorOn&) = delete;
  WaitCursorOn& operator=(const WaitCursorOn&) = delete;
  void End() {
    if (!iOn) return;
    iOn = false;
    iDesktop.WaitCursor(false);
  }

 private:
  DesktopServices& iDesktop;
  bool iOn = true;
};

}  // namespace ql
