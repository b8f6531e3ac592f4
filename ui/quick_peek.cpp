#include "quick_peek.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "links.h"
#include "qt_text.h"
#include "record_view.h"

namespace qlui {

QuickPeeker::QuickPeeker(ql::Document& doc, QWidget* parent)
    : QDialog(parent), iDoc(doc), iLine(new QLineEdit(this)), iNote(new QLabel(this)) {
  setWindowTitle(QStringLiteral("QuickPeeker"));
  setObjectName(QStringLiteral("quickPeeker"));
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
  iView = new CQuillaryHtmlView(
      [this](const std::string& address) {
        const std::optional<std::string> key = ql::LinkKey(address);
        if (key && iDoc.iBookOpen) Show(ql::LinkTarget(iDoc, *key));
      },
      this);
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
  if (!iDoc.iBookOpen) {
    iNote->setText(QString::fromLatin1(kNoBookForPeek));
    iLine->setEnabled(false);
  } else {
    iNote->setText(PathToQString(iDoc.iTitle));
  }
  connect(iLine, &QLineEdit::textChanged, this, &QuickPeeker::OnTextChanged);
}

void QuickPeeker::LookUp(const QString& text) {
  iLine->setText(text);
  OnTextChanged(text);
}

void QuickPeeker::OnTextChanged(const QString& text) {
  if (!iDoc.iBookOpen || text.isEmpty()) return;
  const int found = iDoc.Reader().FindSubject(ql::MatchPrefix, FromQString(text));
  if (found >= 0) Show(found);
}

void QuickPeeker::Show(int index) {
  if (index < 0 || index >= iDoc.RowCount()) return;
  std::string reason;
  if (!iPage.Write([&](ql::ByteSink& sink) { iDoc.Reader().RenderRecord(sink, index, -1, -1); },
                   reason)) {
    iNote->setText(PathToQString(reason));
    return;
  }
  iShown = index;
  iView->ShowPage(PathToQString(iPage.Path()), false);
}

}  // namespace qlui
