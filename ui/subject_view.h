// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The subject list: a table that holds no rows of its own and asks the book
// for each visible cell.
#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTableView>
#include <functional>

#include "document.h"

namespace qlui {

class SubjectModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit SubjectModel(ql::Document& doc, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  // Takes the row count from the document again.
  void Reset();

 private:
  ql::Document& iDoc;
  int iRows = 0;
};

class CQuillaryView final : public QTableView {
  Q_OBJECT
 public:
  // showRecord runs the record display sequence for an index.
  CQuillaryView(ql::Document& doc, std::function<void(int)> showRecord, QWidget* parent = nullptr);
  // A book was opened or closed: columns, selection mark and rows start over.
  void InitialUpdate();
  // Empties the list (no book) and repaints it.
  void Empty();
  int SelectionMark() const;
  // Selects row index, makes it current and scrolls it fully into view.
  void SelectRow(int index);
  // The list font: face and cell height in pixels. The list goes to its
  // first row, takes the font and scrolls back to the selection mark.
  void ApplyFont(const QString& face, int pixelHeight);
  // Whether resizes re-divide the columns (only once start-up is over).
  void SetInitialised(bool on) { iInitialised = on; }
  SubjectModel* Model() const { return iModel; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyboardSearch(const QString& search) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void OnClicked(const QModelIndex& index);
  void SetRowHeight();
  void SetInitialColumnWidths();
  // Rows a Page Up or Page Down moves: those the list shows at once.
  int PageRows() const;
  // Shows the record at the selection mark once the keys already waiting
  // have moved the list: a repeating key moves the list at its own pace and
  // never queues a render for every row it passes.
  void ShowMarkSoon();

  ql::Document& iDoc;
  std::function<void(int)> iShowRecord;
  SubjectModel* iModel;
  bool iInitialised = false;
  bool iWidthsPending = false;
  bool iShowPending = false;  // ShowMarkSoon has a render waiting
  QString iTyped;             // typed-find characters so far
  QElapsedTimer iTypedClock;
};

}  // namespace qlui
