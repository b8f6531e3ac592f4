// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
// The Library window (View > Library): the books of the library with their
// title, subjects, size and state, the folders the user added and the
// groups. Every change is saved to the library file at once and told to the
// main window (libraryChanged). The books' states are probed on a worker
// thread, so a window of hundreds of books shows at once and fills in; the
// state of each book's word index comes from the main window's indexing.
#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "index_queue.h"
#include "library.h"
#include "library_rows.h"

class QListWidget;
class QPushButton;
class QTableView;

namespace qlui {

// The books as the table shows them; with a group chosen, the title's check
// box tells whether the book is in it.
class LibraryModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;
  // Same books in the same order: the cells change in place (the selection
  // stays); else the model starts over.
  void SetRows(std::vector<ql::LibraryRow> rows, std::vector<bool> inGroup);
  const std::vector<ql::LibraryRow>& Rows() const { return iRows; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  // The title's check box was clicked: the book goes in or out of the group.
  void inGroupClicked(int row, bool in);

 private:
  std::vector<ql::LibraryRow> iRows;
  std::vector<bool> iInGroup;  // empty: no group chosen
};

class LibraryWindow final : public QWidget {
  Q_OBJECT
 public:
  LibraryWindow(ql::Library& library, std::string libraryFile, QWidget* parent = nullptr);
  ~LibraryWindow() override;

  // Shows everything afresh from the library and probes every book again.
  void Reload();
  // The books' word indexes, as the background indexing has them.
  void SetIndexStates(std::map<std::string, ql::BookIndexState> states);

  QTableView* Table() const { return iTable; }
  LibraryModel* Model() const { return iModel; }
  QListWidget* GroupList() const { return iGroups; }
  QListWidget* FolderList() const { return iFolders; }
  // True while states are still being probed.
  bool Probing() const;
  // The group chosen in the group list.
  std::string ChosenGroup() const;
  // The selected rows, in library order.
  std::vector<int> SelectedRows() const;

  // The commands; the buttons run them after their dialogs.
  void AddBooks(const QStringList& paths);
  void AddFolder(const QString& dir);
  void RemoveSelected();
  void RemoveChosenFolder();
  void ToggleSelected();
  void MoveSelected(int steps);
  void NewGroup(const QString& name);
  void DeleteChosenGroup();
  void SetSelectedInGroup(bool in);

 signals:
  void libraryChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void MakeButtons();
  // Saves the library, shows it again and tells the main window.
  void Changed();
  void Refresh();
  // The rows as the library and the probes have them, with the chosen group.
  void ShowRows();
  void RefreshGroups();
  void RefreshFolders();
  void UpdateButtons();
  void ProbeNew();
  void PollProbes();
  void SelectPaths(const std::vector<std::string>& paths);
  void OnAddBook();
  void OnAddFolder();
  void OnNewGroup();

  ql::Library& iLibrary;
  std::string iFile;
  std::map<std::string, ql::BookStatus> iProbed;
  std::map<std::string, ql::BookIndexState> iIndexStates;
  std::vector<std::string> iQueued;  // given to the prober, not back yet
  ql::BookProber iProber;
  QTimer iProbePoll;
  LibraryModel* iModel;
  QTableView* iTable;
  QListWidget* iGroups;
  QListWidget* iFolders;
  QPushButton* iRemove = nullptr;
  QPushButton* iToggle = nullptr;
  QPushButton* iUp = nullptr;
  QPushButton* iDown = nullptr;
  QPushButton* iDeleteGroup = nullptr;
  QPushButton* iPutIn = nullptr;
  QPushButton* iTakeOut = nullptr;
  QPushButton* iRemoveFolder = nullptr;
  bool iShownOnce = false;
};

}  // namespace qlui
