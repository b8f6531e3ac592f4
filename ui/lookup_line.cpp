// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "lookup_line.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QStringListModel>

#include "qt_text.h"
#include "spelling.h"

namespace qlui {

CLookupLine::CLookupLine(ql::Document& doc, QWidget* parent)
    : QLineEdit(parent),
      iDoc(doc),
      iCompleter(new QCompleter(this)),
      iOffer(new QStringListModel(this)) {
  setObjectName(QStringLiteral("lookupLine"));
  setAccessibleName(tr("Look up"));
  setPlaceholderText(tr("Look up a subject (Ctrl+L)"));
  // The offer is shown as it is: the subjects do not start with the text,
  // so no prefix filter may hide them.
  iCompleter->setModel(iOffer);
  iCompleter->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  iCompleter->setWidget(this);
  iCompleter->popup()->setAccessibleName(tr("Nearest subjects"));
  connect(iCompleter, qOverload<const QModelIndex&>(&QCompleter::activated), this,
          [this](const QModelIndex& index) {
            const int row = index.row();
            if (!iGroupSubjects.isEmpty()) {
              if (row < 0 || row >= iGroupSubjects.size()) return;
              const QString subject = iGroupSubjects[row];
              HideOffer();
              setText(subject);
              emit textEdited(subject);
              return;
            }
            if (row < 0 || static_cast<size_t>(row) >= iOfferRecords.size()) return;
            const int record = iOfferRecords[static_cast<size_t>(row)];
            HideOffer();
            emit lookedUp(record, false);
          });
  connect(this, &QLineEdit::textEdited, this, &CLookupLine::OnEdited);
  connect(this, &QLineEdit::returnPressed, this, &CLookupLine::OnEnter);
  // The whole-book scan for better offers runs on a thread of its own; the
  // offer is brought up to date from here while it runs.
  iOfferPoll.setInterval(40);
  connect(&iOfferPoll, &QTimer::timeout, this, &CLookupLine::PollOffer);
}

CLookupLine::~CLookupLine() = default;

void CLookupLine::BookChanged() {
  HideOffer();
  // Its reader and what it kept belong to the book that was open.
  iSuggester.reset();
  clear();
  iFound = -1;
}

void CLookupLine::LookUp(const QString& text) {
  setText(text);
  OnEdited(text);
}

void CLookupLine::SetOfferFont(const QFont& font) {
  iCompleter->popup()->setFont(font);
}

bool CLookupLine::Seeking() const {
  return iOfferPoll.isActive();
}

QStringList CLookupLine::Offered() const {
  return iOffer->stringList();
}

bool CLookupLine::OfferShown() const {
  return iCompleter->popup()->isVisible();
}

void CLookupLine::OnEdited(const QString& text) {
  iFound = -1;
  if (!iDoc.IsOpen() || text.isEmpty()) {
    HideOffer();
    return;
  }
  // The book is asked in its own form: a word typed in any script finds
  // the subject a UTF-8 book spells with it.
  const std::string key = FromQString(text, ql::FormOf(iDoc.Reader()));
  iFound = iDoc.Reader().FindSubject(ql::MatchPrefix, key);
  if (iFound >= 0) {
    HideOffer();
    emit lookedUp(iFound, true);
    return;
  }
  if (!iSuggester) {
    ql::Document* doc = &iDoc;
    iSuggester = std::make_unique<ql::SpellingSuggester>([doc]() {
      auto view = std::make_unique<ql::BookReader>();
      if (view->OpenView(doc->Reader()) != ql::OpenResult::kOk) view.reset();
      return view;
    });
  }
  Offer(iSuggester->Start(key, iDoc.Reader()));
  if (iSuggester->Current().running) iOfferPoll.start();
}

void CLookupLine::PollOffer() {
  if (!iSuggester) {
    iOfferPoll.stop();
    return;
  }
  const ql::SpellingSnapshot now = iSuggester->Current();
  if (now.generation != iOfferGeneration) Offer(now);
  if (!now.running) iOfferPoll.stop();
}

void CLookupLine::OnEnter() {
  if (iFound >= 0) emit lookedUp(iFound, false);
}

void CLookupLine::OfferFromGroup(const QStringList& shown, const QStringList& subjects) {
  // The book's own scan gives way to the group's list.
  iOfferPoll.stop();
  if (iSuggester) iSuggester->Cancel();
  iOfferRecords.clear();
  iGroupSubjects = subjects;
  iOffer->setStringList(shown);
  if (shown.isEmpty())
    iCompleter->popup()->hide();
  else
    iCompleter->complete();
}

void CLookupLine::Offer(const ql::SpellingSnapshot& snapshot) {
  iGroupSubjects.clear();
  iOfferGeneration = snapshot.generation;
  iOfferRecords.clear();
  QStringList subjects;
  for (const ql::Suggestion& suggestion : snapshot.suggestions) {
    iOfferRecords.push_back(suggestion.record);
    subjects << ToQString(suggestion.subject, ql::FormOf(iDoc.Reader()));
  }
  if (subjects == iOffer->stringList() && (subjects.isEmpty() || OfferShown())) return;
  iOffer->setStringList(subjects);
  if (subjects.isEmpty()) {
    iCompleter->popup()->hide();
    return;
  }
  iCompleter->complete();
}

void CLookupLine::HideOffer() {
  iOfferPoll.stop();
  if (iSuggester) iSuggester->Cancel();
  iOfferRecords.clear();
  iGroupSubjects.clear();
  iOffer->setStringList({});
  iCompleter->popup()->hide();
}

void CLookupLine::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Down && event->modifiers() == Qt::NoModifier && !OfferShown()) {
    event->accept();
    emit leaveToList();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

}  // namespace qlui
