// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "quick_peek.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "links.h"
#include "qt_text.h"
#include "record_view.h"
#include "shelf_page.h"
#include "show_record.h"

namespace qlui {

QuickPeeker::QuickPeeker(ql::Document& doc, QWidget* parent, ql::Shelf* shelf)
    : QDialog(parent),
      iDoc(doc),
      iLine(new QLineEdit(this)),
      iNote(new QLabel(this)),
      iShelf(shelf),
      iAnswers(std::make_unique<ql::ShelfAnswers>()),
      iOffers(new QListWidget(this)) {
  if (iShelf) iSpelling = std::make_unique<ql::ShelfSpelling>(*iShelf);
  setWindowTitle(tr("QuickPeeker"));
  setObjectName(QStringLiteral("quickPeeker"));
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
  iView = new CQuillaryHtmlView([this](const std::string& address) { FollowLink(address); }, this);
  iView->setAccessibleName(tr("Record"));
  auto* label = new QLabel(tr("&Look up:"), this);
  label->setBuddy(iLine);
  iLine->setAccessibleName(tr("Look up"));
  iLine->setClearButtonEnabled(true);
  iNote->setAccessibleName(tr("Note"));
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(iLine);
  layout->addLayout(row);
  layout->addWidget(iNote);
  iOffers->setAccessibleName(tr("Did you mean"));
  iOffers->setMaximumHeight(110);
  iOffersLabel = new QLabel(tr("&Did you mean:"), this);
  iOffersLabel->setBuddy(iOffers);
  SetOffersVisible(false);
  iLine->installEventFilter(this);
  // Enter, a double click or a click looks the offered subject up.
  auto choose = [this](QListWidgetItem* item) {
    const int offer = iOffers->row(item);
    if (offer < 0 || static_cast<size_t>(offer) >= iOfferSubjects.size()) return;
    LookUp(QString::fromStdString(iOfferSubjects[static_cast<size_t>(offer)]));
    iLine->setFocus(Qt::OtherFocusReason);
  };
  connect(iOffers, &QListWidget::itemActivated, this, choose);
  connect(iOffers, &QListWidget::itemClicked, this, choose);
  layout->addWidget(iOffersLabel);
  layout->addWidget(iOffers);
  layout->addWidget(iView, 1);
  resize(420, 360);
  if (!iDoc.IsOpen() && !Grouped()) {
    iNote->setText(QString::fromLatin1(kNoBookForPeek));
    iLine->setEnabled(false);
  } else {
    iNote->setText(PathToQString(iDoc.Title()));
  }
  connect(iLine, &QLineEdit::textChanged, this, &QuickPeeker::OnTextChanged);
}

void QuickPeeker::SetOffersVisible(bool on) {
  iOffersLabel->setVisible(on);
  iOffers->setVisible(on);
}

bool QuickPeeker::eventFilter(QObject* watched, QEvent* event) {
  if (watched == iLine && event->type() == QEvent::KeyPress && !iOffers->isHidden() &&
      iOffers->count() > 0) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier) {
      iOffers->setFocus(Qt::OtherFocusReason);
      iOffers->setCurrentRow(0);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void QuickPeeker::LookUp(const QString& text) {
  iLine->setText(text);
  // The next word typed takes the place of the one handed over.
  iLine->selectAll();
  OnTextChanged(text);
}

QuickPeeker::~QuickPeeker() {
  // No answer comes after the window is gone.
  if (iSpelling) iSpelling->Cancel();
  // Whatever the shelf holds now: its books may have changed since.
  if (iShelf && iLookupGeneration) iShelf->Cancel(iLookupGeneration);
}

bool QuickPeeker::Grouped() const {
  return iShelf && iShelf->Books().size() > 1;
}

std::vector<std::string> QuickPeeker::SectionTitles() const {
  std::vector<std::string> titles;
  for (const ql::LookupSection& s : iAnswers->Sections()) titles.push_back(s.title);
  return titles;
}

void QuickPeeker::OnTextChanged(const QString& text) {
  if (text.isEmpty()) return;
  SetOffersVisible(false);
  if (iSpelling) iSpelling->Cancel();
  if (Grouped()) {
    iShelf->SetRenderOptions(iDoc.Options());
    // Each book is asked with the text in its own form.
    const uint64_t generation = iShelf->LookUpText(
        text.toStdString(), ql::MatchPrefix,
        [this](uint64_t g, ql::LookupSection section) {
          QMetaObject::invokeMethod(
              this,
              [this, g, section = std::move(section)]() mutable {
                OnSection(g, std::move(section));
              },
              Qt::QueuedConnection);
        },
        [this](uint64_t g) {
          QMetaObject::invokeMethod(
              this, [this, g] { OnDone(g); }, Qt::QueuedConnection);
        });
    iAnswers->Start(generation);
    iLookupGeneration = generation;
    return;
  }
  if (!iDoc.IsOpen()) return;
  const int found =
      iDoc.Reader().FindSubject(ql::MatchPrefix, FromQString(text, ql::FormOf(iDoc.Reader())));
  if (found >= 0)
    ShowRecord(found, -1, -1, false);
  else
    Offer(text);
}

void QuickPeeker::OnSection(uint64_t generation, ql::LookupSection section) {
  // QuickPeek paints each section as it comes: it is one small page.
  if (iAnswers->Add(generation, std::move(section))) PaintSections();
}

void QuickPeeker::OnDone(uint64_t generation) {
  if (!iAnswers->Finish(generation)) return;
  if (iAnswers->FoundCount() > 0) return;
  // Nothing found: the page and the note say so, not the last word's answer.
  PaintSections();
  Offer(iLine->text());
}

void QuickPeeker::PaintSections() {
  std::string reason;
  // The page of sections is UTF-8: its books may hold text in either form.
  const std::string html = ql::WriteSectionsPage(
      iAnswers->Sections(), iDoc.Options(),
      ql::NoneFoundLead(*iAnswers, iLine->text().toStdString(), ql::TextForm::kUtf8),
      ql::TextForm::kUtf8);
  if (!iPage.Write([&](ql::ByteSink& sink) { sink.Write(html); }, reason)) {
    iNote->setText(PathToQString(reason));
    return;
  }
  iShown = -1;
  iView->ShowPage(PathToQString(iPage.Path()), false, ql::TextForm::kUtf8);
  iNote->setText(ToQString(ql::FoundNote(*iAnswers)));
}

void QuickPeeker::Offer(const QString& text) {
  if (!iSpelling) return;
  iSpellingSerial = iSpelling->Start(text.toStdString(), [this](uint64_t serial, auto list) {
    QMetaObject::invokeMethod(
        this,
        [this, serial, list = std::move(list)]() mutable { ShowOffers(serial, std::move(list)); },
        Qt::QueuedConnection);
  });
}

void QuickPeeker::ShowOffers(uint64_t serial, std::vector<ql::ShelfSuggestion> list) {
  if (serial != iSpellingSerial) return;
  iOffers->clear();
  iOfferSubjects.clear();
  // An offer is a word looked up over the group, whichever book gave it.
  for (const ql::ShelfSuggestion& s : list) {
    iOffers->addItem(QString::fromStdString(s.text));
    iOfferSubjects.push_back(s.text);
  }
  SetOffersVisible(!list.empty());
}

void QuickPeeker::FollowLink(const std::string& address) {
  const auto link = ql::SectionLinkKey(address);
  if (!link || !iShelf) {
    ql::FollowLink(iDoc, *this, address);
    return;
  }
  // Section links are UTF-8, as the page of sections is.
  const ql::LinkPlace place = iShelf->ResolveLinkText(link->key, link->book);
  if (place.book < 0) return;
  const ql::LookupSection section = iShelf->Section(place.book, place.index);
  iShelf->Cancel(iLookupGeneration);
  iAnswers->Start(0);
  if (section.failed) {
    iNote->setText(PathToQString(section.title + ": " + section.reason));
    return;
  }
  iAnswers->Start(1);
  iAnswers->Add(1, section);
  PaintSections();
  // One record followed to, not a lookup's answer.
  iNote->setText(tr("From %1").arg(PathToQString(section.title)));
}

void QuickPeeker::ShowRecord(int index, int foundPos, int foundLength, bool scrollToFound) {
  if (ql::ShowRecord(iDoc, iPage, *this, *this,
                     {index, foundPos, foundLength, scrollToFound, ql::HistoryStep::kNone}))
    iShown = index;
}

void QuickPeeker::ShowPage(const std::string& path, bool scrollToFound) {
  iView->ShowPage(PathToQString(path), scrollToFound, ql::FormOf(iDoc.Reader()));
}

void QuickPeeker::ShowMessageIcon(std::string_view text, std::string_view, ql::Icon) {
  iNote->setText(LenientToQString(text));
}

void QuickPeeker::ShowStatus(std::string_view text) {
  iNote->setText(PathToQString(std::string(text)));
}

}  // namespace qlui
