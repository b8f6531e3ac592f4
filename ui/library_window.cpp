// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Quillary developers
#include "library_window.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "qt_text.h"

namespace qlui {

namespace {

enum Column { kTitle, kSubjects, kSize, kState, kIndex, kColumnCount };
constexpr int kProbePollMs = 40;

}  // namespace

void LibraryModel::SetRows(std::vector<ql::LibraryRow> rows, std::vector<bool> inGroup) {
  const bool samePaths =
      rows.size() == iRows.size() &&
      std::equal(rows.begin(), rows.end(), iRows.begin(),
                 [](const ql::LibraryRow& a, const ql::LibraryRow& b) { return a.path == b.path; });
  if (samePaths) {
    iRows = std::move(rows);
    iInGroup = std::move(inGroup);
    if (!iRows.empty())
      emit dataChanged(index(0, 0), index(static_cast<int>(iRows.size()) - 1, kColumnCount - 1));
    return;
  }
  beginResetModel();
  iRows = std::move(rows);
  iInGroup = std::move(inGroup);
  endResetModel();
}

int LibraryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(iRows.size());
}

int LibraryModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant LibraryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= iRows.size())
    return {};
  const ql::LibraryRow& row = iRows[static_cast<size_t>(index.row())];
  if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
    switch (index.column()) {
      case kTitle:
        return PathToQString(row.title);
      case kSubjects:
        return QString::fromStdString(row.subjects);
      case kSize:
        return QString::fromStdString(row.size);
      case kState:
        return QString::fromStdString(row.state);
      case kIndex:
        return QString::fromStdString(row.index);
      default:
        return {};
    }
  }
  // The state's cell may be too narrow for a failure's reason: its tip
  // holds the whole of it; the other cells' tips name the file.
  if (role == Qt::ToolTipRole && index.column() == kIndex && !row.indexNote.empty())
    return LenientToQString(row.indexNote);
  if (role == Qt::ToolTipRole)
    return index.column() == kState && row.failed ? QString::fromStdString(row.state)
                                                  : PathToQString(row.path);
  if (role == Qt::TextAlignmentRole && (index.column() == kSubjects || index.column() == kSize))
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  if (role == Qt::CheckStateRole && index.column() == kTitle && !iInGroup.empty())
    return iInGroup[static_cast<size_t>(index.row())] ? Qt::Checked : Qt::Unchecked;
  if (role == Qt::DecorationRole && index.column() == kState && row.failed)
    return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
  if (role == Qt::ForegroundRole && !row.enabled)
    return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
  return {};
}

QVariant LibraryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kNames[kColumnCount] = {QT_TR_NOOP("Title"), QT_TR_NOOP("Subjects"),
                                                   QT_TR_NOOP("Size"), QT_TR_NOOP("State"),
                                                   QT_TR_NOOP("Index")};
  if (section < 0 || section >= kColumnCount) return {};
  return tr(kNames[section]);
}

Qt::ItemFlags LibraryModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() == kTitle && !iInGroup.empty())
    flags |= Qt::ItemIsUserCheckable;
  return flags;
}

bool LibraryModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != kTitle || iInGroup.empty() ||
      index.row() < 0 || static_cast<size_t>(index.row()) >= iRows.size())
    return false;
  // The window changes the library, which sets the rows again.
  emit inGroupClicked(index.row(), value.toInt() == Qt::Checked);
  return true;
}

LibraryWindow::LibraryWindow(ql::Library& library, std::string libraryFile, QWidget* parent)
    : QWidget(parent, Qt::Window),
      iLibrary(library),
      iFile(std::move(libraryFile)),
      iModel(new LibraryModel(this)),
      iTable(new QTableView(this)),
      iGroups(new QListWidget(this)),
      iFolders(new QListWidget(this)) {
  setObjectName(QStringLiteral("libraryWindow"));
  setWindowTitle(tr("Library"));
  setAccessibleName(tr("Library"));
  // The desktop's key for closing a window closes this one.
  auto* closeAction = new QAction(this);
  closeAction->setShortcuts(QKeySequence::Close);
  connect(closeAction, &QAction::triggered, this, &QWidget::close);
  addAction(closeAction);
  iTable->setObjectName(QStringLiteral("libraryBooks"));
  iTable->setAccessibleName(tr("Books"));
  iTable->setModel(iModel);
  iTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  iTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
  iTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  iTable->setTabKeyNavigation(false);
  iTable->verticalHeader()->hide();
  iTable->horizontalHeader()->setSectionResizeMode(kTitle, QHeaderView::Stretch);
  iTable->horizontalHeader()->setSectionResizeMode(kState, QHeaderView::Stretch);
  iTable->setWordWrap(false);
  iTable->installEventFilter(this);
  iGroups->setObjectName(QStringLiteral("libraryGroups"));
  iGroups->setAccessibleName(tr("Groups"));
  iGroups->setMinimumWidth(250);
  iFolders->setObjectName(QStringLiteral("libraryFolders"));
  iFolders->setAccessibleName(tr("Folders"));
  MakeButtons();
  connect(iTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { UpdateButtons(); });
  connect(iGroups, &QListWidget::currentRowChanged, this, [this] { Refresh(); });
  connect(iModel, &LibraryModel::inGroupClicked, this, [this](int row, bool in) {
    if (ql::SetSelectedInGroup(iLibrary, {row}, ChosenGroup(), in)) Changed();
  });
  connect(iFolders, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
  iProbePoll.setInterval(kProbePollMs);
  connect(&iProbePoll, &QTimer::timeout, this, &LibraryWindow::PollProbes);
  resize(900, 480);
  RefreshGroups();
  RefreshFolders();
  Refresh();
}

LibraryWindow::~LibraryWindow() {
  iProbePoll.stop();
  iProber.Stop();
}

void LibraryWindow::MakeButtons() {
  auto button = [this](const char* text, const char* name, auto run) {
    auto* b = new QPushButton(tr(text), this);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, run);
    return b;
  };
  QPushButton* addBook =
      button(QT_TR_NOOP("Add &Book..."), "libraryAddBook", [this] { OnAddBook(); });
  QPushButton* addFolder =
      button(QT_TR_NOOP("Add &Folder..."), "libraryAddFolder", [this] { OnAddFolder(); });
  iRemove = button(QT_TR_NOOP("&Remove"), "libraryRemove", [this] { RemoveSelected(); });
  iToggle = button(QT_TR_NOOP("Switch &Off"), "libraryToggle", [this] { ToggleSelected(); });
  iUp = button(QT_TR_NOOP("Move &Up"), "libraryUp", [this] { MoveSelected(-1); });
  iDown = button(QT_TR_NOOP("Move &Down"), "libraryDown", [this] { MoveSelected(1); });
  QPushButton* newGroup =
      button(QT_TR_NOOP("&New Group..."), "libraryNewGroup", [this] { OnNewGroup(); });
  iDeleteGroup =
      button(QT_TR_NOOP("De&lete Group"), "libraryDeleteGroup", [this] { DeleteChosenGroup(); });
  iPutIn =
      button(QT_TR_NOOP("&Put in Group"), "libraryPutIn", [this] { SetSelectedInGroup(true); });
  iTakeOut = button(QT_TR_NOOP("&Take out of Group"), "libraryTakeOut",
                    [this] { SetSelectedInGroup(false); });
  iRemoveFolder =
      button(QT_TR_NOOP("R&emove Folder"), "libraryRemoveFolder", [this] { RemoveChosenFolder(); });
  QPushButton* closeButton = button(QT_TR_NOOP("&Close"), "libraryClose", [this] { close(); });
  iRemove->setToolTip(tr("Take the selected books out of the library (Delete)"));
  iToggle->setToolTip(tr("Switch the selected books off or on (Space)"));
  iUp->setToolTip(tr("Move the book up (Alt+Up)"));
  iDown->setToolTip(tr("Move the book down (Alt+Down)"));

  auto* booksLabel = new QLabel(tr("B&ooks:"), this);
  booksLabel->setBuddy(iTable);
  auto* groupsLabel = new QLabel(tr("&Groups:"), this);
  groupsLabel->setBuddy(iGroups);
  auto* foldersLabel = new QLabel(tr("Fold&ers searched for books:"), this);
  foldersLabel->setBuddy(iFolders);

  auto* bookButtons = new QHBoxLayout;
  for (QPushButton* b : {addBook, addFolder, iRemove, iToggle, iUp, iDown})
    bookButtons->addWidget(b);
  bookButtons->addStretch(1);
  auto* left = new QVBoxLayout;
  left->addWidget(booksLabel);
  left->addWidget(iTable, 1);
  left->addLayout(bookButtons);

  auto* groupButtons = new QGridLayout;
  groupButtons->addWidget(newGroup, 0, 0);
  groupButtons->addWidget(iDeleteGroup, 0, 1);
  groupButtons->addWidget(iPutIn, 1, 0);
  groupButtons->addWidget(iTakeOut, 1, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(groupsLabel);
  right->addWidget(iGroups, 2);
  right->addLayout(groupButtons);
  right->addSpacing(8);
  right->addWidget(foldersLabel);
  right->addWidget(iFolders, 1);
  right->addWidget(iRemoveFolder, 0, Qt::AlignLeft);
  right->addStretch(0);
  right->addWidget(closeButton, 0, Qt::AlignRight);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 3);
  layout->addLayout(right, 1);
  // Tab follows the table, its buttons, then the groups and the folders.
  QWidget* order[] = {iTable, addBook,  addFolder, iRemove,       iToggle,
                      iUp,    iDown,    iGroups,   newGroup,      iDeleteGroup,
                      iPutIn, iTakeOut, iFolders,  iRemoveFolder, closeButton};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void LibraryWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!iShownOnce) {
    iShownOnce = true;
    iTable->setFocus(Qt::OtherFocusReason);
    if (iModel->rowCount() > 0 && !iTable->currentIndex().isValid())
      iTable->setCurrentIndex(iModel->index(0, 0));
  }
}

void LibraryWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool LibraryWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == iTable && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Space && mods == Qt::NoModifier) {
      ToggleSelected();
      return true;
    }
    if ((key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) && mods == Qt::AltModifier) {
      MoveSelected(key->key() == Qt::Key_Up ? -1 : 1);
      return true;
    }
    if (key->key() == Qt::Key_Delete && mods == Qt::NoModifier) {
      RemoveSelected();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void LibraryWindow::Reload() {
  iProbed.clear();
  iQueued.clear();
  RefreshGroups();
  RefreshFolders();
  Refresh();
}

bool LibraryWindow::Probing() const {
  return iProber.Busy();
}

std::string LibraryWindow::ChosenGroup() const {
  const QListWidgetItem* item = iGroups->currentItem();
  return item ? item->data(Qt::UserRole).toString().toStdString() : std::string(ql::kAllBooks);
}

std::vector<int> LibraryWindow::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : iTable->selectionModel()->selectedRows())
    rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void LibraryWindow::ShowRows() {
  const std::string group = ChosenGroup();
  std::vector<bool> inGroup;
  if (group != ql::kAllBooks)
    for (const ql::LibraryBook& book : iLibrary.Books())
      inGroup.push_back(iLibrary.InGroup(group, book.path));
  std::vector<ql::LibraryRow> rows = ql::MakeLibraryRows(iLibrary.Books(), iProbed);
  for (ql::LibraryRow& row : rows) {
    const auto found = iIndexStates.find(row.path);
    if (found == iIndexStates.end()) continue;
    row.index = ql::IndexStateText(found->second);
    row.indexNote = found->second.reason;
  }
  iModel->SetRows(std::move(rows), std::move(inGroup));
}

void LibraryWindow::SetIndexStates(std::map<std::string, ql::BookIndexState> states) {
  iIndexStates = std::move(states);
  ShowRows();
}

void LibraryWindow::Refresh() {
  ShowRows();
  ProbeNew();
  UpdateButtons();
}

void LibraryWindow::RefreshGroups() {
  const std::string chosen = iGroups->currentItem() ? ChosenGroup() : std::string(ql::kAllBooks);
  const QSignalBlocker blocker(iGroups);
  iGroups->clear();
  int current = 0;
  const std::vector<std::string> names = iLibrary.GroupNames();
  for (size_t i = 0; i < names.size(); ++i) {
    // Shown by its name; the group of every book in the user's language.
    auto* item = new QListWidgetItem(
        names[i] == ql::kAllBooks ? tr("All books") : QString::fromStdString(names[i]), iGroups);
    item->setData(Qt::UserRole, QString::fromStdString(names[i]));
    if (names[i] == chosen) current = static_cast<int>(i);
  }
  iGroups->setCurrentRow(current);
}

void LibraryWindow::RefreshFolders() {
  const int current = iFolders->currentRow();
  const QSignalBlocker blocker(iFolders);
  iFolders->clear();
  for (const std::string& dir : iLibrary.Folders()) iFolders->addItem(PathToQString(dir));
  if (iFolders->count() > 0) iFolders->setCurrentRow(std::clamp(current, 0, iFolders->count() - 1));
}

void LibraryWindow::UpdateButtons() {
  const ql::LibraryActions can = ql::ActionsFor(iLibrary, SelectedRows(), ChosenGroup());
  iRemove->setEnabled(can.remove);
  iToggle->setEnabled(can.switchOff || can.switchOn);
  iToggle->setText(can.switchOff ? tr("Switch &Off") : tr("Switch &On"));
  iUp->setEnabled(can.moveUp);
  iDown->setEnabled(can.moveDown);
  iDeleteGroup->setEnabled(can.deleteGroup);
  iPutIn->setEnabled(can.putInGroup);
  iTakeOut->setEnabled(can.takeOutOfGroup);
  iRemoveFolder->setEnabled(iFolders->currentRow() >= 0);
}

void LibraryWindow::ProbeNew() {
  std::vector<std::string> paths;
  for (const ql::LibraryBook& book : iLibrary.Books())
    if (!iProbed.count(book.path)) paths.push_back(book.path);
  // Those asked for already are still on their way.
  if (paths.empty() || (paths == iQueued && iProber.Busy())) return;
  iQueued = paths;
  iProber.Start(std::move(paths));
  iProbePoll.start();
}

void LibraryWindow::PollProbes() {
  std::vector<std::pair<std::string, ql::BookStatus>> found = iProber.Take();
  if (!found.empty()) {
    for (auto& [path, status] : found) {
      iQueued.erase(std::remove(iQueued.begin(), iQueued.end(), path), iQueued.end());
      iProbed[path] = std::move(status);
    }
    ShowRows();
  }
  if (!iProber.Busy()) iProbePoll.stop();
}

void LibraryWindow::SelectPaths(const std::vector<std::string>& paths) {
  QItemSelection selection;
  int first = -1;
  const std::vector<ql::LibraryRow>& rows = iModel->Rows();
  for (size_t i = 0; i < rows.size(); ++i) {
    if (std::find(paths.begin(), paths.end(), rows[i].path) == paths.end()) continue;
    const int row = static_cast<int>(i);
    if (first < 0) first = row;
    selection.select(iModel->index(row, 0), iModel->index(row, kColumnCount - 1));
  }
  if (first < 0) return;
  iTable->selectionModel()->setCurrentIndex(iModel->index(first, 0), QItemSelectionModel::NoUpdate);
  iTable->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void LibraryWindow::Changed() {
  std::vector<std::string> selected;
  for (int row : SelectedRows()) selected.push_back(iModel->Rows()[static_cast<size_t>(row)].path);
  std::string reason;
  if (!iLibrary.Save(iFile, reason))
    QMessageBox::warning(
        this, tr("Library"),
        tr("The library could not be saved: %1").arg(QString::fromStdString(reason)));
  RefreshGroups();
  RefreshFolders();
  Refresh();
  SelectPaths(selected);
  emit libraryChanged();
}

void LibraryWindow::AddBooks(const QStringList& paths) {
  bool changed = false;
  std::vector<std::string> added;
  for (const QString& path : paths) {
    const std::string normal = ql::NormalisePath(PathFromQString(path));
    if (iLibrary.AddBook(normal)) {
      changed = true;
      added.push_back(normal);
    }
  }
  if (!changed) return;
  Changed();
  SelectPaths(added);
}

void LibraryWindow::AddFolder(const QString& dir) {
  if (!iLibrary.AddFolder(ql::NormalisePath(PathFromQString(dir)))) return;
  iLibrary.Rescan();
  Changed();
}

void LibraryWindow::RemoveSelected() {
  bool changed = false;
  const std::vector<ql::LibraryRow>& rows = iModel->Rows();
  std::vector<std::string> paths;
  for (int row : SelectedRows()) paths.push_back(rows[static_cast<size_t>(row)].path);
  for (const std::string& path : paths) changed = iLibrary.RemoveBook(path) || changed;
  if (!changed) return;
  const int next = SelectedRows().empty() ? 0 : SelectedRows().front();
  Changed();
  if (iModel->rowCount() > 0) {
    const int row = std::min(next, iModel->rowCount() - 1);
    iTable->selectionModel()->setCurrentIndex(
        iModel->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
}

void LibraryWindow::RemoveChosenFolder() {
  const QListWidgetItem* item = iFolders->currentItem();
  if (!item || !iLibrary.RemoveFolder(PathFromQString(item->text()))) return;
  iLibrary.Rescan();
  Changed();
}

void LibraryWindow::ToggleSelected() {
  if (ql::ToggleSelected(iLibrary, SelectedRows())) Changed();
}

void LibraryWindow::MoveSelected(int steps) {
  const std::vector<int> rows = SelectedRows();
  if (rows.size() != 1) return;
  const std::string path = iModel->Rows()[static_cast<size_t>(rows.front())].path;
  if (!iLibrary.Move(path, steps)) return;
  Changed();
  SelectPaths({path});
  iTable->scrollTo(iTable->currentIndex());
}

void LibraryWindow::NewGroup(const QString& name) {
  const std::string group = name.trimmed().toStdString();
  if (!iLibrary.AddGroup(group)) {
    QMessageBox::information(
        this, tr("Library"),
        tr("There is a group by that name already, or the name cannot be used."));
    return;
  }
  {
    const QSignalBlocker blocker(iGroups);
    RefreshGroups();
    for (int i = 0; i < iGroups->count(); ++i)
      if (iGroups->item(i)->data(Qt::UserRole).toString() == QString::fromStdString(group))
        iGroups->setCurrentRow(i);
  }
  Changed();
}

void LibraryWindow::DeleteChosenGroup() {
  const std::string group = ChosenGroup();
  if (group == ql::kAllBooks || !iLibrary.RemoveGroup(group)) return;
  {
    const QSignalBlocker blocker(iGroups);
    iGroups->setCurrentRow(0);
  }
  Changed();
}

void LibraryWindow::SetSelectedInGroup(bool in) {
  if (ql::SetSelectedInGroup(iLibrary, SelectedRows(), ChosenGroup(), in)) Changed();
}

void LibraryWindow::OnAddBook() {
  QFileDialog dialog(this, tr("Add Book"));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setNameFilters({tr("Quillary Files (*.ql)"), tr("All Files (*)")});
  if (dialog.exec() != QDialog::Accepted) return;
  AddBooks(dialog.selectedFiles());
}

void LibraryWindow::OnAddFolder() {
  QFileDialog dialog(this, tr("Add Folder"));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  AddFolder(dialog.selectedFiles().front());
}

void LibraryWindow::OnNewGroup() {
  bool ok = false;
  const QString name = QInputDialog::getText(this, tr("New Group"), tr("&Name of the group:"),
                                             QLineEdit::Normal, QString(), &ok);
  if (ok && !name.trimmed().isEmpty()) NewGroup(name);
}

}  // namespace qlui
