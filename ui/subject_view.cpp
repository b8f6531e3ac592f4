// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "subject_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include "qt_text.h"
#include "subject_list.h"

namespace qlui {

SubjectModel::SubjectModel(ql::Document& doc, QObject* parent)
    : QAbstractTableModel(parent), iDoc(doc) {}

int SubjectModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : iRows;
}

int SubjectModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant SubjectModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= iRows) return {};
  const ql::TextForm form = ql::FormOf(iDoc.Reader());
  if (index.column() == 0) return ToQString(iDoc.Reader().GetSubject(index.row()), form);
  // A head cut inside a character shows without its broken end.
  const std::string preview = ql::CleanPreview(iDoc.Reader().GetRecordHead(index.row()));
  return ToQString(ql::WithoutCutCharacter(preview, form), form);
}

QVariant SubjectModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  if (section == 0) return tr("Subject");
  if (section == 1) return tr("Preview");
  return {};
}

void SubjectModel::Reset() {
  beginResetModel();
  iRows = iDoc.RowCount();
  endResetModel();
}

CQuillaryView::CQuillaryView(ql::Document& doc, std::function<void(int)> showRecord,
                             QWidget* parent)
    : QTableView(parent),
      iDoc(doc),
      iShowRecord(std::move(showRecord)),
      iModel(new SubjectModel(doc, this)) {
  setModel(iModel);
  setObjectName(QStringLiteral("subjectList"));
  setAccessibleName(tr("Subjects"));
  setSortingEnabled(false);
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setTabKeyNavigation(false);
  verticalHeader()->hide();
  // Every row is as high as the next: the view never measures rows.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setAccessibleName(tr("Columns"));
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setHighlightSections(false);
  connect(this, &QTableView::clicked, this, &CQuillaryView::OnClicked);
  SetRowHeight();
}

void CQuillaryView::SetRowHeight() {
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

void CQuillaryView::SetInitialColumnWidths() {
  const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  // The width the list has before its rows (and so its scroll bar) come:
  // the rule keeps room for the bar itself.
  const auto [subject, preview] = ql::InitialColumnWidths(contentsRect().width(), scrollBar);
  setColumnWidth(0, subject);
  setColumnWidth(1, preview);
}

void CQuillaryView::InitialUpdate() {
  iModel->Reset();
  // Before the window is first shown the list has no width of its own yet:
  // the columns are divided when it gets one.
  iWidthsPending = !isVisible();
  if (!iWidthsPending) SetInitialColumnWidths();
  clearSelection();
  iTyped.clear();
  // The mark goes to row 0 without drawing it selected; with no rows there
  // is no mark at all.
  if (iModel->rowCount() > 0)
    selectionModel()->setCurrentIndex(iModel->index(0, 0), QItemSelectionModel::NoUpdate);
  else
    selectionModel()->clearCurrentIndex();
}

void CQuillaryView::Empty() {
  iModel->Reset();
  selectionModel()->clearCurrentIndex();
  viewport()->repaint();
}

int CQuillaryView::SelectionMark() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.row() : -1;
}

void CQuillaryView::SelectRow(int index) {
  if (index < 0 || index >= iModel->rowCount()) return;
  const QModelIndex cell = iModel->index(index, 0);
  selectionModel()->setCurrentIndex(
      cell, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(cell, QAbstractItemView::EnsureVisible);
}

void CQuillaryView::ApplyFont(const QString& face, int pixelHeight) {
  QFont font(face);
  font.setPixelSize(pixelHeight);
  scrollToTop();
  setFont(font);
  SetRowHeight();
  const QModelIndex current = currentIndex();
  if (current.isValid()) scrollTo(current, QAbstractItemView::EnsureVisible);
}

void CQuillaryView::OnClicked(const QModelIndex& index) {
  if (index.isValid()) iShowRecord(index.row());
}

void CQuillaryView::keyPressEvent(QKeyEvent* event) {
  ql::ListKey key = ql::ListKey::kOther;
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    switch (event->key()) {
      case Qt::Key_Up:
        key = ql::ListKey::kUp;
        break;
      case Qt::Key_Down:
        key = ql::ListKey::kDown;
        break;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        key = ql::ListKey::kEnter;
        break;
      case Qt::Key_Home:
        key = ql::ListKey::kHome;
        break;
      case Qt::Key_End:
        key = ql::ListKey::kEnd;
        break;
      case Qt::Key_PageUp:
        key = ql::ListKey::kPageUp;
        break;
      case Qt::Key_PageDown:
        key = ql::ListKey::kPageDown;
        break;
      default:
        break;
    }
  } else if (event->modifiers() == Qt::ControlModifier) {
    // Ctrl+Home and Ctrl+End do what Home and End do: the list has one
    // column to move along, its rows.
    if (event->key() == Qt::Key_Home) key = ql::ListKey::kHome;
    if (event->key() == Qt::Key_End) key = ql::ListKey::kEnd;
  }
  if (key == ql::ListKey::kHome || key == ql::ListKey::kEnd || key == ql::ListKey::kPageUp ||
      key == ql::ListKey::kPageDown) {
    // The list moves as a list moves (End: its last row, not the row's last
    // column) and the entry follows.
    const int row = ql::RowForJump(key, SelectionMark(), iModel->rowCount(), PageRows());
    if (row >= 0) {
      SelectRow(row);
      ShowMarkSoon();
    }
    event->accept();
    return;
  }
  // The record follows the key before the list moves its selection.
  const int record = ql::RecordForKey(key, SelectionMark(), iModel->rowCount());
  if (record >= 0) iShowRecord(record);
  if (key == ql::ListKey::kEnter) {
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

int CQuillaryView::PageRows() const {
  const int rowHeight = verticalHeader()->defaultSectionSize();
  return rowHeight > 0 ? std::max(1, viewport()->height() / rowHeight) : 1;
}

void CQuillaryView::ShowMarkSoon() {
  if (iShowPending) return;
  iShowPending = true;
  QTimer::singleShot(0, this, [this] {
    iShowPending = false;
    const int row = SelectionMark();
    if (row >= 0 && row < iModel->rowCount()) iShowRecord(row);
  });
}

void CQuillaryView::keyboardSearch(const QString& search) {
  if (search.isEmpty() || iModel->rowCount() == 0) return;
  if (!iTypedClock.isValid() || iTypedClock.elapsed() > QApplication::keyboardInputInterval())
    iTyped.clear();
  iTypedClock.restart();
  iTyped += search;
  const int found = ql::TypedFind(iDoc, FromQString(iTyped, ql::FormOf(iDoc.Reader())));
  if (found < 0) return;
  iShowRecord(found);
  SelectRow(found);
}

void CQuillaryView::showEvent(QShowEvent* event) {
  QTableView::showEvent(event);
  if (iWidthsPending) {
    iWidthsPending = false;
    SetInitialColumnWidths();
  }
}

void CQuillaryView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  if (!iInitialised) return;
  const auto [subject, preview] = ql::ResizedColumnWidths(viewport()->width());
  setColumnWidth(0, subject);
  setColumnWidth(1, preview);
}

}  // namespace qlui
