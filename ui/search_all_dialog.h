// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// Edit > Search All Books: words looked for in the text of every entry of
// the open book, the group or the whole library. The list fills in as each
// book answers, best hits first; Enter or a double click shows the entry in
// the main window with the word marked, as a Find hit is.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QStyledItemDelegate>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fts_search.h"
#include "library_search.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;
class QTreeView;

namespace qlui {

struct FtsRow {
  std::string path;
  QString book;  // its title
  bool indexed = true;
  ql::fts::FtsHit hit;
};

// The hits as the list shows them: Book, Subject, Snippet.
class FtsResultsModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kBook, kSubject, kSnippet, kColumnCount };
  // The snippet as HTML, its marks in bold.
  static constexpr int kSnippetHtmlRole = Qt::UserRole + 1;

  using QAbstractTableModel::QAbstractTableModel;
  void Clear();
  // A book's hits join the list by score, each after the hits there of the
  // same score.
  void Add(const std::string& path, const QString& book, const ql::fts::BookAnswer& answer);
  const FtsRow* Row(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<FtsRow> iRows;
};

// The snippet's cell drawn from its HTML.
class SnippetDelegate final : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

// The snippet of a hit as HTML: escaped, each mark in <b>.
QString SnippetHtml(const ql::fts::FtsHit& hit);

class SearchAllBooksDialog final : public QDialog {
  Q_OBJECT
 public:
  // What the dialog asks of the window it belongs to.
  struct Source {
    // The books of a scope; none for "this book" while no book is open.
    std::function<std::vector<std::string>(ql::SearchScope)> books;
    // The group lookups go to, as the window names it.
    std::function<QString()> groupName;
    // Shows the hit's entry.
    std::function<void(const FtsRow&)> open;
    // A book answered without its index.
    std::function<void(const std::string& path)> unindexed;
  };

  explicit SearchAllBooksDialog(Source source, QWidget* parent = nullptr);
  ~SearchAllBooksDialog() override;

  QLineEdit* QueryField() const { return iQuery; }
  QComboBox* ScopeList() const { return iScope; }
  QTreeView* Results() const { return iResults; }
  FtsResultsModel* Model() const { return iModel; }
  QLabel* Status() const { return iStatus; }
  // Searches for the field's words now, cancelling the search before.
  void Search();
  bool Searching() const { return !iDone; }
  // The scopes' names and which are there (the group chosen, a book open).
  void RefreshScopes();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void OnAnswer(uint64_t generation, size_t book, ql::fts::BookAnswer answer);
  void OnDone(uint64_t generation);
  void ShowProgress();
  void Open(const QModelIndex& index);

  Source iSource;
  QLineEdit* iQuery;
  QComboBox* iScope;
  QTreeView* iResults;
  FtsResultsModel* iModel;
  QLabel* iStatus;
  QTimer* iTyping;
  std::unique_ptr<ql::LibraryFtsSearch> iSearch;
  uint64_t iGeneration = 0;
  std::vector<std::string> iBooks;  // of the search on show
  size_t iAnswered = 0;
  QStringList iWalked;    // books searched without an index
  QStringList iFailures;  // "BOOK: REASON"
  bool iDone = true;
  bool iInterrupted = false;  // closed while searching: searched again when shown
};

}  // namespace qlui
