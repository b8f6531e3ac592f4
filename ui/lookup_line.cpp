#include "lookup_line.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QStringListModel>

#include "qt_text.h"

namespace qlui {

CLookupLine::CLookupLine(ql::Document& doc, QWidget* parent)
    : QLineEdit(parent),
      iDoc(doc),
      iCompleter(new QCompleter(this)),
      iOffer(new QStringListModel(this)) {
  setObjectName(QStringLiteral("lookupLine"));
  setAccessibleName(QStringLiteral("Look up"));
  setPlaceholderText(QStringLiteral("Look up a subject (Ctrl+L)"));
  setClearButtonEnabled(true);
  // The offer is shown as it is: the subjects do not start with the text,
  // so no prefix filter may hide them.
  iCompleter->setModel(iOffer);
  iCompleter->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  iCompleter->setWidget(this);
  iCompleter->popup()->setAccessibleName(QStringLiteral("Nearest subjects"));
  connect(iCompleter, qOverload<const QModelIndex&>(&QCompleter::activated), this,
          [this](const QModelIndex& index) {
            const int row = index.row();
            if (row < 0 || static_cast<size_t>(row) >= iOfferRecords.size()) return;
            const int record = iOfferRecords[static_cast<size_t>(row)];
            HideOffer();
            emit lookedUp(record, false);
          });
  connect(this, &QLineEdit::textEdited, this, &CLookupLine::OnEdited);
  connect(this, &QLineEdit::returnPressed, this, &CLookupLine::OnEnter);
}

void CLookupLine::BookChanged() {
  HideOffer();
  clear();
  iFound = -1;
}

QStringList CLookupLine::Offered() const {
  return iOffer->stringList();
}

bool CLookupLine::OfferShown() const {
  return iCompleter->popup()->isVisible();
}

void CLookupLine::OnEdited(const QString& text) {
  iFound = -1;
  if (!iDoc.iBookOpen || text.isEmpty()) {
    HideOffer();
    return;
  }
  iFound = iDoc.Reader().FindSubject(ql::MatchPrefix, FromQString(text));
  if (iFound >= 0) {
    HideOffer();
    emit lookedUp(iFound, true);
    return;
  }
  Offer({});
}

void CLookupLine::OnEnter() {
  if (iFound >= 0) emit lookedUp(iFound, false);
}

void CLookupLine::Offer(const std::vector<int>& records) {
  iOfferRecords = records;
  QStringList subjects;
  for (int record : records) subjects << ToQString(iDoc.Reader().GetSubject(record));
  iOffer->setStringList(subjects);
  if (subjects.isEmpty()) {
    iCompleter->popup()->hide();
    return;
  }
  iCompleter->complete();
}

void CLookupLine::HideOffer() {
  iOfferRecords.clear();
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
