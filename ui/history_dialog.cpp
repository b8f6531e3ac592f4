// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "history_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "local_files.h"
#include "qt_text.h"

namespace qlui {

HistoryDialog::HistoryDialog(Go go, QWidget* parent)
    : QDialog(parent), iGo(std::move(go)), iList(new QListWidget(this)) {
  setWindowTitle(tr("History"));
  setObjectName(QStringLiteral("historyDialog"));
  setAccessibleName(tr("History"));
  iList->setAccessibleName(tr("History"));
  iList->setUniformItemSizes(true);
  auto* label = new QLabel(tr("&Steps, newest first:"), this);
  label->setBuddy(iList);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setAutoDefault(false);
  buttons->button(QDialogButtonBox::Close)->setAccessibleName(tr("Close"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(iList, 1);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // Enter and a double-click both activate a row.
  connect(iList, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { Activate(iList->row(item)); });
  resize(420, 440);
}

QString HistoryDialog::RowText(const ql::HistoryEntry& step) {
  QString book = tr("All books");
  if (!step.path.empty()) book = PathToQString(std::string(ql::FileNameOf(step.path)));
  // Steps of every book: the subject's form is not known here.
  return LenientToQString(step.subject) + QStringLiteral(" \u2014 ") + book;
}

void HistoryDialog::Fill(const ql::History& history) {
  const std::vector<ql::HistoryEntry>& steps = history.Entries();
  iRows.assign(steps.rbegin(), steps.rend());
  iList->clear();
  for (const ql::HistoryEntry& step : iRows) iList->addItem(RowText(step));
  if (!iRows.empty()) iList->setCurrentRow(static_cast<int>(iRows.size() - 1 - history.Current()));
}

void HistoryDialog::Activate(int row) {
  if (row < 0 || static_cast<size_t>(row) >= iRows.size()) return;
  // The step is copied: going there changes the history this list shows.
  const ql::HistoryEntry step = iRows[static_cast<size_t>(row)];
  accept();
  iGo(step);
}

}  // namespace qlui
