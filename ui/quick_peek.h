// QuickPeek: a small lookup window reached from the tray icon. Typing looks
// the open book's subjects up by prefix as you type; the record shows below.
#pragma once

#include <QDialog>

#include "document.h"
#include "page_file.h"

class QLabel;
class QLineEdit;

namespace qlui {

class CQuillaryHtmlView;

inline constexpr const char* kNoBookForPeek = "No book is open. Open one in Quillary first.";

class QuickPeeker final : public QDialog {
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

 private:
  void OnTextChanged(const QString& text);
  void Show(int index);

  ql::Document& iDoc;
  ql::PageFile iPage{"qlpeek.htm"};
  QLineEdit* iLine;
  QLabel* iNote;
  CQuillaryHtmlView* iView;
  int iShown = -1;
};

}  // namespace qlui
