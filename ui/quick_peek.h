// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// QuickPeek: a small lookup window reached from the tray icon. Typing looks
// the open book's subjects up by prefix as you type; the record shows below.
// Given the window's shelf of several books, it looks in all of them and
// shows the page of sections; when no book has the text, the nearest
// subjects of every book are offered below the line.
#pragma once

#include <QDialog>
#include <memory>

#include "book_view.h"
#include "desktop_services.h"
#include "document.h"
#include "page_file.h"

class QLabel;
class QLineEdit;
class QListWidget;

namespace ql {
class Shelf;
class ShelfAnswers;
class ShelfSpelling;
struct LookupSection;
struct ShelfSuggestion;
}  // namespace ql

namespace qlui {

class CQuillaryHtmlView;

inline constexpr const char* kNoBookForPeek = "No book is open. Open one in Quillary first.";

// A second view of the main window's book, with a page file of its own and
// no history: what it shows is no step of the window's.
class QuickPeeker final : public QDialog, public ql::BookView, public ql::Notices {
  Q_OBJECT
 public:
  QuickPeeker(ql::Document& doc, QWidget* parent = nullptr, ql::Shelf* shelf = nullptr);
  ~QuickPeeker() override;
  // Puts text in the lookup line, which looks it up.
  void LookUp(const QString& text);
  QLineEdit* Line() const { return iLine; }
  CQuillaryHtmlView* View() const { return iView; }
  QLabel* Note() const { return iNote; }
  // The subjects offered when no book has the text, under their label.
  QListWidget* Offers() const { return iOffers; }
  // The books the page of sections shows, in library order (empty while a
  // single record is shown).
  std::vector<std::string> SectionTitles() const;
  // The record on show, -1 for none.
  int Shown() const { return iShown; }

  // ql::BookView: QuickPeek has no list, only the page.
  void EmptyList() override {}
  void ShowStartPage() override {}
  void DocumentOpened() override {}
  void RebuildBookmarkMenu() override {}
  int SelectionMark() override { return iShown; }
  void SelectRow(int) override {}
  void ShowRecord(int index, int foundPos, int foundLength, bool scrollToFound) override;
  void ShowPage(const std::string& path, bool scrollToFound) override;
  void SetListFont(std::string_view, int) override {}
  // ql::Notices: what cannot be shown is said in the note line.
  void ShowMessageIcon(std::string_view text, std::string_view caption, ql::Icon icon) override;
  void ShowStatus(std::string_view text) override;

 protected:
  // Down in the lookup line goes to the offers when they are on show.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnTextChanged(const QString& text);
  void SetOffersVisible(bool on);
  bool Grouped() const;
  void OnSection(uint64_t generation, ql::LookupSection section);
  void OnDone(uint64_t generation);
  void PaintSections();
  void Offer(const QString& text);
  void ShowOffers(uint64_t serial, std::vector<ql::ShelfSuggestion> list);
  void FollowLink(const std::string& address);

  ql::Document& iDoc;
  ql::PageFile iPage{"qlpeek.htm"};
  QLineEdit* iLine;
  QLabel* iNote;
  CQuillaryHtmlView* iView;
  int iShown = -1;
  ql::Shelf* iShelf;
  std::unique_ptr<ql::ShelfAnswers> iAnswers;
  std::unique_ptr<ql::ShelfSpelling> iSpelling;
  uint64_t iSpellingSerial = 0;
  uint64_t iLookupGeneration = 0;  // of the last lookup it asked the shelf for
  QListWidget* iOffers;
  QLabel* iOffersLabel = nullptr;
  std::vector<std::string> iOfferSubjects;
};

}  // namespace qlui
