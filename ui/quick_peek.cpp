#include "quick_peek.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "qt_text.h"
#include "record_view.h"
#include "show_record.h"

namespace qlui {

QuickPeeker::QuickPeeker(ql::Document& doc, QWidget* parent)
    : QDialog(parent), iDoc(doc), iLine(new QLineEdit(this)), iNote(new QLabel(this)) {
  setWindowTitle(QStringLiteral("QuickPeeker"));
  setObjectName(QStringLiteral("quickPeeker"));
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
  iView = new CQuillaryHtmlView(
      [this](const std::string& address) { ql::FollowLink(iDoc, *this, address); }, this);
  iView->setAccessibleName(QStringLiteral("Record"));
  auto* label = new QLabel(QStringLiteral("&Look up:"), this);
  label->setBuddy(iLine);
  iLine->setAccessibleName(QStringLiteral("Look up"));
  iLine->setClearButtonEnabled(true);
  iNote->setAccessibleName(QStringLiteral("Note"));
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(iLine);
  layout->addLayout(row);
  layout->addWidget(iNote);
  layout->addWidget(iView, 1);
  resize(420, 360);
  if (!iDoc.IsOpen()) {
    iNote->setText(QString::fromLatin1(kNoBookForPeek));
    iLine->setEnabled(false);
  } else {
    iNote->setText(PathToQString(iDoc.Title()));
  }
  connect(iLine, &QLineEdit::textChanged, this, &QuickPeeker::OnTextChanged);
}

void QuickPeeker::LookUp(const QString& text) {
  iLine->setText(text);
  OnTextChanged(text);
}

void QuickPeeker::OnTextChanged(const QString& text) {
  if (!iDoc.IsOpen() || text.isEmpty()) return;
  const int found = iDoc.Reader().FindSubject(ql::MatchPrefix, FromQString(text));
  if (found >= 0) ShowRecord(found, -1, -1, false);
}

void QuickPeeker::ShowRecord(int index, int foundPos, int foundLength, bool scrollToFound) {
  if (ql::ShowRecord(iDoc, iPage, *this, *this,
                     {index, foundPos, foundLength, scrollToFound, ql::HistoryStep::kNone}))
    iShown = index;
}

void QuickPeeker::ShowPage(const std::string& path, bool scrollToFound) {
  iView->ShowPage(PathToQString(path), scrollToFound);
}

void QuickPeeker::ShowMessageIcon(std::string_view text, std::string_view, ql::Icon) {
  iNote->setText(PathToQString(std::string(text)));
}

void QuickPeeker::ShowStatus(std::string_view text) {
  iNote->setText(PathToQString(std::string(text)));
}

}  // namespace qlui
