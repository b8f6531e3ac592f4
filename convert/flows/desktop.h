// Everything the command flows ask of the desktop. The window implements it
// with Qt; tests implement it with a script of answers and a log of what was
// asked. No flow reaches a widget any other way.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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
  std::string term1, term2, term3;  // Windows-1252 bytes
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

class Desktop : public MessageSink {
 public:
  // Messages: ShowMessage (from MessageSink) has an OK button and no icon.
  virtual void ShowMessageIcon(std::string_view text, std::string_view caption, Icon icon) = 0;
  virtual Answer Ask(std::string_view text, std::string_view caption, Buttons buttons, Icon icon,
                     bool owned) = 0;
  // A line in the status bar, until the next one.
  virtual void ShowStatus(std::string_view text) = 0;

  virtual std::optional<ChosenFile> ChooseFile(const FileDialogSpec& request) = 0;
  // A progress window with a bar from 0 to maximum; it goes away with the
  // returned object.
  virtual std::unique_ptr<ProgressSink> StartProgress(int64_t maximum, bool owned) = 0;
  virtual void WaitCursor(bool on) = 0;

  // The views.
  virtual void EmptyList() = 0;
  virtual void ShowStartPage() = 0;
  // A book was opened: both views start over (row count, columns, start
  // page), the title and the recent-file list follow the document.
  virtual void DocumentOpened() = 0;
  virtual void RebuildBookmarkMenu() = 0;

  // The subject list's selection mark (-1: none), and moving it: the row is
  // selected, focused and scrolled fully into view.
  virtual int SelectionMark() = 0;
  virtual void SelectRow(int index) = 0;
  // The record display sequence: the page for index (with the hit at
  // foundPos/foundLength marked, -1 for none) is written and shown; with
  // scrollToFound the view then scrolls to the marked text.
  virtual void ShowRecord(int index, int foundPos, int foundLength, bool scrollToFound) = 0;
  // The list takes a new font: face name and cell height in pixels.
  virtual void SetListFont(std::string_view face, int pixelHeight) = 0;

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

}  // namespace ql
