// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The record view: shows the page file of the record on show, or the start
// page. Links never navigate the view: ours become record lookups, web links
// go to the desktop's browser, everything else is ignored. Nothing remote is
// ever loaded and no script runs.
#pragma once

#include <QTextBrowser>
#include <functional>
#include <string>

#include "book_text.h"

namespace qlui {

class CQuillaryHtmlView final : public QTextBrowser {
  Q_OBJECT
 public:
  // followLink gets the raw bytes of an address a user chose in the page.
  explicit CQuillaryHtmlView(std::function<void(const std::string&)> followLink,
                             QWidget* parent = nullptr);
  // Loads the page file at path (again, when it is already on show), written
  // in form (the book's, or UTF-8 for a page of sections) and, with
  // scrollToFound, scrolls to the marked hit. The addresses its links give
  // are in that form too.
  void ShowPage(const QString& path, bool scrollToFound, ql::TextForm form = ql::TextForm::kCp1252);
  void ShowStartPage();
  // Scales the page: percent of the desktop's font (the application's).
  // The page's font sizes are relative to that base, so the entry reads at
  // the size the desktop reads at, and follows it when it changes.
  void SetZoom(int percent);

  // The window's Back and Forward walk the records shown; the pages this
  // view has loaded are no history of their own (Alt+Left in the page would
  // otherwise go back to the start page or a page written over since).
  void backward() override {}
  void forward() override {}

 protected:
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  QVariant loadResource(int type, const QUrl& name) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Follow(const QString& href);
  void FollowTextDirection();
  // Sets the view's font: the application's at the zoom.
  void ApplyBaseFont();

  std::function<void(const std::string&)> iFollowLink;
  QString iPagePath;  // the page file last shown, the one file read from disk
  ql::TextForm iPageForm = ql::TextForm::kCp1252;
  int iZoomPercent = 100;
};

// The page file's bytes as the view shows them: decoded in form (UTF-8 also
// when the page's head declares it), and <strike> spelled <s>, which Qt's
// text engine knows.
QString PageTextForView(const QByteArray& bytes, ql::TextForm form = ql::TextForm::kCp1252);

// Whether a page's head declares its charset UTF-8.
bool PageDeclaresUtf8(const QByteArray& bytes);

}  // namespace qlui
