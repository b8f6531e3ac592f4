// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The reader's dialogs: Find, Remove bookmark, About, the progress window and
// the help window.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <memory>
#include <vector>

#include "book_text.h"
#include "desktop.h"
#include "document.h"
#include "page_file.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QProgressBar;

namespace qlui {

class CFindDialog final : public QDialog {
  Q_OBJECT
 public:
  explicit CFindDialog(QWidget* parent = nullptr);
  // The terms are in form, the open book's; Values gives them in it too.
  void SetValues(const ql::FindDialogValues& values, ql::TextForm form = ql::TextForm::kCp1252);
  ql::FindDialogValues Values() const;

 private:
  ql::TextForm iForm = ql::TextForm::kCp1252;
  QLineEdit* iTerm1;
  QLineEdit* iTerm2;
  QLineEdit* iTerm3;
  QCheckBox* iExclude2;
  QCheckBox* iExclude3;
  QCheckBox* iWholeWords;
  QCheckBox* iSubjectOnly;
};

// Lists the bookmarks in use; OK returns the slot of the entry last chosen.
class RemoveBookmarkDialog final : public QDialog {
  Q_OBJECT
 public:
  // The items' texts are in form, the open book's.
  RemoveBookmarkDialog(const std::vector<ql::BookmarkItem>& items,
                       ql::TextForm form = ql::TextForm::kCp1252, QWidget* parent = nullptr);
  // The chosen slot, or -1 when none was chosen.
  int Result() const;

 private:
  QListWidget* iList;
};

// "Palm Import": whether to queue the database for HotSync, and its name.
class PalmImportDialog final : public QDialog {
  Q_OBJECT
 public:
  PalmImportDialog(bool hotSync, const QString& name, QWidget* parent = nullptr);
  bool HotSync() const;
  QString Name() const;

 private:
  QCheckBox* iHotSync;
  QLineEdit* iName;
};

// "HotSync User": the users, sorted; the first is chosen at the start.
class HotSyncUserDialog final : public QDialog {
  Q_OBJECT
 public:
  HotSyncUserDialog(const std::vector<std::string>& users, QWidget* parent = nullptr);
  // Index into the users given, or -1 when none is chosen.
  int Chosen() const;

 private:
  QListWidget* iList;
};

class AboutDialog final : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

// A small window with a bar that keeps painting while long work runs on the
// window's thread.
class ProgressWindow final : public QDialog, public ql::ProgressSink {
  Q_OBJECT
 public:
  ProgressWindow(int64_t maximum, QWidget* parent);
  void SetRange(int64_t lower, int64_t upper) override;
  void SetPos(int64_t pos) override;
  void Step() override;

 private:
  void Update();

  QProgressBar* iBar;
  int64_t iLower = 0;
  int64_t iUpper = 0;
  int64_t iPos = 0;
  int iShift = 0;  // the bar counts in int; large ranges are scaled down
  QElapsedTimer iSincePaint;
};

class CQuillaryView;
class CQuillaryHtmlView;

// The manual, read like any book: its subjects above, the record below, its
// links followed.
class HelpWindow final : public QDialog, public ql::BookView, public ql::Notices {
  Q_OBJECT
 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  // Opens the manual at path; false with the reason when it cannot.
  bool OpenManual(const std::string& path, std::string& reason);
  CQuillaryView* SubjectList() const { return iList; }
  CQuillaryHtmlView* RecordView() const { return iView; }

  // ql::BookView: the help's list and page.
  void EmptyList() override;
  void ShowStartPage() override {}
  void DocumentOpened() override;
  void RebuildBookmarkMenu() override {}  // the help has no bookmark menu
  int SelectionMark() override;
  void SelectRow(int index) override;
  void ShowRecord(int index, int foundPos, int foundLength, bool scrollToFound) override;
  void ShowPage(const std::string& path, bool scrollToFound) override;
  void SetListFont(std::string_view face, int pixelHeight) override;
  // ql::Notices: the help has no status line; both come as a warning.
  void ShowMessageIcon(std::string_view text, std::string_view caption, ql::Icon icon) override;
  void ShowStatus(std::string_view text) override;

 private:
  ql::Document iDoc{"qlhelp.htm"};
  CQuillaryView* iList;
  CQuillaryHtmlView* iView;
};

}  // namespace qlui
