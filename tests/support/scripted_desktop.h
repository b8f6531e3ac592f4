// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// A desktop for the flows' tests, both its services and the view of the
// book: the answers to questions and dialogs come from scripts given
// beforehand, the selection mark is a number, and every call is logged in
// order as one line of text.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop.h"

namespace qltest {

class ScriptedDesktop : public ql::Desktop {
 public:
  // Scripts, taken from the front; a question asked with nothing scripted
  // fails the test and is answered No (dialogs: Cancel).
  std::deque<ql::Answer> answers;
  std::deque<std::optional<ql::ChosenFile>> files;
  std::deque<std::optional<int>> removals;                      // ChooseBookmarkToRemove
  std::deque<std::optional<ql::FindDialogValues>> finds;        // nullopt: Cancel
  std::deque<std::optional<ql::PalmImportValues>> palmImports;  // nullopt: Cancel
  std::deque<std::optional<int>> hotSyncUsers;                  // nullopt: Cancel

  int mark = -1;  // the list's selection mark
  std::vector<std::string> log;

  // What the dialogs were shown with, last time.
  std::vector<ql::FileDialogSpec> fileDialogs;
  std::vector<ql::BookmarkItem> removeItems;
  std::vector<ql::FindDialogValues> findShown;
  std::vector<ql::PalmImportValues> palmImportShown;
  std::vector<std::vector<std::string>> hotSyncUsersShown;
  // Progress: maximum of the last window, steps made, windows open now.
  int64_t progressMaximum = -1;
  int64_t progressSteps = 0;
  int progressOpen = 0;
  bool waitCursor = false;
  // The page files ShowPage was given, in order.
  std::vector<std::string> pagesShown;
  // Called at every step of a progress window, when set.
  std::function<void()> onStep;

  void ShowMessage(std::string_view text, std::string_view caption) override {
    Log("ShowMessage", std::string(caption) + ": " + std::string(text));
  }
  void ShowMessageIcon(std::string_view text, std::string_view caption, ql::Icon icon) override {
    Log("ShowMessageIcon", std::string(caption) + ": " + std::string(text) + " icon " +
                               std::to_string(static_cast<int>(icon)));
  }
  ql::Answer Ask(std::string_view, std::string_view caption, ql::Buttons buttons, ql::Icon icon,
                 bool owned) override {
    Log("Ask", std::string(caption) + (buttons == ql::Buttons::kYesNo ? " yesno" : " ok") +
                   " icon " + std::to_string(static_cast<int>(icon)) +
                   (owned ? " owned" : " unowned"));
    if (answers.empty()) {
      ADD_FAILURE() << "unscripted question: " << caption;
      return ql::Answer::kNo;
    }
    ql::Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  void ShowStatus(std::string_view text) override { Log("ShowStatus", std::string(text)); }
  std::optional<ql::ChosenFile> ChooseFile(const ql::FileDialogSpec& dialog) override {
    Log("ChooseFile", dialog.initialName);
    fileDialogs.push_back(dialog);
    if (files.empty()) {
      ADD_FAILURE() << "unscripted file dialog";
      return std::nullopt;
    }
    std::optional<ql::ChosenFile> f = files.front();
    files.pop_front();
    return f;
  }
  std::unique_ptr<ql::ProgressSink> StartProgress(int64_t maximum, bool owned) override {
    Log("StartProgress", std::to_string(maximum) + (owned ? " owned" : " unowned"));
    progressMaximum = maximum;
    return std::make_unique<Progress>(*this);
  }
  void WaitCursor(bool on) override {
    Log("WaitCursor", on ? "on" : "off");
    waitCursor = on;
  }
  void EmptyList() override { Log("EmptyList"); }
  void ShowStartPage() override { Log("ShowStartPage"); }
  void DocumentOpened() override { Log("DocumentOpened"); }
  void RebuildBookmarkMenu() override { Log("RebuildBookmarkMenu"); }
  int SelectionMark() override { return mark; }
  void SelectRow(int index) override {
    Log("SelectRow", std::to_string(index));
    mark = index;
  }
  void ShowRecord(int index, int foundPos, int foundLength, bool scrollToFound) override {
    Log("ShowRecord", std::to_string(index) + " " + std::to_string(foundPos) + " " +
                          std::to_string(foundLength) + (scrollToFound ? " scroll" : ""));
  }
  void ShowPage(const std::string& path, bool scrollToFound) override {
    Log("ShowPage",
        std::filesystem::path(path).filename().string() + (scrollToFound ? " scroll" : ""));
    pagesShown.push_back(path);
  }
  void SetListFont(std::string_view face, int pixelHeight) override {
    Log("SetListFont", std::string(face) + " " + std::to_string(pixelHeight));
  }
  std::optional<int> ChooseBookmarkToRemove(const std::vector<ql::BookmarkItem>& items) override {
    Log("ChooseBookmarkToRemove", std::to_string(items.size()));
    removeItems = items;
    if (removals.empty()) {
      ADD_FAILURE() << "unscripted remove dialog";
      return std::nullopt;
    }
    std::optional<int> r = removals.front();
    removals.pop_front();
    return r;
  }
  bool EditFind(ql::FindDialogValues& values) override {
    Log("EditFind");
    findShown.push_back(values);
    if (finds.empty()) {
      ADD_FAILURE() << "unscripted Find dialog";
      return false;
    }
    std::optional<ql::FindDialogValues> f = finds.front();
    finds.pop_front();
    if (!f) return false;
    values = *f;
    return true;
  }

  bool EditPalmImport(ql::PalmImportValues& values) override {
    Log("EditPalmImport", std::string(values.hotSync ? "ticked " : "unticked ") + values.name);
    palmImportShown.push_back(values);
    if (palmImports.empty()) {
      ADD_FAILURE() << "unscripted Palm Import dialog";
      return false;
    }
    std::optional<ql::PalmImportValues> v = palmImports.front();
    palmImports.pop_front();
    if (!v) return false;
    values = *v;
    return true;
  }
  std::optional<int> ChooseHotSyncUser(const std::vector<std::string>& users) override {
    std::string names;
    for (const std::string& user : users) names += (names.empty() ? "" : ",") + user;
    Log("ChooseHotSyncUser", names);
    hotSyncUsersShown.push_back(users);
    if (hotSyncUsers.empty()) {
      ADD_FAILURE() << "unscripted HotSync User dialog";
      return std::nullopt;
    }
    std::optional<int> r = hotSyncUsers.front();
    hotSyncUsers.pop_front();
    return r;
  }

  // The log lines of one kind of call.
  std::vector<std::string> Calls(std::string_view name) const {
    std::vector<std::string> out;
    for (const std::string& line : log)
      if (line == name || line.starts_with(std::string(name) + " ")) out.push_back(line);
    return out;
  }
  bool Called(std::string_view name) const { return !Calls(name).empty(); }

 private:
  class Progress final : public ql::ProgressSink {
   public:
    explicit Progress(ScriptedDesktop& desktop) : iDesktop(desktop) { ++iDesktop.progressOpen; }
    ~Progress() override {
      --iDesktop.progressOpen;
      iDesktop.Log("EndProgress");
    }
    void SetRange(int64_t, int64_t upper) override { iDesktop.progressMaximum = upper; }
    void SetPos(int64_t) override {}
    void Step() override {
      ++iDesktop.progressSteps;
      if (iDesktop.onStep) iDesktop.onStep();
    }

   private:
    ScriptedDesktop& iDesktop;
  };

  void Log(std::string_view name, const std::string& detail = {}) {
    log.push_back(detail.empty() ? std::string(name) : std::string(name) + " " + detail);
  }
};

}  // namespace qltest
