// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The bare Qt window that the reader window is measured against: the same
// widgets with nothing behind them. A main window holds a vertical splitter
// with a table over a model of a million rows, whose every cell is one
// constant string, and a text browser below it. Used by bare_qt_window (a
// program of its own, for start-up and memory) and by bench_ui.
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QMainWindow>
#include <QSplitter>
#include <QTableView>
#include <QTextBrowser>
#include <memory>

namespace bare {

class ConstantModel final : public QAbstractTableModel {
 public:
  explicit ConstantModel(int rows, QObject* parent = nullptr)
      : QAbstractTableModel(parent), iRows(rows) {}
  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : iRows;
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : 2;
  }
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return index.column() == 0 ? iSubject : iPreview;
  }
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    return section == 0 ? QStringLiteral("Subject") : QStringLiteral("Preview");
  }

 private:
  int iRows;
  const QString iSubject = QStringLiteral("subject");
  const QString iPreview = QStringLiteral("noun: a constant line of preview text");
};

// The window, 900 by 700 like the reader's, titled "Bare Qt window"; not
// shown yet.
inline std::unique_ptr<QMainWindow> MakeWindow(int rows = 1'000'000) {
  auto window = std::make_unique<QMainWindow>();
  auto* splitter = new QSplitter(Qt::Vertical, window.get());
  auto* table = new QTableView(splitter);
  table->setModel(new ConstantModel(rows, table));
  // What any table of a million rows needs: rows of one height, no row header.
  table->verticalHeader()->hide();
  table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setColumnWidth(0, 250);
  table->setColumnWidth(1, 600);
  auto* browser = new QTextBrowser(splitter);
  browser->setHtml(QStringLiteral("<h2>Bare Qt window</h2><p>A text browser under a table.</p>"));
  splitter->addWidget(table);
  splitter->addWidget(browser);
  window->setCentralWidget(splitter);
  window->setWindowTitle(QStringLiteral("Bare Qt window"));
  window->resize(900, 700);
  return window;
}

// Halves for the splitter once the window is shown, as the reader does.
inline void SplitEvenly(QMainWindow& window) {
  auto* splitter = static_cast<QSplitter*>(window.centralWidget());
  splitter->setSizes({splitter->height() / 2, splitter->height() - splitter->height() / 2});
}

}  // namespace bare
