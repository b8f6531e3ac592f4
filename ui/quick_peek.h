// QuickPeek: a small lookup window reached from the tray icon. Typing looks
// the open book's subjects up by prefix as you type; the record shows below.
#pragma once

#include <QDialog>

#include "book_view.h"
#include "desktop_services.h"
#include "document.h"
#include "page_file.h"

class QLabel;
class QLineEdit;

namespace qlui {

class CQuillaryHtmlView;

inline constexpr const char* kNoBookForPeek = "No book is open. Open one in Quillary first.";

// A second view of the main window's book, with a page file of its own and
// no history: what it shows is no step of the window's.
class QuickPeeker final : public QDialog, public ql::BookView, public ql::Notices {
  Q_OBJECT
 public:
  QuickPeeker(ql::Document& doc, QWidget* parent = nullptr);
  // Puts text in the lookup line, which looks it up.
  void LookUp(const QString& text);
  QLineEdit* Line() const { return iLine; }
  CQuillaryHtmlView* View() const { return iView; }
  QLabel* Note() const { return iNote; }
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

 private:
  void OnTextChanged(const QString& text);

  ql::Document& iDoc;
  ql::PageFile iPage{"qlpeek.htm"};
  QLineEdit* iLine;
  QLabel* iNote;
  CQuillaryHtmlView* iView;
  int iShown = -1;
};

}  // namespace qlui
