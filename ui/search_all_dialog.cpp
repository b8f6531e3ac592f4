// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "search_all_dialog.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "local_files.h"
#include "qt_text.h"

namespace qlui {

namespace {

// The hits each book gives at most.
constexpr size_t kHitsPerBook = 100;
// Typing pauses this long before the words are searched.
constexpr int kTypingPauseMs = 250;

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString SnippetHtml(const ql::fts::FtsHit& hit) {
  const std::string& text = hit.snippet;
  std::vector<ql::fts::Mark> marks = hit.marks;
  std::sort(marks.begin(), marks.end(),
            [](const ql::fts::Mark& a, const ql::fts::Mark& b) { return a.offset < b.offset; });
  QString html;
  size_t at = 0;
  for (const ql::fts::Mark& mark : marks) {
    // A mark outside the snippet or over the one before is passed over.
    if (mark.offset < at || mark.offset > text.size() || mark.length > text.size() - mark.offset ||
        mark.length == 0)
      continue;
    html += Utf8(std::string_view(text).substr(at, mark.offset - at)).toHtmlEscaped();
    html += QStringLiteral("<b>") +
            Utf8(std::string_view(text).substr(mark.offset, mark.length)).toHtmlEscaped() +
            QStringLiteral("</b>");
    at = mark.offset + mark.length;
  }
  html += Utf8(std::string_view(text).substr(at)).toHtmlEscaped();
  return html;
}

void FtsResultsModel::Clear() {
  beginResetModel();
  iRows.clear();
  endResetModel();
}

void FtsResultsModel::Add(const std::string& path, const QString& book,
                          const ql::fts::BookAnswer& answer) {
  for (const ql::fts::FtsHit& hit : answer.hits) {
    const auto place =
        std::upper_bound(iRows.begin(), iRows.end(), hit.score,
                         [](double score, const FtsRow& row) { return score > row.hit.score; });
    const int row = static_cast<int>(place - iRows.begin());
    beginInsertRows(QModelIndex(), row, row);
    iRows.insert(place, FtsRow{path, book, answer.indexed, hit});
    endInsertRows();
  }
}

const FtsRow* FtsResultsModel::Row(int row) const {
  return row >= 0 && static_cast<size_t>(row) < iRows.size() ? &iRows[static_cast<size_t>(row)]
                                                             : nullptr;
}

int FtsResultsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(iRows.size());
}

int FtsResultsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant FtsResultsModel::data(const QModelIndex& index, int role) const {
  const FtsRow* row = index.isValid() ? Row(index.row()) : nullptr;
  if (!row) return {};
  const bool text = role == Qt::DisplayRole || role == Qt::AccessibleTextRole;
  switch (index.column()) {
    case kBook:
      if (text) return row->indexed ? row->book : tr("%1 (not indexed)").arg(row->book);
      if (role == Qt::ToolTipRole)
        return row->indexed
                   ? PathToQString(row->path)
                   : tr("%1 has no word index yet: it was searched entry by entry.").arg(row->book);
      break;
    case kSubject:
      // The subject in the book's form, which the list does not know.
      if (text || role == Qt::ToolTipRole) return LenientToQString(row->hit.subject);
      break;
    case kSnippet:
      if (text || role == Qt::ToolTipRole) return Utf8(row->hit.snippet);
      if (role == kSnippetHtmlRole) return SnippetHtml(row->hit);
      break;
    default:
      break;
  }
  return {};
}

QVariant FtsResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kNames[kColumnCount] = {QT_TR_NOOP("Book"), QT_TR_NOOP("Subject"),
                                                   QT_TR_NOOP("Snippet")};
  if (section < 0 || section >= kColumnCount) return {};
  return tr(kNames[section]);
}

void SnippetDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  item.text.clear();
  QStyle* style = item.widget ? item.widget->style() : QApplication::style();
  // The cell's background, selection and focus as the style draws them.
  style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
  QTextDocument page;
  page.setDocumentMargin(0);
  page.setDefaultFont(item.font);
  page.setHtml(index.data(FtsResultsModel::kSnippetHtmlRole).toString());
  const QRect cell = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget);
  const QPalette::ColorGroup group = !(item.state & QStyle::State_Enabled) ? QPalette::Disabled
                                     : (item.state & QStyle::State_Active) ? QPalette::Active
                                                                           : QPalette::Inactive;
  QAbstractTextDocumentLayout::PaintContext context;
  context.palette.setColor(
      QPalette::Text,
      item.palette.color(group, (item.state & QStyle::State_Selected) ? QPalette::HighlightedText
                                                                      : QPalette::Text));
  const int top = std::max(0, (cell.height() - static_cast<int>(page.size().height())) / 2);
  context.clip = QRectF(0, 0, cell.width(), cell.height());
  painter->save();
  painter->translate(cell.left(), cell.top() + top);
  painter->setClipRect(QRect(0, -top, cell.width(), cell.height()));
  page.documentLayout()->draw(painter, context);
  painter->restore();
}

SearchAllBooksDialog::SearchAllBooksDialog(Source source, QWidget* parent)
    : QDialog(parent),
      iSource(std::move(source)),
      iQuery(new QLineEdit(this)),
      iScope(new QComboBox(this)),
      iResults(new QTreeView(this)),
      iModel(new FtsResultsModel(this)),
      iStatus(new QLabel(this)),
      iTyping(new QTimer(this)),
      iSearch(std::make_unique<ql::LibraryFtsSearch>()) {
  setObjectName(QStringLiteral("searchAllBooks"));
  setWindowTitle(tr("Search All Books"));
  setAccessibleName(tr("Search All Books"));
  setModal(false);

  iQuery->setObjectName(QStringLiteral("searchAllQuery"));
  iQuery->setAccessibleName(tr("Words to search for"));
  iQuery->setPlaceholderText(tr("Words, \"a phrase\", a prefix*, -left out"));
  iQuery->setClearButtonEnabled(true);
  iQuery->installEventFilter(this);
  auto* queryLabel = new QLabel(tr("&Search for:"), this);
  queryLabel->setBuddy(iQuery);

  iScope->setObjectName(QStringLiteral("searchAllScope"));
  iScope->setAccessibleName(tr("Books to search"));
  iScope->addItem(QString(), static_cast<int>(ql::SearchScope::kThisBook));
  iScope->addItem(QString(), static_cast<int>(ql::SearchScope::kGroup));
  iScope->addItem(tr("The whole library"), static_cast<int>(ql::SearchScope::kLibrary));
  iScope->setCurrentIndex(2);
  auto* scopeLabel = new QLabel(tr("I&n:"), this);
  scopeLabel->setBuddy(iScope);

  iResults->setObjectName(QStringLiteral("searchAllResults"));
  iResults->setAccessibleName(tr("Entries found"));
  iResults->setModel(iModel);
  iResults->setItemDelegateForColumn(FtsResultsModel::kSnippet, new SnippetDelegate(iResults));
  iResults->setRootIsDecorated(false);
  iResults->setUniformRowHeights(true);
  iResults->setAllColumnsShowFocus(true);
  iResults->setSelectionBehavior(QAbstractItemView::SelectRows);
  iResults->setSelectionMode(QAbstractItemView::SingleSelection);
  iResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
  iResults->setTextElideMode(Qt::ElideRight);
  iResults->header()->setStretchLastSection(true);
  iResults->header()->resizeSection(FtsResultsModel::kBook, 190);
  iResults->header()->resizeSection(FtsResultsModel::kSubject, 170);
  iResults->installEventFilter(this);
  auto* resultsLabel = new QLabel(tr("&Entries found:"), this);
  resultsLabel->setBuddy(iResults);

  iStatus->setObjectName(QStringLiteral("searchAllStatus"));
  iStatus->setAccessibleName(tr("Search status"));
  iStatus->setWordWrap(true);
  iStatus->setTextFormat(Qt::PlainText);
  iStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* close = buttons->button(QDialogButtonBox::Close);
  // Enter belongs to the field and the list, never to the button.
  close->setAutoDefault(false);
  close->setAccessibleName(tr("Close"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* fields = new QGridLayout;
  fields->addWidget(queryLabel, 0, 0);
  fields->addWidget(iQuery, 0, 1);
  fields->addWidget(scopeLabel, 0, 2);
  fields->addWidget(iScope, 0, 3);
  fields->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(resultsLabel);
  layout->addWidget(iResults, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(iStatus, 1);
  bottom->addWidget(buttons, 0, Qt::AlignBottom);
  layout->addLayout(bottom);
  setTabOrder(iQuery, iScope);
  setTabOrder(iScope, iResults);
  setTabOrder(iResults, close);

  iTyping->setSingleShot(true);
  iTyping->setInterval(kTypingPauseMs);
  connect(iTyping, &QTimer::timeout, this, &SearchAllBooksDialog::Search);
  connect(iQuery, &QLineEdit::textEdited, this, [this] { iTyping->start(); });
  connect(iQuery, &QLineEdit::returnPressed, this, &SearchAllBooksDialog::Search);
  connect(iScope, &QComboBox::activated, this, [this](int) { Search(); });
  // Enter and a double click both activate a row.
  connect(iResults, &QAbstractItemView::activated, this, &SearchAllBooksDialog::Open);
  RefreshScopes();
  resize(760, 460);
}

SearchAllBooksDialog::~SearchAllBooksDialog() {
  // No answer is posted to the dialog once this returns.
  iSearch.reset();
}

void SearchAllBooksDialog::RefreshScopes() {
  const bool haveBook = !iSource.books(ql::SearchScope::kThisBook).empty();
  iScope->setItemText(0, tr("This book"));
  iScope->setItemText(1, tr("The group \u201c%1\u201d").arg(iSource.groupName()));
  if (auto* items = qobject_cast<QStandardItemModel*>(iScope->model()))
    items->item(0)->setEnabled(haveBook);
  if (!haveBook && iScope->currentIndex() == 0) iScope->setCurrentIndex(2);
}

void SearchAllBooksDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  RefreshScopes();
  iQuery->setFocus(Qt::OtherFocusReason);
  iQuery->selectAll();
  if (iInterrupted) Search();
}

void SearchAllBooksDialog::hideEvent(QHideEvent* event) {
  iTyping->stop();
  if (!iDone) {
    iSearch->Cancel();
    iDone = true;
    iInterrupted = true;
  }
  QDialog::hideEvent(event);
}

bool SearchAllBooksDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    // Down from the field goes to the list, Up from its first row back.
    if (watched == iQuery && key->key() == Qt::Key_Down && iModel->rowCount() > 0) {
      if (!iResults->currentIndex().isValid()) iResults->setCurrentIndex(iModel->index(0, 0));
      iResults->setFocus(Qt::TabFocusReason);
      return true;
    }
    if (watched == iResults && key->key() == Qt::Key_Up && iResults->currentIndex().row() <= 0) {
      iQuery->setFocus(Qt::BacktabFocusReason);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void SearchAllBooksDialog::Search() {
  iTyping->stop();
  iInterrupted = false;
  iSearch->Cancel();
  iModel->Clear();
  iBooks.clear();
  iAnswered = 0;
  iWalked.clear();
  iFailures.clear();
  iDone = true;
  const QString text = iQuery->text().trimmed();
  if (text.isEmpty()) {
    iStatus->clear();
    return;
  }
  ql::fts::FtsQuery query;
  std::string reason;
  if (!ql::fts::ParseFtsQuery(text.toStdString(), query, reason)) {
    iStatus->setText(tr("These words cannot be searched: %1").arg(LenientToQString(reason)));
    return;
  }
  const auto scope = static_cast<ql::SearchScope>(iScope->currentData().toInt());
  iBooks = iSource.books(scope);
  if (iBooks.empty()) {
    iStatus->setText(tr("There is no book to search in."));
    return;
  }
  iDone = false;
  iGeneration = iSearch->Start(
      iBooks, std::move(query), kHitsPerBook,
      [this](uint64_t generation, size_t book, ql::fts::BookAnswer answer) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, book, answer = std::move(answer)]() mutable {
              OnAnswer(generation, book, std::move(answer));
            },
            Qt::QueuedConnection);
      },
      [this](uint64_t generation) {
        QMetaObject::invokeMethod(
            this, [this, generation] { OnDone(generation); }, Qt::QueuedConnection);
      });
  ShowProgress();
}

void SearchAllBooksDialog::OnAnswer(uint64_t generation, size_t book, ql::fts::BookAnswer answer) {
  if (generation != iGeneration || book >= iBooks.size()) return;
  ++iAnswered;
  const std::string& path = iBooks[book];
  const QString title = PathToQString(std::string(ql::FileNameOf(path)));
  if (!answer.reason.empty()) {
    iFailures << tr("%1: %2").arg(title, LenientToQString(answer.reason));
  } else if (!answer.indexed) {
    iWalked << title;
    if (iSource.unindexed) iSource.unindexed(path);
  }
  iModel->Add(path, title, answer);
  // Until the list is in use its best row is the current one, wherever
  // later answers come in.
  if (!iResults->hasFocus() && iModel->rowCount() > 0) {
    iResults->setCurrentIndex(iModel->index(0, 0));
    // The rows moved under the selection before the view laid them out.
    iResults->viewport()->update();
  }
  ShowProgress();
}

void SearchAllBooksDialog::OnDone(uint64_t generation) {
  if (generation != iGeneration) return;
  iDone = true;
  ShowProgress();
}

void SearchAllBooksDialog::ShowProgress() {
  QStringList lines;
  const int books = static_cast<int>(iBooks.size());
  if (!iDone)
    lines << tr("Searching: %1 of %2 books answered").arg(iAnswered).arg(books);
  else if (iModel->rowCount() == 0 && iAnswered == iBooks.size() && iFailures.size() < books)
    lines << tr("No entry holds these words.");
  else if (iModel->rowCount() > 0)
    lines << tr("Entries found: %1, searched %2 books").arg(iModel->rowCount()).arg(books);
  if (!iWalked.isEmpty())
    lines << tr("Not indexed yet, searched entry by entry: %1").arg(iWalked.join(tr(", ")));
  lines << iFailures;
  iStatus->setText(lines.join(QLatin1Char('\n')));
}

void SearchAllBooksDialog::Open(const QModelIndex& index) {
  const FtsRow* row = iModel->Row(index.row());
  if (!row || !iSource.open) return;
  // The row is copied: opening the book may come back to this dialog.
  const FtsRow chosen = *row;
  iSource.open(chosen);
}

}  // namespace qlui
