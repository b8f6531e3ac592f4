// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The lookup line above the subject list: typing shows the first subject
// that starts with the text at once; when none does, the nearest subjects by
// spelling are offered below the line.
#pragma once

#include <QLineEdit>
#include <QTimer>
#include <memory>
#include <vector>

#include "document.h"

class QCompleter;
class QStringListModel;

namespace ql {
class SpellingSuggester;
struct SpellingSnapshot;
}  // namespace ql

namespace qlui {

class CLookupLine final : public QLineEdit {
  Q_OBJECT
 public:
  explicit CLookupLine(ql::Document& doc, QWidget* parent = nullptr);
  ~CLookupLine() override;
  // Another book, or none: the line and its offers start over.
  void BookChanged();
  // Puts text in the line and looks it up as if it had been typed.
  void LookUp(const QString& text);
  // The subjects offered just now, best first (empty when none are).
  QStringList Offered() const;
  bool OfferShown() const;
  void SetOfferFont(const QFont& font);
  // True while the nearest subjects are still being sought through the book.
  bool Seeking() const;
  // Offers the nearest subjects of the group's books when none has the text:
  // shown[i] is offered, subjects[i] is what the line takes when it is
  // chosen, as if typed.
  void OfferFromGroup(const QStringList& shown, const QStringList& subjects);
  // Some book of the group has the text: no offer.
  void WithdrawOffer() { HideOffer(); }

 signals:
  // A record to show: while typing (typing true), on Enter and when an
  // offered subject is chosen.
  void lookedUp(int record, bool typing);
  // Down was pressed: the list takes the focus.
  void leaveToList();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void OnEdited(const QString& text);
  void OnEnter();
  void Offer(const ql::SpellingSnapshot& snapshot);
  void PollOffer();
  void HideOffer();

  ql::Document& iDoc;
  QCompleter* iCompleter;
  QStringListModel* iOffer;
  std::vector<int> iOfferRecords;
  QStringList iGroupSubjects;  // while the group's offer is shown
  int iFound = -1;             // the record the text leads to, -1 for none
  // Made when the first offer is needed; one per book, as it keeps what it
  // read of the book's subjects.
  std::unique_ptr<ql::SpellingSuggester> iSuggester;
  QTimer iOfferPoll;
  uint64_t iOfferGeneration = 0;
};

}  // namespace qlui
